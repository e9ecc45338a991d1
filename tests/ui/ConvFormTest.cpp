// The conversion dialogs offscreen: a short session through TConvForm with
// its timers, Abort, the close box, the overwrite question and the error
// summary. Dialogs are driven through QApplication::activeModalWidget() and
// found by objectName; a guard rejects any dialog left open.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "common/DiscImage.h"
#include "common/SessionTestUtil.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "encode/LameCoder.h"
#include "platform/MessageBox.h"
#include "settings/config.h"
#include "ui/ConvProc.h"
#include "ui/MsgDisp.h"
#include "ui/OverwriteConfirm.h"

namespace {

// Rejects every modal dialog still open once the deadline has passed, so a
// test that fails cannot hang.
class TModalGuard {
 public:
  explicit TModalGuard(int deadlineMs = 30000) {
    FTimer.setInterval(100);
    QObject::connect(&FTimer, &QTimer::timeout, [this, deadlineMs] {
      if (FElapsed.elapsed() < deadlineMs) return;
      if (QWidget* modal = QApplication::activeModalWidget()) {
        ADD_FAILURE() << "dialog left open: " << modal->objectName().toStdString();
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->done(QDialog::Rejected);
      }
    });
    FElapsed.start();
    FTimer.start();
  }

 private:
  QTimer FTimer;
  QElapsedTimer FElapsed;
};

// Acts on the active modal dialog as soon as one named `name` is up.
void WhenModal(const QString& name, std::function<void(QWidget*)> act) {
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, name, act] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal->objectName() != name) return;
    poll->stop();
    poll->deleteLater();
    act(modal);
  });
  poll->start();
}

template <typename T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

class ConvForm : public ::testing::Test {
 protected:
  void SetUp() override {
    Config = &Settings;
    Settings.OutputFolder = Temp.File("out");
    Image = testutil::MakeDiscImage(Temp.Path(), "disc", {150, 150, 150});
    testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Image.CuePath});
    ASSERT_EQ(CR_Init(Temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
    CDRIP.SetCDRomNum(CR_GetNumCDROM() - 1);
    CDRIP.SetCoder(&Coder);
    // As the main window's progress handlers do.
    CDRIP.OnProgress = [this](TCDRIP*, uint16_t percent) {
      Form.SetProgress(percent);
      if (OnRipProgress) OnRipProgress();
    };
    Coder.OnProgress = [this](TLameCoder*, uint16_t percent) { Form.SetProgress(percent); };
    for (int i = 0; i < 3; ++i) {
      TFileParam job;
      job.RowIndex = i;
      job.TrackInfo.TrackIndex = i;
      job.TrackInfo.Title = job.Title = QString("Track %1").arg(i + 1);
      job.OutputPath = QString("%1/%2.MP3").arg(Settings.OutputFolder, job.Title);
      Jobs.push_back(job);
    }
  }
  void TearDown() override { Config = nullptr; }

  std::vector<int32_t> States() const {
    std::vector<int32_t> states;
    for (const TFileParam& job : Jobs) states.push_back(job.State);
    return states;
  }
  // Runs once, from the first rip progress of job `index`.
  void OnceDuringRipOf(int index, std::function<void()> act) {
    OnRipProgress = [this, index, act] {
      if (Form.Session().ItemIndex != index) return;
      // Clearing the handler destroys this closure: take what it holds first.
      std::function<void()> run = act;
      OnRipProgress = nullptr;
      // The dialog acts in the event loop the rip pumps after this chunk.
      QTimer::singleShot(0, std::move(run));
    };
  }

  testutil::TTempFolder Temp;
  TConfig Settings;
  testutil::TDiscImage Image;
  TLameCoder Coder;
  TCDRIP CDRIP;
  TRipPlan Plan;
  TJobList& Jobs = Plan.Jobs;
  TConfirmOvwrtForm Confirm;
  TDispForm Summary;
  TConvForm Form{CDRIP, Coder, Confirm, Summary};
  // Runs the jobs as the main window does: a plan of the disc and the settings.
  void Run() {
    testutil::MakePlan(Plan, CDRIP, Settings);
    Form.Run(Plan);
  }
  std::function<void()> OnRipProgress;
  platform::TScriptedMessageBoxes Boxes;
  TModalGuard Guard;
};

}  // namespace

