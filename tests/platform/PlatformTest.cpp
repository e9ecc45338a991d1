#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <future>
#include <thread>

#include "common/TestUtil.h"
#include "platform/EventWait.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"

using namespace platform;

TEST(Folders, FollowXdgVariablesAndEndInASeparator) {
  const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
  EXPECT_EQ(ConfigFolder(), config + "/cadenzo/");
  EXPECT_TRUE(QFileInfo(ConfigFolder()).isDir());
  EXPECT_EQ(WindowsFolder(), ConfigFolder());
  EXPECT_EQ(DataFolder(), qEnvironmentVariable("XDG_DATA_HOME") + "/cadenzo/");
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
  // The program folder may be an installed prefix: nothing is written there.
  EXPECT_EQ(ProgramFileForWriting("server.txt"), ConfigFolder() + "server.txt");
  testutil::WriteFile(ConfigFolder() + "server.txt", "x");
  EXPECT_EQ(ProgramFileForReading("server.txt"), ConfigFolder() + "server.txt");
  QFile::remove(ConfigFolder() + "server.txt");
  SetProgramFolder("");
  EXPECT_EQ(ProgramFolder(), QCoreApplication::applicationDirPath() + "/");
}

TEST(Folders, CdripIniIsTheUsersCopyMadeOnceFromTheProgramFolders) {
  testutil::TTempFolder program;
  SetProgramFolder(program.Path());
  const QString own = ConfigFolder() + "cdrip.ini";
  QFile::remove(own);
  // Without either copy the library starts on a file of its own to come.
  EXPECT_EQ(CdripIniPath(), own);
  EXPECT_FALSE(QFile::exists(own));

  const QByteArray installed =
      "[CD-ROM]\nnActive=1\n[Images]\nImage0=demo.cue\nImage1=/discs/x.cue\nImage2=sub/y.cue\n";
  testutil::WriteFile(program.File("cdrip.ini"), installed);
  EXPECT_EQ(CdripIniPath(), own);
  EXPECT_EQ(GetProfileInt(own, "CD-ROM", "nActive", -1), 1);
  // No path of the program's own lands in the user's copy.
  EXPECT_EQ(testutil::ReadFile(own), installed);
  EXPECT_EQ(testutil::ReadFile(program.File("cdrip.ini")), installed);

  // The user's copy, once made, is theirs.
  ASSERT_TRUE(WriteProfileString(own, "CD-ROM", "nActive", "0"));
  EXPECT_EQ(CdripIniPath(), own);
  EXPECT_EQ(GetProfileInt(own, "CD-ROM", "nActive", -1), 0);
  QFile::remove(own);
  SetProgramFolder("");
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

// A wait beside a worker ends when the work does, on the window's thread and
// on a drive's own thread alike (whose loop the application's never wakes),
// and a stop reaches the work.
TEST(EventWait, AWaitBesideAWorkerEndsWithItOnAnyThread) {
  for (const bool stopping : {false, true}) {
    std::atomic<bool> sawStop{false};
    const auto wait = [&] {
      platform::RunBesideEvents(
          [&](const std::atomic<bool>& stop) {
            while (stopping && !stop) std::this_thread::yield();
            sawStop = bool(stop);
          },
          [stopping] { return stopping; });
    };
    wait();
    EXPECT_EQ(sawStop, stopping);
    // The drive's thread has served events before (its lookup's loop).
    std::packaged_task<void()> task([&] {
      const QEventLoop lookup;
      wait();
    });
    std::future<void> done = task.get_future();
    std::thread drive(std::move(task));
    const bool ended = done.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    if (!ended) {
      ADD_FAILURE() << "the wait on another thread never ended";
      std::_Exit(1);  // the thread cannot be joined
    }
    drive.join();
    EXPECT_EQ(sawStop, stopping);
  }
  EXPECT_FALSE(platform::ServeEventsWhile([] { return true; }, [] { return true; }, 60000));
  EXPECT_TRUE(platform::ServeEventsWhile([] { return false; }, [] { return false; }, 0));
}
