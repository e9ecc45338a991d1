#include "platform/Registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>

#include "common/TestUtil.h"
#include "platform/Files.h"
#include "platform/TextDecode.h"

using platform::TRegistryStore;
using platform::TRegValue;

namespace {

const QString kKey = "HKEY_CURRENT_USER\\SOFTWARE\\Velmora Computing\\Cadenzo\\1.06";

}  // namespace

TEST(Registry, KeepsTypesThroughTheFile) {
  testutil::TTempFolder tmp;
  const QString path = tmp.File("registry.reg");
  {
    TRegistryStore store(path);
    EXPECT_TRUE(store.WriteValue(kKey, "Count", TRegValue::FromDword(0xFFFFFFFF)));
    EXPECT_TRUE(store.WriteValue(kKey, "Folder", TRegValue::FromString("C:\\My \"Music\"")));
    EXPECT_TRUE(store.WriteValue(kKey, "Empty", TRegValue::FromString("")));
    EXPECT_TRUE(store.WriteValue(kKey, "Text", TRegValue::FromString("Ünïcode ♪")));
  }
  const QByteArray file = testutil::ReadFile(path);
  EXPECT_TRUE(file.startsWith("Windows Registry Editor Version 5.00\r\n"));
  EXPECT_TRUE(file.contains("[" + kKey.toUtf8() + "]\r\n"));
  EXPECT_TRUE(file.contains("\"Count\"=dword:ffffffff\r\n"));
  EXPECT_TRUE(file.contains("\"Folder\"=\"C:\\\\My \\\"Music\\\"\"\r\n"));

  TRegistryStore store(path);
  auto count = store.ReadValue(kKey, "Count");
  ASSERT_TRUE(count);
  EXPECT_EQ(count->Kind, TRegValue::Dword);
  EXPECT_EQ(count->Number, 0xFFFFFFFFu);
  auto folder = store.ReadValue(kKey, "folder");
  ASSERT_TRUE(folder);
  EXPECT_EQ(folder->Kind, TRegValue::String);
  EXPECT_EQ(folder->Text, "C:\\My \"Music\"");
  EXPECT_EQ(store.ReadValue(kKey, "Empty")->Text, "");
  EXPECT_EQ(store.ReadValue(kKey, "Text")->Text, "Ünïcode ♪");
  EXPECT_FALSE(store.ReadValue(kKey, "Missing"));
  EXPECT_FALSE(store.ReadValue(kKey + "x", "Count"));
}

// One byte that is not UTF-8 spoils no other line, and the next save stores
// every value as UTF-8.
TEST(Registry, AStrayLatin1ByteDecodesOnlyItsOwnLineAsLatin1) {
  testutil::TTempFolder tmp;
  const QString path = tmp.File("registry.reg");
  testutil::WriteFile(path, "Windows Registry Editor Version 5.00\r\n\r\n[" + kKey.toUtf8() +
                                "]\r\n\"Folder\"=\"/home/J\xC3\xB3n/M\xC3\xBAsica\"\r\n"
                                "\"Naming\"=\"Caf\xE9\"\r\n\"Note\"=\"\xE2\x99\xAA\"\r\n");
  {
    TRegistryStore store(path);
    EXPECT_EQ(store.ReadValue(kKey, "Folder")->Text, "/home/Jón/Música");
    EXPECT_EQ(store.ReadValue(kKey, "Naming")->Text, "Café");
    EXPECT_EQ(store.ReadValue(kKey, "Note")->Text, "♪");
    ASSERT_TRUE(store.WriteValue(kKey, "Count", TRegValue::FromDword(1)));
  }
  const QByteArray file = testutil::ReadFile(path);
  EXPECT_TRUE(file.contains("\"Folder\"=\"/home/J\xC3\xB3n/M\xC3\xBAsica\"\r\n"))
      << file.toStdString();
  EXPECT_TRUE(file.contains("\"Naming\"=\"Caf\xC3\xA9\"\r\n"));
  EXPECT_TRUE(file.contains("\"Note\"=\"\xE2\x99\xAA\"\r\n"));
}

TEST(Registry, NamesCompareWithoutCaseAndKeepTheirStoredSpelling) {
  testutil::TTempFolder tmp;
  const QString path = tmp.File("registry.reg");
  testutil::WriteFile(path, "Windows Registry Editor Version 5.00\n\n[" + kKey.toUtf8().toLower() +
                                "]\n\"EnableID3Tag\"=dword:00000000\n");
  TRegistryStore store(path);
  EXPECT_TRUE(store.KeyExists(kKey));
  EXPECT_EQ(store.ReadValue(kKey, "EnableId3Tag")->Number, 0u);
  store.WriteValue(kKey, "EnableId3Tag", TRegValue::FromDword(1));
  const QByteArray file = testutil::ReadFile(path);
  EXPECT_TRUE(file.contains("\"EnableID3Tag\"=dword:00000001"));
  EXPECT_FALSE(file.contains("EnableId3Tag"));
  EXPECT_EQ(file.count("\n["), 1);  // the one key, under its stored spelling
}

