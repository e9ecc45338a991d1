#include <gtest/gtest.h>

#include <QVariant>

#include "common/TestUtil.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/TextDecode.h"
#include "settings/config.h"

using platform::TRegistryStore;
using platform::TRegValue;

namespace {

const QString kKey = "HKEY_CURRENT_USER\\SOFTWARE\\Velmora Computing\\Cadenzo\\1.06";

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetProgramFolder(FProgram.Path()); }
  void TearDown() override { platform::SetProgramFolder(""); }
  QString RegistryPath() const { return FRegistry.File("registry.reg"); }
  // The user's own copy, the one the library and the settings read.
  QString CdripIni() const { return platform::ConfigFolder() + "cdrip.ini"; }

  testutil::TTempFolder FProgram;
  testutil::TTempFolder FRegistry;
};

}  // namespace

TEST_F(ConfigTest, FirstStartSavesEveryValueWithItsTypeAndDefaultInOrder) {
  struct TValue {
    const char* Name;
    TRegValue::TKind Kind;
    QVariant Default;
  };
  const QString music = qEnvironmentVariable("XDG_MUSIC_DIR");
  const auto D = TRegValue::Dword;
  const auto S = TRegValue::String;
  const TValue table[] = {
      {"ConvertType", D, 31},
      {"EnableId3Tag", D, 1},
      {"OnTheFly", D, 1},
      {"OutputFormat", D, 1},
      {"CreatePlayList", D, 0},
      {"PlayListType", D, 0},
      {"AutoLoadCDPlayerINI", D, 0},
      {"SpecifyOutputFolder", D, 1},
      {"OpenOutputFolder", D, 1},
      {"OutputFolder", S, music},
      {"TempFolder", S, platform::TempFolder()},
      {"FavoriteBrowsFolder", S, music},
      {"NormalizeVolume", D, 0},
      {"NormalizeFactor", D, 98},
      {"OverwritePrompt", D, 1},
      {"ShowErrorMessage", D, 1},
      {"DeleteOriginalFile", D, 0},
      {"PlaySound", D, 0},
      {"SoundFile", S, ""},
      {"PromptCheckOption", D, 0},
      {"LastOpenFolder", S, ""},
      {"Id3Comment", S, ""},
      {"WindowLeft", D, 65535},
      {"WindowTop", D, 65535},
      {"WindowHeight", D, 480},
      {"WindowWidth", D, 640},
      {"NamingRuleIdx", D, 0},
      {"NamingString", S, "<title>"},
      {"ReplaceStr", S, ""},
      {"SampleRate", D, 1},
      {"BitRate", D, 10},
      {"MaxBitRate", D, 13},
      {"Mode", D, 0},
      {"Quality", D, 0},
      {"VBRQuality", D, 4},
      {"VBR", D, 0},
      {"WriteVBRHeader", D, 0},
      {"Copyright", D, 0},
      {"CRC", D, 1},
      {"Original", D, 0},
      {"_Private", D, 0},
      {"DeleteSilence", D, 0},
      {"EjectCD", D, 0},
      {"SelectAllTrack", D, 1},
      {"ServerName", S, "gnudb.gnudb.org"},
      {"QueryScript", S, "/~cddb/cddb.cgi"},
      {"SubmitScript", S, "/~cddb/submit.cgi"},
      {"EmailAddress", S, "user@example.com"},
      {"LocalCDDBFolder", S, platform::DataFolder() + "localCDDB"},
      {"EnableProxy", D, 0},
      {"ProxyPort", D, 8080},
      {"ProxyServer", S, ""},
      {"AutoPlayOutputFile", D, 0},
      {"PlayerExecute", S, ""},
      {"PlayerParameter", S, ""},
      {"WaveOutputOption", D, 0},
      {"EncoderThreads", D, 0},
      {"FlacLevel", D, 5},
      {"OpusBitRate", D, 160},
      {"WriteID3v2", D, 1},
      {"ReplayGain", D, 1},
      {"EmbedCover", D, 1},
      {"AccurateRipServer", S, "http://www.accuraterip.com"},
      {"WriteLog", D, 1},
      {"WriteCueSheet", D, 1},
      {"RipHiddenTrack", D, 1},
      {"CDDBTimeOut", D, 30},
      // Test programs point the public default at loopback.
      {"MusicBrainzServer", S, TConfig::PublicMusicBrainzServer},
      {"CoverArtServer", S, TConfig::PublicCoverArtServer},
      {"AutoLookup", D, 1},
      {"ReadOffset", D, 0},
      {"TestAndCopy", D, 0},
      {"CtdbServer", S, TConfig::PublicCtdbServer},
      {"AutoRip", D, 0},
      {"AutoRipEveryDrive", D, 0},
  };

  TRegistryStore store(RegistryPath());
  TConfig config(&store);
  EXPECT_TRUE(config.Load());
  EXPECT_EQ(config.nActive, 0);
  EXPECT_EQ(config.nTransportLayer, 0);
  EXPECT_EQ(config.SoundFile, "");
  EXPECT_EQ(config.EncoderThreads, 0);
  EXPECT_FALSE(store.KeyExists(kKey));
  EXPECT_TRUE(config.Save());

  // The key holds exactly the table's values, in its order: no nActive.
  QStringList saved;
  bool inKey = false;
  for (const QString& line :
       platform::SplitLines(platform::DecodeLines(testutil::ReadFile(RegistryPath())))) {
    if (line.startsWith('['))
      inKey = line == "[" + kKey + "]";
    else if (inKey && line.startsWith('"'))
      saved << line.section('"', 1, 1);
  }
  QStringList names;
  for (const TValue& value : table) names << value.Name;
  EXPECT_EQ(saved, names);

  TRegistryStore reread(RegistryPath());
  for (const TValue& value : table) {
    SCOPED_TRACE(value.Name);
    const auto stored = reread.ReadValue(kKey, value.Name);
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->Kind, value.Kind);
    if (value.Kind == D)
      EXPECT_EQ(stored->Number, value.Default.toUInt());
    else
      EXPECT_EQ(stored->Text, value.Default.toString());
  }
}

