#include "rip/TrackReader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>

#include "disc/CDRIP.h"
#include "disc/Disc.h"
#include "rip/DiscLoad.h"
#include "rip/RipPlan.h"
#include "verify/CtdbVerification.h"
#include "verify/RipVerification.h"
#include "verify/SectorHealth.h"

namespace {

// How often the sector picture is shown while a track is read, ms.
constexpr int kDisplayInterval = 100;

// Clears the drive's handlers when a read ends, however it ends.
struct THandlersEnd {
  TCDRIP& Drive;
  ~THandlersEnd() {
    Drive.OnRead = nullptr;
    Drive.OnAudio = nullptr;
  }
};

}  // namespace

TTrackReader::TTrackReader(TCDRIP& drive, const TDisc& disc, const TRipSettings& settings,
                           int lookupTimeoutMs)
    : FDrive(drive), FDisc(disc) {
  if (!settings.Verify) return;
  const std::vector<TArTocTrack> toc = ArTocOf(disc);
  FVerification = std::make_unique<TRipVerification>(toc, disc.LeadOut, disc.Ids.Cddb,
                                                     settings.AccurateRipServer, lookupTimeoutMs);
  FVerification->OnVerdict = [this](const TTrackVerification& track) {
    if (OnVerdict) OnVerdict(track.TrackNum);
  };
  if (!settings.CtdbServer.trimmed().isEmpty() && CtdbLayoutOf(toc, disc.LeadOut))
    FCtdb = std::make_unique<TCtdbVerification>(toc, disc.LeadOut, settings.CtdbServer,
                                                lookupTimeoutMs);
}

TTrackReader::~TTrackReader() = default;

void TTrackReader::FinishLookup(const std::function<bool()>& stopped) {
  if (FVerification) FVerification->WaitForAnswer(stopped);
  if (FCtdb) FCtdb->WaitForAnswer(stopped);
}

bool TTrackReader::RipDiscTrack(int32_t trackNum, const QString& fileName) {
  if (trackNum != 0 || FDisc.Tracks.empty()) return FDrive.RipTrack(trackNum, fileName);
  return FDrive.RipSection(0, FDisc.FirstStart(), fileName);
}

TTrackReader::TRead TTrackReader::Read(int32_t trackNum, const QString& fileName, const TSink& sink,
                                       bool crc) {
  TRead read;
  // The checksums see the audio as the drive hands it over, whatever is
  // made of it.
  TTrackChecksums* sums = nullptr;
  TTrackChecksums own;  // the CRC asked for when nothing verifies
  const int64_t samples = FDisc.AudioBytes(trackNum) / 4;
  if (FVerification && samples > 0) sums = &FVerification->BeginTrack(trackNum, samples);
  TTrackChecksums* checksums = sums ? sums : crc ? &own : nullptr;
  TCtdbVerification* ctdb = FCtdb && FCtdb->BeginTrack(trackNum) ? FCtdb.get() : nullptr;
  QElapsedTimer shown;
  shown.start();
  const THandlersEnd end{FDrive};
  FDrive.OnRead = [this, checksums, ctdb, trackNum, &shown](const uint8_t* data, int32_t bytes) {
    if (checksums) checksums->Add(data, size_t(bytes));
    if (ctdb) ctdb->Add(data, size_t(bytes));
    if (OnSectorHealth && shown.elapsed() >= kDisplayInterval) {
      shown.restart();
      OnSectorHealth({trackNum, FDrive.SectorStatus(), false});
    }
  };
  FDrive.OnAudio = sink;
  FDrive.SetEncode(false);
  FDrive.SetWriteWAV(!sink);
  try {
    read.Ripped = RipDiscTrack(trackNum, fileName);
  } catch (...) {
    read.Failure = std::current_exception();
  }
  ReadEnded(trackNum, read);
  if (sums)
    FVerification->EndTrack(trackNum,
                            read.Ripped && FDrive.LostSectors() == 0 && sums->Samples() == samples);
  // Sectors lost are silence in the files, which a repair may mend.
  if (ctdb) ctdb->EndTrack(trackNum, read.Ripped);
  read.LostSectors = FDrive.LostSectors();
  read.LeftOutSectors = FDrive.LeftOutSectors();
  read.JitterErrors = FDrive.JitterErrors();
  if (checksums) read.Crc = checksums->Crc32();
  return read;
}

void TTrackReader::ReadEnded(int32_t trackNum, TRead& read) {
  FDrive.OnRead = nullptr;
  TTrackHealth health{trackNum, FDrive.SectorStatus(), true};
  // A range the drive refused was not read: no picture.
  if (health.Status.empty()) return;
  FSectors[trackNum] = health.Status;
  read.SectorMap = HealthLine(health.Status);
  read.SectorCounts = CountSectors(health.Status).Text();
  if (OnSectorHealth) OnSectorHealth(health);
}

std::pair<QString, QString> TTrackReader::MarkRepaired(int32_t trackNum,
                                                       const std::vector<int32_t>& sectors) {
  std::vector<uint8_t>& status = FSectors[trackNum];
  for (const int32_t sector : sectors)
    if (sector >= 0 && size_t(sector) < status.size()) status[size_t(sector)] = skRepaired;
  if (OnSectorHealth) OnSectorHealth({trackNum, status, true});
  return {HealthLine(status), CountSectors(status).Text()};
}

TTrackReader::TRead TTrackReader::TestRead(int32_t trackNum, const QString& fileName) {
  TRead read;
  TTrackChecksums test;
  const THandlersEnd end{FDrive};
  FDrive.OnAudio = [&test](const uint8_t* data, int32_t bytes) { test.Add(data, size_t(bytes)); };
  try {
    read.Ripped = RipDiscTrack(trackNum, fileName);
  } catch (...) {
    read.Failure = std::current_exception();
  }
  read.Crc = test.Crc32();
  return read;
}

bool TTrackReader::HoldsSound(int32_t trackNum, const QString& fileName) {
  bool audible = false;
  const THandlersEnd end{FDrive};
  FDrive.OnAudio = [&audible](const uint8_t* data, int32_t bytes) {
    audible = audible || std::any_of(data, data + bytes, [](uint8_t byte) { return byte != 0; });
  };
  try {
    // Sectors there that cannot be read are ripped as a job, which reports
    // them; a jitter report goes beside that job's file.
    return RipDiscTrack(trackNum, fileName) && (audible || FDrive.LostSectors() > 0);
  } catch (const std::exception&) {
    return true;
  }
}
