// TTrackReader: reads the tracks of a plan's disc through the ripping
// component as the session asks: into a WAV file, or into a sink that takes
// the samples of every chunk (an encoder's stream). With the plan's Verify
// it proves them: the disc is looked up in the AccurateRip and CTDB
// databases at once and the checksums of both are taken from the audio as
// the drive hands it over. The sector picture is shown while a track is read
// and kept once it ended.
// Reports by return values and its events; never calls the session.
// User-interface thread only.
#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class TCDRIP;
class TCtdbVerification;
class TRipVerification;
struct TDisc;
struct TRipSettings;
struct TTrackHealth;

class TTrackReader {
 public:
  using TSink = std::function<void(const uint8_t* data, int32_t bytes)>;

  // The drive and the disc must outlive the reader; the lookups, when the
  // settings verify, ask their AccurateRip and CTDB servers within
  // lookupTimeoutMs.
  TTrackReader(TCDRIP& drive, const TDisc& disc, const TRipSettings& settings, int lookupTimeoutMs);
  ~TTrackReader();

  // A track's sector picture: while it is read (at most every 100 ms) and
  // once its read ended (Finished).
  std::function<void(const TTrackHealth& health)> OnSectorHealth;
  // A track got its verdict.
  std::function<void(int32_t trackNum)> OnVerdict;

  // The proof of the tracks read; null when the settings do not verify.
  const TRipVerification* Verification() const { return FVerification.get(); }
  TRipVerification* Verification() { return FVerification.get(); }
  // The CTDB proof of the rip; null when the settings do not verify, name no
  // CTDB server or the disc has no audio the database covers.
  const TCtdbVerification* Ctdb() const { return FCtdb.get(); }
  TCtdbVerification* Ctdb() { return FCtdb.get(); }
  // Waits for the databases' answers (bounded by their time-out); ends them
  // at once when, or as soon as, the rip is stopped.
  void FinishLookup(const std::function<bool()>& stopped);

  struct TRead {
    bool Ripped = false;          // the drive delivered the range
    std::exception_ptr Failure;   // what failed; null when the drive refused the range
    std::optional<uint32_t> Crc;  // of the audio, when it was asked for or verified
    int32_t LostSectors = 0;
    int32_t LeftOutSectors = 0;  // audio the drive's offsets cut off that is not silence
    int32_t JitterErrors = 0;
    QString SectorMap;  // a mark per sixtieth of the track; empty when nothing was read
    QString SectorCounts;
  };
  // Reads track trackNum (0: the audio before track 1) into fileName, or
  // into the sink when one is given (a jitter report still goes beside
  // fileName); with crc, its CRC is taken even when nothing verifies.
  TRead Read(int32_t trackNum, const QString& fileName, const TSink& sink, bool crc);
  // Test and copy's first read: the CRC of the track alone, no file.
  TRead TestRead(int32_t trackNum, const QString& fileName);
  // Whether the track's audio holds any sound, read once to know; a read
  // that fails or loses sectors counts as sound (its job then reports it).
  bool HoldsSound(int32_t trackNum, const QString& fileName);

  // Marks the sectors (from the track's start) of the track read last as
  // repaired in its picture, which is shown again; returns the picture's
  // log line and counts.
  std::pair<QString, QString> MarkRepaired(int32_t trackNum, const std::vector<int32_t>& sectors);

 private:
  bool RipDiscTrack(int32_t trackNum, const QString& fileName);
  // The sector picture of the read that ended: kept in read and reported.
  void ReadEnded(int32_t trackNum, TRead& read);

  TCDRIP& FDrive;
  const TDisc& FDisc;
  std::unique_ptr<TRipVerification> FVerification;
  std::unique_ptr<TCtdbVerification> FCtdb;
  std::map<int32_t, std::vector<uint8_t>> FSectors;  // each track's picture once read
};
