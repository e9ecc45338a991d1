// The lookup dialogs offscreen, driven from the main window with a generated
// disc image as its drive and a CDDB server on 127.0.0.1: F8 with one match
// and with several, the read entry in the main window, the list commands.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "cddb/CDInfo.h"
#include "cddb/CddbLookup.h"
#include "common/DiscImage.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "libs/cdrip/cdrip.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "settings/config.h"
#include "MainFormAccess.h"
#include "ui/MainForm.h"
#include "ui/QryCDDB.h"
#include "ui/SelCategory.h"

using namespace testutil;

namespace {

// Acts on modal dialogs by objectName: each step runs on every tick while its
// dialog is the active modal one, until it returns true. A dialog already met
// waits for its next step; a new dialog that is not the next step's, and any
// dialog still open at the deadline, is rejected and counted.
class TDialogScript {
 public:
  using TStep = std::function<bool(QWidget*)>;
  TDialogScript() {
    FTimer.setInterval(20);
    QObject::connect(&FTimer, &QTimer::timeout, [this] { Tick(); });
    FTimer.start();
    FDeadline.setRemainingTime(20000);
  }
  void Then(const QString& name, TStep step) { FSteps.push_back({name, std::move(step)}); }
  int Unexpected = 0;

 private:
  void Tick() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    const bool met = std::find(FMet.begin(), FMet.end(), modal) != FMet.end();
    const bool next = !FSteps.empty() && FSteps.front().first == modal->objectName();
    if (FDeadline.hasExpired() || (!met && !next)) {
      ++Unexpected;
      ADD_FAILURE() << "unexpected or hanging dialog " << modal->objectName().toStdString();
      static_cast<QDialog*>(modal)->reject();
      return;
    }
    if (!met) FMet.push_back(modal);
    if (next && FSteps.front().second(modal)) FSteps.pop_front();
  }

  QTimer FTimer;
  QDeadlineTimer FDeadline;
  std::deque<std::pair<QString, TStep>> FSteps;
  std::vector<QPointer<QWidget>> FMet;
};

// Clicks Save once it is enabled.
bool SaveWhenRead(QWidget* dialog) {
  auto* save = dialog->findChild<QPushButton*>("btnOK");
  if (!save->isEnabled()) return false;
  save->click();
  return true;
}

QByteArray Entry(const QString& category, const QString& artist) {
  return ("210 " + category +
          " 0a00b103 CD database entry follows (until terminating `.')\r\n"
          "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t300\r\n#\t525\r\n#\r\n"
          "# Disc length: 11 seconds\r\n#\r\n# Revision: 3\r\n#\r\nDISCID=0a00b103\r\n"
          "DTITLE=" +
          artist +
          " / Группа крови\r\nDYEAR=1988\r\nDGENRE=Rock\r\n"
          "TTITLE0=Группа крови\r\nTTITLE1=Закрой за мной дверь\r\nTTITLE2=Война\r\n"
          "EXTD=\r\nEXTT0=\r\nEXTT1=\r\nEXTT2=\r\nPLAYORDER=\r\n.\r\n")
      .toUtf8();
}

class QryCDDBTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Every test starts from folders of its own: no settings, names or lists
    // that another test left behind.
    QFile::remove(platform::TRegistryStore::DefaultPath());
    QFile::remove(TMyCDInfo::CDPlayerIniPath());
    for (const char* list : {"server.txt", "Genre.txt"})
      QFile::remove(platform::ConfigFolder() + list);
    QFile::remove(TCddbLookup::ReadFilePath());
    TConfig settings;
    settings.LocalCDDBFolder = FTemp.File("localCDDB");
    ASSERT_TRUE(settings.Save());
    platform::SetProgramFolder(FTemp.Path());
    QFile::copy(ProgramDir() + "/liblocalcddb.so", FTemp.File("liblocalcddb.so"));
    FImage = MakeDiscImage(FTemp.File("disc"), "rip", {150, 225, 300});
    WriteCdripIni(FTemp.File("cdrip.ini"), {FImage.CuePath});
  }
  void TearDown() override {
    FForm.reset();
    platform::SetProgramFolder(QString());
  }
  // The window with the disc loaded, its settings pointing at the server.
  void Start(const TTestServer& server) {
    ASSERT_NE(CR_Init(FTemp.File("cdrip.ini").toLocal8Bit().constData()), CDRIP_ERROR);
    FForm = std::make_unique<TMainForm>(CR_GetNumCDROM());
    Parts(*FForm).StateTimer->stop();
    Parts(*FForm).TickCount = [this] { return FTick; };
    FForm->show();
    FTick = Parts(*FForm).LastPoll + 2001;
    Parts(*FForm).StateTimerTimer();
    Config->ServerName = server.HostPort();
    Config->QueryScript = "/~cddb/cddb.cgi";
    Config->EmailAddress = "joe@example.org";
  }

  TTempFolder FTemp;
  TDiscImage FImage;
  std::unique_ptr<TMainForm> FForm;
  uint32_t FTick = 100000;
};

}  // namespace

