// The main window's MusicBrainz lookups against a service on 127.0.0.1: the
// automatic lookup of a disc without a local entry, the user's own typing
// winning over a late answer, and the command with a choice of releases.
#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStatusBar>
#include <QTreeWidget>

#include "MainFormAccess.h"
#include "Screenshot.h"
#include "UrlCatcher.h"
#include "WindowTest.h"
#include "cddb/CDInfo.h"
#include "common/DiscImage.h"
#include "common/ModalDriver.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "libs/cdrip/cdrip.h"
#include "musicbrainz/MbFixtures.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "settings/config.h"

using namespace testutil;

namespace {

class MainFormMbTest : public TWindowTest {
 protected:
  void SetUp() override {
    TWindowTest::SetUp();
    FImage = MakeDiscImage(FTemp.File("disc"), "rip", {150, 225, 300});
    WriteCdripIni(FTemp.File("cdrip.ini"), {FImage.CuePath});
  }
  void Start(bool autoLookup, const QString& server = QString()) {
    TConfig settings;
    settings.MusicBrainzServer = server.isEmpty() ? Server.Url("") : server;
    settings.LocalCDDBFolder = FTemp.File("localCDDB");
    settings.AutoLookup = autoLookup;
    ASSERT_TRUE(settings.Save());
    ASSERT_NE(CR_Init(FTemp.File("cdrip.ini").toLocal8Bit().constData()), CDRIP_ERROR);
    FForm = std::make_unique<TMainForm>(CR_GetNumCDROM());
    Parts(*FForm).StateTimer->stop();
    Parts(*FForm).TickCount = [this] { return FTick; };
    FForm->show();
    FTick = Parts(*FForm).LastPoll + 2001;
    Parts(*FForm).StateTimerTimer();  // the disc is inserted
  }
  QString Title(int row) const { return Parts(*FForm).lvTrackList->topLevelItem(row)->text(0); }
  QString Release(const QString& id, const QString& album) const {
    const QString disc = FForm ? Parts(*FForm).CDInfo->MBDiscID : QString();
    return QString::fromUtf8(
        MbReleaseXml(id, album, "Кино",
                     MbMediumXml(1, {disc}, {{"Группа крови"}, {"Война", "Гость"}, {"Звезда"}})));
  }

  // The two recorded releases for this disc, the second without a credit of
  // its own.
  QByteArray RecordedReleases() const {
    const QString disc = Parts(*FForm).CDInfo->MBDiscID;
    const QRegularExpression release("<release .*</release>");
    QString second = QString::fromUtf8(MbRecordedAnswer(TMbRecorded::SecondOfTwo, disc));
    second.remove(
        QRegularExpression("(?<=</text-representation>)<artist-credit>.*?</artist-credit>"));
    return MbAnswer(
        {release.match(QString::fromUtf8(MbRecordedAnswer(TMbRecorded::Compilation, disc)))
             .captured()
             .toUtf8(),
         release.match(second).captured().toUtf8()},
        disc);
  }

  TDiscImage FImage;
  QByteArray Answer;
  QPointer<QTcpSocket> Waiting;  // a request held until the test answers it
  bool Hold = false;
  bool Unknown = false;  // every lookup is told the disc is not known
  TTestServer Server{[this](QTcpSocket* socket, const QByteArray& request) {
    if (Hold) {
      Waiting = socket;
      return;
    }
    TTestServer::Reply(Unknown ? XmlResponse("<error/>", "404 Not Found") : XmlResponse(Answer))(
        socket, request);
  }};
};

}  // namespace