TEST_F(ConvForm, ASessionRunsFromItsStartTimerAndClosesByItself) {
  Run();
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsDone, jsDone}));
  EXPECT_FALSE(Form.Session().Aborted);
  EXPECT_TRUE(Boxes.Asked().empty());
  EXPECT_EQ(Form.windowTitle(), "Track 3 of 3");
  EXPECT_EQ(Form.StateLabel->title(), "Done");
  EXPECT_EQ(Form.dirlabelSource->Path(), "03 - Track 3");
  EXPECT_EQ(Form.dirlabelDest->Path(), Jobs[2].OutputPath);
  EXPECT_EQ(Summary.ErrorCount, 0);
  EXPECT_TRUE(Form.EncoderVersion().startsWith("Version ")) << Form.EncoderVersion().toStdString();
}

TEST_F(ConvForm, AbortMidRipAsksAndDeletesTheConvertedFiles) {
  OnceDuringRipOf(1, [this] {
    // The first track's encoder ends first, so the abort meets the same state at any pace.
    ASSERT_TRUE(testutil::WaitFor([this] { return Jobs[0].State != jsProcessing; }));
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    ASSERT_EQ(modal->objectName(), "ConvForm");
    Child<QPushButton>(modal, "btnAbort")->click();
  });
  Boxes.Answer(platform::IDYES);
  Run();
  EXPECT_TRUE(Form.Session().Aborted);
  EXPECT_EQ(Boxes.Texts(), QStringList{"Conversion has been aborted.\r\nWould you want delete ALL "
                                       "converted audio file(s)?"});
  EXPECT_EQ(States(), (std::vector<int32_t>{jsAbortedDeleted, jsAbortedDeleted, jsQueued}));
  EXPECT_TRUE(QDir(Settings.OutputFolder).entryList(QDir::Files).isEmpty());
  EXPECT_EQ(Form.Session().Attempted, 2);
  EXPECT_EQ(Form.Session().Completed, 1);
  EXPECT_FALSE(Form.isVisible());
}

TEST_F(ConvForm, EscapeBeforeTheFirstJobClosesWithoutAQuestion) {
  // A finished earlier session must not make this close ask.
  Run();
  for (TFileParam& job : Jobs) job.State = jsQueued;
  QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
  Run();
  EXPECT_TRUE(Form.Session().Aborted);
  EXPECT_TRUE(Boxes.Asked().empty());
  EXPECT_EQ(Form.Session().Attempted, 0);
  EXPECT_EQ(States(), (std::vector<int32_t>{jsQueued, jsQueued, jsQueued}));
}

TEST_F(ConvForm, TheCloseBoxLetsTheRemainingTracksRunThenAsks) {
  OnceDuringRipOf(0, [] { QApplication::activeModalWidget()->close(); });
  Boxes.Answer(platform::IDNO);
  Run();
  EXPECT_TRUE(Form.Session().Aborted);
  EXPECT_EQ(Boxes.Asked().size(), 1u);
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsDone, jsDone}));
  EXPECT_EQ(Form.Session().Completed, 3);
  EXPECT_EQ(QDir(Settings.OutputFolder).entryList(QDir::Files).size(), 3);
}