// Every string setting holding text that would break a line-based file, with
// an integer saved after all of them: everything reads back as it was.
TEST_F(ConfigTest, EveryStringSettingRoundTripsHostileText) {
  QString controls;
  for (ushort c = 1; c < 0x20; ++c) controls += QChar(c);
  const QString hostile =
      "a\r\n[HKEY_CURRENT_USER\\Evil]\r\n\"WindowWidth\"=dword:00000001\n\\" + controls + "\"end\\";
  QString TConfig::*const strings[] = {
      &TConfig::OutputFolder,   &TConfig::TempFolder,    &TConfig::FavoriteBrowsFolder,
      &TConfig::LastOpenFolder, &TConfig::Id3Comment,    &TConfig::NamingString,
      &TConfig::ReplaceStr,     &TConfig::ServerName,    &TConfig::QueryScript,
      &TConfig::SubmitScript,   &TConfig::EmailAddress,  &TConfig::LocalCDDBFolder,
      &TConfig::ProxyServer,    &TConfig::PlayerExecute, &TConfig::PlayerParameter};
  TRegistryStore store(RegistryPath());
  {
    TConfig config(&store);
    int n = 0;
    for (auto field : strings) config.*field = hostile + QString::number(n++);
    config.WindowWidth = 1000;
    config.WaveOutputOption = 3;
    ASSERT_TRUE(config.Save());
  }
  TRegistryStore reread(RegistryPath());
  EXPECT_FALSE(reread.KeyExists("HKEY_CURRENT_USER\\Evil"));
  TConfig config(&reread);
  config.Load();
  int n = 0;
  for (auto field : strings) EXPECT_EQ(config.*field, hostile + QString::number(n++)) << n;
  EXPECT_EQ(config.WindowWidth, 1000);
  EXPECT_EQ(config.WaveOutputOption, 3);
}

TEST_F(ConfigTest, EveryValueRoundTripsWithItsType) {
  TRegistryStore store(RegistryPath());
  {
    TConfig config(&store);
    config.ConvertType = 0;
    config.EnableID3Tag = false;
    config.OutputFormat = 0;
    config.OutputFolder = "/data/Música";
    config.NormalizeFactor = 85;
    config.WindowLeft = -20;  // a window left of a second screen
    config.WindowWidth = 1024;
    config.NamingString = "<artist>\\<album>\\<number> - <title>";
    config.ReplaceStr = "_";
    config.SampleRate = 3;
    config.BitRate = 0;
    config.VBR = true;
    config._Private = true;
    config.CRC = false;
    config.ServerName = "cddb.example.org";
    config.ProxyPort = 3128;
    config.PlayerParameter = "--enqueue \"x\"";
    config.WaveOutputOption = 2;
    config.EncoderThreads = 3;
    config.SoundFile = "/tmp/done.wav";
    ASSERT_TRUE(config.Save());
  }
  TRegistryStore reread(RegistryPath());
  TConfig config(&reread);
  config.Load();
  EXPECT_EQ(config.ConvertType, 0);
  EXPECT_FALSE(config.EnableID3Tag);
  EXPECT_EQ(config.OutputFormat, 0);
  EXPECT_EQ(config.OutputFolder, "/data/Música");
  EXPECT_EQ(config.NormalizeFactor, 85);
  EXPECT_EQ(config.WindowLeft, -20);
  EXPECT_EQ(config.WindowWidth, 1024);
  EXPECT_EQ(config.NamingString, "<artist>\\<album>\\<number> - <title>");
  EXPECT_EQ(config.ReplaceStr, "_");
  EXPECT_EQ(config.SampleRate, 3);
  EXPECT_EQ(config.BitRate, 0);
  EXPECT_TRUE(config.VBR);
  EXPECT_TRUE(config._Private);
  EXPECT_FALSE(config.CRC);
  EXPECT_EQ(config.ServerName, "cddb.example.org");
  EXPECT_EQ(config.ProxyPort, 3128);
  EXPECT_EQ(config.PlayerParameter, "--enqueue \"x\"");
  EXPECT_EQ(config.WaveOutputOption, 2);
  EXPECT_EQ(config.EncoderThreads, 3);
  EXPECT_EQ(config.SoundFile, "/tmp/done.wav");  // the ticked box keeps its sound
}