TEST_F(MainFormMbTest, NewDiscIsNamedInTheBackgroundAndSavedForNextTime) {
  Hold = true;
  Start(true);
  // The window is free while the service thinks.
  ASSERT_TRUE(WaitFor([&] { return !Waiting.isNull(); }));
  EXPECT_EQ(Parts(*FForm).edArtist->text(), "NOARTIST");
  EXPECT_TRUE(
      Server.RequestLine(0).contains("/ws/2/discid/" + Parts(*FForm).CDInfo->MBDiscID + "?"));
  TTestServer::Reply(XmlResponse(MbAnswer({Release("r1", "Группа крови").toUtf8()},
                                          Parts(*FForm).CDInfo->MBDiscID)))(Waiting, "");
  ASSERT_TRUE(WaitFor([&] { return Parts(*FForm).edAlbum->text() == "Группа крови"; }));
  EXPECT_EQ(Parts(*FForm).edArtist->text(), "Кино");
  EXPECT_EQ(Parts(*FForm).edYear->text(), "1988-01-05");  // the release's full date
  // The guest's name in the artist column, the title without it.
  EXPECT_EQ(Title(1), "Война");
  EXPECT_TRUE(Parts(*FForm).lvTrackList->ShowsArtists());
  EXPECT_EQ(Parts(*FForm).lvTrackList->topLevelItem(1)->text(TTrackListView::colArtist), "Гость");
  EXPECT_EQ(Parts(*FForm).CDInfo->Tracks[1].Artist, "Гость");
  const QString entry = QString::fromUtf8(ReadFile(Parts(*FForm).CDInfo->LocalCDDBFile()));
  EXPECT_TRUE(entry.contains("MBRELEASE: " + MbId("r1"))) << entry.toStdString();

  // Next time the local entry names the disc and nothing is asked.
  FForm.reset();
  Hold = false;
  Start(true);
  EXPECT_EQ(Parts(*FForm).edAlbum->text(), "Группа крови");
  EXPECT_EQ(Server.Requests.size(), 1);
}

TEST_F(MainFormMbTest, NamesTypedMeanwhileWinOverALateAnswer) {
  Hold = true;
  Start(true);
  ASSERT_TRUE(WaitFor([&] { return !Waiting.isNull(); }));
  Parts(*FForm).edAlbum->setText("My own title");
  TTestServer::Reply(XmlResponse(MbAnswer({Release("r1", "Группа крови").toUtf8()},
                                          Parts(*FForm).CDInfo->MBDiscID)))(Waiting, "");
  ASSERT_TRUE(WaitFor([&] { return FForm->statusBar()->currentMessage().contains("not used"); }));
  EXPECT_EQ(Parts(*FForm).edAlbum->text(), "My own title");
  EXPECT_EQ(Title(0), "Track01");
  EXPECT_FALSE(QFile::exists(Parts(*FForm).CDInfo->LocalCDDBFile()));
}

