#include "musicbrainz/MbRelease.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <algorithm>

#include "cddb/CDInfo.h"

namespace {

// Bounds what a hostile answer can make the reader keep.
constexpr int kMaxReleases = 500;
constexpr int kMaxMedia = 200;
constexpr int kMaxTracks = 200;

bool Is(const QXmlStreamReader& reader, const char* name) {
  return reader.name() == QLatin1String(name);
}

QString Text(QXmlStreamReader& reader) {
  return reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
}

QString Attribute(const QXmlStreamReader& reader, const char* name) {
  return reader.attributes().value(QLatin1String(name)).toString().trimmed();
}

// An entity's ID, kept only when it is an MBID: it goes into file names,
// tags and request paths.
QString Mbid(const QXmlStreamReader& reader) {
  const QString id = Attribute(reader, "id");
  return IsMbid(id) ? id : QString();
}

// Calls each for every child element; each reads its element to the end.
template <class F>
void Children(QXmlStreamReader& reader, F each) {
  while (reader.readNextStartElement()) each();
}

// The items of a list element, up to max of them; other children are skipped.
template <class T>
void ReadList(QXmlStreamReader& reader, const char* item, size_t max, std::vector<T>& items,
              T (*read)(QXmlStreamReader&)) {
  Children(reader, [&] {
    if (!Is(reader, item) || items.size() >= max) return reader.skipCurrentElement();
    items.push_back(read(reader));
  });
}

// Names as credited, each followed by its join phrase; the same of the
// artists' sort names; every artist's ID.
void ReadArtistCredit(QXmlStreamReader& reader, TMbCredit& credit) {
  credit = TMbCredit();
  Children(reader, [&] {
    if (!Is(reader, "name-credit")) return reader.skipCurrentElement();
    const QString join = reader.attributes().value(QLatin1String("joinphrase")).toString();
    QString credited, name, sort;
    Children(reader, [&] {
      if (Is(reader, "name")) return void(credited = Text(reader));
      if (!Is(reader, "artist")) return reader.skipCurrentElement();
      const QString id = Mbid(reader);
      if (!id.isEmpty() && !credit.ArtistIDs.contains(id) && credit.ArtistIDs.size() < 20)
        credit.ArtistIDs << id;
      Children(reader, [&] {
        if (Is(reader, "name")) return void(name = Text(reader));
        if (Is(reader, "sort-name")) return void(sort = Text(reader));
        reader.skipCurrentElement();
      });
    });
    const QString shown = credited.isEmpty() ? name : credited;
    credit.Text += shown + join;
    credit.Sort += (sort.isEmpty() ? shown : sort) + join;
  });
}

TMbTrack ReadTrack(QXmlStreamReader& reader) {
  TMbTrack track;
  track.ID = Mbid(reader);
  QString recordingTitle;
  TMbCredit recordingArtist;
  Children(reader, [&] {
    if (Is(reader, "position")) return void(track.Position = Text(reader).toInt());
    if (Is(reader, "title")) return void(track.Title = Text(reader));
    if (Is(reader, "artist-credit")) return ReadArtistCredit(reader, track.Artist);
    if (!Is(reader, "recording")) return reader.skipCurrentElement();
    track.RecordingID = Mbid(reader);
    Children(reader, [&] {
      if (Is(reader, "title")) return void(recordingTitle = Text(reader));
      if (Is(reader, "artist-credit")) return ReadArtistCredit(reader, recordingArtist);
      if (!Is(reader, "isrc-list")) return reader.skipCurrentElement();
      Children(reader, [&] {
        static const QRegularExpression isrc(QStringLiteral("^[A-Z]{2}[A-Z0-9]{3}[0-9]{7}$"));
        const QString code = Attribute(reader, "id");
        if (Is(reader, "isrc") && track.ISRCs.size() < 20 && isrc.match(code).hasMatch())
          track.ISRCs << code;
        reader.skipCurrentElement();
      });
    });
  });
  // A track names itself only where it differs from its recording.
  if (track.Title.isEmpty()) track.Title = recordingTitle;
  if (track.Artist.Text.isEmpty()) track.Artist = recordingArtist;
  return track;
}

TMbMedium ReadMedium(QXmlStreamReader& reader) {
  TMbMedium medium;
  Children(reader, [&] {
    if (Is(reader, "position")) return void(medium.Position = Text(reader).toInt());
    if (Is(reader, "format")) return void(medium.Format = Text(reader));
    if (Is(reader, "disc-list")) {
      return Children(reader, [&] {
        if (Is(reader, "disc")) medium.DiscIDs << Attribute(reader, "id");
        reader.skipCurrentElement();
      });
    }
    if (!Is(reader, "track-list")) return reader.skipCurrentElement();
    ReadList(reader, "track", kMaxTracks, medium.Tracks, ReadTrack);
  });
  return medium;
}

void ReadLabelInfo(QXmlStreamReader& reader, TMbRelease& release) {
  Children(reader, [&] {
    if (!Is(reader, "label-info") || !release.Label.isEmpty() || !release.CatalogNumber.isEmpty())
      return reader.skipCurrentElement();
    Children(reader, [&] {
      if (Is(reader, "catalog-number")) return void(release.CatalogNumber = Text(reader));
      if (!Is(reader, "label")) return reader.skipCurrentElement();
      Children(reader, [&] {
        if (Is(reader, "name")) return void(release.Label = Text(reader));
        reader.skipCurrentElement();
      });
    });
  });
}

// The credit every track of the release shares; none when they differ.
TMbCredit SharedTrackCredit(const TMbRelease& release) {
  TMbCredit shared;
  for (const TMbMedium& medium : release.Media)
    for (const TMbTrack& track : medium.Tracks) {
      if (track.Artist.Text.isEmpty()) return {};
      if (shared.Text.isEmpty()) shared = track.Artist;
      if (track.Artist.Text != shared.Text) return {};
    }
  return shared;
}

TMbRelease ReadRelease(QXmlStreamReader& reader) {
  TMbRelease release;
  release.ID = Mbid(reader);
  TMbCredit groupArtist;
  Children(reader, [&] {
    if (Is(reader, "title")) return void(release.Title = Text(reader));
    if (Is(reader, "artist-credit")) return ReadArtistCredit(reader, release.Artist);
    if (Is(reader, "release-group")) {
      release.ReleaseGroupID = Mbid(reader);
      return Children(reader, [&] {
        if (Is(reader, "first-release-date")) return void(release.OriginalDate = Text(reader));
        if (Is(reader, "artist-credit")) return ReadArtistCredit(reader, groupArtist);
        reader.skipCurrentElement();
      });
    }
    if (Is(reader, "date")) return void(release.Date = Text(reader));
    if (Is(reader, "country")) return void(release.Country = Text(reader));
    if (Is(reader, "barcode")) return void(release.Barcode = Text(reader));
    if (Is(reader, "label-info-list")) return ReadLabelInfo(reader, release);
    if (!Is(reader, "medium-list")) return reader.skipCurrentElement();
    ReadList(reader, "medium", kMaxMedia, release.Media, ReadMedium);
  });
  if (release.Artist.Text.isEmpty()) release.Artist = groupArtist;
  if (release.Artist.Text.isEmpty()) release.Artist = SharedTrackCredit(release);
  return release;
}

// A release without a title, an artist or a track title gives no names.
bool NamesSomething(const TMbRelease& release) {
  if (!release.Title.isEmpty() || !release.Artist.Text.isEmpty()) return true;
  for (const TMbMedium& medium : release.Media)
    for (const TMbTrack& track : medium.Tracks)
      if (!track.Title.isEmpty()) return true;
  return false;
}

// Releases lie under metadata/disc/release-list (an exact match) or
// metadata/release-list (a fuzzy one), levels below metadata; any other
// element, and anything deeper, is passed over without recursion.
void ReadReleasesBelow(QXmlStreamReader& reader, std::vector<TMbRelease>& releases,
                       int levels = 2) {
  Children(reader, [&] {
    if (Is(reader, "release") && releases.size() < kMaxReleases) {
      TMbRelease release = ReadRelease(reader);
      if (NamesSomething(release)) releases.push_back(std::move(release));
      return;
    }
    if ((Is(reader, "disc") || Is(reader, "release-list")) && levels > 0)
      return ReadReleasesBelow(reader, releases, levels - 1);
    reader.skipCurrentElement();
  });
}

}  // namespace

