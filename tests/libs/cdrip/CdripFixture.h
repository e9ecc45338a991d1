// The fixture of the CD-reading library's tests: a generated disc image
// listed in a cdrip.ini (with the faults and the simulated drive it states),
// the library started on it, and a rip read to its end.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <vector>

#include "common/DiscImage.h"
#include "common/TestUtil.h"
#include "libs/cdrip/cdrip.h"

inline constexpr int kSectorBytes = 2352;

class Cdrip : public ::testing::Test {
 protected:
  void SetUp() override {
    Image = testutil::MakeDiscImage(Folder.File("discs"), "disc", {100, 160, 75});
    IniPath = Folder.File("cdrip.ini");
  }

  // Writes the ini and starts the library on it; returns the index of the
  // first image drive (physical drives come first).
  int Start(const QString& extra = QString(), const QStringList& images = {}) {
    testutil::WriteCdripIni(IniPath, images.isEmpty() ? QStringList{Image.CuePath} : images, extra);
    EXPECT_EQ(CR_Init(IniPath.toUtf8().constData()), CDRIP_OK);
    const int first = CR_GetNumCDROM() - int(images.isEmpty() ? 1 : images.size());
    EXPECT_GE(first, 0);
    EXPECT_EQ(CR_SetActiveCDROM(first), CDRIP_OK);
    return first;
  }

  void SetFaults(const QString& faults) {
    testutil::WriteCdripIni(IniPath, {Image.CuePath}, faults);
  }

  CdripDriveParams Params() {
    CdripDriveParams params{};
    EXPECT_EQ(CR_GetCDROMParameters(&params), CDRIP_OK);
    return params;
  }

  void SetJitterCorrection(int32_t value) {
    CdripDriveParams params = Params();
    params.jitterCorrection = value;
    EXPECT_EQ(CR_SetCDROMParameters(&params), CDRIP_OK);
  }

  // The open rip's CDRIP_SECTOR_ status of every sector of its range.
  static std::vector<uint8_t> SectorStatus() {
    int32_t first = 0, count = 0;
    EXPECT_EQ(CR_GetSectorStatus(&first, nullptr, 0, &count), CDRIP_OK);
    std::vector<uint8_t> status(size_t(std::max(count, 0)));
    CR_GetSectorStatus(&first, status.data(), count, &count);
    return status;
  }

  struct TRip {
    QByteArray Pcm;
    std::vector<int> Codes;
    std::vector<int> ChunkBytes;
    int BufferSize = 0;
  };

  // Rips [start, end) to the end; fails the test on a refused range. `opened`
  // runs once the ripper is open.
  TRip Rip(int start, int end, const std::function<void()>& opened = {}) {
    TRip rip;
    int32_t bufferSize = 0;
    EXPECT_EQ(CR_OpenRipper(&bufferSize, start, end), CDRIP_OK);
    if (opened) opened();
    rip.BufferSize = bufferSize;
    QByteArray buffer(bufferSize, '\0');
    for (int guard = 0; guard < 10000; ++guard) {
      int32_t bytes = -1, noAbort = 0;
      const int code = CR_RipChunk(reinterpret_cast<uint8_t*>(buffer.data()), &bytes, &noAbort);
      rip.Codes.push_back(code);
      rip.ChunkBytes.push_back(bytes);
      rip.Pcm += buffer.left(bytes);
      if (code == CDRIP_RIPPING_DONE) break;
    }
    return rip;
  }

  testutil::TTempFolder Folder;
  testutil::TDiscImage Image;
  QString IniPath;
};
