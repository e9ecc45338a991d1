#include "rip/RipPlan.h"

#include "musicbrainz/MbLookup.h"
#include "platform/AppInfo.h"
#include "settings/Naming.h"
#include "settings/config.h"

QString Id3CommentText(const TConfig& config) {
  if (!config.Id3Comment.isEmpty()) return config.Id3Comment;
  return QStringLiteral("%1 %2").arg(kProgramName, kProgramVersion);
}

TRipSettings RipSettingsOf(const TConfig& config) {
  TRipSettings s;
  s.OutputFormat = config.OutputFormat;
  s.OutputFolder = config.OutputFolder;
  s.NamingString = config.NamingString;
  s.ReplaceStr = config.ReplaceStr;
  s.OverwritePrompt = config.OverwritePrompt;
  s.OnTheFly = config.OnTheFly;
  s.NormalizeVolume = config.NormalizeVolume;
  s.NormalizeFactor = config.NormalizeFactor;
  s.EncoderThreads = config.EncoderThreads;
  s.Mp3 = {.SampleRate = config.SampleRate,
           .BitRate = config.BitRate,
           .MaxBitRate = config.MaxBitRate,
           .Mode = config.Mode,
           .Quality = config.Quality,
           .VBRQuality = config.VBRQuality,
           .VBR = config.VBR,
           .WriteVBRHeader = config.WriteVBRHeader,
           .Copyright = config.Copyright,
           .CRC = config.CRC,
           .Original = config.Original,
           .Private = config._Private};
  s.FlacLevel = config.FlacLevel;
  s.OpusBitRate = config.OpusBitRate;
  s.EnableID3Tag = config.EnableID3Tag;
  s.WriteID3v2 = config.WriteID3v2;
  s.ReplayGain = config.ReplayGain;
  s.Comment = config.Id3Comment;
  s.EmbedCover = config.EmbedCover;
  s.CoverArtServer = config.CoverArtServer;
  s.Proxy = ConfiguredProxy(config);
  s.ReadOffset = config.ReadOffset;
  s.TestAndCopy = config.TestAndCopy;
  s.RipHiddenTrack = config.RipHiddenTrack;
  s.AccurateRipServer = config.AccurateRipServer;
  s.CtdbServer = config.CtdbServer;
  s.WriteLog = config.WriteLog;
  s.WriteCueSheet = config.WriteCueSheet;
  return s;
}

QString PlannedOutputPath(const TRipSettings& settings, const QString& name,
                          const QString& suffix) {
  return BuildOutputPath(AddTrailingBackslash(settings.OutputFolder), name,
                         QString::fromLatin1(settings.Format().Extension), suffix);
}
