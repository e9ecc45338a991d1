#include "libs/cdrip/ImageFaults.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "libs/cdrip/IniFile.h"

namespace cdrip {

namespace {

constexpr int32_t kSectorBytes = 2352;
constexpr int32_t kSectorSamples = kSectorBytes / 4;
constexpr int32_t kMaxDelay = 60000;  // ms
// Paranoia finds a displacement within its overlap, 32 sectors; a drive
// this far off is broken rather than jittery.
constexpr int32_t kMaxReadJitter = 10 * kSectorSamples;
constexpr int32_t kMaxDriveCache = 10000;  // sectors: 23.5 MB

int64_t FloorDiv(int64_t value, int64_t by) {
  return value >= 0 ? value / by : -((by - 1 - value) / by);
}

void Sleep(int32_t ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

TFaults ReadFaults(const TIniFile& ini, const std::string& key) {
  TFaults faults;
  faults.NotReady = ini.GetInt(key, "NotReady", 0) != 0;
  faults.EjectFails = ini.GetInt(key, "EjectFails", 0) != 0;
  faults.Unreadable = ParseRanges(ini.Get(key, "UnreadableSectors"));
  faults.Jitter = ParseRanges(ini.Get(key, "JitterSectors"));
  faults.Flaky = ParseRanges(ini.Get(key, "FlakySectors"));
  faults.Changing = ParseRanges(ini.Get(key, "ChangingSectors"));
  faults.ReadErrorDelay = std::clamp(ini.GetInt(key, "ReadErrorDelay", 0), 0, kMaxDelay);
  faults.ReadJitter = std::clamp(ini.GetInt(key, "ReadJitter", 0), 0, kMaxReadJitter);
  faults.DriveCache = std::clamp(ini.GetInt(key, "DriveCache", 0), 0, kMaxDriveCache);
  faults.Scratched = ParseRanges(ini.Get(key, "ScratchedSectors"));
  faults.Slow = ParseRanges(ini.Get(key, "SlowSectors"), &faults.SlowDelays);
  for (int32_t& delay : faults.SlowDelays) delay = std::clamp(delay, 0, kMaxDelay);
  const std::string seed = ini.Get(key, "Seed");
  char* end = nullptr;
  const unsigned long value = std::strtoul(seed.c_str(), &end, 10);
  if (end != seed.c_str()) faults.Seed = uint32_t(value);
  return faults;
}

std::vector<TSectorRange> ParseRanges(const std::string& text, std::vector<int32_t>* values) {
  std::vector<TSectorRange> ranges;
  size_t at = 0;
  while (at < text.size()) {
    size_t comma = text.find(',', at);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = text.substr(at, comma - at);
    const size_t colon = std::min(item.find(':'), item.size());
    char* end = nullptr;
    const long first = std::strtol(item.c_str(), &end, 10);
    if (end != item.c_str()) {
      long last = first;
      const size_t dash = item.find('-', size_t(end - item.c_str()));
      if (dash < colon) last = std::strtol(item.c_str() + dash + 1, nullptr, 10);
      ranges.push_back({int32_t(std::min(first, last)), int32_t(std::max(first, last))});
      if (values)
        values->push_back(
            colon < item.size()
                ? int32_t(std::clamp<long>(std::strtol(item.c_str() + colon + 1, nullptr, 10),
                                           INT32_MIN, INT32_MAX))
                : 0);
    }
    at = comma + 1;
  }
  return ranges;
}

bool Overlap(const std::vector<TSectorRange>& ranges, int32_t first, int32_t last,
             TSectorRange& hit) {
  for (const TSectorRange& range : ranges) {
    if (range.Last < first || range.First > last) continue;
    hit = {std::max(range.First, first), std::min(range.Last, last)};
    return true;
  }
  return false;
}

void TSimulatedDrive::Load(const TFaults& faults, const std::string& disc, int32_t leadOut) {
  const bool same = disc == FDisc && leadOut == FLeadOut &&
                    faults.ReadJitter == FFaults.ReadJitter &&
                    faults.DriveCache == FFaults.DriveCache &&
                    faults.Scratched == FFaults.Scratched && faults.Slow == FFaults.Slow &&
                    faults.SlowDelays == FFaults.SlowDelays && faults.Seed == FFaults.Seed;
  FFaults = faults;
  if (same) return;
  FDisc = disc;
  FLeadOut = leadOut;
  FRandom.seed(faults.Seed ? *faults.Seed : std::random_device()());
  FFailedOnce.clear();
  FCache.assign(size_t(faults.DriveCache) * kSectorBytes, 0);
  FCacheSectors.assign(size_t(faults.DriveCache), -1);
  FCacheSlots.clear();
  FCacheNext = 0;
}

long TSimulatedDrive::Read(const TMedium& medium, int32_t first, long count, uint8_t* out) {
  if (count <= 0) return 0;
  // The disc turns to the sectors the cache does not hold.
  int32_t delay = 0;
  for (long i = 0; i < count; ++i) {
    const int32_t number = first + int32_t(i);
    for (size_t k = 0; k < FFaults.Slow.size() && !Cached(number); ++k)
      if (FFaults.Slow[k].First <= number && number <= FFaults.Slow[k].Last)
        delay = std::max(delay, FFaults.SlowDelays[k]);
  }
  Sleep(delay);

  // One displacement for the whole request, and the medium around it that
  // it may reach: silence beyond the disc, missing where the medium ends early.
  const int32_t jitter = FFaults.ReadJitter;
  const int64_t shift = jitter > 0 && std::bernoulli_distribution(0.5)(FRandom)
                            ? std::uniform_int_distribution<int32_t>(-jitter, jitter)(FRandom)
                            : 0;
  const int64_t margin = (jitter + kSectorSamples - 1) / kSectorSamples;
  const int64_t from = first - margin, to = first + count + margin;
  const int64_t lo = std::clamp<int64_t>(from, 0, FLeadOut);
  const int64_t hi = std::clamp<int64_t>(to, lo, FLeadOut);
  std::vector<uint8_t>& raw = FMedium;
  raw.assign(size_t(to - from) * kSectorBytes, 0);
  const int64_t held =
      lo + (hi > lo ? std::clamp<long>(medium(int32_t(lo), long(hi - lo),
                                              raw.data() + (lo - from) * kSectorBytes),
                                       0, long(hi - lo))
                    : 0);

  TSectorRange hit{};
  uint8_t sector[kSectorBytes];
  for (long i = 0; i < count; ++i) {
    const int32_t number = first + int32_t(i);
    uint8_t* at = out ? out + i * kSectorBytes : nullptr;
    if (Cached(number)) {
      if (at) std::memcpy(at, &FCache[FCacheSlots.at(number) * kSectorBytes], kSectorBytes);
      continue;
    }
    const int64_t sample = int64_t(number) * kSectorSamples + shift;
    const int64_t needFirst = FloorDiv(sample, kSectorSamples);
    const int64_t needLast = FloorDiv(sample + kSectorSamples - 1, kSectorSamples);
    const bool missing = std::max(needFirst, held) <= std::min(needLast, hi - 1);
    const bool flaky =
        Overlap(FFaults.Flaky, number, number, hit) && FFailedOnce.insert(number).second;
    if (missing || flaky || Overlap(FFaults.Unreadable, number, number, hit)) {
      Sleep(FFaults.ReadErrorDelay);
      return i;
    }
    std::memcpy(sector, raw.data() + (sample - from * kSectorSamples) * 4, kSectorBytes);
    if (Overlap(FFaults.Scratched, number, number, hit)) Scratch(sector);
    if (at) std::memcpy(at, sector, kSectorBytes);
    Cache(number, sector);
  }
  return count;
}

void TSimulatedDrive::Cache(int32_t sector, const uint8_t* data) {
  if (FCacheSectors.empty()) return;
  if (FCacheSectors[FCacheNext] >= 0) FCacheSlots.erase(FCacheSectors[FCacheNext]);
  std::memcpy(&FCache[FCacheNext * kSectorBytes], data, kSectorBytes);
  FCacheSectors[FCacheNext] = sector;
  FCacheSlots[sector] = FCacheNext;
  FCacheNext = (FCacheNext + 1) % FCacheSectors.size();
}

// A burst of samples read wrong; one read in four comes out right.
void TSimulatedDrive::Scratch(uint8_t* sector) {
  if (std::uniform_int_distribution<int>(0, 3)(FRandom) == 0) return;
  const int length = std::uniform_int_distribution<int>(16, 256)(FRandom);
  const int start = std::uniform_int_distribution<int>(0, kSectorSamples - length)(FRandom);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = start * 4; i < (start + length) * 4; ++i) sector[i] = uint8_t(byte(FRandom));
}

}  // namespace cdrip
