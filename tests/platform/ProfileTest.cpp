#include "platform/Profile.h"

#include <gtest/gtest.h>

#include <QDir>

#include "common/TestUtil.h"

using namespace platform;

TEST(Profile, ReadsWithoutCaseAndGivesDefaults) {
  testutil::TTempFolder tmp;
  const QString ini = tmp.File("x.ini");
  testutil::WriteFile(ini, "; comment\n[CD-ROM]\nnActive = 2\nName=\"quoted\"\r\n"
                           "Bad=12abc\nWorse=abc\n[Other]\nnActive=9\n");
  EXPECT_EQ(GetProfileInt(ini, "cd-rom", "NACTIVE", -1), 2);
  EXPECT_EQ(GetProfileString(ini, "CD-ROM", "name", "d"), "quoted");
  EXPECT_EQ(GetProfileInt(ini, "CD-ROM", "Bad", -1), 12);
  EXPECT_EQ(GetProfileInt(ini, "CD-ROM", "Worse", -1), 0);
  EXPECT_EQ(GetProfileInt(ini, "CD-ROM", "Missing", -1), -1);
  EXPECT_EQ(GetProfileString(ini, "Nowhere", "x", "default"), "default");
  EXPECT_EQ(GetProfileString(tmp.File("absent.ini"), "a", "b", "c"), "c");
  EXPECT_EQ(GetProfileSections(ini), QStringList({"CD-ROM", "Other"}));
  EXPECT_EQ(GetProfileKeys(ini, "cd-rom"), QStringList({"nActive", "Name", "Bad", "Worse"}));
}

TEST(Profile, WriteKeepsEverythingElse) {
  testutil::TTempFolder tmp;
  const QString ini = tmp.File("x.ini");
  testutil::WriteFile(ini, "; top comment\n[A]\nkey1=one\n; inner\ngarbage line\n\n[B]\nk=v\n");
  ASSERT_TRUE(WriteProfileString(ini, "a", "KEY1", "uno"));
  ASSERT_TRUE(WriteProfileString(ini, "A", "key2", "two"));
  ASSERT_TRUE(WriteProfileString(ini, "C", "new", "section"));
  EXPECT_EQ(testutil::ReadFile(ini),
            "; top comment\r\n[A]\r\nkey1=uno\r\n; inner\r\ngarbage line\r\nkey2=two\r\n\r\n"
            "[B]\r\nk=v\r\n[C]\r\nnew=section\r\n");
  ASSERT_TRUE(DeleteProfileKey(ini, "B", "K"));
  ASSERT_TRUE(DeleteProfileSection(ini, "a"));
  EXPECT_EQ(testutil::ReadFile(ini), "; top comment\r\n[B]\r\n[C]\r\nnew=section\r\n");
}

// Found by fuzzing: the reader drops a pair of quotes, so a value quoted
// itself came back without them.
TEST(Profile, QuotedValuesReadBackWithTheirQuotes) {
  testutil::TTempFolder tmp;
  const QString ini = tmp.File("x.ini");
  for (const QString value : {"\"Heroes\"", "'x'", "\"\"", "\"", "a \"b\" c", "plain", ""}) {
    ASSERT_TRUE(WriteProfileString(ini, "S", "k", value));
    EXPECT_EQ(GetProfileString(ini, "S", "k", "default"), value) << value.toStdString();
  }
  // Blanks at the ends survive too, inside a quote pair of their own.
  ASSERT_TRUE(WriteProfileString(ini, "S", "k", " \"two\" "));
  EXPECT_EQ(testutil::ReadFile(ini), "[S]\r\nk=\" \"two\" \"\r\n");
  EXPECT_EQ(GetProfileString(ini, "S", "k", "default"), " \"two\" ");
}

TEST(Profile, BatchWritesSaveOnceAndUntouchedFilesStayAsTheyAre) {
  testutil::TTempFolder tmp;
  const QString ini = tmp.File("x.ini");
  testutil::WriteFile(ini, "[A]\nk=v\n");
  TProfileFile file(ini);
  file.WriteString("A", "k", "v");  // same value: nothing to save
  EXPECT_TRUE(file.Save());
  EXPECT_EQ(testutil::ReadFile(ini), "[A]\nk=v\n");
  file.WriteString("A", "x", "1");
  file.WriteString("A", "y", "2");
  EXPECT_EQ(testutil::ReadFile(ini), "[A]\nk=v\n");
  EXPECT_TRUE(file.Save());
  EXPECT_EQ(testutil::ReadFile(ini), "[A]\r\nk=v\r\nx=1\r\ny=2\r\n");
}

TEST(Profile, EveryValueReadsBackAsWrittenButForItsLineBreaks) {
  testutil::TTempFolder tmp;
  const QString ini = tmp.File("x.ini");
  const QStringList values = {
      "  padded  ", "\"Heroes\"",      "'single'",        "\"", "\"\"", "tab\t",
      "a = b ; c",  "[not a section]", "; not a comment", ""};
  TProfileFile file(ini);
  for (int i = 0; i < values.size(); ++i) file.WriteString("S", QString::number(i), values[i]);
  file.WriteString("S", "lines", "one\r\n[S]\ntwo\rthree");
  ASSERT_TRUE(file.Save());
  for (int i = 0; i < values.size(); ++i)
    EXPECT_EQ(GetProfileString(ini, "S", QString::number(i), "missing"), values[i]) << i;
  EXPECT_EQ(GetProfileString(ini, "S", "lines", ""), "one [S] two three");
  EXPECT_EQ(GetProfileSections(ini), QStringList{"S"});
}

TEST(Profile, ReadsLatin1AndWritesUtf8) {
  testutil::TTempFolder tmp;
  const QString ini = tmp.File("x.ini");
  testutil::WriteFile(ini, "[Disc]\ntitle=Caf\xE9\n");
  EXPECT_EQ(GetProfileString(ini, "Disc", "title", ""), "Café");
  ASSERT_TRUE(WriteProfileString(ini, "Disc", "artist", "Björk"));
  EXPECT_EQ(testutil::ReadFile(ini), "[Disc]\r\ntitle=Caf\xC3\xA9\r\nartist=Bj\xC3\xB6rk\r\n");
}

// A file-size limit makes every write past it fail, as a full disk does.
TEST(Profile, FullDiskFailsTheSaveAndKeepsTheFile) {
  testutil::TTempFolder tmp;
  const QString ini = tmp.File("cdplayer.ini");
  const QByteArray before = "[Other]\r\nkeep=" + QByteArray(200, 'x') + "\r\n";
  testutil::WriteFile(ini, before);

  bool written;
  {
    testutil::TFileSizeLimit limit(100);
    written = WriteProfileString(ini, "Disc", "title", "New");
  }

  EXPECT_FALSE(written);
  EXPECT_EQ(testutil::ReadFile(ini), before);
  EXPECT_EQ(QDir(tmp.Path()).entryList(QDir::Files), QStringList{"cdplayer.ini"});
}
