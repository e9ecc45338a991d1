#include "libs/cdrip/ImageFaults.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "libs/cdrip/IniFile.h"

namespace cdrip {

TFaults ReadFaults(const TIniFile& ini, const std::string& key) {
  TFaults faults;
  faults.NotReady = ini.GetInt(key, "NotReady", 0) != 0;
  faults.EjectFails = ini.GetInt(key, "EjectFails", 0) != 0;
  faults.Unreadable = ParseRanges(ini.Get(key, "UnreadableSectors"));
  faults.Jitter = ParseRanges(ini.Get(key, "JitterSectors"));
  faults.Flaky = ParseRanges(ini.Get(key, "FlakySectors"));
  faults.Changing = ParseRanges(ini.Get(key, "ChangingSectors"));
  faults.ReadErrorDelay = std::clamp(ini.GetInt(key, "ReadErrorDelay", 0), 0, 60000);
  return faults;
}

std::vector<TSectorRange> ParseRanges(const std::string& text) {
  std::vector<TSectorRange> ranges;
  size_t at = 0;
  while (at < text.size()) {
    size_t comma = text.find(',', at);
    if (comma == std::string::npos) comma = text.size();
    const std::string item = text.substr(at, comma - at);
    char* end = nullptr;
    const long first = std::strtol(item.c_str(), &end, 10);
    if (end != item.c_str()) {
      long last = first;
      const char* dash = std::strchr(end, '-');
      if (dash) last = std::strtol(dash + 1, nullptr, 10);
      ranges.push_back({int32_t(std::min(first, last)), int32_t(std::max(first, last))});
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

}  // namespace cdrip
