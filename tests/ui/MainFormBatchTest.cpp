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
#include "WindowTest.h"
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

class MainFormBatchTest : public TWindowTest {
 protected:
  void SetUp() override {
    TWindowTest::SetUp();
    FKnown = MakeDiscImage(FTemp.File("disc"), "known", {150, 75});
    FUnknown = MakeDiscImage(FTemp.File("disc"), "unknown", {100});
  }
  // Starts the window over cdrip.ini's image drives, written whole: the
  // drives' threads read it while they wait. A second drive stays empty.
  void Start(bool ready = true, bool everyDrive = false) {
    TConfig settings;
    settings.MusicBrainzServer = FMb.Url("");
    settings.ServerName = QString("127.0.0.1:%1").arg(ClosedPort());
    settings.AccurateRipServer = settings.CtdbServer = settings.CoverArtServer = "";
    settings.LocalCDDBFolder = FTemp.File("localCDDB");
    settings.OutputFolder = FOut;
    settings.OutputFormat = ofWAV;
    settings.NamingString = "<number>";
    settings.AutoRip = true;
    settings.AutoRipEveryDrive = everyDrive;
    ASSERT_TRUE(settings.Save());
    PutIn(FKnown.CuePath,
          (everyDrive ? "Image1=" + FUnknown.CuePath + "\r\n[Image1]\r\nNotReady=1\r\n" : "") +
              (ready ? "" : "[Image0]\r\nNotReady=1\r\n"));
    ASSERT_NE(CR_Init(FTemp.File("cdrip.ini").toLocal8Bit().constData()), CDRIP_ERROR);
    FForm = std::make_unique<TMainForm>(CR_GetNumCDROM());
    Parts(*FForm).StateTimer->stop();
    Parts(*FForm).TickCount = [this] { return FTick; };
    FForm->show();
  }
  void PutIn(const QString& image, const QString& more = QString()) {
    QSaveFile file(FTemp.File("cdrip.ini"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(("[Images]\r\nImage0=" + image + "\r\n" + more).toUtf8());
    ASSERT_TRUE(file.commit());
  }
  void Poll() {
    FTick = Parts(*FForm).LastPoll + 2001;
    Parts(*FForm).StateTimerTimer();
  }

  TBatchPanel& Panel() { return *Parts(*FForm).Batch; }
  QTreeWidgetItem* Row(int row) { return Panel().tvBatch->topLevelItem(row); }
  // Waits for the rows, the drives' (first) waiting for a disc.
  bool Shows(int rows, int drives = 1) {
    return WaitFor(
        [&] {
          for (int drive = 0; drive < drives; ++drive)
            if (!Row(drive) || Row(drive)->text(1) != "Waiting for a disc") return false;
          return Panel().tvBatch->topLevelItemCount() == rows;
        },
        60000);
  }

  QString FOut = FTemp.File("out");
  TDiscImage FKnown;
  TDiscImage FUnknown;
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
  ASSERT_TRUE(Shows(2));
  // The window keeps away from the drive the batch holds, and says why.
  for (QObject* control : std::initializer_list<QObject*>{
           Parts(*FForm).actExtract, Parts(*FForm).actPlay, Parts(*FForm).cbCDRom})
    EXPECT_FALSE(control->property("enabled").toBool()) << control->objectName().toStdString();
  EXPECT_TRUE(FForm->statusBar()->currentMessage().startsWith("Ripping every disc put in"));
  Poll();
  EXPECT_EQ(Parts(*FForm).lvTrackList->topLevelItemCount(), 0);

  PutIn(FUnknown.CuePath);
  ASSERT_TRUE(Shows(3));
  const QString unknownId = CddbDiscIdOf(FUnknown);
  const struct {
    const TDiscImage& image;
    QString caption, verdict, folder;
  } discs[] = {
      {FKnown, "Band - Known", "Not verified", "Band - Known"},
      {FUnknown, "Unknown disc " + unknownId, "Not verified, unknown to MusicBrainz", unknownId}};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Row(i + 1)->text(1) + " | " + Row(i + 1)->text(2),
              discs[i].caption + " | " + discs[i].verdict);
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

TEST_F(MainFormBatchTest, StopOrAutoRipTurnedOffGivesTheDriveBack) {
  for (const bool byOptions : {false, true}) {
    SCOPED_TRACE(byOptions ? "AutoRip turned off" : "the Stop button");
    Start(false);
    ASSERT_TRUE(Shows(1));
    TModalDriver driver;
    driver.Then("ConfigForm", [](QWidget* w) {
      qobject_cast<TConfigForm*>(w)->chkAutoRip->setChecked(false);
      qobject_cast<TConfigForm*>(w)->btnOK->click();
    });
    if (byOptions)
      Parts(*FForm).actOption->trigger();
    else
      Panel().btnStartStop->click();
    ASSERT_TRUE(WaitFor([&] { return !Panel().HoldsDrives(); }));
    EXPECT_TRUE(Parts(*FForm).actExtract->isEnabled());
    EXPECT_TRUE(Parts(*FForm).cbCDRom->isEnabled());
    EXPECT_EQ(FForm->statusBar()->currentMessage(), "");
    // Stopped, the panel offers to start again; turned off, it leaves.
    EXPECT_EQ(Panel().isVisible(), !byOptions);
    EXPECT_EQ(Panel().btnStartStop->text(), "&Start");
    TConfig stored;  // saved at OK
    EXPECT_TRUE(stored.Load());
    EXPECT_EQ(stored.AutoRip, !byOptions);
    // The drive is the window's again: its poll sees the tray still empty.
    Poll();
    EXPECT_EQ(FForm->PanelText(0), "No Disc");
    FForm.reset();
  }
}

// A disc ripped, and the second drive busy with a slow one, its percent as a bar.
TEST_F(MainFormBatchTest, ScreenshotOfTwoDrivesAndARippedDisc) {
  Start(true, true);
  ASSERT_TRUE(Shows(3, 2));
  EXPECT_NE(Row(0)->text(0), Row(1)->text(0));
  // Each read of the second disc takes 50 ms: its rip lasts some seconds.
  const TDiscImage slow = MakeDiscImage(FTemp.File("disc"), "slow", {1500});
  PutIn(FKnown.CuePath, "Image1=" + slow.CuePath + "\r\n[Image1]\r\nSlowSectors=0-1499:50\r\n");
  const int percentRole = Qt::UserRole + 1;  // what the drive's bar draws
  ASSERT_TRUE(WaitFor([&] { return Row(1)->data(2, percentRole).toInt() > 0; }, 60000));
  Panel().tvBatch->setCurrentItem(Row(2));
  SaveScreenshot(*FForm, "main-window-batch", {640, 480});
}
