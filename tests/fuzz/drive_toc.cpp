// A drive's READ TOC answer, as the CDDB lookup reads it for a disc ID of its
// own: converted to the table of contents and its disc ID computed.
#include "FuzzUtil.h"
#include "cddb/SptiCD.h"
#include "cddb/TCddb.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TCDInfo info = TocToCDInfo(data, size);
  FUZZ_CHECK(info.TrackCount <= LCDDB_MAX_TRACKS, QString::number(info.TrackCount));
  TCddb cddb(nullptr, /*probeDrive=*/false);
  cddb.SetInternalTOC(info);
  const uint32_t id = cddb.InternalDiscID();
  FUZZ_CHECK((id & 0xFF) == info.TrackCount, QString::number(id, 16));
  return 0;
}
