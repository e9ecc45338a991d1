// Faults an image drive injects, read from the image's section of cdrip.ini
// again on every CR_IsUnitReady, CR_ReadToc, CR_OpenRipper and CR_EjectCD, so
// a running program sees a disc "inserted" or "removed" when they change:
//   NotReady=1                  no disc: not ready, no TOC, no rip
//   UnreadableSectors=a-b[,c-d] these sectors cannot be read: silence, code 1
//   JitterSectors=a-b[,c-d]     a chunk touching these sectors reports a jitter
//                               error (code 3) at the touched sectors; data is kept
//   FlakySectors=a-b[,c-d]      the first read of each of these sectors fails,
//                               the next one delivers it (a re-read)
//   ReadErrorDelay=<ms>         a read that meets an unreadable sector takes this
//                               long to fail, as a drive's own retries do
//   EjectFails=1                CR_EjectCD fails and the tray does not move
//   ChangingSectors=a-b[,c-d]   every second hand-over of these sectors differs
//                               (each sample's low bit flipped), as a drive
//                               that does not read them the same twice
// and the drive an image stands in for, simulated as real drives misbehave
// (TSimulatedDrive):
//   ReadJitter=<samples>        every read request returns its data displaced by
//                               a random whole number of samples, -N to +N, as
//                               a drive without accurate stream does; like
//                               such a drive it lands right more often than
//                               anywhere else (half its reads)
//   DriveCache=<sectors>        the drive keeps the last N sectors it read and
//                               answers a re-read of one of them from there,
//                               wrong data included, until it is pushed out
//   ScratchedSectors=a-b[,c-d]  reads of these sectors return damaged samples
//                               without an error, different on each read; now
//                               and then a read comes out right
//   SlowSectors=a-b:ms[,c-d:ms] each read touching these sectors takes that
//                               long, and succeeds
//   Seed=<n>                    the random choices repeat for a given seed
// Ranges are inclusive sector numbers; a single number names one sector.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace cdrip {

class TIniFile;

struct TSectorRange {
  int32_t First;
  int32_t Last;
  bool operator==(const TSectorRange&) const = default;
};

struct TFaults {
  bool NotReady = false;
  bool EjectFails = false;
  std::vector<TSectorRange> Unreadable;
  std::vector<TSectorRange> Jitter;
  std::vector<TSectorRange> Flaky;
  std::vector<TSectorRange> Changing;
  int32_t ReadErrorDelay = 0;  // ms
  // The simulated drive.
  int32_t ReadJitter = 0;  // samples
  int32_t DriveCache = 0;  // sectors
  std::vector<TSectorRange> Scratched;
  std::vector<TSectorRange> Slow;
  std::vector<int32_t> SlowDelays;  // ms, one per Slow range
  std::optional<uint32_t> Seed;
};

// The faults the ini's section `key` states.
TFaults ReadFaults(const TIniFile& ini, const std::string& key);

// "a-b, c, d-e": a list of inclusive ranges; items that are no number are
// skipped. With `values`, each range's ":n" after it (0 when none).
std::vector<TSectorRange> ParseRanges(const std::string& text,
                                      std::vector<int32_t>* values = nullptr);

// The first sector range that overlaps [first, last], clipped to it.
bool Overlap(const std::vector<TSectorRange>& ranges, int32_t first, int32_t last,
             TSectorRange& hit);

// The drive an image drive stands in for: what it hands back for each read
// request, from the image's exact sectors (the medium) and the faults. It
// keeps its cache and its random sequence from rip to rip, until the faults
// or the disc change. Owned by the drive, shared with its rip; one thread.
class TSimulatedDrive {
 public:
  // Reads `count` sectors of the medium from `first` into `out`; returns how
  // many of them, from the first, it holds.
  using TMedium = std::function<long(int32_t first, long count, uint8_t* out)>;

  // Takes the faults and the disc (its path and lead-out); a change of
  // either starts the drive afresh: an empty cache, the seed's sequence.
  void Load(const TFaults& faults, const std::string& disc, int32_t leadOut);
  // A rip begins: flaky sectors fail their first read again.
  void BeginRip() { FFailedOnce.clear(); }
  // What the drive returns for a request of `count` sectors from `first`:
  // how many of them, from the first, it delivered into `out`. A null `out`
  // reads without handing anything over, as a seek does.
  long Read(const TMedium& medium, int32_t first, long count, uint8_t* out);

 private:
  bool Cached(int32_t sector) const { return FCacheSlots.count(sector) != 0; }
  void Cache(int32_t sector, const uint8_t* data);
  void Scratch(uint8_t* sector);

  TFaults FFaults;
  std::string FDisc;
  int32_t FLeadOut = 0;
  std::mt19937 FRandom;
  std::unordered_set<int32_t> FFailedOnce;
  std::vector<uint8_t> FMedium;  // what a read takes from the medium, kept to spare allocations
  // The cache: a ring of DriveCache sectors in the order they were read.
  std::vector<uint8_t> FCache;
  std::vector<int32_t> FCacheSectors;  // the sector in each slot, -1 when empty
  std::unordered_map<int32_t, size_t> FCacheSlots;
  size_t FCacheNext = 0;
};

}  // namespace cdrip
