#include "settings/config.h"

#include <gtest/gtest.h>

#include "common/TestUtil.h"
#include "platform/Folders.h"

using platform::TRegistryStore;
using platform::TRegValue;

namespace {

const QString kKey = "HKEY_CURRENT_USER\\SOFTWARE\\Velmora Computing\\Cadenzo\\1.06";

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetProgramFolder(FProgram.Path()); }
  void TearDown() override { platform::SetProgramFolder(""); }
  QString RegistryPath() const { return FRegistry.File("registry.reg"); }
  QString CdripIni() const { return FProgram.File("cdrip.ini"); }

  testutil::TTempFolder FProgram;
  testutil::TTempFolder FRegistry;
};

}  // namespace

TEST_F(ConfigTest, FirstStartHasDefaultsAndSaveWritesEveryValue) {
  TRegistryStore store(RegistryPath());
  TConfig config(&store);
  EXPECT_TRUE(config.Load());
  EXPECT_EQ(config.ConvertType, 31);
  EXPECT_TRUE(config.EnableID3Tag);
  EXPECT_EQ(config.OutputFolder, qEnvironmentVariable("XDG_MUSIC_DIR"));
  EXPECT_EQ(config.TempFolder, platform::TempFolder());
  EXPECT_EQ(config.LocalCDDBFolder, FProgram.Path() + "/localCDDB");
  EXPECT_EQ(config.ServerName, "gnudb.gnudb.org");
  EXPECT_EQ(config.QueryScript, "/~cddb/cddb.cgi");
  EXPECT_EQ(config.NamingString, "<title>");
  EXPECT_EQ(config.BitRate, 10);
  EXPECT_EQ(config.MaxBitRate, 13);
  EXPECT_EQ(config.WindowLeft, 65535);
  EXPECT_EQ(config.nActive, 0);
  EXPECT_EQ(config.EncoderThreads, 0);
  EXPECT_FALSE(store.KeyExists(kKey));

  EXPECT_TRUE(config.Save());
  TRegistryStore reread(RegistryPath());
  const QStringList names = {
      "ConvertType", "EnableId3Tag", "OnTheFly", "OutputFormat", "CreatePlayList",
      "PlayListType", "AutoLoadCDPlayerINI", "SpecifyOutputFolder", "OpenOutputFolder",
      "OutputFolder", "TempFolder", "FavoriteBrowsFolder", "NormalizeVolume", "NormalizeFactor",
      "OverwritePrompt", "ShowErrorMessage", "DeleteOriginalFile", "PlaySound",
      "PromptCheckOption", "LastOpenFolder", "Id3Comment", "WindowLeft", "WindowTop",
      "WindowHeight", "WindowWidth", "NamingRuleIdx", "NamingString", "ReplaceStr", "SampleRate",
      "BitRate", "MaxBitRate", "Mode", "Quality", "VBRQuality", "VBR", "WriteVBRHeader",
      "Copyright", "CRC", "Original", "_Private", "DeleteSilence", "EjectCD", "SelectAllTrack",
      "ServerName", "QueryScript", "SubmitScript", "EmailAddress", "LocalCDDBFolder",
      "EnableProxy", "ProxyPort", "ProxyServer", "AutoPlayOutputFile", "PlayerExecute",
      "PlayerParameter", "WaveOutputOption", "EncoderThreads"};
  for (const QString& name : names) EXPECT_TRUE(reread.ReadValue(kKey, name)) << name.toStdString();
  EXPECT_EQ(reread.ReadValue(kKey, "ConvertType")->Kind, TRegValue::Dword);
  EXPECT_EQ(reread.ReadValue(kKey, "ConvertType")->Number, 31u);
  EXPECT_EQ(reread.ReadValue(kKey, "OutputFolder")->Kind, TRegValue::String);
  const QByteArray file = testutil::ReadFile(RegistryPath());
  EXPECT_EQ(file.count("\r\n\""), names.size());  // nothing else: no SoundFile, no nActive
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
  EXPECT_EQ(config.SoundFile, "");  // lasts one run only
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
  put("OutputFormat", TRegValue::FromDword(9));
  put("NormalizeFactor", TRegValue::FromDword(0));
  put("WindowWidth", TRegValue::FromString("wide"));  // a string where a number belongs
  put("NamingString", TRegValue::FromDword(3));       // a number where a string belongs
  put("EncoderThreads", TRegValue::FromDword(uint32_t(-2)));
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
  EXPECT_EQ(config.OutputFormat, 2);
  EXPECT_EQ(config.NormalizeFactor, 1);
  EXPECT_EQ(config.WindowWidth, 640);
  EXPECT_EQ(config.NamingString, "<title>");
  EXPECT_EQ(config.EncoderThreads, 0);

  config.Save();
  TRegistryStore reread(RegistryPath());
  EXPECT_EQ(reread.ReadValue(kKey, "PlaySound")->Number, 1u);
  EXPECT_TRUE(testutil::ReadFile(RegistryPath()).contains("\"enableid3tag\"=dword:00000000"));
  // Another version's section is neither read nor changed.
  EXPECT_EQ(reread.ReadValue("HKEY_CURRENT_USER\\SOFTWARE\\Velmora Computing\\Cadenzo\\1.05",
                             "BitRate")->Number, 1u);
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
  source.DriveParams.nSpeed = 8;
  source.VBR = true;
  source.ProxyServer = "proxy";
  TConfig copy(&store);
  copy.Assign(source);
  EXPECT_EQ(copy.NamingString, "<number>");
  EXPECT_EQ(copy.SoundFile, "/x.wav");
  EXPECT_EQ(copy.nActive, 4);
  EXPECT_EQ(copy.DriveParams.nSpeed, 8);
  EXPECT_TRUE(copy.VBR);
  EXPECT_EQ(copy.ProxyServer, "proxy");
}