TEST(Registry, BadInputReadsWhatItCanAndKeepsTheRest) {
  struct TCase {
    const char* What;
    QByteArray File;
  };
  const QByteArray header = "Windows Registry Editor Version 5.00\r\n\r\n[" + kKey.toUtf8() + "]\r\n";
  const TCase cases[] = {
      {"garbage lines", header + "this is not a value\r\n\"Good\"=dword:00000007\r\n@@@\r\n"},
      {"wrong type", header + "\"Good\"=dword:00000007\r\n\"Number\"=\"twelve\"\r\n"},
      {"truncated", header + "\"Good\"=dword:00000007\r\n\"Cut\"=\"half a val"},
      {"bad dword", header + "\"Good\"=dword:00000007\r\n\"Bad\"=dword:xyz\r\n"},
      {"other types", header + "\"Good\"=dword:00000007\r\n\"Bin\"=hex:01,02,\\\r\n  03,04\r\n"},
      {"latin-1", header + "\"Good\"=dword:00000007\r\n\"Name\"=\"Bj\xF6rk\"\r\n"},
      {"no header, LF only", "[" + kKey.toUtf8() + "]\n\"Good\"=dword:00000007\n"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.What);
    testutil::TTempFolder tmp;
    const QString path = tmp.File("registry.reg");
    testutil::WriteFile(path, c.File);
    TRegistryStore store(path);
    auto good = store.ReadValue(kKey, "Good");
    ASSERT_TRUE(good);
    EXPECT_EQ(good->Number, 7u);
    // What could not be read as the wanted type is not a DWORD.
    auto number = store.ReadValue(kKey, "Number");
    if (number) {
      EXPECT_EQ(number->Kind, TRegValue::String);
    }
    EXPECT_FALSE(store.ReadValue(kKey, "Bad"));
    EXPECT_FALSE(store.ReadValue(kKey, "Cut"));

    ASSERT_TRUE(store.WriteValue(kKey, "New", TRegValue::FromDword(1)));
    const QString after = platform::DecodeLines(testutil::ReadFile(path));
    // Every line of the original file is still there after a save.
    for (const QString& line : platform::SplitLines(platform::DecodeLines(c.File))) {
      if (line.trimmed().isEmpty() || line.startsWith("[")) continue;
      EXPECT_TRUE(after.contains(line)) << line.toStdString();
    }
    EXPECT_TRUE(after.contains("\"New\"=dword:00000001"));
  }
}

TEST(Registry, ReadsRegeditsOwnUtf16Export) {
  testutil::TTempFolder tmp;
  const QString path = tmp.File("registry.reg");
  const QString text = "Windows Registry Editor Version 5.00\r\n\r\n[" + kKey +
                       "]\r\n\"Title\"=\"Café\"\r\n";
  QByteArray bytes("\xFF\xFE", 2);
  bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
  testutil::WriteFile(path, bytes);
  TRegistryStore store(path);
  ASSERT_TRUE(store.ReadValue(kKey, "Title"));
  EXPECT_EQ(store.ReadValue(kKey, "Title")->Text, "Café");
}

TEST(Registry, OtherKeysSurviveAndABatchSavesOnce) {
  testutil::TTempFolder tmp;
  const QString path = tmp.File("registry.reg");
  testutil::WriteFile(path, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Other]\n"
                            "\"Keep\"=\"me\"\n");
  TRegistryStore store(path);
  store.BeginBatch();
  store.WriteValue(kKey, "A", TRegValue::FromDword(1));
  store.WriteValue(kKey, "B", TRegValue::FromDword(2));
  EXPECT_FALSE(testutil::ReadFile(path).contains("\"A\""));  // nothing written mid-batch
  EXPECT_TRUE(store.EndBatch());
  const QByteArray file = testutil::ReadFile(path);
  EXPECT_TRUE(file.contains("\"A\"=dword:00000001"));
  EXPECT_TRUE(file.contains("[HKEY_CURRENT_USER\\Other]\r\n\"Keep\"=\"me\""));
}

TEST(Registry, SaveFailureIsReportedAndKeepsTheFile) {
  testutil::TTempFolder tmp;
  // A regular file where the folder should be: no save can succeed.
  testutil::WriteFile(tmp.File("blocker"), "x");
  TRegistryStore store(tmp.File("blocker/registry.reg"));
  EXPECT_FALSE(store.WriteValue(kKey, "A", TRegValue::FromDword(1)));
  EXPECT_EQ(testutil::ReadFile(tmp.File("blocker")), "x");
}

