/* The MP3 encoder library: encoder streams over libmp3lame behind the
 * published BladeEnc/LAME call interface and record layouts (BE_CONFIG in its
 * LHV1 form, BE_VERSION). A plain C interface; no call lets an exception
 * escape. Streams are independent; the handle table is safe to share between
 * threads, one stream is used by one thread at a time. */
#ifndef CADENZO_LAME_ENC_H
#define CADENZO_LAME_ENC_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t BE_ERR;
typedef uint32_t HBE_STREAM; /* 0 is never a valid stream */

/* Result codes. */
enum {
  BE_ERR_SUCCESSFUL = 0,
  BE_ERR_INVALID_FORMAT = 1,            /* dwConfig or the record's version/size */
  BE_ERR_INVALID_FORMAT_PARAMETERS = 2, /* a field value the encoder cannot use */
  BE_ERR_NO_MORE_HANDLES = 3,
  BE_ERR_INVALID_HANDLE = 4, /* unknown or closed stream, or one in the wrong state */
  BE_ERR_BUFFER_TOO_SMALL = 5
};

enum { BE_CONFIG_MP3 = 0, BE_CONFIG_LAME = 256 };

enum {
  BE_MP3_MODE_STEREO = 0,
  BE_MP3_MODE_JSTEREO = 1,
  BE_MP3_MODE_DUALCHANNEL = 2, /* encoded as stereo: libmp3lame has no dual-channel coding */
  BE_MP3_MODE_MONO = 3         /* the input is mono too */
};

enum { MPEG2 = 0, MPEG1 = 1 };

/* nPreset. Accepted: LQP_NOPRESET and the four quality presets; see
 * beInitStream for what each means to libmp3lame. */
enum {
  LQP_NOPRESET = -1,
  LQP_NORMAL_QUALITY = 0,
  LQP_LOW_QUALITY = 1,
  LQP_HIGH_QUALITY = 2,
  LQP_VOICE_QUALITY = 3
};

/* nVbrMethod, used when bEnableVBR is set; VBR_METHOD_NONE keeps CBR. */
enum {
  VBR_METHOD_NONE = -1,
  VBR_METHOD_DEFAULT = 0,
  VBR_METHOD_OLD = 1,
  VBR_METHOD_NEW = 2,
  VBR_METHOD_MTRH = 3,
  VBR_METHOD_ABR = 4
};

#define BE_MAX_HOMEPAGE 128

#pragma pack(push, 1)
typedef struct BE_CONFIG {
  uint32_t dwConfig; /* BE_CONFIG_LAME */
  union {
    struct {
      uint32_t dwStructVersion; /* 1 */
      uint32_t dwStructSize;    /* sizeof(BE_CONFIG), 331 */
      uint32_t dwSampleRate;    /* input rate, Hz */
      uint32_t dwReSampleRate;  /* output rate, Hz; 0 keeps the input rate */
      int32_t nMode;            /* BE_MP3_MODE_... */
      uint32_t dwBitrate;       /* CBR bit rate, VBR minimum, kbit/s */
      uint32_t dwMaxBitrate;    /* VBR maximum, kbit/s; 0 lets the encoder choose */
      int32_t nPreset;          /* LQP_... */
      uint32_t dwMpegVersion;   /* follows from the output rate; not examined */
      uint32_t dwPsyModel;      /* not examined */
      uint32_t dwEmphasis;      /* 0 none, 1 50/15 ms, 3 CCITT J.17 */
      int32_t bPrivate;
      int32_t bCRC;
      int32_t bCopyright;
      int32_t bOriginal;
      int32_t bWriteVBRHeader; /* Xing frame and LAME tag of a VBR file (CBR files
                                  always get the Info frame), see beWriteInfoTag */
      int32_t bEnableVBR;
      int32_t nVBRQuality;  /* 0 (highest) to 9 */
      uint32_t dwVbrAbr_bps; /* mean bit rate, bit/s, for VBR_METHOD_ABR */
      int32_t nVbrMethod;    /* VBR_METHOD_... */
      int32_t bNoRes;        /* disable the bit reservoir */
      int32_t bStrictIso;
      uint16_t nQuality; /* libmp3lame quality 0-9 in the low byte, used only when
                            the high byte is its complement; else nPreset decides */
      uint8_t btReserved[255 - 4 * sizeof(uint32_t) - sizeof(uint16_t)];
    } LHV1;
  } format;
} BE_CONFIG;

typedef struct BE_VERSION {
  uint8_t byDLLMajorVersion; /* this interface */
  uint8_t byDLLMinorVersion;
  uint8_t byMajorVersion; /* libmp3lame */
  uint8_t byMinorVersion;
  uint8_t byDay; /* release date of libmp3lame */
  uint8_t byMonth;
  uint16_t wYear;
  char zHomepage[BE_MAX_HOMEPAGE + 1];
  uint8_t byAlphaLevel;
  uint8_t byBetaLevel;
  uint8_t byMMXEnabled;
  uint8_t btReserved[125];
} BE_VERSION;
#pragma pack(pop)

/* Opens a stream for the record. *dwSamples receives the number of 16-bit
 * values one MPEG frame takes (samples per frame times channels) and
 * *dwBufferSize the output buffer size that every later call of the stream
 * needs; *phbeStream stays 0 unless the result is BE_ERR_SUCCESSFUL. */
BE_ERR beInitStream(const BE_CONFIG* pbeConfig, uint32_t* dwSamples, uint32_t* dwBufferSize,
                    HBE_STREAM* phbeStream);
/* Encodes nSamples 16-bit values (interleaved for two channels), at most
 * 2 * dwSamples per call, into pOutput (dwBufferSize bytes); *pdwOutput
 * receives the count of MP3 bytes written, often 0 while frames fill up. */
BE_ERR beEncodeChunk(HBE_STREAM hbeStream, uint32_t nSamples, const int16_t* pSamples,
                     uint8_t* pOutput, uint32_t* pdwOutput);
/* Flushes the last frames into pOutput (dwBufferSize bytes). Once flushed,
 * a stream takes no more samples. */
BE_ERR beDeinitStream(HBE_STREAM hbeStream, uint8_t* pOutput, uint32_t* pdwOutput);
BE_ERR beCloseStream(HBE_STREAM hbeStream);
void beVersion(BE_VERSION* pbeVersion);
/* After beDeinitStream: writes the finished Xing/Info frame with the LAME tag
 * over the placeholder frame at the start of the MP3 file, which must hold
 * every byte the stream produced. Does nothing for a VBR stream without
 * bWriteVBRHeader. The stream stays open for beCloseStream. */
BE_ERR beWriteInfoTag(HBE_STREAM hbeStream, const char* lpszFileName);

#ifdef __cplusplus
}
#endif

#endif
