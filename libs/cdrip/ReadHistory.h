// TReadHistory: the sectors a drive delivered lately, in order, as far back
// as its cache reaches. A sector still among them may come from the cache
// rather than the disc, wrong data included, so a re-read of it must first
// push it out. Kept by the drive from rip to rip; caller thread only.
#pragma once

#include <cstdint>
#include <deque>
#include <unordered_map>

namespace cdrip {

class TReadHistory {
 public:
  // The sectors the cache holds; a change forgets the history.
  int32_t Reach() const { return FReach; }
  void SetReach(int32_t sectors) {
    if (sectors == FReach) return;
    FReach = sectors;
    FOrder.clear();
    FCount.clear();
  }
  bool Recent(int32_t sector) const { return FCount.count(sector) != 0; }
  void Add(int32_t sector) {
    if (FReach <= 0) return;
    FOrder.push_back(sector);
    ++FCount[sector];
    if (int32_t(FOrder.size()) <= FReach) return;
    if (--FCount[FOrder.front()] == 0) FCount.erase(FOrder.front());
    FOrder.pop_front();
  }

 private:
  int32_t FReach = 0;
  std::deque<int32_t> FOrder;
  std::unordered_map<int32_t, int> FCount;
};

}  // namespace cdrip
