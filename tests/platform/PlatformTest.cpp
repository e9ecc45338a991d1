#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "common/TestUtil.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"

using namespace platform;

TEST(Folders, FollowXdgVariablesAndEndInASeparator) {
  const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
  EXPECT_EQ(ConfigFolder(), config + "/cadenzo/");
  EXPECT_TRUE(QFileInfo(ConfigFolder()).isDir());
  EXPECT_EQ(WindowsFolder(), ConfigFolder());
  EXPECT_EQ(MusicFolder(), qEnvironmentVariable("XDG_MUSIC_DIR") + "/");
  EXPECT_TRUE(TempFolder().endsWith('/'));
  EXPECT_EQ(AddTrailingSeparator("/a"), "/a/");
  EXPECT_EQ(AddTrailingSeparator("/a/"), "/a/");
  EXPECT_EQ(AddTrailingSeparator(""), "");
}

TEST(Folders, ProgramFilesAreReadFromTheConfigFolderFirst) {
  testutil::TTempFolder program;
  SetProgramFolder(program.Path());
  EXPECT_EQ(ProgramFolder(), program.Path() + "/");
  EXPECT_EQ(ProgramFileForReading("server.txt"), program.Path() + "/server.txt");
  EXPECT_EQ(ProgramFileForWriting("server.txt"), program.Path() + "/server.txt");
  testutil::WriteFile(ConfigFolder() + "server.txt", "x");
  EXPECT_EQ(ProgramFileForReading("server.txt"), ConfigFolder() + "server.txt");
  QFile::remove(ConfigFolder() + "server.txt");
  SetProgramFolder("");
  EXPECT_EQ(ProgramFolder(), QCoreApplication::applicationDirPath() + "/");
}

TEST(MessageBoxes, ScriptAnswersInOrderAndRecordsEveryQuestion) {
  TScriptedMessageBoxes boxes;
  boxes.Answer(IDNO);
  EXPECT_EQ(MessageBox("Overwrite?", "Confirmation", MB_YESNOCANCEL | MB_ICONQUESTION), IDNO);
  // Past the script the default button answers and the question counts as unexpected.
  EXPECT_EQ(MessageBox("Again?", "Confirmation", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBox("Done", "Information"), IDOK);
  EXPECT_EQ(boxes.Texts(), QStringList({"Overwrite?", "Again?", "Done"}));
  EXPECT_EQ(boxes.Asked()[0].Caption, "Confirmation");
  EXPECT_EQ(boxes.Unexpected(), 2);
}

TEST(MessageBoxes, DefaultAnswerIsTheDefaultButton) {
  EXPECT_EQ(DefaultAnswer(MB_OK), IDOK);
  EXPECT_EQ(DefaultAnswer(MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);
  EXPECT_EQ(DefaultAnswer(MB_YESNO), IDYES);
  EXPECT_EQ(DefaultAnswer(MB_RETRYCANCEL), IDRETRY);
}
