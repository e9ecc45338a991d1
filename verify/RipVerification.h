// TRipVerification: what a rip of one disc proves. It takes the disc's table
// of contents, looks the disc up in the AccurateRip database at once (the
// answer arrives while the tracks are read), keeps each ripped track's
// checksums, and gives each track its verdict as soon as both the track and
// the answer are there; a track that agrees with no pressing as ripped is
// compared with them at other offsets, which may need the tracks beside it. Owned by the conversion
// session; user-interface thread only.
#pragma once

#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "verify/AccurateRip.h"
#include "verify/AccurateRipClient.h"
#include "verify/Checksums.h"

struct TTrackVerification {
  int TrackNum = 0;       // on the disc, from 1; 0 the hidden audio before track 1
  int DbarIndex = -1;     // its entry in a dBAR block, from 0
  bool Complete = false;  // every sample was read and counted
  uint32_t Crc = 0;
  uint32_t ArV1 = 0;
  uint32_t ArV2 = 0;
  int32_t Peak = 0;  // largest sample magnitude, 0..32768
  TArVerdict Verdict;
};

class TRipVerification {
 public:
  // tracks: every track of the disc; leadOut: the disc's lead-out sector.
  // Starts the lookup unless server is empty.
  TRipVerification(const std::vector<TArTocTrack>& tracks, int32_t leadOut, uint32_t cddbId,
                   const QString& server, int timeoutMs = 30000);

  const TArDiscIds& Ids() const { return FIds; }
  const TAccurateRipClient& Client() const { return FClient; }
  // The database's answer for the whole disc, for the log.
  QString AnswerText() const;
  bool AnswerPending() const { return FClient.Answer() == TArAnswer::Pending; }
  void AbortLookup() { FClient.Abort(); }
  // Runs the event loop until the answer is there: the lookup ends at once
  // when stopped() turns true (checked after every event), and at its
  // deadline at the latest.
  void WaitForAnswer(const std::function<bool()>& stopped);

  // Starts taking track trackNum's PCM, `samples` stereo samples long; the
  // returned checksums stay valid until the next BeginTrack of that track.
  TTrackChecksums& BeginTrack(int trackNum, int64_t samples);
  // The track's rip ended; complete when every sample was read.
  void EndTrack(int trackNum, bool complete);
  // The track's result, null when it was not ripped.
  const TTrackVerification* Track(int trackNum) const;

  // A track got its verdict, or a better one (another pressing agreed).
  std::function<void(const TTrackVerification&)> OnVerdict;

 private:
  // Gives a track its verdict once it was read whole and the answer is
  // there; one not accurate is looked at again as the tracks beside it end.
  void Decide(TTrackVerification& track);
  // The checksums of a track read whole; null for any other.
  const TTrackChecksums* WholeTrack(int trackNum) const;

  std::vector<TArTocTrack> FTracks;
  TArDiscIds FIds;
  int FTimeoutMs;
  TAccurateRipClient FClient;
  std::map<int, TTrackChecksums> FSums;
  std::map<int, TTrackVerification> FResults;
};
