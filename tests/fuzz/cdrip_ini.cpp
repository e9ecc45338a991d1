// cdrip.ini as the CD-reading library reads it: the drives it lists, their
// parameters and the fault lines of image drives. After CR_SaveSettings a
// fresh CR_Init must find the same drives with the same parameters.
#include <cstring>
#include <vector>

#include "FuzzUtil.h"
#include "libs/cdrip/cdrip.h"

namespace {

std::vector<CdripDriveParams> AllParams() {
  std::vector<CdripDriveParams> params;
  for (int32_t i = 0; i < CR_GetNumCDROM(); ++i) {
    CdripDriveParams p{};
    FUZZ_CHECK(CR_SetActiveCDROM(i) == CDRIP_OK, QString::number(i));
    FUZZ_CHECK(CR_GetCDROMParameters(&p) == CDRIP_OK, QString::number(i));
    params.push_back(p);
  }
  return params;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray path = fuzz::WriteInput("cdrip.ini", fuzz::Bytes(data, size)).toUtf8();
  FUZZ_CHECK(CR_Init(path.constData()) == CDRIP_OK, QString());
  const int32_t active = CR_GetActiveCDROM();
  const std::vector<CdripDriveParams> before = AllParams();
  if (active >= 0) {
    CR_SetActiveCDROM(active);
    // Reads the image drive's fault lines again.
    CR_IsUnitReady();
  }
  FUZZ_CHECK(CR_SaveSettings() == CDRIP_OK, QString());

  FUZZ_CHECK(CR_Init(path.constData()) == CDRIP_OK, QString());
  FUZZ_CHECK(CR_GetActiveCDROM() == active, QString::number(CR_GetActiveCDROM()));
  const std::vector<CdripDriveParams> after = AllParams();
  FUZZ_CHECK(after.size() == before.size(), QString::number(after.size()));
  for (size_t i = 0; i < before.size(); ++i)
    FUZZ_CHECK(std::memcmp(&before[i], &after[i], sizeof(CdripDriveParams)) == 0,
               QString::fromUtf8(before[i].driveName));
  return 0;
}
