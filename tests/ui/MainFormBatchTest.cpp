// The main window's rip on insert over image drives: a disc and then a
// swapped one ripped into folders of their own while the window keeps away
// from the drive, the unknown disc offered to MusicBrainz, and every way of
// stopping giving the drive back without hanging.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QSaveFile>
#include <QStatusBar>
#include <QTreeWidget>

#include "MainFormAccess.h"
#include "Screenshot.h"
#include "UrlCatcher.h"
#include "common/DiscImage.h"
#include "common/ModalDriver.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "encode/FileFormats.h"
#include "libs/cdrip/cdrip.h"
#include "musicbrainz/MbFixtures.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "settings/config.h"
#include "ui/BatchPanel.h"
#include "ui/ConfigForm.h"

using namespace testutil;

namespace {

class MainFormBatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QFile::remove(platform::TRegistryStore::DefaultPath());
    platform::SetProgramFolder(FTemp.Path());
    FKnown = MakeDiscImage(FTemp.File("disc"), "known", {150, 75});
    FUnknown = MakeDiscImage(FTemp.File("disc"), "unknown", {100});
  }
  void TearDown() override {
    FForm.reset();
    platform::SetProgramFolder(QString());
  }

  // Rewrites cdrip.ini whole: the drives' threads read it while they wait.
  // A second drive, when asked for, stays empty.
  void PutIn(const QString& image, bool ready = true, bool secondDrive = false) {
    QSaveFile file(FTemp.File("cdrip.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Images]\r\nImage0=" + image.toUtf8() + "\r\n" +
               (secondDrive ? "Image1=" + FUnknown.CuePath.toUtf8() + "\r\n" : "") +
               (ready ? "" : "[Image0]\r\nNotReady=1\r\n") +
               (secondDrive ? "[Image1]\r\nNotReady=1\r\n" : ""));
    ASSERT_TRUE(file.commit());
  }

  void Start(bool ready = true, bool everyDrive = false) {
    TConfig settings;
    settings.MusicBrainzServer = FMb.Url("");
    settings.ServerName = QString("127.0.0.1:%1").arg(ClosedPort());
    settings.AccurateRipServer.clear();
    settings.CtdbServer.clear();
    settings.CoverArtServer.clear();
    settings.LocalCDDBFolder = FTemp.File("localCDDB");
    settings.OutputFolder = FOut;
    settings.OutputFormat = ofWAV;
    settings.NamingString = "<number>";
    settings.AutoRip = true;
    settings.AutoRipEveryDrive = everyDrive;
    ASSERT_TRUE(settings.Save());
    PutIn(FKnown.CuePath, ready, everyDrive);
    ASSERT_NE(CR_Init(FTemp.File("cdrip.ini").toLocal8Bit().constData()), CDRIP_ERROR);
    FForm = std::make_unique<TMainForm>(CR_GetNumCDROM());
    Parts(*FForm).StateTimer->stop();
    Parts(*FForm).TickCount = [this] { return FTick; };
    FForm->show();
  }

  TBatchPanel& Panel() { return *Parts(*FForm).Batch; }
  QTreeWidgetItem* Row(int row) { return Panel().tvBatch->topLevelItem(row); }
  // Waits until the drive's row (the first) says so.
  bool DriveSays(const QString& status) {
    return WaitFor([&] { return Row(0) && Row(0)->text(1) == status; }, 60000);
  }
  void ExpectDriveGivenBack() {
    ASSERT_TRUE(WaitFor([&] { return !Panel().HoldsDrives(); }));
    EXPECT_TRUE(Parts(*FForm).actExtract->isEnabled());
    EXPECT_TRUE(Parts(*FForm).cbCDRom->isEnabled());
    EXPECT_EQ(FForm->statusBar()->currentMessage(), "");
  }

  TTempFolder FTemp;
  QString FOut = FTemp.File("out");
  TDiscImage FKnown;
  TDiscImage FUnknown;
  std::unique_ptr<TMainForm> FForm;
  uint32_t FTick = 100000;
  TTestServer FMb{[this](QTcpSocket* socket, const QByteArray& request) {
    QByteArray answer;
    if (request.contains(MbDiscIdOf(FKnown).toUtf8()))
      answer = MbAnswer({MbReleaseXml("k", "Known", "Band",
                                      MbMediumXml(1, {MbDiscIdOf(FKnown)}, {{"One"}, {"Two"}}))},
                        MbDiscIdOf(FKnown));
    TTestServer::Reply(answer.isEmpty() ? XmlResponse("<error/>", "404 Not Found")
                                        : XmlResponse(answer))(socket, request);
  }};
};

}  // namespace

