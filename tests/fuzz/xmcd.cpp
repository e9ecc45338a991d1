// An xmcd entry as the local CDDB folder or a server hands it over: read
// through TMyCDInfo, saved as the program saves it, and read again. Every
// name must come back as it was read.
#include <QFile>

#include "FuzzUtil.h"
#include "cddb/CDInfo.h"

namespace {

void ExpectSameNames(const TMyCDInfo& a, const TMyCDInfo& b) {
  FUZZ_CHECK(a.Artist == b.Artist, a.Artist + " | " + b.Artist);
  FUZZ_CHECK(a.Album == b.Album, a.Album + " | " + b.Album);
  FUZZ_CHECK(a.Year == b.Year, a.Year + " | " + b.Year);
  FUZZ_CHECK(a.Category == b.Category, a.Category + " | " + b.Category);
  FUZZ_CHECK(a.Revision == b.Revision, QString::number(a.Revision));
  FUZZ_CHECK(a.SubmittedVia == b.SubmittedVia, a.SubmittedVia + " | " + b.SubmittedVia);
  for (int i = 0; i < TMyCDInfo::MaxTracks; ++i)
    FUZZ_CHECK(a.Tracks[i].Title == b.Tracks[i].Title,
               a.Tracks[i].Title + " | " + b.Tracks[i].Title);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMyCDInfo read;
  read.SetDefaultNames();
  FUZZ_CHECK(read.ReadXmcdFile(fuzz::WriteInput("entry", fuzz::Bytes(data, size))), QString());

  // Saved with every track so every title read is written.
  TMyCDInfo saved = read;
  saved.TrackCount = TMyCDInfo::MaxTracks;
  saved.LocalFolder = fuzz::Dir() + "cddb";
  QFile::remove(saved.LocalCDDBFile());
  FUZZ_CHECK(saved.WriteLocalCDDB(), saved.LocalCDDBFile());
  // Names that are all placeholders are not saved.
  if (!saved.NamesSomething()) return 0;

  TMyCDInfo again;
  again.SetDefaultNames();
  FUZZ_CHECK(again.ReadXmcdFile(saved.LocalCDDBFile()), QString());
  ExpectSameNames(read, again);
  return 0;
}