// A process killed in the middle of saving leaves either the old or the new
// file, never a torn one.
TEST(Registry, KilledMidSaveLeavesACompleteFile) {
  testutil::TTempFolder tmp;
  const QString path = tmp.File("registry.reg");
  {
    TRegistryStore store(path);
    store.WriteValue(kKey, "Generation", TRegValue::FromDword(0));
  }
  for (int round = 0; round < 20; ++round) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      TRegistryStore store(path);
      const QString filler(4000, QChar('x'));
      for (uint32_t generation = 1;; ++generation) {
        store.BeginBatch();
        for (int i = 0; i < 50; ++i)
          store.WriteValue(kKey, QString("Filler%1").arg(i), TRegValue::FromString(filler));
        store.WriteValue(kKey, "Generation", TRegValue::FromDword(generation));
        store.EndBatch();
      }
    }
    usleep(2000 + round * 1500);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    TRegistryStore store(path);
    ASSERT_TRUE(store.ReadValue(kKey, "Generation")) << "round " << round;
    const QByteArray file = testutil::ReadFile(path);
    EXPECT_TRUE(file.endsWith("\r\n")) << "round " << round;
    const int fillers = file.count("\"Filler");
    EXPECT_TRUE(fillers == 0 || fillers == 50) << "round " << round << ": " << fillers;
  }
}

TEST(Registry, EveryCharacterOfAStringReadsBackExactly) {
  testutil::TTempFolder tmp;
  const QString path = tmp.File("registry.reg");
  QString controls;
  for (ushort c = 0; c < 0x20; ++c) controls += QChar(c);
  controls += QChar(0x7F);
  controls += QChar(0x85);
  const QStringList values = {"/music\r\n[HKEY_CURRENT_USER\\Evil]\r\n\"OutputFolder\"=\"/tmp",
                              "line\nbreak",
                              "cr\ronly",
                              controls,
                              "\\n is no line break, \\x41 no letter",
                              "ends in a backslash\\",
                              "\"quoted\"",
                              "tab\there",
                              "Ünïcode ♪\u2028after"};
  {
    TRegistryStore store(path);
    store.BeginBatch();
    for (int i = 0; i < values.size(); ++i)
      store.WriteValue(kKey, QString("V%1").arg(i), TRegValue::FromString(values[i]));
    store.WriteValue(kKey, "Last", TRegValue::FromDword(7));
    ASSERT_TRUE(store.EndBatch());
  }
  const QString file = platform::DecodeLines(testutil::ReadFile(path));
  // One line per value, no raw control character anywhere in a line.
  EXPECT_EQ(platform::SplitLines(file).size(), 3 + values.size() + 1);
  EXPECT_FALSE(file.contains("[HKEY_CURRENT_USER\\Evil]\r\n"));
  TRegistryStore store(path);
  EXPECT_FALSE(store.KeyExists("HKEY_CURRENT_USER\\Evil"));
  for (int i = 0; i < values.size(); ++i) {
    const auto value = store.ReadValue(kKey, QString("V%1").arg(i));
    ASSERT_TRUE(value) << i;
    EXPECT_EQ(value->Text, values[i]) << i;
  }
  EXPECT_EQ(store.ReadValue(kKey, "Last")->Number, 7u);
}

// A key whose last line is a hex value continued on a next line that never
// came: values written after it must not be read as that continuation, and
// the key after it stays a key, save after save.
TEST(Registry, ADanglingContinuedLineSwallowsNoNewValue) {
  testutil::TTempFolder tmp;
  const QString path = tmp.File("registry.reg");
  const QByteArray original = "Windows Registry Editor Version 5.00\r\n\r\n[" + kKey.toUtf8() +
                              "]\r\n\"Bin\"=hex:01,\\\r\n\r\n[HKEY_CURRENT_USER\\Other]\r\n"
                              "\"Long\"=hex:01,02,\\\r\n  03,04\r\n\"Keep\"=\"me\"\r\n"
                              "\"Tail\"=hex:05,\\";
  testutil::WriteFile(path, original);
  for (int save = 1; save <= 3; ++save) {
    SCOPED_TRACE(save);
    {
      TRegistryStore store(path);
      ASSERT_TRUE(store.WriteValue(kKey, QString("New%1").arg(save), TRegValue::FromDword(save)));
      ASSERT_TRUE(
          store.WriteValue("HKEY_CURRENT_USER\\Other", "After", TRegValue::FromString("x")));
    }
    TRegistryStore store(path);
    for (int i = 1; i <= save; ++i)
      EXPECT_EQ(store.ReadValue(kKey, QString("New%1").arg(i))->Number, uint32_t(i));
    ASSERT_TRUE(store.KeyExists("HKEY_CURRENT_USER\\Other"));
    EXPECT_EQ(store.ReadValue("HKEY_CURRENT_USER\\Other", "Keep")->Text, "me");
    EXPECT_EQ(store.ReadValue("HKEY_CURRENT_USER\\Other", "After")->Text, "x");
    const QString file = platform::DecodeLines(testutil::ReadFile(path));
    EXPECT_TRUE(file.contains("\"Bin\"=hex:01,\\\r\n"));
    EXPECT_TRUE(file.contains("\"Long\"=hex:01,02,\\\r\n  03,04\r\n"));
    EXPECT_TRUE(file.contains("\"Tail\"=hex:05,\\\r\n"));
  }
}
