#include "rip/DiscLoad.h"

#include <QStringDecoder>
#include <algorithm>

#include "cddb/CDInfo.h"
#include "disc/CDRIP.h"
#include "libs/cdrip/cdrip.h"
#include "musicbrainz/MbDiscId.h"
#include "verify/Ctdb.h"

namespace {

// libcdio reads a cue sheet's CD-Text as Latin-1, but sheets are written in
// UTF-8 now: text whose Latin-1 bytes form valid UTF-8 is taken as UTF-8.
QString Utf8ReadAsLatin1(const QString& text) {
  for (QChar c : text)
    if (c.unicode() > 0xFF) return text;
  const QByteArray bytes = text.toLatin1();
  if (bytes == text.toUtf8()) return text;  // plain ASCII
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = utf8.decode(bytes);
  return utf8.hasError() ? text : decoded;
}

// What the disc in the active drive says of itself, from the library's last
// TOC read: track 0 the disc, 1... its tracks; empty when it says nothing.
QString DiscText(int track, int field) {
  const int32_t size = CR_GetDiscText(track, field, nullptr, 0);
  if (size <= 0) return QString();
  QByteArray text(size + 1, '\0');
  if (CR_GetDiscText(track, field, text.data(), size + 1) != size) return QString();
  text.resize(size);
  return Utf8ReadAsLatin1(QString::fromUtf8(text)).trimmed();
}

// A disc without stored names takes what its CD-Text says, where the names
// are still the defaults; a track's own performer goes before its title as
// an xmcd entry writes it.
void TakeCDText(TMyCDInfo& info) {
  if (info.Artist == QLatin1String(kNoArtist) && !info.CDTextPerformer.isEmpty())
    info.Artist = info.CDTextPerformer;
  if (info.Album == QLatin1String(kNoTitle) && !info.CDTextAlbum.isEmpty())
    info.Album = info.CDTextAlbum;
  for (int i = 0; i < info.TrackCount; ++i) {
    TCDTrack& track = info.Tracks[size_t(i)];
    if (track.CDTextTitle.isEmpty() || track.Title != PlaceholderTitle(i + 1)) continue;
    const bool ownPerformer =
        !track.CDTextPerformer.isEmpty() && track.CDTextPerformer != info.CDTextPerformer;
    track.Title =
        ownPerformer ? track.CDTextPerformer + " / " + track.CDTextTitle : track.CDTextTitle;
    if (ownPerformer) track.Artist = track.CDTextPerformer;
  }
}

}  // namespace

TDisc ReadDisc(TCDRIP& drive) {
  TDisc disc;
  drive.ReadToc();
  const std::vector<TTrackListItem>& list = drive.TrackList();
  const size_t count = std::min(size_t(std::max(drive.TrackCount(), 0)), list.size());
  for (size_t i = 0; i < count; ++i) {
    const TTrack& source = list[i].Track;
    TDiscTrack track;
    track.Number = source.TrackNum;
    track.Kind = source.TrackType == QLatin1String("Audio") ? TTrackKind::Audio : TTrackKind::Data;
    track.Start = source.StartSector;
    track.End = source.EndSector;
    track.AudioEnd = source.AudioEndSector;
    track.Pregap = drive.TrackPregap(source.TrackNum);
    // The text goes by the number the disc gives the track.
    const int number = CR_GetTocEntry(int32_t(i)).trackNumber;
    if (number > 0) {
      track.Isrc = DiscText(number, CR_TEXT_CODE);
      track.CDTextTitle = DiscText(number, CR_TEXT_TITLE);
      track.CDTextPerformer = DiscText(number, CR_TEXT_PERFORMER);
    }
    disc.Tracks.push_back(track);
  }
  if (disc.Tracks.empty()) return disc;
  disc.LeadOut = disc.Tracks.back().End;
  disc.Mcn = DiscText(0, CR_TEXT_CODE);
  disc.CDTextAlbum = DiscText(0, CR_TEXT_TITLE);
  disc.CDTextPerformer = DiscText(0, CR_TEXT_PERFORMER);
  disc.Ids.Cddb = CddbDiscId(disc.Tracks);
  disc.Ids.MusicBrainz = ComputeMbDiscId(MbTocOf(disc.Tracks)).Id;
  const std::vector<TArTocTrack> toc = ArTocOf(disc);
  const TArDiscIds ar = ArDiscIds(toc, disc.LeadOut, disc.Ids.Cddb);
  disc.Ids.AccurateRip1 = ar.Id1;
  disc.Ids.AccurateRip2 = ar.Id2;
  disc.Ids.CtdbToc = CtdbTocList(toc, disc.LeadOut);
  return disc;
}

bool LoadDisc(TCDRIP& drive, TMyCDInfo& info, bool cdPlayerIniOnly) {
  TMyCDInfo loaded;
  loaded.LocalFolder = info.LocalFolder;
  const bool hasTracks = loaded.LoadFromTOC(ReadDisc(drive));
  loaded.SetDefaultNames();
  if (cdPlayerIniOnly) {
    loaded.ReadCDPlayerIni();
  } else if (!loaded.ReadLocalCDDB() || !loaded.NamesSomething()) {
    // An entry of placeholders names nothing: the disc goes by the rest.
    loaded.ReadCDPlayerIni();
    TakeCDText(loaded);
  }
  info = loaded;
  return hasTracks;
}

TDisc NamedDisc(const TMyCDInfo& info) {
  TDisc disc = info.Disc;
  TDiscNames& names = disc.Names;
  names.Album = info.Album;
  names.AlbumArtist = info.Artist;
  names.Date = info.FullDate();
  names.Genre = info.Category;
  names.DiscNumber = info.DiscNumber;
  names.DiscTotal = info.DiscTotal;
  names.Label = info.Label;
  names.CatalogNumber = info.CatalogNumber;
  names.Barcode = info.Barcode;
  names.Country = info.ReleaseCountry;
  names.OriginalDate = info.OriginalDate;
  names.AlbumArtistSort = info.AlbumArtistSort;
  names.MBReleaseID = info.MBReleaseID;
  names.MBReleaseGroupID = info.MBReleaseGroupID;
  names.MBAlbumArtistIDs = info.MBAlbumArtistIDs;
  for (size_t i = 0; i < disc.Tracks.size() && int(i) < info.TrackCount; ++i) {
    const TCDTrack& source = info.Tracks[i];
    TDiscTrack& track = disc.Tracks[i];
    // A track of its own artist carries the name in its title, the xmcd way.
    track.Title = info.OwnTitle(int(i));
    track.Artist = source.Artist;
    track.ArtistSort = source.ArtistSort;
    track.MBArtistIDs = source.MBArtistIDs;
    track.MBRecordingID = source.MBRecordingID;
    track.MBReleaseTrackID = source.MBReleaseTrackID;
    // Names may bring an ISRC the disc does not carry.
    if (!source.ISRC.isEmpty()) track.Isrc = source.ISRC;
  }
  return disc;
}

std::vector<TArTocTrack> ArTocOf(const TDisc& disc) {
  std::vector<TArTocTrack> toc;
  for (const TDiscTrack& track : disc.Tracks) toc.push_back({track.Start, track.IsAudio()});
  return toc;
}
