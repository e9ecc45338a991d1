// cadenzo-rip --each-disc: a batch of discs on the console. Each drive's
// lines go to stderr as it reports them ("Drive 1: waiting for a disc"), a
// line per finished disc and the summary at the end to stdout. Ctrl-C once
// lets the drives finish the discs in hand; twice stops them at once.
#pragma once

#include <vector>

class TConfig;
struct TRipSettings;

// Rips discs on the drives until maxDiscs are done (0: until stopped).
// Returns the exit status: 0 when every disc's every track is done (and,
// with requireAccurate, accurately ripped), 1 otherwise, 128 + the signal
// when one stopped the batch.
int RunEachDisc(const TConfig& settings, const TRipSettings& rip, const std::vector<int>& drives,
                int maxDiscs, bool requireAccurate);
