#include "cddb/CDInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cstdint>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Profile.h"
#include "platform/TextDecode.h"

namespace {

constexpr int kSectorBytes = 2352;
constexpr uint32_t kLeadIn = 150;
using platform::SingleLine;

QString Msf(int32_t sectors) {
  return QString::asprintf("%.2d:%.2d:%.2d", sectors / 4500, (sectors % 4500) / 75, sectors % 75);
}

// Sectors times 2352 in 64 bits, held within the 32-bit byte fields: a sparse
// image's lead-out can lie far beyond what 32 bits hold.
int32_t SectorBytes(int64_t sectors) {
  return int32_t(std::clamp<int64_t>(sectors * kSectorBytes, INT32_MIN, INT32_MAX));
}

bool IsAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// Track index and title of a TTITLE line: one digit at position 7 before "=",
// or two digits at positions 7 and 8 before "="; -1 for any other line.
int TitleIndex(const QString& line, QString* title) {
  if (!line.startsWith(QLatin1String("TTITLE")) || line.size() < 8) return -1;
  if (line[7] == QLatin1Char('=')) {
    if (!IsAsciiDigit(line[6])) return -1;
    *title = line.mid(8);
    return line[6].digitValue();
  }
  if (line.size() >= 9 && line[8] == QLatin1Char('=')) {
    if (!IsAsciiDigit(line[6]) || !IsAsciiDigit(line[7])) return -1;
    *title = line.mid(9);
    return line[6].digitValue() * 10 + line[7].digitValue();
  }
  return -1;
}

// Track index of an EXTT line, as TitleIndex reads TTITLE lines; -1 otherwise.
int ExtIndex(const QString& line) {
  if (!line.startsWith(QLatin1String("EXTT"))) return -1;
  QString rest;
  const int index = TitleIndex("TTITLE" + line.mid(4), &rest);
  return index < TMyCDInfo::MaxTracks ? index : -1;
}

// The word after " KEY: " in an extended data text; empty when absent.
QString ExtValue(const QString& text, const char* key) {
  const QString marker = QLatin1Char(' ') + QLatin1String(key) + QLatin1String(": ");
  const qsizetype at = text.indexOf(marker);
  if (at < 0) return QString();
  const qsizetype start = at + marker.size();
  const qsizetype end = text.indexOf(QLatin1Char(' '), start);
  return text.mid(start, end < 0 ? -1 : end - start);
}

// Cadenzo's own EXTD key for an album artist that DTITLE cannot hold; last
// on the line, since the name runs to its end. EXTT's track artist likewise.
const QString kDiscArtistKey = QStringLiteral(" DARTIST: ");
const QString kTrackArtistKey = QStringLiteral(" ARTIST: ");

// A value of a key of ours as one word: '%', blanks and line or control
// characters percent-encoded in UTF-8, so any text reads back exactly.
QString EncodeWord(const QString& value) {
  QString word;
  for (QChar c : value) {
    const QChar::Category category = c.category();
    if (c != u'%' && !c.isSpace() && category != QChar::Other_Control &&
        category != QChar::Separator_Line && category != QChar::Separator_Paragraph) {
      word += c;
      continue;
    }
    for (const char byte : QString(c).toUtf8()) word += QString::asprintf("%%%02X", uchar(byte));
  }
  return word;
}

QString DecodeWord(const QString& word) {
  return QString::fromUtf8(QByteArray::fromPercentEncoding(word.toUtf8()));
}

// A title "Artist / Title" of the xmcd convention for various-artists discs.
bool HasByline(const QString& title) { return title.indexOf(QLatin1String(" / ")) > 0; }

// Artist and title are separated by " / "; a bare "/" only when that is missing.
void SplitDiscTitle(const QString& discTitle, QString& artist, QString& album) {
  qsizetype slash = discTitle.indexOf(QLatin1String(" / "));
  if (slash >= 0)
    ++slash;
  else
    slash = discTitle.indexOf(QLatin1Char('/'));
  if (slash >= 0) {
    artist = discTitle.left(slash).trimmed();
    album = discTitle.mid(slash + 1).trimmed();
  } else {
    album = discTitle;
  }
}

}  // namespace