TEST_F(MainFormMbTest, CommandOffersTheReleasesAndTakesTheOneChosen) {
  Start(false);
  EXPECT_TRUE(Server.Requests.isEmpty());  // no automatic lookup
  Answer = MbAnswer({Release("r1", "First").toUtf8(), Release("r2", "Second").toUtf8()},
                    Parts(*FForm).CDInfo->MBDiscID);
  TModalDriver driver;
  driver.Then("MbChooseForm", [](QWidget* dialog) {
    auto* list = dialog->findChild<QTreeWidget*>("lvReleases");
    EXPECT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(list->topLevelItem(1)->text(0), "Кино – Second");
    EXPECT_EQ(list->topLevelItem(1)->text(3), "Мелодия");
    list->setCurrentItem(list->topLevelItem(1));
    emit list->itemActivated(list->topLevelItem(1), 0);
  });
  driver.Then("MbChooseForm", [](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
  Parts(*FForm).actMusicBrainzLookup->trigger();
  ASSERT_TRUE(WaitFor([&] { return Parts(*FForm).edAlbum->text() == "Second"; }));
  EXPECT_EQ(Parts(*FForm).CDInfo->MBReleaseID, MbId("r2"));

  // Escape declines: the names stay.
  Parts(*FForm).actMusicBrainzLookup->trigger();
  ASSERT_TRUE(
      WaitFor([&] { return FForm->statusBar()->currentMessage().startsWith("No release"); }));
  EXPECT_TRUE(driver.AllSeen());
  EXPECT_EQ(Parts(*FForm).edAlbum->text(), "Second");
  EXPECT_EQ(driver.Unexpected(), 0);
}

TEST_F(MainFormMbTest, ADiscShownWithoutNamesIsLookedUpNextTime) {
  // The service sends nothing usable: leaving saves no entry of placeholders.
  Start(true);
  ASSERT_TRUE(
      WaitFor([&] { return FForm->statusBar()->currentMessage().contains("can't be read"); }));
  const QString entry = Parts(*FForm).CDInfo->LocalCDDBFile();
  FForm.reset();
  EXPECT_FALSE(QFile::exists(entry));

  // Nor does such an entry, written by an older version, keep the disc from a lookup.
  QDir().mkpath(QFileInfo(entry).path());
  WriteFile(entry, "# xmcd\r\nDTITLE=NOARTIST / NOTITLE\r\nTTITLE0=Track01\r\n");
  Start(true);
  // Asked for from the event loop, after this.
  Answer = MbAnswer({Release("r1", "Группа крови").toUtf8()}, Parts(*FForm).CDInfo->MBDiscID);
  ASSERT_TRUE(WaitFor([&] { return Parts(*FForm).edAlbum->text() == "Группа крови"; }));
  EXPECT_EQ(Server.Requests.size(), 2);
}

TEST_F(MainFormMbTest, ADiscMusicBrainzDoesNotKnowIsOfferedToIt) {
  Unknown = true;
  Start(true);
  QAction* submit = Parts(*FForm).actSubmitToMusicBrainz;
  ASSERT_TRUE(WaitFor([&] { return submit->isEnabled(); }));
  EXPECT_TRUE(FForm->statusBar()->currentMessage().endsWith("Submit to MusicBrainz... adds it"));
  TUrlCatcher browser;
  submit->trigger();
  ASSERT_EQ(browser.Opened.size(), 1);
  EXPECT_TRUE(browser.Opened[0].contains("/cdtoc/attach?id=" + Parts(*FForm).CDInfo->MBDiscID))
      << browser.Opened[0].toStdString();
  // Another look at the drive may find another disc.
  Parts(*FForm).actRefreshCD->trigger();
  EXPECT_FALSE(submit->isEnabled());
}

// Each restart drops a request whose server floods header lines; the window
// handles its events all along, and when it closes.
TEST_F(MainFormMbTest, RestartingALookupUnderAFloodingServerNeverStallsTheWindow) {
  TTestServer flood([](QTcpSocket* socket, const QByteArray&) {
    socket->write("HTTP/1.1 200 OK\r\n");
    auto* timer = new QTimer(socket);
    QObject::connect(timer, &QTimer::timeout, socket, [socket] {
      if (socket->bytesToWrite() < 64 * 1024)
        socket->write(QByteArray("X-Flood: 1\r\n").repeated(1000));
    });
    timer->start(5);
  });
  Start(false, flood.Url(""));
  // The window's thread must never sleep on the sockets; a slow or loaded
  // machine may stretch its work or block it on the disk for a moment, but
  // never by the seconds a read of the flood takes (9 s when unbounded).
  QElapsedTimer clock;
  clock.start();
  qint64 last = 0, lastBusy = RunningOrReadyMs(), longest = 0, longestAsleep = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed(), busy = RunningOrReadyMs();
    longest = std::max(longest, now - last);
    longestAsleep = std::max(longestAsleep, (now - last) - (busy - lastBusy));
    last = now;
    lastBusy = busy;
  });
  ticker.start(5);
  Parts(*FForm).actMusicBrainzLookup->trigger();
  ASSERT_TRUE(WaitFor([&] { return !flood.Requests.isEmpty(); }));
  for (int i = 0; i < 5; ++i) {
    WaitFor([] { return false; }, 400);  // the flood runs
    Parts(*FForm).actMusicBrainzLookup->trigger();
  }
  WaitFor([] { return false; }, 100);
  // Closing the window saves files and ends its workers: waits of their own,
  // bounded elsewhere, and no measure of the lookup.
  ticker.stop();
  EXPECT_LT(longestAsleep, 1000) << "ms asleep without events";
  EXPECT_LT(longest, 2000) << "ms without events";
}

