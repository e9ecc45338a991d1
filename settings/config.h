// TConfig: every option of the program, named by its registry value name.
// One global instance (Config) is created and loaded when the main window is
// created and saved when it is destroyed; everything else reads its fields.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>

#include "libs/cdrip/cdrip.h"
#include "platform/Registry.h"
#include "settings/RegSetEx.h"

class TConfig {
 public:
  // Defaults everywhere. The store is the registry file; null uses the default file.
  explicit TConfig(platform::TRegistryStore* store = nullptr);
  ~TConfig();
  TConfig(const TConfig&) = delete;
  TConfig& operator=(const TConfig&) = delete;

  // Reads every value (missing ones keep their current value), clamps indexes
  // into their tables, then nActive and nTransportLayer from cdrip.ini.
  bool Load();
  // Writes every value in one atomic save of the registry file.
  bool Save();
  void Assign(const TConfig& source);

  int32_t ConvertType = 31;
  bool EnableID3Tag = true;
  bool OnTheFly = true;
  int32_t OutputFormat = 1;  // a row of the format table (encode/FileFormats)
  bool CreatePlayList = false;
  int32_t PlayListType = 0;
  bool AutoLoadCDPlayerINI = false;
  bool SpecifyOutputFolder = true;
  bool OpenOutputFolder = true;
  QString OutputFolder;
  QString TempFolder;
  QString FavoriteBrowsFolder;
  bool NormalizeVolume = false;
  int32_t NormalizeFactor = 98;
  bool OverwritePrompt = true;
  bool ShowErrorMessage = true;
  bool DeleteOriginalFile = false;
  bool PlaySound = false;
  QString SoundFile;  // kept with PlaySound, which is nothing without it
  bool PromptCheckOption = false;
  QString LastOpenFolder;
  QString Id3Comment;
  int32_t WindowLeft = 65535;
  int32_t WindowTop = 65535;
  int32_t WindowHeight = 480;
  int32_t WindowWidth = 640;
  // naming group
  int32_t NamingRuleIdx = 0;
  QString NamingString = "<title>";
  QString ReplaceStr;
  // encoder group
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
  bool _Private = false;
  int32_t EncoderThreads = 0;  // encoders working at once; 0 for one per core
  int32_t FlacLevel = 5;       // FLAC compression level, 0 (fastest) to 8 (smallest)
  int32_t OpusBitRate = 160;   // Opus target bit rate (VBR), kbit/s, 32 to 512
  bool WriteID3v2 = true;      // an ID3v2.4 tag at the front of each MP3, beside ID3v1.1
  bool ReplayGain = true;      // track and album loudness in the tags
  bool EmbedCover = true;
  // drive group
  bool DeleteSilence = false;
  bool EjectCD = false;
  bool SelectAllTrack = true;
  bool AutoRip = false;            // rip every disc put in, one after another
  bool AutoRipEveryDrive = false;  // on every drive at once, not only the chosen one
  int32_t nActive = 0;             // from cdrip.ini
  int32_t nTransportLayer = 0;     // from cdrip.ini
  CdripDriveParams DriveParams{};  // not stored
  // CDDB group
  QString ServerName = "gnudb.gnudb.org";
  QString QueryScript = "/~cddb/cddb.cgi";
  QString SubmitScript = "/~cddb/submit.cgi";
  QString EmailAddress = "user@example.com";
  QString LocalCDDBFolder;
  bool EnableProxy = false;
  // verification group
  QString AccurateRipServer = "http://www.accuraterip.com";  // empty: no lookup
  QString CtdbServer = PublicCtdbServer;  // empty: no CTDB verification or repair
  bool WriteLog = true;
  bool WriteCueSheet = true;
  bool RipHiddenTrack = true;  // audio before track 1 that is not silence, as track 00
  // Samples the drive's audio is taken later (-3000..3000); images too.
  int32_t ReadOffset = 0;
  bool TestAndCopy = false;  // read each track twice and compare the CRCs
  int32_t ProxyPort = 8080;
  QString ProxyServer;
  int32_t CDDBTimeOut = 30;  // seconds for a whole CDDB request
  QString MusicBrainzServer = PublicMusicBrainzServer;
  QString CoverArtServer = PublicCoverArtServer;  // empty: no cover is fetched
  bool AutoLookup = true;  // look a new disc up on MusicBrainz in the background
  // player group
  bool AutoPlayOutputFile = false;
  QString PlayerExecute;
  QString PlayerParameter;
  int32_t WaveOutputOption = 0;

  TRegSetEx& Registry() { return *FReg; }

  // The defaults of MusicBrainzServer, CoverArtServer and CtdbServer; test
  // programs point them at loopback so no settings they make reach the public
  // services.
  static inline QString PublicMusicBrainzServer = QStringLiteral("https://musicbrainz.org");
  static inline QString PublicCoverArtServer = QStringLiteral("https://coverartarchive.org");
  static inline QString PublicCtdbServer = QStringLiteral("http://db.cuetools.net");

 private:
  std::unique_ptr<platform::TRegistryStore> FOwnedStore;
  std::unique_ptr<TRegSetEx> FReg;
};

// The section that holds every value: the program's version.
inline constexpr const char* kConfigSection = "1.06";

// Index tables shared by the options dialog and the conversion session.
inline constexpr int kSampleRates[4] = {48000, 44100, 32000, 22050};
inline constexpr int kBitRates[14] = {32,  40,  48,  56,  64,  80,  96,
                                      112, 128, 160, 192, 224, 256, 320};

// The one settings object; created by the main window (or the headless front end).
extern TConfig* Config;