bool TMyCDInfo::LoadFromTOC(const TDisc& disc) {
  Disc = disc;
  TrackCount = std::clamp<int32_t>(int32_t(disc.Tracks.size()), 0, MaxTracks);
  for (int i = 0; i < MaxTracks; ++i) {
    TCDTrack& track = Tracks[size_t(i)];
    const TDiscTrack source = i < TrackCount ? disc.Tracks[size_t(i)] : TDiscTrack();
    track.ISRC = source.Isrc;
    track.CDTextTitle = source.CDTextTitle;
    track.CDTextPerformer = source.CDTextPerformer;
    if (i >= TrackCount) continue;
    track.Kind = source.Kind;
    track.Index = uint8_t(i);
    track.StartSector = source.Start;
    track.EndSector = source.End;
    track.AudioEndSector = source.AudioEnd;
    track.StartMin = source.Start / 4500;
    track.StartSec = (source.Start % 4500) / 75;
    track.StartFrame = source.Start % 75;
    // Before a data session the audio ends earlier than the next track's start.
    const int32_t length = source.AudioSectors();
    track.LengthMin = length / 4500;
    track.LengthSec = (length % 4500) / 75;
    track.LengthFrame = length % 75;
    track.LengthBytes = SectorBytes(length);
    track.LengthSeconds = length / 75;
  }
  MCN = disc.Mcn;
  CDTextAlbum = disc.CDTextAlbum;
  CDTextPerformer = disc.CDTextPerformer;
  MBDiscID = disc.Ids.MusicBrainz;
  ComputeDiscValues();
  return TrackCount > 0;
}

void TMyCDInfo::ComputeDiscValues() {
  if (TrackCount <= 0) {
    DiscSeconds = 0;
    DiscBytes = 0;
    CDPlayerKey = 0;
    DiscID = 0;
    return;
  }
  const int32_t end = LeadOutSector();
  // 151, not 150: the stored length is one second longer than the lead-in alone gives.
  DiscSeconds = int32_t((int64_t(end) + 151) / 75);
  DiscBytes = SectorBytes(end);
  CDPlayerKey = ComputeCDPlayerKey();
  DiscID = ComputeDiscID();
}

void TMyCDInfo::SetDefaultNames() {
  Artist = QLatin1String(kNoArtist);
  Album = QLatin1String(kNoTitle);
  ClearReleaseNames();
  for (int i = 0; i < MaxTracks; ++i) {
    TCDTrack& track = Tracks[size_t(i)];
    track.Title = PlaceholderTitle(i + 1, i < TrackCount ? track.Kind : TTrackKind::Audio);
    track.ExtData.clear();
  }
}

void TMyCDInfo::ClearReleaseNames() {
  for (QString* name : {&Date, &Label, &CatalogNumber, &Barcode, &ReleaseCountry, &OriginalDate,
                        &AlbumArtistSort, &MBReleaseID, &MBReleaseGroupID})
    name->clear();
  DiscNumber = DiscTotal = 0;
  MBAlbumArtistIDs.clear();
  for (int i = 0; i < MaxTracks; ++i) {
    TCDTrack& track = Tracks[size_t(i)];
    track.Artist.clear();
    track.ArtistSort.clear();
    track.MBArtistIDs.clear();
    track.MBRecordingID.clear();
    track.MBReleaseTrackID.clear();
    track.ISRC = size_t(i) < Disc.Tracks.size() ? Disc.Tracks[size_t(i)].Isrc : QString();
  }
}

QString TMyCDInfo::FullDate() const {
  return !Year.isEmpty() && Date.startsWith(Year) ? Date : Year;
}

void TMyCDInfo::SetDate(const QString& text) {
  static const QRegularExpression date(QStringLiteral("^\\d{4}-\\d{2}(-\\d{2})?$"));
  const bool full = date.match(text.trimmed()).hasMatch();
  Year = full ? text.trimmed().left(4) : text;
  Date = full ? text.trimmed() : QString();
}