TEST_F(QryCDDBTest, F8WithOneMatchReadsTheEntryIntoTheWindow) {
  TTestServer server([](QTcpSocket* socket, const QByteArray& request) {
    TTestServer::Body(request.contains("cmd=cddb+query")
                          ? QByteArray("200 rock 0a00b103 Кино / Группа крови\r\n")
                          : Entry("rock", "Кино"))(socket, request);
  });
  Start(server);
  ASSERT_EQ(Parts(*FForm).lvTrackList->topLevelItemCount(), 3);
  TDialogScript script;
  QString log;
  script.Then("QueryCDDBForm", [&](QWidget* dialog) {
    log = dialog->findChild<QPlainTextEdit*>("memoRtnMsg")->toPlainText();
    return SaveWhenRead(dialog);
  });
  Parts(*FForm).actReadRemoteCDDB->trigger();
  EXPECT_EQ(script.Unexpected, 0);
  EXPECT_EQ(Parts(*FForm).WinState, wsIdle);

  const QString discId = QString::asprintf("%8.8x", Parts(*FForm).CDInfo->DiscID);
  EXPECT_EQ(server.RequestLine(0), "GET /~cddb/cddb.cgi?cmd=cddb+query+" + discId +
                                       "+3+150+300+525+11+&hello=joe+example.org+Cadenzo+1.06"
                                       "&proto=6 HTTP/1.0");
  EXPECT_EQ(server.RequestLine(1),
            "GET /~cddb/cddb.cgi?cmd=cddb+read+rock+0a00b103"
            "&hello=joe+example.org+Cadenzo+1.06&proto=6 HTTP/1.0");
  EXPECT_TRUE(log.contains("Found exact match")) << log.toStdString();
  EXPECT_TRUE(log.contains("Entry read"));
  EXPECT_FALSE(log.contains("not found or invalid"));
  EXPECT_EQ(Parts(*FForm).edArtist->text(), "Кино");
  EXPECT_EQ(Parts(*FForm).edAlbum->text(), "Группа крови");
  EXPECT_EQ(Parts(*FForm).edYear->text(), "1988");
  EXPECT_EQ(Parts(*FForm).cbCategory->currentText(), "Rock");
  EXPECT_EQ(Parts(*FForm).lvTrackList->topLevelItem(1)->text(0), "Закрой за мной дверь");

  const QStringList saved = QString::fromUtf8(ReadFile(TCddbLookup::ReadFilePath())).split("\r\n");
  EXPECT_EQ(saved.size(), 513);  // 512 lines, each ended
  EXPECT_EQ(saved[0], "# xmcd");
  EXPECT_EQ(saved[511], "");
}

TEST_F(QryCDDBTest, SeveralMatchesAskWhichOneToRead) {
  TTestServer server([](QTcpSocket* socket, const QByteArray& request) {
    QByteArray body =
        "211 Found inexact matches, list follows (until terminating `.')\r\n"
        "rock 0a00b103 First / One\r\nmisc 0a00b104 Second / Two\r\n"
        "jazz 0a00b105 Third / Three\r\n.\r\n";
    if (request.contains("cmd=cddb+read+misc"))
      body = Entry("misc", "Second");
    else if (request.contains("cmd=cddb+read"))
      body = Entry("rock", "First");
    TTestServer::Body(body)(socket, request);
  });
  Start(server);
  TDialogScript script;
  QStringList items;
  script.Then("QueryCDDBForm", [](QWidget*) { return true; });
  script.Then("SelCategoryForm", [&](QWidget* dialog) {
    auto* list = dialog->findChild<QTreeWidget*>("lvCategory");
    for (int i = 0; i < list->topLevelItemCount(); ++i) items << list->topLevelItem(i)->text(0);
    QTreeWidgetItem* second = list->topLevelItem(1);
    list->scrollToItem(second);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(second).center());
    return true;
  });
  script.Then("QueryCDDBForm", SaveWhenRead);
  Parts(*FForm).actReadRemoteCDDB->trigger();
  EXPECT_EQ(script.Unexpected, 0);
  EXPECT_EQ(items, QStringList({"rock 0a00b103 First / One", "misc 0a00b104 Second / Two",
                                "jazz 0a00b105 Third / Three"}));
  ASSERT_EQ(server.Requests.size(), 2);
  EXPECT_TRUE(server.RequestLine(1).startsWith("GET /~cddb/cddb.cgi?cmd=cddb+read+misc+0a00b104&"));
  EXPECT_EQ(Parts(*FForm).edArtist->text(), "Second");
}