bool IsMbid(const QString& text) {
  static const QRegularExpression mbid(
      QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
  return mbid.match(text).hasMatch();
}

bool ReadMbReleases(const QByteArray& xml, std::vector<TMbRelease>& releases, QString& error) {
  releases.clear();
  QXmlStreamReader reader(xml);
  if (!reader.readNextStartElement() || !Is(reader, "metadata")) {
    error = reader.hasError() ? reader.errorString() : QString("not a MusicBrainz answer");
    return false;
  }
  ReadReleasesBelow(reader, releases);
  // The rest of the document must be well-formed too.
  while (!reader.atEnd()) reader.readNext();
  if (reader.hasError() && reader.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
    error = QString("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
    releases.clear();
    return false;
  }
  if (reader.hasError()) {
    error = "the answer ends early";
    releases.clear();
    return false;
  }
  return true;
}

QString TMbRelease::Year() const {
  const QString year = Date.left(4);
  for (QChar c : year)
    if (!c.isDigit()) return QString();
  return year.size() == 4 ? year : QString();
}

QString TMbRelease::Caption() const {
  return Artist.Text.isEmpty() ? Title : Artist.Text + QString::fromUtf8(" – ") + Title;
}

QString TMbRelease::Format() const {
  QStringList formats;
  for (const TMbMedium& medium : Media)
    if (!medium.Format.isEmpty() && !formats.contains(medium.Format)) formats << medium.Format;
  const QString format = formats.join(" + ");
  return Media.size() > 1 ? QString("%1×%2").arg(Media.size()).arg(format) : format;
}

QString TMbRelease::Details() const {
  QStringList parts;
  for (const QString& part : {Date, Country, Label, CatalogNumber, Barcode, Format()})
    if (!part.isEmpty()) parts << part;
  return parts.join(", ");
}

int MbMediumOf(const TMbRelease& release, const QString& discId, int trackCount) {
  for (size_t i = 0; i < release.Media.size(); ++i)
    if (release.Media[i].DiscIDs.contains(discId)) return int(i);
  for (size_t i = 0; i < release.Media.size(); ++i)
    if (int(release.Media[i].Tracks.size()) == trackCount) return int(i);
  return -1;
}

void ApplyMbRelease(TMyCDInfo& info, const TMbRelease& release, int medium) {
  // Nothing of a release named before stays, such as its ISRCs.
  info.ClearReleaseNames();
  info.Album = release.Title;
  info.Artist = release.Artist.Text;
  info.Year = release.Year();
  info.Date = release.Date;
  info.AlbumArtistSort = release.Artist.Sort;
  info.Label = release.Label;
  info.CatalogNumber = release.CatalogNumber;
  info.Barcode = release.Barcode;
  info.ReleaseCountry = release.Country;
  info.OriginalDate = release.OriginalDate;
  info.MBReleaseID = release.ID;
  info.MBReleaseGroupID = release.ReleaseGroupID;
  info.MBAlbumArtistIDs = release.Artist.ArtistIDs;
  if (medium < 0 || medium >= int(release.Media.size())) return;
  const TMbMedium& disc = release.Media[size_t(medium)];
  info.DiscNumber = disc.Position > 0 ? disc.Position : medium + 1;
  info.DiscTotal = std::max(int(release.Media.size()), info.DiscNumber);
  for (size_t order = 0; order < disc.Tracks.size(); ++order) {
    const TMbTrack& source = disc.Tracks[order];
    const int i = (source.Position > 0 ? source.Position : int(order) + 1) - 1;
    if (i < 0 || i >= info.TrackCount) continue;
    TCDTrack& track = info.Tracks[size_t(i)];
    const TMbCredit& credit = source.Artist;
    const bool ownArtist = !credit.Text.isEmpty() && credit.Text != release.Artist.Text;
    track.Artist = ownArtist ? credit.Text : QString();
    track.ArtistSort = ownArtist ? credit.Sort : QString();
    track.MBArtistIDs = ownArtist ? credit.ArtistIDs : QStringList();
    track.Title = ownArtist ? credit.Text + " / " + source.Title : source.Title;
    track.MBRecordingID = source.RecordingID;
    track.MBReleaseTrackID = source.ID;
    if (track.ISRC.isEmpty()) track.ISRC = source.ISRCs.value(0);
  }
}