QString TMyCDInfo::OwnTitle(int i) const {
  const TCDTrack& track = Tracks.at(size_t(i));
  const QString artist = track.Artist.trimmed();
  if (artist.isEmpty() || !track.Title.startsWith(artist)) return track.Title;
  const QString rest = track.Title.mid(artist.size()).trimmed();
  return rest.startsWith(QLatin1Char('/')) ? rest.mid(1).trimmed() : track.Title;
}

TCDTrack TMyCDInfo::GetTrack(int i) const { return Tracks.at(i); }
int32_t TMyCDInfo::TrackStartSector(int i) const { return Tracks.at(i).StartSector; }
int32_t TMyCDInfo::TrackEndSector(int i) const { return Tracks.at(i).EndSector; }
bool TMyCDInfo::IsAudioTrack(int i) const { return Tracks.at(i).Kind == TTrackKind::Audio; }
QString TMyCDInfo::GetTrackTitle(int i) const { return Tracks.at(i).Title; }
void TMyCDInfo::SetTrackTitle(int i, const QString& title) { Tracks.at(i).Title = title; }
QString TMyCDInfo::GetTrackExtData(int i) const { return Tracks.at(i).ExtData; }

int32_t TMyCDInfo::LeadOutSector() const {
  return TrackCount > 0 ? Tracks[std::min(TrackCount, MaxTracks) - 1].EndSector : 0;
}

// From the length fields: before a data session the audio ends earlier than
// the next track's start.
QString TMyCDInfo::TrackLengthText(int i) const {
  const TCDTrack& track = Tracks.at(i);
  return Msf(track.LengthMin * 4500 + track.LengthSec * 75 + track.LengthFrame);
}

QString TMyCDInfo::TrackStartText(int i) const { return Msf(Tracks.at(i).StartSector); }

QString TMyCDInfo::DiscLengthText() const {
  return QString::asprintf("%.2d:%.2d", DiscSeconds / 60, DiscSeconds % 60);
}

uint32_t TMyCDInfo::ComputeDiscID() const { return CddbDiscId(TocTracks()); }

std::vector<TDiscTrack> TMyCDInfo::TocTracks() const {
  std::vector<TDiscTrack> tracks;
  for (int i = 0; i < std::min(TrackCount, MaxTracks); ++i) {
    TDiscTrack track;
    track.Number = i + 1;
    track.Kind = Tracks[size_t(i)].Kind;
    track.Start = Tracks[size_t(i)].StartSector;
    track.End = Tracks[size_t(i)].EndSector;
    track.AudioEnd = Tracks[size_t(i)].AudioEndSector;
    tracks.push_back(track);
  }
  return tracks;
}

uint32_t TMyCDInfo::ComputeCDPlayerKey() const {
  uint32_t key = 0;
  for (int i = 0; i < TrackCount; ++i) {
    const uint32_t a = uint32_t(Tracks[i].StartSector) + kLeadIn;
    key += ((a / 4500) << 16) + (((a / 75) % 60) << 8) + (a % 75);
  }
  // One start alone would let every single-track disc starting at 0 share a key.
  if (TrackCount < 2) key += uint32_t(Tracks[0].EndSector);
  return key;
}

QString TMyCDInfo::CDPlayerIniPath() { return platform::WindowsFolder() + "cdplayer.ini"; }

bool TMyCDInfo::ReadCDPlayerIni() {
  const platform::TProfileFile ini(CDPlayerIniPath());
  const QString section = QString::number(CDPlayerKey, 16);
  Artist = ini.ReadString(section, "artist", Artist);
  Album = ini.ReadString(section, "title", Album);
  Year = ini.ReadString(section, "year", Year);
  Category = ini.ReadString(section, "category", Category);
  for (int i = 0; i < TrackCount; ++i)
    SetTrackTitle(i, ini.ReadString(section, QString::number(i), GetTrackTitle(i)));
  return true;
}