TEST_F(ConfigTest, StoredValuesAreReadLeniently) {
  TRegistryStore store(RegistryPath());
  auto put = [&](const char* name, TRegValue value) { store.WriteValue(kKey, name, value); };
  put("enableid3tag", TRegValue::FromDword(0));  // other spelling, same value
  put("PlaySound", TRegValue::FromDword(5));     // any non-zero is true
  put("SampleRate", TRegValue::FromDword(7));
  put("BitRate", TRegValue::FromDword(99));
  put("MaxBitRate", TRegValue::FromDword(uint32_t(-3)));
  put("VBRQuality", TRegValue::FromDword(12));
  put("Mode", TRegValue::FromDword(uint32_t(-1)));
  put("OutputFormat", TRegValue::FromDword(5));
  put("NormalizeFactor", TRegValue::FromDword(0));
  put("WindowWidth", TRegValue::FromString("wide"));  // a string where a number belongs
  put("NamingString", TRegValue::FromDword(3));       // a number where a string belongs
  put("EncoderThreads", TRegValue::FromDword(uint32_t(-2)));
  put("FlacLevel", TRegValue::FromDword(9));
  put("OpusBitRate", TRegValue::FromDword(8));
  put("ReadOffset", TRegValue::FromDword(uint32_t(-5000)));  // signed in the dword
  store.WriteValue("HKEY_CURRENT_USER\\SOFTWARE\\Velmora Computing\\Cadenzo\\1.05", "BitRate",
                   TRegValue::FromDword(1));

  TConfig config(&store);
  config.Load();
  EXPECT_FALSE(config.EnableID3Tag);
  EXPECT_TRUE(config.PlaySound);
  EXPECT_EQ(config.SampleRate, 3);
  EXPECT_EQ(config.BitRate, 13);
  EXPECT_EQ(config.MaxBitRate, 0);
  EXPECT_EQ(config.VBRQuality, 9);
  EXPECT_EQ(config.Mode, 0);
  EXPECT_EQ(config.OutputFormat, 1);  // no format of that number: the default
  EXPECT_EQ(config.FlacLevel, 8);
  EXPECT_EQ(config.OpusBitRate, 32);
  EXPECT_EQ(config.NormalizeFactor, 1);
  EXPECT_EQ(config.WindowWidth, 640);
  EXPECT_EQ(config.NamingString, "<title>");
  EXPECT_EQ(config.EncoderThreads, 0);
  EXPECT_EQ(config.ReadOffset, -3000);

  config.ReadOffset = -667;
  config.Save();
  EXPECT_TRUE(testutil::ReadFile(RegistryPath()).contains("\"ReadOffset\"=dword:fffffd65"));
  TRegistryStore again(RegistryPath());
  TConfig back(&again);
  back.Load();
  EXPECT_EQ(back.ReadOffset, -667);
  TRegistryStore reread(RegistryPath());
  EXPECT_EQ(reread.ReadValue(kKey, "PlaySound")->Number, 1u);
  EXPECT_TRUE(testutil::ReadFile(RegistryPath()).contains("\"enableid3tag\"=dword:00000000"));
  // Another version's section is neither read nor changed.
  EXPECT_EQ(
      reread.ReadValue("HKEY_CURRENT_USER\\SOFTWARE\\Velmora Computing\\Cadenzo\\1.05", "BitRate")
          ->Number,
      1u);
}

TEST_F(ConfigTest, DriveSettingsComeFromCdripIniWhichSaveLeavesAlone) {
  TRegistryStore store(RegistryPath());
  {
    testutil::WriteFile(CdripIni(), "[Images]\nImage0=demo.cue\n");
    TConfig config(&store);
    config.Load();
    EXPECT_EQ(config.nActive, 0);
    EXPECT_EQ(config.nTransportLayer, 0);
    config.nActive = 3;
    config.Save();
    EXPECT_EQ(testutil::ReadFile(CdripIni()), "[Images]\nImage0=demo.cue\n");
  }
  testutil::WriteFile(CdripIni(), "[cd-rom]\nNACTIVE=2\nnTransportLayer=1\n");
  TConfig config(&store);
  config.Load();
  EXPECT_EQ(config.nActive, 2);
  EXPECT_EQ(config.nTransportLayer, 1);
}

TEST_F(ConfigTest, AssignCopiesEverySetting) {
  TRegistryStore store(RegistryPath());
  TConfig source(&store);
  source.NamingString = "<number>";
  source.SoundFile = "/x.wav";
  source.nActive = 4;
  source.DriveParams.speed = 8;
  source.VBR = true;
  source.ProxyServer = "proxy";
  TConfig copy(&store);
  copy.Assign(source);
  EXPECT_EQ(copy.NamingString, "<number>");
  EXPECT_EQ(copy.SoundFile, "/x.wav");
  EXPECT_EQ(copy.nActive, 4);
  EXPECT_EQ(copy.DriveParams.speed, 8);
  EXPECT_TRUE(copy.VBR);
  EXPECT_EQ(copy.ProxyServer, "proxy");
}
