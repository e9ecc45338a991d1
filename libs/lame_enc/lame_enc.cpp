// The encoder library over libmp3lame. Each stream is one lame_global_flags;
// handles are indexes into a table so that they fit the interface's 32 bits
// and a stale or foreign handle is refused instead of dereferenced. The table
// is the only state shared between streams: it is guarded by a lock, and a
// call holds its stream alive, so encoders on several threads never meet.
#include "libs/lame_enc/lame_enc.h"

#include <lame/lame.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

static_assert(sizeof(BE_CONFIG) == 331);
static_assert(offsetof(BE_CONFIG, format.LHV1.dwStructVersion) == 4);
static_assert(offsetof(BE_CONFIG, format.LHV1.dwSampleRate) == 12);
static_assert(offsetof(BE_CONFIG, format.LHV1.nMode) == 20);
static_assert(offsetof(BE_CONFIG, format.LHV1.nPreset) == 32);
static_assert(offsetof(BE_CONFIG, format.LHV1.bPrivate) == 48);
static_assert(offsetof(BE_CONFIG, format.LHV1.bWriteVBRHeader) == 64);
static_assert(offsetof(BE_CONFIG, format.LHV1.nVBRQuality) == 72);
static_assert(offsetof(BE_CONFIG, format.LHV1.bStrictIso) == 88);
static_assert(offsetof(BE_CONFIG, format.LHV1.nQuality) == 92);
static_assert(offsetof(BE_CONFIG, format.LHV1.btReserved) == 94);
static_assert(sizeof(BE_VERSION) == 265);
static_assert(offsetof(BE_VERSION, wYear) == 6);
static_assert(offsetof(BE_VERSION, zHomepage) == 8);
static_assert(offsetof(BE_VERSION, byAlphaLevel) == 137);
static_assert(offsetof(BE_VERSION, btReserved) == 140);

