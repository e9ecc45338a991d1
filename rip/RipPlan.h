// TRipPlan: everything one rip is handed: the disc (its model, named as the
// user has it now), the jobs, and a snapshot of the settings the rip uses.
// The front ends make it and say there what they want (the window from its
// settings, cadenzo-rip from the settings and its options); the session and
// its units work from it alone and change no setting. Plain values.
#pragma once

#include <QNetworkProxy>
#include <QString>
#include <cstdint>

#include "disc/Disc.h"
#include "encode/FileFormats.h"
#include "encode/FileParam.h"

class TConfig;

// The LAME settings as the settings store them: indexes into the sample-rate
// and bit-rate tables, and the mode and quality ordinals.
struct TMp3Settings {
  int32_t SampleRate = 1;
  int32_t BitRate = 10;
  int32_t MaxBitRate = 13;
  int32_t Mode = 0;
  int32_t Quality = 0;
  int32_t VBRQuality = 4;
  bool VBR = false;
  bool WriteVBRHeader = false;
  bool Copyright = false;
  bool CRC = true;
  bool Original = false;
  bool Private = false;
};

struct TRipSettings {
  // The files.
  int32_t OutputFormat = ofMP3;  // a row of the format table
  QString OutputFolder;
  QString NamingString = QStringLiteral("<title>");
  QString ReplaceStr;
  // Ask before an existing file is replaced; false replaces without a question.
  bool OverwritePrompt = true;
  // Encode while reading; normalising always reads into a temporary WAV first.
  bool OnTheFly = true;
  bool NormalizeVolume = false;
  int32_t NormalizeFactor = 98;
  int32_t EncoderThreads = 0;  // 0: one per core

  // The encoders and the tags.
  TMp3Settings Mp3;
  int32_t FlacLevel = 5;
  int32_t OpusBitRate = 160;
  bool EnableID3Tag = true;  // MP3's ID3v1.1 tag, and its ID3v2 tag with WriteID3v2
  bool WriteID3v2 = true;
  bool ReplayGain = true;
  QString Comment;  // the user's comment for the tags; empty: none
  bool EmbedCover = true;
  QString CoverArtServer;  // empty: no cover is fetched
  QNetworkProxy Proxy;

  // The reading.
  int32_t ReadOffset = 0;  // samples
  bool TestAndCopy = false;
  bool RipHiddenTrack = true;

  // The proof: checksums, the AccurateRip and CTDB lookups (with the CTDB's
  // repair), the rip log and the CUE sheet.
  bool Verify = false;
  QString AccurateRipServer;  // empty: no lookup
  QString CtdbServer;         // empty: no lookup and no repair
  bool WriteLog = true;
  bool WriteCueSheet = true;

  const TFileFormat& Format() const { return FileFormat(OutputFormat); }
  TEncoderSettings EncoderSettings() const { return {OutputFormat, FlacLevel, OpusBitRate}; }
  // Whether the output is made by an encoder while the track is read.
  bool EncodesOnTheFly() const { return Format().Encoded && OnTheFly && !NormalizeVolume; }
};

// The settings as the configuration holds them now; Verify stays off.
TRipSettings RipSettingsOf(const TConfig& config);
// The tags' comment: setting Id3Comment, or the program's own text when that
// is empty.
QString Id3CommentText(const TConfig& config);

struct TRipPlan {
  TDisc Disc;
  TJobList Jobs;
  TRipSettings Settings;
};

// The path of an output of the plan: the name (from the naming rule) in the
// output folder, with suffix and the format's extension.
QString PlannedOutputPath(const TRipSettings& settings, const QString& name,
                          const QString& suffix = QString());