bool TMyCDInfo::WriteCDPlayerIni() {
  platform::TProfileFile ini(CDPlayerIniPath());
  const QString section = QString::number(CDPlayerKey, 16);
  ini.WriteString(section, "artist", Artist);
  ini.WriteString(section, "title", Album);
  ini.WriteString(section, "numtracks", QString::number(TrackCount));
  ini.WriteString(section, "year", Year);
  ini.WriteString(section, "category", Category);
  for (int i = 0; i < TrackCount; ++i)
    ini.WriteString(section, QString::number(i), GetTrackTitle(i));
  return ini.Save();
}

bool TMyCDInfo::ReadXmcdFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  const QStringList lines = platform::SplitLines(platform::DecodeLines(file.readAll()));

  // Long values go on over several lines with the same keyword; the parts are
  // joined exactly as they stand, since an entry may cut a value next to a blank.
  QString discTitle;
  bool hasDiscTitle = false;
  std::array<bool, MaxTracks> titleStarted{};
  QString extd;
  std::array<QString, MaxTracks> extt;

  // A keyword counts only at the start of its line: a title holding "DYEAR="
  // must not set the year.
  const auto starts = [](const QString& line, const char* keyword) {
    return line.startsWith(QLatin1String(keyword), Qt::CaseInsensitive);
  };
  for (const QString& line : lines) {
    if (starts(line, "# Revision:")) {
      bool ok = false;
      Revision = line.mid(11).trimmed().toInt(&ok);
      if (!ok) Revision = 0;
    }
    if (starts(line, "# Submitted via:")) SubmittedVia = line.mid(16).trimmed();
    if (line.startsWith(QLatin1String("DTITLE="))) {
      discTitle += line.mid(7);
      hasDiscTitle = true;
    }
    if (line.startsWith(QLatin1String("DYEAR="))) Year = line.mid(6);
    if (line.startsWith(QLatin1String("DGENRE="))) Category = line.mid(7);
    if (line.startsWith(QLatin1String("EXTD="))) extd += line.mid(5);
    const int extIndex = ExtIndex(line);
    if (extIndex >= 0) extt[size_t(extIndex)] += line.mid(line.indexOf(QLatin1Char('=')) + 1);
    QString title;
    const int index = TitleIndex(line, &title);
    if (index >= 0 && index < MaxTracks) {
      Tracks[index].Title = titleStarted[index] ? Tracks[index].Title + title : title;
      titleStarted[index] = true;
    }
  }

  // An artist whose name the title's separator cannot carry is kept in EXTD,
  // which then holds it exactly; the title still starts with it unless
  // another program changed the entry.
  const qsizetype keyAt = extd.indexOf(kDiscArtistKey);
  const QString keptArtist = keyAt < 0 ? QString() : extd.mid(keyAt + kDiscArtistKey.size());
  if (keyAt >= 0) extd.truncate(keyAt);
  if (hasDiscTitle && keyAt >= 0 && discTitle.startsWith(keptArtist + " / ")) {
    Artist = keptArtist;
    Album = discTitle.mid(keptArtist.size() + 3);
  } else if (hasDiscTitle) {
    SplitDiscTitle(discTitle, Artist, Album);
  }
  ReadExtendedData(extd, extt);
  // Entries of ours name track artists by key; others follow the convention.
  if (std::none_of(extt.begin(), extt.end(),
                   [](const QString& ext) { return ext.contains(kTrackArtistKey); }))
    SplitTrackArtists();
  return true;
}

void TMyCDInfo::SplitTrackArtists() {
  const int count = std::clamp(TrackCount, 0, MaxTracks);
  const bool various =
      Artist.trimmed().compare(QLatin1String("Various"), Qt::CaseInsensitive) == 0 ||
      Artist.trimmed().compare(QLatin1String("Various Artists"), Qt::CaseInsensitive) == 0;
  const auto audio = [this](int i) { return Tracks[size_t(i)].Kind == TTrackKind::Audio; };
  bool everyTitle = count > 0;
  for (int i = 0; i < count; ++i)
    if (audio(i) && !HasByline(Tracks[size_t(i)].Title)) everyTitle = false;
  if (!various && !everyTitle) return;
  for (int i = 0; i < count; ++i) {
    TCDTrack& track = Tracks[size_t(i)];
    if (audio(i) && HasByline(track.Title))
      track.Artist = track.Title.left(track.Title.indexOf(QLatin1String(" / "))).trimmed();
  }
}

