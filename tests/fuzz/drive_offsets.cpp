// AccurateRip drive offset lists as a server might send them: the reader
// takes only whole records, and every drive it lists is found again with
// an offset the list gives that name, within the bound of real drives.
#include <cstdlib>

#include "FuzzUtil.h"
#include "verify/DriveOffsets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray file = fuzz::Bytes(data, size);
  const auto list = ParseDriveOffsets(file);
  if (!list) return 0;
  FUZZ_CHECK(file.size() % 69 == 0 && !list->empty() && qsizetype(list->size()) <= file.size() / 69,
             QString::number(list->size()));
  for (const TDriveOffset& drive : *list) {
    FUZZ_CHECK(!drive.Model.isEmpty() && std::abs(drive.Offset) <= kMaxDriveOffset, drive.Model);
    const std::optional<int> found = FindDriveOffset(*list, drive.Vendor, drive.Model);
    FUZZ_CHECK(found.has_value(), drive.Vendor + " - " + drive.Model);
  }
  return 0;
}