// Two recorded releases, the second without a credit of its own (its group's
// names it): each row names its artist, label and catalogue number. The names
// taken, then edited in the window (album artist, full date, disc n of N, a
// track's artist in its column and a title), are saved and shown again.
TEST_F(MainFormMbTest, ReleaseRowsNameTheArtistAndEditedNamesReadBack) {
  Start(false);
  Answer = RecordedReleases();
  TModalDriver driver;
  driver.Then("MbChooseForm", [](QWidget* dialog) {
    auto* list = dialog->findChild<QTreeWidget*>("lvReleases");
    const QStringList rows[] = {
        {"Various Artists – Hits of '96", "1996-10-07", "GB", "Northbound Records", "NBR CD 104"},
        {"The Quiet Hours – Long Way Home", "2003-03-17", "XE", "Ember & Ash", "EA-2003/2"}};
    for (int row = 0; row < 2; ++row)
      for (int column = 0; column < rows[row].size(); ++column)
        EXPECT_EQ(list->topLevelItem(row)->text(column), rows[row][column]) << row << column;
    SaveScreenshot(*dialog, "release-choice", QSize(640, 300));
    emit list->itemActivated(list->topLevelItem(0), 0);
  });
  Parts(*FForm).actMusicBrainzLookup->trigger();
  ASSERT_TRUE(WaitFor([&] { return Parts(*FForm).edAlbum->text() == "Hits of '96"; }));
  EXPECT_TRUE(driver.AllSeen());
  EXPECT_EQ(FForm->statusBar()->currentMessage(),
            "Names from MusicBrainz: Various Artists – Hits of '96");
  TTrackListView* list = Parts(*FForm).lvTrackList;
  ASSERT_TRUE(list->ShowsArtists());
  EXPECT_EQ(list->topLevelItem(2)->text(TTrackListView::colArtist), "T. Ørn");
  SaveScreenshot(*FForm, "main-window-track-artists", QSize(640, 480));

  Parts(*FForm).edArtist->setText("Northbound All-Stars");
  Parts(*FForm).edYear->setText("1996-10-08");
  Parts(*FForm).spDiscNumber->setValue(2);
  Parts(*FForm).spDiscTotal->setValue(3);
  // F2 on a cell, typed; the window takes an open editor in.
  const auto typeIn = [&](int row, int column, const QString& text) {
    list->setCurrentItem(list->topLevelItem(row), column);
    Parts(*FForm).actRenameTrack->trigger();
    auto* editor = qobject_cast<QLineEdit*>(list->indexWidget(list->currentIndex()));
    ASSERT_NE(editor, nullptr) << row << column;
    editor->setText(text);
  };
  typeIn(0, TTrackListView::colTitle, "Song A (Edit)");
  typeIn(1, TTrackListView::colArtist, "Lyra Vale & Osric Dane");
  Parts(*FForm).TakeEditsIn();
  const QStringList edited = Parts(*FForm).ShownNames();
  EXPECT_EQ(edited.mid(9, 1), QStringList{"Lyra Vale & Osric Dane"});
  const QString entry = Parts(*FForm).CDInfo->LocalCDDBFile();
  FForm.reset();  // saves the names

  TMyCDInfo saved;
  ASSERT_TRUE(saved.ReadXmcdFile(entry));
  EXPECT_EQ(saved.GetTrackTitle(0), "Alpha Band / Song A (Edit)");
  EXPECT_TRUE(saved.Tracks[1].MBArtistIDs.isEmpty());  // the IDs were the old credit's
  // The window shows what it saved, read back from the entry.
  Start(false);
  EXPECT_EQ(Parts(*FForm).ShownNames(), edited);
  EXPECT_EQ(Parts(*FForm).edYear->text(), "1996-10-08");
}