// The keys this program adds to EXTD and EXTT; entries from elsewhere have
// none and leave the fields as they are.
void TMyCDInfo::ReadExtendedData(QString extd, const std::array<QString, MaxTracks>& extt) {
  const auto take = [](const QString& text, const char* key, QString& field) {
    const QString value = DecodeWord(ExtValue(text, key));
    if (!value.isEmpty()) field = value;
  };
  const auto takeList = [](const QString& text, const char* key, QStringList& field) {
    const QString value = ExtValue(text, key);
    if (!value.isEmpty()) field = value.split(QLatin1Char(','), Qt::SkipEmptyParts);
  };
  const auto takeNumber = [](const QString& text, const char* key, int32_t& field) {
    const int value = ExtValue(text, key).toInt();
    if (value > 0) field = value;
  };
  take(extd, "MBRELEASE", MBReleaseID);
  take(extd, "MBRELEASEGROUP", MBReleaseGroupID);
  takeList(extd, "MBALBUMARTIST", MBAlbumArtistIDs);
  take(extd, "MCN", MCN);
  take(extd, "DATE", Date);
  takeNumber(extd, "DISCNUMBER", DiscNumber);
  takeNumber(extd, "DISCTOTAL", DiscTotal);
  take(extd, "LABEL", Label);
  take(extd, "CATNO", CatalogNumber);
  take(extd, "BARCODE", Barcode);
  take(extd, "COUNTRY", ReleaseCountry);
  take(extd, "ORIGDATE", OriginalDate);
  take(extd, "DARTISTSORT", AlbumArtistSort);
  for (int i = 0; i < MaxTracks; ++i) {
    TCDTrack& track = Tracks[size_t(i)];
    // The artist runs to the end of the line: the keys are read before it.
    QString ext = extt[size_t(i)];
    const qsizetype artist = ext.indexOf(kTrackArtistKey);
    if (artist >= 0) {
      track.Artist = ext.mid(artist + kTrackArtistKey.size());
      ext.truncate(artist);
    }
    take(ext, "MBRECORDING", track.MBRecordingID);
    take(ext, "MBTRACK", track.MBReleaseTrackID);
    takeList(ext, "MBARTIST", track.MBArtistIDs);
    take(ext, "ISRC", track.ISRC);
    take(ext, "ARTISTSORT", track.ArtistSort);
  }
}

QString TMyCDInfo::LocalCDDBFile() const {
  return platform::AddTrailingSeparator(LocalFolder) + QString::asprintf("%8.8x", DiscID).toLower();
}

bool TMyCDInfo::ReadLocalCDDB() { return ReadXmcdFile(LocalCDDBFile()); }

bool TMyCDInfo::WriteLocalCDDB() {
  // Without a disc read during the run there is nothing to save.
  if (TrackCount <= 0) return false;
  TMyCDInfo entry = *this;
  entry.KeepStoredNamesForEmptyOnes();
  // Placeholders saved would pass for names and keep the disc from a lookup.
  if (!entry.NamesSomething()) return true;
  return platform::WriteFileAtomic(LocalCDDBFile(), entry.XmcdEntry());
}

bool TMyCDInfo::NamesSomething() const {
  if (!RealName(Artist).isEmpty() || !RealName(Album).isEmpty()) return true;
  for (int i = 0; i < std::clamp(TrackCount, 0, MaxTracks); ++i) {
    const TCDTrack& track = Tracks[size_t(i)];
    if (!track.Artist.trimmed().isEmpty() || !RealName(track.Title, i + 1).isEmpty()) return true;
  }
  return false;
}

bool TMyCDInfo::HasLocalEntry() const {
  TMyCDInfo stored = *this;
  stored.SetDefaultNames();
  return stored.ReadLocalCDDB() && stored.NamesSomething();
}

