#include "verify/RipVerification.h"

#include "platform/EventWait.h"

TRipVerification::TRipVerification(const std::vector<TArTocTrack>& tracks, int32_t leadOut,
                                   uint32_t cddbId, const QString& server, int timeoutMs)
    : FTracks(tracks), FIds(ArDiscIds(tracks, leadOut, cddbId)), FTimeoutMs(timeoutMs) {
  FClient.OnDone = [this] {
    for (auto& [number, track] : FResults) Decide(track);
  };
  FClient.Start(server, FIds, timeoutMs);
}

void TRipVerification::WaitForAnswer(const std::function<bool()>& stopped) {
  // The client's own deadline wakes the loop; this one only backs it up.
  if (!platform::ServeEventsWhile([this] { return AnswerPending(); }, stopped, FTimeoutMs + 1000))
    AbortLookup();
}

QString TRipVerification::AnswerText() const {
  switch (FClient.Answer()) {
    case TArAnswer::Found:
      return QString("Found (%1 pressing(s))").arg(FClient.Blocks().size());
    case TArAnswer::NotFound:
      return QStringLiteral("Not in the AccurateRip database");
    case TArAnswer::Unreadable:
      return QStringLiteral("AccurateRip answer unreadable");
    case TArAnswer::NoAnswer:
      return "No answer from the AccurateRip database (" + FClient.Detail() + ")";
    case TArAnswer::Pending:
      break;
  }
  return QStringLiteral("No answer yet");
}

TTrackChecksums& TRipVerification::BeginTrack(int trackNum, int64_t samples) {
  int first = -1, last = -1;
  for (size_t i = 0; i < FTracks.size(); ++i) {
    if (!FTracks[i].Audio) continue;
    if (first < 0) first = int(i) + 1;
    last = int(i) + 1;
  }
  TTrackVerification& result = FResults[trackNum];
  result = TTrackVerification();
  result.TrackNum = trackNum;
  // The database keeps a track's entry at its place on the disc: a data
  // track before the audio holds the first entry (with nothing in it).
  result.DbarIndex = trackNum - 1;
  TTrackChecksums& sums = FSums[trackNum];
  sums.Begin(samples, trackNum == first, trackNum == last);
  return sums;
}

void TRipVerification::EndTrack(int trackNum, bool complete) {
  const auto sums = FSums.find(trackNum);
  const auto result = FResults.find(trackNum);
  if (sums == FSums.end() || result == FResults.end()) return;
  TTrackVerification& track = result->second;
  track.Crc = sums->second.Crc32();
  track.ArV1 = sums->second.ArV1();
  track.ArV2 = sums->second.ArV2();
  track.Peak = sums->second.Peak();
  track.Complete = complete;
  Decide(track);
  // Its first and last samples may be what the tracks beside it lacked to
  // agree with another pressing.
  for (const int neighbour : {trackNum - 1, trackNum + 1}) {
    const auto other = FResults.find(neighbour);
    if (complete && other != FResults.end() &&
        other->second.Verdict.Kind == TArVerdict::NotAccurate)
      Decide(other->second);
  }
}

const TTrackChecksums* TRipVerification::WholeTrack(int trackNum) const {
  const auto result = FResults.find(trackNum);
  if (trackNum < 1 || result == FResults.end() || !result->second.Complete) return nullptr;
  return &FSums.at(trackNum);
}

const TTrackVerification* TRipVerification::Track(int trackNum) const {
  const auto result = FResults.find(trackNum);
  return result == FResults.end() ? nullptr : &result->second;
}

void TRipVerification::Decide(TTrackVerification& track) {
  // A track still being read, or one whose rip failed, has no verdict: its
  // sums cover only part of it. The database holds nothing before track 1.
  const TArVerdict::TKind was = track.Verdict.Kind;
  if (track.TrackNum == 0 || !track.Complete || AnswerPending() ||
      (was != TArVerdict::Pending && was != TArVerdict::NotAccurate))
    return;
  const TArVerdict verdict =
      ArTrackVerdict(FClient.Answer(), FClient.Blocks(), track.DbarIndex, track.ArV1, track.ArV2);
  track.Verdict =
      ArPressingVerdict(verdict, FClient.Blocks(), track.DbarIndex,
                        ArV1AtOffsets(FSums.at(track.TrackNum), WholeTrack(track.TrackNum - 1),
                                      WholeTrack(track.TrackNum + 1)));
  if (OnVerdict && (was == TArVerdict::Pending || track.Verdict.Kind != was)) OnVerdict(track);
}