TEST_F(MainFormBatchTest, RipsEachDiscPutInAndOffersTheUnknownOneToMusicBrainz) {
  Start();
  ASSERT_TRUE(DriveSays("Waiting for a disc"));
  // The window keeps away from the drive the batch holds, and says why.
  EXPECT_FALSE(Parts(*FForm).actExtract->isEnabled());
  EXPECT_FALSE(Parts(*FForm).actPlay->isEnabled());
  EXPECT_FALSE(Parts(*FForm).cbCDRom->isEnabled());
  EXPECT_TRUE(FForm->statusBar()->currentMessage().startsWith("Ripping every disc put in"));
  FTick = Parts(*FForm).LastPoll + 2001;
  Parts(*FForm).StateTimerTimer();
  EXPECT_EQ(Parts(*FForm).lvTrackList->topLevelItemCount(), 0);

  PutIn(FUnknown.CuePath);
  ASSERT_TRUE(WaitFor([&] { return Panel().tvBatch->topLevelItemCount() == 3; }, 60000));
  ASSERT_TRUE(DriveSays("Waiting for a disc"));
  const QString unknownId = CddbDiscIdOf(FUnknown);
  const struct {
    const TDiscImage& image;
    QString caption, verdict, folder;
  } discs[] = {
      {FKnown, "Band - Known", "Not verified", "Band - Known"},
      {FUnknown, "Unknown disc " + unknownId, "Not verified, unknown to MusicBrainz", unknownId}};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Row(i + 1)->text(1), discs[i].caption);
    EXPECT_EQ(Row(i + 1)->text(2), discs[i].verdict);
    for (int track = 1; track <= discs[i].image.TrackCount(); ++track) {
      const QString file =
          QString("%1/%2/%3.wav").arg(FOut, discs[i].folder).arg(track, 2, 10, QChar('0'));
      EXPECT_TRUE(ReadFile(file).mid(44) == discs[i].image.TrackPcm(track)) << file.toStdString();
    }
  }

  // Offered for the unknown disc only, opened in the browser.
  TUrlCatcher browser;
  Panel().tvBatch->setCurrentItem(Row(1));
  EXPECT_FALSE(Panel().actSubmitDisc->isEnabled());
  Panel().tvBatch->setCurrentItem(Row(2));
  ASSERT_TRUE(Panel().actSubmitDisc->isEnabled());
  Panel().actSubmitDisc->trigger();
  ASSERT_EQ(browser.Opened.size(), 1);
  EXPECT_TRUE(browser.Opened[0].contains("/cdtoc/attach?id=" + MbDiscIdOf(FUnknown) + "&tracks=1&"))
      << browser.Opened[0].toStdString();

  FForm->close();
  EXPECT_FALSE(Panel().HoldsDrives());
  const QStringList summaries = QDir(FOut).entryList({"*.txt"}, QDir::Files);
  ASSERT_EQ(summaries.size(), 1);
  EXPECT_TRUE(ReadFile(QDir(FOut).filePath(summaries[0])).startsWith("Discs ripped: 2\n"));
}

TEST_F(MainFormBatchTest, EachWayOfStoppingGivesTheDriveBack) {
  const struct {
    const char* name;
    std::function<void()> stop;
    bool shownAfter;
  } ways[] = {
      {"the Stop button", [this] { Panel().btnStartStop->click(); }, true},
      {"AutoRip turned off",
       [this] {
         TModalDriver driver;
         driver.Then("ConfigForm", [](QWidget* w) {
           auto* form = qobject_cast<TConfigForm*>(w);
           form->chkAutoRip->setChecked(false);
           form->btnOK->click();
         });
         Parts(*FForm).actOption->trigger();
         EXPECT_TRUE(driver.AllSeen());
         TConfig stored;  // saved at OK
         stored.Load();
         EXPECT_FALSE(stored.AutoRip);
       },
       false},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    Start(false);
    ASSERT_TRUE(DriveSays("Waiting for a disc"));
    way.stop();
    ExpectDriveGivenBack();
    EXPECT_EQ(Panel().isVisible(), way.shownAfter);
    EXPECT_EQ(Panel().btnStartStop->text(), "&Start");
    // The drive is the window's again: its poll sees the tray still empty.
    FTick = Parts(*FForm).LastPoll + 2001;
    Parts(*FForm).StateTimerTimer();
    EXPECT_EQ(FForm->PanelText(0), "No Disc");
    FForm.reset();
  }
}

TEST_F(MainFormBatchTest, ScreenshotOfTwoDrivesAndARippedDisc) {
  Start(true, true);
  ASSERT_TRUE(WaitFor(
      [&] {
        return Panel().tvBatch->topLevelItemCount() == 3 &&
               Row(0)->text(1) == "Waiting for a disc" && Row(1)->text(1) == "Waiting for a disc";
      },
      60000));
  EXPECT_NE(Row(0)->text(0), Row(1)->text(0));
  Panel().tvBatch->setCurrentItem(Row(2));
  SaveScreenshot(*FForm, "main-window-batch", {640, 480});
}
