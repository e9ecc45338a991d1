// A MusicBrainz web-service answer: read into releases, the first applied to
// a disc of 99 tracks, saved as the local entry and read again. A refused
// answer yields no release; the names, IDs and track artists taken survive
// the save.
#include <QFile>

#include "FuzzUtil.h"
#include "cddb/CDInfo.h"
#include "musicbrainz/MbRelease.h"

namespace {

bool Word(const QString& text) {
  for (QChar c : text)
    if (c.isSpace()) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<TMbRelease> releases;
  QString error;
  if (!ReadMbReleases(fuzz::Bytes(data, size), releases, error)) {
    FUZZ_CHECK(releases.empty(), error);
    FUZZ_CHECK(!error.isEmpty(), QString());
    return 0;
  }
  if (releases.empty()) return 0;
  for (const TMbRelease& release : releases) {
    (void)release.Caption();
    (void)release.Details();
  }

  TMyCDInfo info;
  info.TrackCount = 99;
  for (int i = 0; i < 99; ++i) {
    info.Tracks[size_t(i)].StartSector = i * 100;
    info.Tracks[size_t(i)].EndSector = (i + 1) * 100;
  }
  info.ComputeDiscValues();
  info.SetDefaultNames();
  const TMbRelease& release = releases[0];
  ApplyMbRelease(info, release, MbMediumOf(release, "D", 99));
  info.LocalFolder = fuzz::Dir() + "cddb";
  QFile::remove(info.LocalCDDBFile());
  FUZZ_CHECK(info.WriteLocalCDDB(), info.LocalCDDBFile());
  // Names that are all placeholders are not saved.
  if (!info.NamesSomething()) return 0;

  TMyCDInfo read;
  read.TrackCount = 99;
  read.LocalFolder = info.LocalFolder;
  read.DiscID = info.DiscID;
  read.SetDefaultNames();
  FUZZ_CHECK(read.ReadLocalCDDB(), QString());
  for (const auto& [saved, readBack] :
       {std::pair(info.Artist, read.Artist), std::pair(info.Album, read.Album)})
    if (saved == saved.simplified()) FUZZ_CHECK(readBack == saved, saved + " | " + readBack);
  if (Word(info.MBReleaseID)) FUZZ_CHECK(read.MBReleaseID == info.MBReleaseID, info.MBReleaseID);
  if (Word(info.MBReleaseGroupID))
    FUZZ_CHECK(read.MBReleaseGroupID == info.MBReleaseGroupID, info.MBReleaseGroupID);
  for (int i = 0; i < 99; ++i) {
    const TCDTrack& a = info.Tracks[size_t(i)];
    const TCDTrack& b = read.Tracks[size_t(i)];
    if (Word(a.MBRecordingID)) FUZZ_CHECK(a.MBRecordingID == b.MBRecordingID, a.MBRecordingID);
    if (Word(a.ISRC)) FUZZ_CHECK(a.ISRC == b.ISRC, a.ISRC);
    if (!a.Artist.isEmpty() && a.Artist == a.Artist.simplified())
      FUZZ_CHECK(a.Artist == b.Artist, a.Artist + " | " + b.Artist);
  }
  return 0;
}
