// A CDDB server's answers as the lookup handles them: the same bytes given
// as the answer to a query, a read (which also runs the local CDDB library's
// parser on a complete entry), the server list and the category list.
#include <dlfcn.h>

#include "FuzzUtil.h"
#include "cddb/TCddb.h"

#define LOCAL_CDDB CADENZO_PROGRAM_DIR "/liblocalcddb.so"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Held open for the whole run: the lookup unloads the library after each
  // entry, and libFuzzer must not lose the coverage counters it registered.
  static void* const kept = dlopen(LOCAL_CDDB, RTLD_NOW);
  FUZZ_CHECK(kept, QString::fromUtf8(dlerror()));
  const QByteArray body = fuzz::Bytes(data, size);
  for (const TCddbState request : {TCddbState::QuerySent, TCddbState::ReadSent,
                                   TCddbState::SitesSent, TCddbState::CategoriesSent}) {
    TCddb cddb(nullptr, /*probeDrive=*/false);
    cddb.ServerType = HTTP;
    cddb.LocalCDDBPath = QStringLiteral(LOCAL_CDDB);
    // The user picks the last match offered.
    cddb.OnMatch = [](const TMatchArray& matches, int& rightOne) {
      for (int i = 0; i < int(matches.size()); ++i)
        if (!matches[size_t(i)].isEmpty()) rightOne = i;
    };
    cddb.HandleResponse(request, body);
    for (int i = 0; i < TCddb::MaxEntryLines; ++i) cddb.EntryLine(i);
    for (const QString& line : TCddb::SplitResponse(QString::fromUtf8(body)))
      cddb.ClassifyLine(line);
  }
  return 0;
}