TEST_F(QryCDDBTest, ClosingTheChoiceReadsTheFirstAndCancelKeepsTheWindow) {
  TTestServer server([](QTcpSocket* socket, const QByteArray& request) {
    TTestServer::Body(request.contains("cmd=cddb+query")
                          ? QByteArray("211 Found inexact matches\r\nrock 0a00b103 A / B\r\n"
                                       "misc 0a00b104 C / D\r\n.\r\n")
                          : Entry("rock", "First"))(socket, request);
  });
  Start(server);
  TDialogScript script;
  script.Then("QueryCDDBForm", [](QWidget*) { return true; });
  script.Then("SelCategoryForm", [](QWidget* dialog) {
    static_cast<QDialog*>(dialog)->reject();
    return true;
  });
  script.Then("QueryCDDBForm", [](QWidget* dialog) {
    if (!dialog->findChild<QPushButton*>("btnOK")->isEnabled()) return false;
    dialog->findChild<QPushButton*>("btnCancel")->click();
    return true;
  });
  Parts(*FForm).actReadRemoteCDDB->trigger();
  EXPECT_EQ(script.Unexpected, 0);
  EXPECT_TRUE(server.RequestLine(1).contains("cmd=cddb+read+rock+0a00b103"));
  EXPECT_EQ(Parts(*FForm).edArtist->text(), "NOARTIST");  // cancelled: the window keeps its names
}

TEST_F(QryCDDBTest, FailedLookupLeavesSaveDisabledAndTheReasonInTheLog) {
  TTestServer server(TTestServer::Body("500 Unknown developer email\r\n"));
  Start(server);
  TDialogScript script;
  QString log;
  script.Then("QueryCDDBForm", [&](QWidget* dialog) {
    log = dialog->findChild<QPlainTextEdit*>("memoRtnMsg")->toPlainText();
    if (!log.contains("E-mail address")) return false;
    EXPECT_FALSE(dialog->findChild<QPushButton*>("btnOK")->isEnabled());
    static_cast<QDialog*>(dialog)->reject();
    return true;
  });
  Parts(*FForm).actReadRemoteCDDB->trigger();
  EXPECT_EQ(script.Unexpected, 0);
  EXPECT_TRUE(log.contains("500 Unknown developer email"));
}

TEST_F(QryCDDBTest, NoDiscGivesAMessageAndNoDialog) {
  TTestServer server(TTestServer::Body(""));
  Start(server);
  Parts(*FForm).CDInfo->TrackCount = 0;
  platform::TScriptedMessageBoxes boxes;
  TDialogScript script;
  Parts(*FForm).actReadRemoteCDDB->trigger();
  EXPECT_EQ(boxes.Texts(), QStringList{"No Disc."});
  EXPECT_EQ(boxes.Asked()[0].Caption, "Information");
  EXPECT_TRUE(server.Requests.isEmpty());
}

TEST_F(QryCDDBTest, ListCommandsSaveServerAndGenreLists) {
  TTestServer server([](QTcpSocket* socket, const QByteArray& request) {
    TTestServer::Body(request.contains("cmd=sites")
                          ? "210 OK, site information follows\r\n"
                            "gnudb.gnudb.org http 80 /~cddb/cddb.cgi N000.00 W000.00 Random\r\n"
                            ".\r\n"
                          : "210 OK, category list follows\r\nblues\r\nNEW AGE\r\n.\r\n")(socket,
                                                                                          request);
  });
  Start(server);
  ASSERT_TRUE(Parts(*FForm).actGetServerList->isVisible());
  TDialogScript script;
  script.Then("QueryCDDBForm", SaveWhenRead);
  script.Then("QueryCDDBForm", SaveWhenRead);
  Parts(*FForm).actGetServerList->trigger();
  Parts(*FForm).actGetCategoryList->trigger();
  EXPECT_EQ(script.Unexpected, 0);
  EXPECT_TRUE(server.RequestLine(0).startsWith("GET /~cddb/cddb.cgi?cmd=sites&hello="));
  EXPECT_TRUE(server.RequestLine(1).startsWith("GET /~cddb/cddb.cgi?cmd=cddb+lscat&hello="));
  EXPECT_EQ(ReadFile(platform::ConfigFolder() + "server.txt"),
            "gnudb.gnudb.org http 80 /~cddb/cddb.cgi N000.00 W000.00 Random\r\n");
  EXPECT_EQ(ReadFile(platform::ConfigFolder() + "Genre.txt"), "Blues\r\nNew Age\r\n");
  ASSERT_EQ(Parts(*FForm).cbCategory->count(), 2);
  EXPECT_EQ(Parts(*FForm).cbCategory->itemText(1), "New Age");
}
