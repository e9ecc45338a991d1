#include "cddb/CDInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
// on the line, since the name runs to its end.
const QString kDiscArtistKey = QStringLiteral(" DARTIST: ");

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

bool IsPlaceholder(const QString& name, std::initializer_list<QString> placeholders) {
  return name.trimmed().isEmpty() ||
         std::find(placeholders.begin(), placeholders.end(), name.trimmed()) != placeholders.end();
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
  Artist = QStringLiteral("NOARTIST");
  Album = QStringLiteral("NOTITLE");
  MBReleaseID.clear();
  MBReleaseGroupID.clear();
  MBAlbumArtistID.clear();
  for (int i = 0; i < MaxTracks; ++i) {
    Tracks[i].Title = QString::asprintf("Track%.2d", i + 1);
    Tracks[i].ExtData.clear();
    Tracks[i].Artist.clear();
    Tracks[i].MBRecordingID.clear();
  }
  for (int i = 0; i < TrackCount; ++i) {
    if (Tracks[i].Kind == TTrackKind::Audio) continue;
    Tracks[i].Title = QString::asprintf("DataTrack%.2d", i + 1);
    Tracks[i].Kind = TTrackKind::Data;
  }
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
  return true;
}

// The keys this program adds to EXTD and EXTT; entries from elsewhere have
// none and leave the fields as they are.
void TMyCDInfo::ReadExtendedData(const QString& extd, const std::array<QString, MaxTracks>& extt) {
  const auto take = [](const QString& text, const char* key, QString& field) {
    const QString value = ExtValue(text, key);
    if (!value.isEmpty()) field = value;
  };
  take(extd, "MBRELEASE", MBReleaseID);
  take(extd, "MBRELEASEGROUP", MBReleaseGroupID);
  take(extd, "MBALBUMARTIST", MBAlbumArtistID);
  take(extd, "MCN", MCN);
  for (int i = 0; i < MaxTracks; ++i) {
    take(extt[size_t(i)], "MBRECORDING", Tracks[size_t(i)].MBRecordingID);
    take(extt[size_t(i)], "ISRC", Tracks[size_t(i)].ISRC);
    const qsizetype artist = extt[size_t(i)].indexOf(QLatin1String(" ARTIST: "));
    if (artist >= 0) Tracks[size_t(i)].Artist = extt[size_t(i)].mid(artist + 9);
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
  if (!IsPlaceholder(Artist, {QStringLiteral("NOARTIST")}) ||
      !IsPlaceholder(Album, {QStringLiteral("NOTITLE")}))
    return true;
  for (int i = 0; i < std::clamp(TrackCount, 0, MaxTracks); ++i) {
    const TCDTrack& track = Tracks[size_t(i)];
    if (!track.Artist.trimmed().isEmpty() ||
        !IsPlaceholder(track.Title, {QString::asprintf("Track%.2d", i + 1),
                                     QString::asprintf("DataTrack%.2d", i + 1)}))
      return true;
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
  const auto add = [](QString& line, const char* key, const QString& value) {
    // Keys are followed by single words; a value with blanks would not read back.
    if (value.isEmpty() ||
        std::any_of(value.begin(), value.end(), [](QChar c) { return c.isSpace(); }))
      return;
    line += QLatin1Char(' ') + QLatin1String(key) + ": " + value;
  };
  add(extd, "MBRELEASE", MBReleaseID);
  add(extd, "MBRELEASEGROUP", MBReleaseGroupID);
  add(extd, "MBALBUMARTIST", MBAlbumArtistID);
  add(extd, "MCN", MCN);
  if (artistRead != SingleLine(Artist) || albumRead != SingleLine(Album))
    extd += kDiscArtistKey + SingleLine(Artist);
  lines << extd;
  for (int i = 0; i < TrackCount; ++i) {
    const TCDTrack& track = Tracks[i];
    QString extt = QString::asprintf("EXTT%d=", i) + SingleLine(track.ExtData);
    add(extt, "MBRECORDING", track.MBRecordingID);
    add(extt, "ISRC", track.ISRC);
    // Last: the artist's name runs to the end of the line.
    if (!track.Artist.isEmpty()) extt += " ARTIST: " + SingleLine(track.Artist);
    lines << extt;
  }
  lines << "PLAYORDER=";
  return (lines.join("\r\n") + "\r\n").toUtf8();
}