TEST_F(ConvForm, OverwriteQuestionShowsThePathAndAlwaysOverwriteClearsThePrompt) {
  testutil::WriteFile(Jobs[0].OutputPath, "old");
  testutil::WriteFile(Jobs[2].OutputPath, "old");
  QString shownPath;
  WhenModal("ConfirmOvwrtForm", [&](QWidget* confirm) {
    EXPECT_EQ(confirm->windowTitle(), "Confirm overwrite existing file(s)");
    shownPath = Child<QLabel>(confirm, "stxtFileName")->text();
    Child<QCheckBox>(confirm, "chkbAlwaysOverwrite")->setChecked(true);
    Child<QPushButton>(confirm, "btnYes")->click();
  });
  Run();
  EXPECT_EQ(shownPath, '"' + Jobs[0].OutputPath + '"');
  EXPECT_FALSE(Settings.OverwritePrompt);
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsDone, jsDone}));
  EXPECT_GT(QFileInfo(Jobs[2].OutputPath).size(), 1000);
  EXPECT_TRUE(Boxes.Asked().empty());
  // The choice holds for the next session: nothing is asked.
  for (TFileParam& job : Jobs) job.State = jsQueued;
  Run();
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsDone, jsDone}));
}

TEST_F(ConvForm, OverwriteCancelAndEscapeEndTheSession) {
  testutil::WriteFile(Jobs[1].OutputPath, "old");
  WhenModal("ConfirmOvwrtForm", [](QWidget* confirm) { QTest::keyClick(confirm, Qt::Key_Escape); });
  Run();
  EXPECT_FALSE(Form.Session().Aborted);
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsQueued, jsQueued}));
  EXPECT_EQ(testutil::ReadFile(Jobs[1].OutputPath), "old");
}

TEST_F(ConvForm, ErrorSummaryListsTheFailuresOnceAndKeepsShowing) {
  Settings.OnTheFly = false;
  Jobs[1].TrackInfo.TrackIndex = 7;  // not on the disc
  testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Image.CuePath},
                          "[Image0]\r\nUnreadableSectors=400\r\n");
  Run();
  EXPECT_EQ(States(), (std::vector<int32_t>{jsDone, jsError, jsError}));
  ASSERT_EQ(Summary.ErrorCount, 2);

  Settings.ShowErrorMessage = false;
  QString caption, memo;
  bool optionVisible = true;
  WhenModal("DispForm", [&](QWidget* dialog) {
    caption = dialog->windowTitle();
    memo = Child<QPlainTextEdit>(dialog, "MessageMemo")->toPlainText();
    optionVisible = Child<QCheckBox>(dialog, "chkPromptOption")->isVisible();
    Child<QPushButton>(dialog, "btnOK")->click();
  });
  Summary.exec();
  Summary.ClearMessages();
  EXPECT_EQ(caption, "2 Error(s) occured during conversion session.");
  EXPECT_EQ(memo,
            "Can' ripping track 'Track 2', extract cdda error.\n"
            "Track 3 'Track 3': 1 unreadable sector(s) written as silence.\n"
            "Note: No album gain written: track 2 is not in this rip and its file '" +
                Settings.OutputFolder + "/-.mp3' was not found.");
  EXPECT_FALSE(optionVisible);
  EXPECT_TRUE(Settings.ShowErrorMessage);
  EXPECT_EQ(Summary.ErrorCount, 0);
  EXPECT_TRUE(Summary.MessageMemo->toPlainText().isEmpty());
}

TEST(PathLabel, LongPathsAreShortenedInTheMiddle) {
  const QString path =
      "/home/someone/Music/A very long artist name/An even longer album "
      "title/01 - The first track.MP3";
  const QFontMetrics metrics(QApplication::font());
  const int width = metrics.horizontalAdvance(path) / 2;
  const QString shown = ShortenPath(path, metrics, width);
  EXPECT_LE(metrics.horizontalAdvance(shown), width);
  ASSERT_TRUE(shown.contains("...")) << shown.toStdString();
  EXPECT_TRUE(path.startsWith(shown.section("...", 0, 0)));
  EXPECT_TRUE(path.endsWith(shown.section("...", 1)));
  EXPECT_GT(shown.size(), path.size() / 3);
  EXPECT_EQ(ShortenPath("/short", metrics, 1000), "/short");
}
