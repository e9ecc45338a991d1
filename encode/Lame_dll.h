// The encoder library as the program sees it: the lame_enc C interface and
// the quality presets in the form the encoder component publishes them.
#pragma once

#include <cstdint>

#include "libs/lame_enc/lame_enc.h"

// Ordinals equal the library's LQP_ codes.
enum class MPEG_QUALITY : int32_t {
  NORMAL_QUALITY = LQP_NORMAL_QUALITY,
  LOW_QUALITY = LQP_LOW_QUALITY,
  HIGH_QUALITY = LQP_HIGH_QUALITY,
  VOICE_QUALITY = LQP_VOICE_QUALITY,
};
