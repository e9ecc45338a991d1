// Level normalisation of a ripped WAV file: one pass finds the highest
// positive sample, a second writes the scaled samples into a temporary file
// beside the WAV. The data are every byte after the 44-byte header, taken as
// signed 16-bit little-endian samples. Both passes read 19200-byte chunks
// with fixed buffers, report progress and let pending events run after every
// chunk, and stop after the chunk in hand once Aborted answers true.
// User-interface thread only.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/Exception.h"

// The WAV could not be opened or read, or the temporary file not written.
class ENormalizeError : public Exception {
 public:
  using Exception::Exception;
};

struct TNormalizeHooks {
  std::function<bool()> Aborted;
  std::function<void(int percent)> OnProgress;
};

inline constexpr int kWaveHeaderSize = 44;
inline constexpr int kNormalizeChunkBytes = 19200;

// False when the file holds no data after the header. The peak stays 0 when
// no sample is positive.
bool ScanPeak(const QString& wavPath, int16_t& peak, const TNormalizeHooks& hooks = {});

// Writes the header and every sample times gain (clipped to 16 bits, rounded
// half to even) to tempPath, a new hidden file of its own in the WAV's
// folder. False when the WAV holds no data after the header; the temporary
// file then exists, empty. tempPath names the file whenever one was created,
// also when an exception leaves; the caller deletes or keeps it. With
// dataCrc, the CRC-32 of the bytes written after the header.
bool NormalizeWave(const QString& wavPath, QString& tempPath, double gain,
                   const TNormalizeHooks& hooks = {}, uint32_t* dataCrc = nullptr);

// The gain that takes the peak to factor percent of full scale. None when
// the file must stay as it is: a peak of 0 or 1 has no positive excursion to
// scale, and a negative gain would invert and clip the audio.
std::optional<double> NormalizeGain(int16_t peak, int32_t factor);