namespace {

constexpr uint8_t kInterfaceMajor = 1;
constexpr uint8_t kInterfaceMinor = 32;
constexpr size_t kMaxStreams = 256;
// One call takes up to two frames' worth of values: the batch encoder passes
// a whole stereo WAV block of SamplesPerChunk sample frames at once.
constexpr uint32_t kMaxFramesPerCall = 2;

struct TLameDeleter {
  void operator()(lame_global_flags* gfp) const { lame_close(gfp); }
};

struct TStream {
  std::unique_ptr<lame_global_flags, TLameDeleter> Lame;
  int Channels = 2;
  uint32_t MaxValuesPerCall = 0;
  uint32_t BufferSize = 0;
  bool Flushed = false;
};

std::mutex gTableLock;
std::vector<std::shared_ptr<TStream>> gStreams;  // handle h lives at index h - 1

// A stream closed by another thread during the call is freed when the call
// ends, not under its feet.
std::shared_ptr<TStream> FindStream(HBE_STREAM handle) {
  std::lock_guard<std::mutex> lock(gTableLock);
  if (handle == 0 || handle > gStreams.size()) return nullptr;
  return gStreams[handle - 1];
}

HBE_STREAM AddStream(std::shared_ptr<TStream> stream) {
  std::lock_guard<std::mutex> lock(gTableLock);
  auto freeSlot = std::find(gStreams.begin(), gStreams.end(), nullptr);
  if (freeSlot != gStreams.end()) {
    *freeSlot = std::move(stream);
    return HBE_STREAM(freeSlot - gStreams.begin() + 1);
  }
  if (gStreams.size() >= kMaxStreams) return 0;
  gStreams.push_back(std::move(stream));
  return HBE_STREAM(gStreams.size());
}

// libmp3lame reports through printf-style hooks; the encoder must stay quiet,
// and the info-tag writer learns of a failed update only this way.
thread_local bool gLameReportedError = false;
void IgnoreReport(const char*, va_list) {}
void NoteError(const char*, va_list) { gLameReportedError = true; }

bool IsMpegSampleRate(uint32_t rate) {
  static constexpr uint32_t kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
  return std::find(std::begin(kRates), std::end(kRates), rate) != std::end(kRates);
}

// CBR rates of MPEG-1 (32 kHz and up) and of MPEG-2 and 2.5 (below).
bool IsBitrateOf(uint32_t kbps, uint32_t outRate) {
  static constexpr uint32_t kMpeg1[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static constexpr uint32_t kMpeg2[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  if (outRate >= 32000) return std::find(std::begin(kMpeg1), std::end(kMpeg1), kbps) != std::end(kMpeg1);
  return std::find(std::begin(kMpeg2), std::end(kMpeg2), kbps) != std::end(kMpeg2);
}

// Applies the record to a fresh encoder. False when a field has a value the
// encoder cannot honour.
//
// nPreset chooses libmp3lame's algorithm quality (0 best and slowest, 9 worst):
//   LQP_NOPRESET        3, libmp3lame's own default
//   LQP_NORMAL_QUALITY  5, the usual speed/quality balance
//   LQP_LOW_QUALITY     7, the fast mode of the lame program (-f)
//   LQP_HIGH_QUALITY    2, the high-quality mode of the lame program (-h)
//   LQP_VOICE_QUALITY   5 with a 12 kHz low-pass, which speech does not need
// The bit rate and mode always come from the record. A valid nQuality (low
// byte 0-9, high byte its complement) overrides the preset's quality.
bool Configure(lame_global_flags* gfp, const decltype(BE_CONFIG::format.LHV1)& cfg,
               int channels) {
  const uint32_t outRate = cfg.dwReSampleRate ? cfg.dwReSampleRate : cfg.dwSampleRate;
  if (cfg.dwSampleRate == 0 || !IsMpegSampleRate(outRate)) return false;
  if (cfg.dwEmphasis > 3 || cfg.dwEmphasis == 2) return false;

  lame_set_num_channels(gfp, channels);
  lame_set_in_samplerate(gfp, int(cfg.dwSampleRate));
  lame_set_out_samplerate(gfp, int(outRate));
  switch (cfg.nMode) {
    case BE_MP3_MODE_STEREO:
    case BE_MP3_MODE_DUALCHANNEL: lame_set_mode(gfp, STEREO); break;
    case BE_MP3_MODE_JSTEREO: lame_set_mode(gfp, JOINT_STEREO); break;
    case BE_MP3_MODE_MONO: lame_set_mode(gfp, MONO); break;
    default: return false;
  }

  int quality = 3;
  switch (cfg.nPreset) {
    case LQP_NOPRESET: break;
    case LQP_NORMAL_QUALITY: quality = 5; break;
    case LQP_LOW_QUALITY: quality = 7; break;
    case LQP_HIGH_QUALITY: quality = 2; break;
    case LQP_VOICE_QUALITY:
      quality = 5;
      lame_set_lowpassfreq(gfp, 12000);
      break;
    default: return false;
  }
  const int qualityByte = cfg.nQuality & 0xFF;
  if (qualityByte <= 9 && (cfg.nQuality >> 8) == (~qualityByte & 0xFF)) quality = qualityByte;
  lame_set_quality(gfp, quality);

  if (cfg.bEnableVBR && cfg.nVbrMethod != VBR_METHOD_NONE) {
    if (cfg.nVBRQuality < 0 || cfg.nVBRQuality > 9) return false;
    switch (cfg.nVbrMethod) {
      case VBR_METHOD_OLD: lame_set_VBR(gfp, vbr_rh); break;
      case VBR_METHOD_ABR:
        if (cfg.dwVbrAbr_bps < 8000) return false;
        lame_set_VBR(gfp, vbr_abr);
        lame_set_VBR_mean_bitrate_kbps(gfp, int(cfg.dwVbrAbr_bps / 1000));
        break;
      case VBR_METHOD_DEFAULT:
      case VBR_METHOD_NEW:
      case VBR_METHOD_MTRH: lame_set_VBR(gfp, vbr_mtrh); break;
      default: return false;
    }
    lame_set_VBR_q(gfp, cfg.nVBRQuality);
    if (cfg.dwBitrate) lame_set_VBR_min_bitrate_kbps(gfp, int(cfg.dwBitrate));
    if (cfg.dwMaxBitrate) lame_set_VBR_max_bitrate_kbps(gfp, int(cfg.dwMaxBitrate));
    if (cfg.dwMaxBitrate && cfg.dwBitrate > cfg.dwMaxBitrate) return false;
  } else {
    if (!IsBitrateOf(cfg.dwBitrate, outRate)) return false;
    lame_set_VBR(gfp, vbr_off);
    lame_set_brate(gfp, int(cfg.dwBitrate));
  }

  lame_set_extension(gfp, cfg.bPrivate ? 1 : 0);
  lame_set_error_protection(gfp, cfg.bCRC ? 1 : 0);
  lame_set_copyright(gfp, cfg.bCopyright ? 1 : 0);
  lame_set_original(gfp, cfg.bOriginal ? 1 : 0);
  lame_set_emphasis(gfp, int(cfg.dwEmphasis));
  // A CBR file always gets the Info frame, as the lame program writes it: without
  // it players cannot trim the encoder delay and padding and gapless albums
  // click. The record's switch governs only VBR files.
  const bool vbr = cfg.bEnableVBR && cfg.nVbrMethod != VBR_METHOD_NONE;
  lame_set_bWriteVbrTag(gfp, !vbr || cfg.bWriteVBRHeader ? 1 : 0);
  lame_set_disable_reservoir(gfp, cfg.bNoRes ? 1 : 0);
  lame_set_strict_ISO(gfp, cfg.bStrictIso ? 1 : 0);
  return lame_init_params(gfp) >= 0;
}

BE_ERR FromLameResult(int result) {
  return result == -1 ? BE_ERR_BUFFER_TOO_SMALL : BE_ERR_INVALID_FORMAT_PARAMETERS;
}

}  // namespace

extern "C" {

BE_ERR beInitStream(const BE_CONFIG* pbeConfig, uint32_t* dwSamples, uint32_t* dwBufferSize,
                    HBE_STREAM* phbeStream) {
  if (!pbeConfig || !dwSamples || !dwBufferSize || !phbeStream)
    return BE_ERR_INVALID_FORMAT_PARAMETERS;
  *phbeStream = 0;
  *dwSamples = 0;
  *dwBufferSize = 0;
  if (pbeConfig->dwConfig != BE_CONFIG_LAME) return BE_ERR_INVALID_FORMAT;
  const auto& cfg = pbeConfig->format.LHV1;
  if (cfg.dwStructVersion < 1 || cfg.dwStructSize < sizeof(BE_CONFIG)) return BE_ERR_INVALID_FORMAT;

  try {
    auto stream = std::make_shared<TStream>();
    stream->Lame.reset(lame_init());
    if (!stream->Lame) return BE_ERR_NO_MORE_HANDLES;
    lame_global_flags* gfp = stream->Lame.get();
    lame_set_errorf(gfp, NoteError);
    lame_set_msgf(gfp, IgnoreReport);
    lame_set_debugf(gfp, IgnoreReport);
    stream->Channels = cfg.nMode == BE_MP3_MODE_MONO ? 1 : 2;
    if (!Configure(gfp, cfg, stream->Channels)) return BE_ERR_INVALID_FORMAT_PARAMETERS;

    const uint32_t frameSamples = uint32_t(lame_get_framesize(gfp));
    const uint32_t valuesPerFrame = frameSamples * uint32_t(stream->Channels);
    stream->MaxValuesPerCall = kMaxFramesPerCall * valuesPerFrame;
    // libmp3lame's worst case for n samples per channel is 1.25 n + 7200 bytes,
    // which also covers the flush.
    stream->BufferSize = kMaxFramesPerCall * frameSamples * 5 / 4 + 7200;
    const uint32_t bufferSize = stream->BufferSize;

    const HBE_STREAM handle = AddStream(std::move(stream));
    if (handle == 0) return BE_ERR_NO_MORE_HANDLES;
    *dwSamples = valuesPerFrame;
    *dwBufferSize = bufferSize;
    *phbeStream = handle;
    return BE_ERR_SUCCESSFUL;
  } catch (const std::bad_alloc&) {
    return BE_ERR_NO_MORE_HANDLES;
  }
}

BE_ERR beEncodeChunk(HBE_STREAM hbeStream, uint32_t nSamples, const int16_t* pSamples,
                     uint8_t* pOutput, uint32_t* pdwOutput) {
  const std::shared_ptr<TStream> stream = FindStream(hbeStream);
  if (!stream || stream->Flushed) return BE_ERR_INVALID_HANDLE;
  if (!pdwOutput || !pOutput || (nSamples && !pSamples) || nSamples > stream->MaxValuesPerCall)
    return BE_ERR_INVALID_FORMAT_PARAMETERS;
  *pdwOutput = 0;
  const int frames = int(nSamples) / stream->Channels;
  if (frames == 0) return BE_ERR_SUCCESSFUL;
  // libmp3lame only reads the samples; its prototypes lack the const.
  short* pcm = const_cast<short*>(reinterpret_cast<const short*>(pSamples));
  const int written =
      stream->Channels == 2
          ? lame_encode_buffer_interleaved(stream->Lame.get(), pcm, frames, pOutput,
                                           int(stream->BufferSize))
          : lame_encode_buffer(stream->Lame.get(), pcm, nullptr, frames, pOutput,
                               int(stream->BufferSize));
  if (written < 0) return FromLameResult(written);
  *pdwOutput = uint32_t(written);
  return BE_ERR_SUCCESSFUL;
}

BE_ERR beDeinitStream(HBE_STREAM hbeStream, uint8_t* pOutput, uint32_t* pdwOutput) {
  const std::shared_ptr<TStream> stream = FindStream(hbeStream);
  if (!stream || stream->Flushed) return BE_ERR_INVALID_HANDLE;
  if (!pOutput || !pdwOutput) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  *pdwOutput = 0;
  const int written = lame_encode_flush(stream->Lame.get(), pOutput, int(stream->BufferSize));
  if (written < 0) return FromLameResult(written);
  stream->Flushed = true;
  *pdwOutput = uint32_t(written);
  return BE_ERR_SUCCESSFUL;
}

BE_ERR beCloseStream(HBE_STREAM hbeStream) {
  std::shared_ptr<TStream> closing;
  {
    std::lock_guard<std::mutex> lock(gTableLock);
    if (hbeStream == 0 || hbeStream > gStreams.size() || !gStreams[hbeStream - 1])
      return BE_ERR_INVALID_HANDLE;
    closing = std::move(gStreams[hbeStream - 1]);
  }
  return BE_ERR_SUCCESSFUL;
}

void beVersion(BE_VERSION* pbeVersion) {
  if (!pbeVersion) return;
  std::memset(pbeVersion, 0, sizeof(*pbeVersion));
  lame_version_t version{};
  get_lame_version_numerical(&version);
  pbeVersion->byDLLMajorVersion = kInterfaceMajor;
  pbeVersion->byDLLMinorVersion = kInterfaceMinor;
  pbeVersion->byMajorVersion = uint8_t(version.major);
  pbeVersion->byMinorVersion = uint8_t(version.minor);
  pbeVersion->byAlphaLevel = uint8_t(version.alpha);
  pbeVersion->byBetaLevel = uint8_t(version.beta);
  // libmp3lame does not publish its release date: the date fields stay 0.
  std::strncpy(pbeVersion->zHomepage, get_lame_url(), BE_MAX_HOMEPAGE);
  pbeVersion->byMMXEnabled =
      version.features && std::strstr(version.features, "SSE") ? 1 : 0;
}

BE_ERR beWriteInfoTag(HBE_STREAM hbeStream, const char* lpszFileName) {
  const std::shared_ptr<TStream> stream = FindStream(hbeStream);
  if (!stream || !stream->Flushed) return BE_ERR_INVALID_HANDLE;
  lame_global_flags* gfp = stream->Lame.get();
  if (!lame_get_bWriteVbrTag(gfp)) return BE_ERR_SUCCESSFUL;
  if (!lpszFileName) return BE_ERR_INVALID_FORMAT_PARAMETERS;

  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(lpszFileName, "r+b"), &std::fclose);
  if (!file) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  // The frame replaces the placeholder LAME put first; a shorter file cannot
  // be the stream's output, and writing would only extend it with a tag.
  const size_t tagSize = lame_get_lametag_frame(gfp, nullptr, 0);
  if (std::fseek(file.get(), 0, SEEK_END) != 0 || std::ftell(file.get()) < long(tagSize))
    return BE_ERR_INVALID_FORMAT_PARAMETERS;

  gLameReportedError = false;
  lame_mp3_tags_fid(gfp, file.get());
  const bool failed = gLameReportedError || std::ferror(file.get());
  if (std::fclose(file.release()) != 0 || failed) return BE_ERR_INVALID_FORMAT_PARAMETERS;
  return BE_ERR_SUCCESSFUL;
}

}  // extern "C"