// The main window empties its fields when the disc leaves before the program
// closes; the stored names must survive that.
void TMyCDInfo::KeepStoredNamesForEmptyOnes() {
  TMyCDInfo stored;
  if (!stored.ReadXmcdFile(LocalCDDBFile())) return;
  const std::pair<QString*, const QString*> names[] = {{&Artist, &stored.Artist},
                                                       {&Album, &stored.Album},
                                                       {&Year, &stored.Year},
                                                       {&Category, &stored.Category}};
  for (const auto& [name, storedName] : names) {
    if (name->isEmpty()) *name = *storedName;
  }
  for (int i = 0; i < TrackCount; ++i) {
    if (Tracks[i].Title.isEmpty()) Tracks[i].Title = stored.Tracks[i].Title;
  }
}

QByteArray TMyCDInfo::XmcdEntry() const {
  const QString discTitle = SingleLine(Artist) + " / " + SingleLine(Album);
  QString artistRead, albumRead;
  SplitDiscTitle(discTitle, artistRead, albumRead);
  QStringList lines{"# xmcd CD database file", "#", "# Track frame offsets:"};
  for (int i = 0; i < TrackCount; ++i)
    lines << "#\t" + QString::number(uint32_t(Tracks[i].StartSector) + kLeadIn);
  lines << "#" << QString::asprintf("# Disc length: %d seconds", DiscSeconds) << "#"
        << QString::asprintf("# Revision: %d", Revision)
        << "# Submitted via: " + SingleLine(SubmittedVia) << "#"
        << "DISCID=" + QString::asprintf("%8.8x", DiscID).toLower() << "DTITLE=" + discTitle
        << "DYEAR=" + SingleLine(Year) << "DGENRE=" + SingleLine(Category);
  for (int i = 0; i < TrackCount; ++i)
    lines << QString::asprintf("TTITLE%d=", i) + SingleLine(Tracks[i].Title);
  QString extd = "EXTD= YEAR: " + SingleLine(Year) + " ID3G: 1";
  // Keys are followed by single words, so that every value reads back.
  const auto add = [](QString& line, const char* key, const QString& value) {
    if (!value.isEmpty()) line += QLatin1Char(' ') + QLatin1String(key) + ": " + EncodeWord(value);
  };
  const auto addNumber = [&add](QString& line, const char* key, int32_t value) {
    if (value > 0) add(line, key, QString::number(value));
  };
  add(extd, "MBRELEASE", MBReleaseID);
  add(extd, "MBRELEASEGROUP", MBReleaseGroupID);
  add(extd, "MBALBUMARTIST", MBAlbumArtistIDs.join(QLatin1Char(',')));
  add(extd, "MCN", MCN);
  // The date only where it says more than the year.
  if (FullDate() != Year) add(extd, "DATE", Date);
  addNumber(extd, "DISCNUMBER", DiscNumber);
  addNumber(extd, "DISCTOTAL", DiscTotal);
  add(extd, "LABEL", Label);
  add(extd, "CATNO", CatalogNumber);
  add(extd, "BARCODE", Barcode);
  add(extd, "COUNTRY", ReleaseCountry);
  add(extd, "ORIGDATE", OriginalDate);
  add(extd, "DARTISTSORT", AlbumArtistSort);
  if (artistRead != SingleLine(Artist) || albumRead != SingleLine(Album))
    extd += kDiscArtistKey + SingleLine(Artist);
  lines << extd;
  for (int i = 0; i < TrackCount; ++i) {
    const TCDTrack& track = Tracks[i];
    QString extt = QString::asprintf("EXTT%d=", i) + SingleLine(track.ExtData);
    add(extt, "MBRECORDING", track.MBRecordingID);
    add(extt, "MBTRACK", track.MBReleaseTrackID);
    add(extt, "MBARTIST", track.MBArtistIDs.join(QLatin1Char(',')));
    add(extt, "ISRC", track.ISRC);
    add(extt, "ARTISTSORT", track.ArtistSort);
    // Last: the artist's name runs to the end of the line.
    if (!track.Artist.isEmpty()) extt += kTrackArtistKey + SingleLine(track.Artist);
    lines << extt;
  }
  lines << "PLAYORDER=";
  return (lines.join("\r\n") + "\r\n").toUtf8();
}
