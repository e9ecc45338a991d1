// TSectorLog: what a rip learnt of one sector, in one byte (a whole disc:
// 360,000 bytes). Until the ripper hands the sector over, its low bits gather
// what the reads saw; from then on they hold its CDRIP_SECTOR_ status, and the
// reads paranoia makes behind itself change only the failure count and the
// mark that the sector was given up.
#pragma once

#include <cstdint>

#include "libs/cdrip/cdrip.h"

namespace cdrip {

class TSectorLog {
 public:
  // A read delivered it; paranoia may fill it in itself; paranoia repaired
  // jitter, drift or bytes in it.
  bool Read() const { return !Handed() && (FBits & kRead); }
  bool Suspect() const { return !Handed() && (FBits & kSuspect); }
  bool Corrected() const { return !Handed() && (FBits & kCorrected); }
  bool GivenUp() const { return FBits & kGivenUp; }        // read as silence from now on
  int Failures() const { return FBits >> kFailureShift; }  // counted up to 7
  uint8_t Status() const { return Handed() ? FBits & kFacts : uint8_t(CDRIP_SECTOR_UNREAD); }

  void SetRead() { SetFact(kRead); }
  void SetSuspect() { SetFact(kSuspect); }
  void SetCorrected() { SetFact(kCorrected); }
  void SetGivenUp() { FBits |= kGivenUp; }
  void AddFailure() {
    if (Failures() < kMaxFailures) FBits = uint8_t(FBits + (1 << kFailureShift));
  }
  // Audio paranoia could not trust after all is no longer clean.
  void Doubt() {
    if (Status() == CDRIP_SECTOR_CLEAN) FBits = uint8_t((FBits & ~kFacts) | CDRIP_SECTOR_CORRECTED);
  }
  // Only the first hand-over counts: the status says what the rip delivered.
  void HandOver(uint8_t status) {
    if (!Handed()) FBits = uint8_t((FBits & ~kFacts) | kHanded | (status & kFacts));
  }

 private:
  static constexpr uint8_t kRead = 1, kSuspect = 2, kCorrected = 4, kFacts = 7;
  static constexpr uint8_t kHanded = 8, kGivenUp = 16;
  static constexpr int kFailureShift = 5, kMaxFailures = 7;
  bool Handed() const { return FBits & kHanded; }
  void SetFact(uint8_t fact) {
    if (!Handed()) FBits |= fact;
  }
  uint8_t FBits = 0;
};
static_assert(sizeof(TSectorLog) == 1 && CDRIP_SECTOR_LOST <= 7);

}  // namespace cdrip
