// The program's view of the CD-reading library: its C calls and records
// (libs/cdrip/cdrip.h) and the output formats a rip can be written in.
#pragma once

#include <cstdint>

#include "libs/cdrip/cdrip.h"

enum class TOutputFormat : int32_t {
  STEREO44100,
  MONO44100,
  STEREO22050,
  MONO22050,
  STEREO11025,
  MONO11025
};

constexpr int OutputChannels(TOutputFormat format) { return int(format) % 2 == 0 ? 2 : 1; }

constexpr int OutputSampleRate(TOutputFormat format) { return 44100 >> (int(format) / 2); }
