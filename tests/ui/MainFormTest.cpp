// The main window offscreen, over the real CD-reading library with a
// generated disc image as its drive: start-up, drive polling with insertion
// and removal, the track list, editing, case and selection commands,
// geometry rules, the actions and their menus, and the extraction command.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QtEndian>
#include <deque>

#include "MainFormAccess.h"
#include "Screenshot.h"
#include "WindowTest.h"
#include "cddb/CDInfo.h"
#include "common/DiscImage.h"
#include "common/ModalDriver.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "libs/cdrip/cdrip.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "play/SoundPlay.h"
#include "rip/DiscLoad.h"
#include "settings/config.h"
#include "ui/ConvProc.h"
#include "ui/HealthStrip.h"
#include "ui/MsgDisp.h"
#include "ui/RipVerdict.h"
#include "ui/StatusBarEx.h"
#include "verify/ArReference.h"
#include "verify/CtdbReference.h"

using namespace testutil;
using platform::TScriptedMessageBoxes;

namespace {

class MainFormTest : public TWindowTest {
 protected:
  void SetUp() override {
    TWindowTest::SetUp();
    FImage = MakeDiscImage(FTemp.File("disc"), "rip", {150, 225, 300});
    SetDiscPresent(true);
  }
  // Rewrites cdrip.ini; the library reads the fault section on every poll.
  void SetDiscPresent(bool present, const QString& extra = QString()) {
    WriteCdripIni(FTemp.File("cdrip.ini"), {FImage.CuePath},
                  (present ? QString() : QString("[Image0]\r\nNotReady=1\r\n")) + extra);
  }

  // Starts the library and the window as the program entry does, and shows it.
  void Start() {
    ASSERT_NE(CR_Init(FTemp.File("cdrip.ini").toLocal8Bit().constData()), CDRIP_ERROR);
    FForm = std::make_unique<TMainForm>(CR_GetNumCDROM());
    Parts(*FForm).StateTimer->stop();  // the test ticks by itself
    Parts(*FForm).TickCount = [this] { return FTick; };
    Parts(*FForm).LastPoll = InitialLastPoll(FTick);
    FForm->show();
  }

  // One state-timer tick after more than the poll interval.
  void Poll() {
    FTick = Parts(*FForm).LastPoll + 2001;
    Parts(*FForm).StateTimerTimer();
  }

  QTreeWidget* List() const { return Parts(*FForm).lvTrackList; }
  QString Cell(int row, int column) const { return List()->topLevelItem(row)->text(column); }
  void Tick(int row, bool checked) {
    List()->topLevelItem(row)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
  }

  TDiscImage FImage;
};

TEST_F(MainFormTest, ShowsTheImageDriveAndItsTracksAtTheFirstPoll) {
  Start();
  EXPECT_EQ(FForm->windowTitle(), "Cadenzo");
  ASSERT_EQ(Parts(*FForm).cbCDRom->count(), 1);
  EXPECT_EQ(Parts(*FForm).cbCDRom->itemText(0), "rip.cue (image)");
  EXPECT_EQ(Parts(*FForm).DriveNames, QStringList{"rip.cue (image)"});
  EXPECT_EQ(Parts(*FForm).WinState, wsStarting);
  EXPECT_EQ(List()->topLevelItemCount(), 0);

  Poll();
  EXPECT_EQ(Parts(*FForm).WinState, wsIdle);
  EXPECT_EQ(FForm->PanelText(0), "Disc Inserted");
  ASSERT_EQ(List()->topLevelItemCount(), 3);
  const QStringList row2 = {"Track02", "02", "00:02:00", "00:03:00", "0.50MB", ""};
  for (int column = 0; column < 6; ++column) EXPECT_EQ(Cell(1, column), row2[column]) << column;
  EXPECT_EQ(Cell(2, 2), "00:05:00");
  EXPECT_EQ(Parts(*FForm).edArtist->text(), "NOARTIST");
  EXPECT_EQ(Parts(*FForm).edAlbum->text(), "NOTITLE");
  // 675 sectors: (675 + 151) div 75 = 11 seconds, 1587600 bytes.
  EXPECT_EQ(FForm->PanelText(1), "3 Track(s) - 00:11 - 1.51MB");
  // SelectAllTrack is on by default.
  EXPECT_EQ(FForm->PanelText(2), "3 Track(s) selected - 00:09:00 - 1.51MB");

  const TCDTrackInfo& record = Parts(*FForm).RowRecords()[2];
  EXPECT_EQ(record.TrackIndex, 2);
  EXPECT_EQ(record.StartSector, 375);
  EXPECT_EQ(record.EndSector, 675);
  EXPECT_EQ(record.LengthSectors, 300);
  EXPECT_EQ(record.LengthSeconds, 4);
  EXPECT_EQ(record.LengthBytes, 300 * 2352);
  EXPECT_EQ(record.Comment, "Cadenzo 1.06");
}

TEST_F(MainFormTest, ADroppedOrOpenedImageBecomesTheSelectedDriveOnlyWhenItOpens) {
  Start();
  Poll();
  EXPECT_EQ(Parts(*FForm).actOpenDiscImage->shortcut(), QKeySequence("Ctrl+O"));
  WriteFile(FTemp.File("lost.cue"), "FILE \"lost.flac\" WAVE\n TRACK 01 AUDIO\n  INDEX 01 0\n");
  TScriptedMessageBoxes boxes;
  EXPECT_FALSE(FForm->OpenDiscImage(FTemp.File("lost.cue")));
  EXPECT_EQ(boxes.Texts(), QStringList{"lost.cue, line 1: 'lost.flac' not found"});
  EXPECT_EQ(Parts(*FForm).cbCDRom->count(), 1);

  const TDiscImage other = MakeDiscImage(FTemp.File("more"), "other", {80, 90});
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(other.CuePath)});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(FForm.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(FForm.get(), &drop);
  ASSERT_TRUE(WaitFor([this] { return List()->topLevelItemCount() == 2; }));
  EXPECT_EQ(Parts(*FForm).cbCDRom->currentText(), "other.cue (image)");
  EXPECT_EQ(Parts(*FForm).cbCDRom->count(), 2);
  EXPECT_EQ(CR_GetActiveCDROM(), 1);
  const QByteArray ini = ReadFile(FTemp.File("cdrip.ini"));
  EXPECT_TRUE(ini.contains("Image1=" + other.CuePath.toUtf8())) << ini.toStdString();
  EXPECT_FALSE(ini.contains("lost.cue"));
  EXPECT_EQ(boxes.Asked().size(), 1u);
}

// Each close takes the selected image out of the list and cdrip.ini, and the
// drive that takes its place shows its own disc.
TEST_F(MainFormTest, AnImageDriveClosesFromTheFileMenuOrTheDriveList) {
  Start();
  Poll();
  const TDiscImage other = MakeDiscImage(FTemp.File("more"), "other", {80, 90});
  ASSERT_TRUE(FForm->OpenDiscImage(other.CuePath));
  QComboBox* drives = Parts(*FForm).cbCDRom;
  QAction* close = Parts(*FForm).actCloseDiscImage;
  EXPECT_EQ(drives->contextMenuPolicy(), Qt::ActionsContextMenu);
  EXPECT_TRUE(drives->actions().contains(close));
  emit drives->activated(0);
  ASSERT_TRUE(close->isEnabled());
  close->trigger();
  EXPECT_EQ(drives->count(), 1);
  EXPECT_EQ(drives->currentText(), "other.cue (image)");
  EXPECT_EQ(List()->topLevelItemCount(), 2);
  const QByteArray ini = ReadFile(FTemp.File("cdrip.ini"));
  EXPECT_TRUE(ini.contains("Image0=" + other.CuePath.toUtf8())) << ini.toStdString();
  EXPECT_FALSE(ini.contains("rip.cue")) << ini.toStdString();

  close->trigger();
  EXPECT_EQ(drives->count(), 0);
  EXPECT_FALSE(close->isEnabled());
  EXPECT_EQ(FForm->PanelText(0), "No Disc");
  EXPECT_EQ(List()->topLevelItemCount(), 0);
  ASSERT_TRUE(FForm->OpenDiscImage(FImage.CuePath));
  EXPECT_EQ(List()->topLevelItemCount(), 3);
}

TEST_F(MainFormTest, AnEmptyDriveShowsNoDiscUntilADiscIsInsertedAndAgainAfterRemoval) {
  SetDiscPresent(false);
  Start();
  Poll();
  EXPECT_EQ(FForm->PanelText(0), "No Disc");
  EXPECT_EQ(List()->topLevelItemCount(), 0);
  EXPECT_TRUE(Parts(*FForm).NoDisc);
  EXPECT_FALSE(Parts(*FForm).DiscLoaded);

  SetDiscPresent(true);
  FTick = Parts(*FForm).LastPoll + 1000;  // within the poll interval nothing is looked at
  Parts(*FForm).StateTimerTimer();
  EXPECT_EQ(List()->topLevelItemCount(), 0);
  Poll();
  EXPECT_EQ(FForm->PanelText(0), "Disc Inserted");
  ASSERT_EQ(List()->topLevelItemCount(), 3);

  // A disc that stays is not reloaded: the user's edit survives the polls.
  List()->topLevelItem(0)->setText(0, "Edited");
  Poll();
  Poll();
  EXPECT_EQ(Cell(0, 0), "Edited");

  SetDiscPresent(false);
  Poll();
  EXPECT_EQ(FForm->PanelText(0), "No Disc");
  EXPECT_EQ(List()->topLevelItemCount(), 0);
  EXPECT_EQ(Parts(*FForm).edArtist->text(), "");
  EXPECT_EQ(FForm->PanelText(1), "");
  EXPECT_EQ(FForm->PanelText(2), "");
}

TEST_F(MainFormTest, PollingPausesWhileExtractingAndInDialogs) {
  Start();
  for (int state : {int(wsExtracting), int(wsOptions), int(wsCDDBQuery)}) {
    Parts(*FForm).WinState = state;
    Poll();
    EXPECT_EQ(List()->topLevelItemCount(), 0) << state;
  }
  Parts(*FForm).WinState = wsIdle;
  Poll();
  EXPECT_EQ(List()->topLevelItemCount(), 3);
}

TEST(PollTicks, TheUnsignedDifferenceKeepsPollingThroughTheWrap) {
  EXPECT_EQ(InitialLastPoll(5000), 6200u);
  EXPECT_EQ(InitialLastPoll(4294965295u), 4294966495u);
  EXPECT_EQ(InitialLastPoll(4294965296u), 2200u);

  uint32_t last = 10000;
  EXPECT_FALSE(PollDue(12000, last));
  EXPECT_EQ(last, 10000u);
  EXPECT_TRUE(PollDue(12001, last));
  EXPECT_EQ(last, 12001u);

  // Through the wrap: 4294966000 + 3296 wraps to 2000.
  last = 4294966000u;
  EXPECT_FALSE(PollDue(704, last));
  EXPECT_TRUE(PollDue(2000, last));
  EXPECT_EQ(last, 2000u);
  // Within 2000 ms of the wrap the stored value is 1000.
  last = 4294960000u;
  EXPECT_TRUE(PollDue(4294966000u, last));
  EXPECT_EQ(last, 1000u);
  EXPECT_TRUE(PollDue(4294966500u, last));
}

TEST_F(MainFormTest, TheFirstPollAfterStartFindsTheDiscNearTheWrap) {
  FTick = 4294966000u;
  Start();
  EXPECT_EQ(Parts(*FForm).LastPoll, 2200u);
  FTick = 4294966500u;
  Parts(*FForm).StateTimerTimer();
  EXPECT_EQ(List()->topLevelItemCount(), 3);
  EXPECT_EQ(Parts(*FForm).LastPoll, 1000u);
  SetDiscPresent(false);
  FTick = 2500;  // wrapped, and only 1500 ms after the stored 1000
  Parts(*FForm).StateTimerTimer();
  EXPECT_EQ(FForm->PanelText(0), "Disc Inserted");
  FTick = 3001;
  Parts(*FForm).StateTimerTimer();
  EXPECT_EQ(FForm->PanelText(0), "No Disc");
}

struct TGeometryCase {
  int Left, Top, Width, Height;
  bool Centred;
  int ExpectedWidth, ExpectedHeight;
};

TEST_F(MainFormTest, WindowSizeAndPositionFollowTheSavedValues) {
  const TGeometryCase cases[] = {
      {65535, 65535, 640, 480, true, 640, 480},  // nothing saved yet
      {30, 40, 600, 500, false, 640, 480},       // either dimension too small resets both
      {30, 40, 639, 800, false, 640, 480},
      {65535, 100, 700, 500, true, 700, 500},  // one coordinate unset centres both
      {30, 40, 700, 520, false, 700, 520},
  };
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  for (const TGeometryCase& c : cases) {
    QFile::remove(platform::TRegistryStore::DefaultPath());
    {
      TConfig saved;
      saved.WindowLeft = c.Left;
      saved.WindowTop = c.Top;
      saved.WindowWidth = c.Width;
      saved.WindowHeight = c.Height;
      ASSERT_TRUE(saved.Save());
    }
    Start();
    const QString context =
        QString("%1,%2 %3x%4").arg(c.Left).arg(c.Top).arg(c.Width).arg(c.Height);
    EXPECT_EQ(FForm->size(), QSize(c.ExpectedWidth, c.ExpectedHeight)) << context.toStdString();
    const QPoint expected = c.Centred ? QPoint((screen.width() - c.ExpectedWidth) / 2,
                                               (screen.height() - c.ExpectedHeight) / 2)
                                      : QPoint(c.Left, c.Top);
    EXPECT_EQ(FForm->pos(), expected) << context.toStdString();
    FForm.reset();
  }
}

TEST_F(MainFormTest, ClosingStoresThePlacementAndDestructionSavesSettingsAndNames) {
  Start();
  Poll();
  FForm->move(50, 60);
  FForm->resize(720, 540);
  Parts(*FForm).edArtist->setText("Kept Artist");
  List()->topLevelItem(1)->setText(0, "  Kept Title  ");
  FForm->close();
  const QString entry = [this] {
    Parts(*FForm).TakeEditsIn();
    return Parts(*FForm).CDInfo->LocalCDDBFile();
  }();
  FForm.reset();

  TConfig stored;
  stored.Load();
  EXPECT_EQ(stored.WindowLeft, 50);
  EXPECT_EQ(stored.WindowTop, 60);
  EXPECT_EQ(stored.WindowWidth, 720);
  EXPECT_EQ(stored.WindowHeight, 540);

  TMyCDInfo names;
  ASSERT_TRUE(names.ReadXmcdFile(entry));
  EXPECT_EQ(names.Artist, "Kept Artist");
  EXPECT_EQ(names.GetTrackTitle(1), "Kept Title");
  // The next start shows the stored names.
  Start();
  Poll();
  EXPECT_EQ(Parts(*FForm).edArtist->text(), "Kept Artist");
  EXPECT_EQ(Cell(1, 0), "Kept Title");
}

TEST_F(MainFormTest, ASettingsFileThatCannotBeWrittenAtTheEndIsNamedInABox) {
  Start();
  Poll();
  // A folder stands where the settings file goes.
  const QString registry = platform::TRegistryStore::DefaultPath();
  ASSERT_TRUE(QDir().mkpath(registry));
  TScriptedMessageBoxes boxes;
  boxes.Answer(platform::IDOK);
  FForm->close();
  FForm.reset();
  QDir(registry).removeRecursively();
  ASSERT_EQ(boxes.Asked().size(), 1u);
  EXPECT_TRUE(boxes.Asked()[0].Text.startsWith("These could not be saved:\r\n" + registry + ": "))
      << boxes.Asked()[0].Text.toStdString();
  EXPECT_EQ(boxes.Asked()[0].Flags & 0xF0, unsigned(platform::MB_ICONERROR));
}

// A new disc starts without the names of the disc shown before it: the year
// and genre taken in for the first disc reach neither the second's fields
// nor its saved entry.
TEST_F(MainFormTest, ANewDiscKeepsNoYearOrGenreOfTheDiscBefore) {
  Start();
  Poll();
  Parts(*FForm).edYear->setText("1999");
  Parts(*FForm).cbCategory->setCurrentText("Jazz");
  Parts(*FForm).actWrtPlayINI->trigger();  // takes the fields in and stores them for this disc
  ASSERT_EQ(Parts(*FForm).CDInfo->Year, "1999");
  const TDiscImage second = MakeDiscImage(FTemp.File("disc2"), "other", {300, 300});
  WriteCdripIni(FTemp.File("cdrip.ini"), {second.CuePath});
  Parts(*FForm).actRefreshCD->trigger();
  ASSERT_EQ(List()->topLevelItemCount(), 2);
  EXPECT_EQ(Parts(*FForm).edYear->text(), "");
  EXPECT_EQ(Parts(*FForm).cbCategory->currentText(), "");
  Parts(*FForm).edAlbum->setText("Second");  // a name of its own, so its entry is saved at exit
  const QString entry = Parts(*FForm).CDInfo->LocalCDDBFile();
  FForm.reset();
  TMyCDInfo stored;
  ASSERT_TRUE(stored.ReadXmcdFile(entry));
  EXPECT_EQ(stored.Album, "Second");
  EXPECT_EQ(stored.Year, "");
  EXPECT_EQ(stored.Category, "");
}

TEST_F(MainFormTest, NothingIsSavedAtShutdownWhenTheDiscHasLeftTheView) {
  Start();
  Poll();
  ASSERT_EQ(List()->topLevelItemCount(), 3);
  const QString entry = Parts(*FForm).CDInfo->LocalCDDBFile();
  const QString section = QString::number(Parts(*FForm).CDInfo->CDPlayerKey, 16);
  ASSERT_TRUE(platform::WriteProfileString(TMyCDInfo::CDPlayerIniPath(), section, "artist",
                                           "From cdplayer.ini"));
  SetDiscPresent(false);
  Poll();
  ASSERT_EQ(List()->topLevelItemCount(), 0);
  FForm.reset();
  EXPECT_FALSE(QFile::exists(entry));

  SetDiscPresent(true);
  Start();
  Poll();
  EXPECT_EQ(Parts(*FForm).edArtist->text(), "From cdplayer.ini");
}

TEST_F(MainFormTest, GenreListComesFromGenreTxtWhenPresent) {
  Start();
  ASSERT_EQ(Parts(*FForm).cbCategory->count(), 11);
  EXPECT_EQ(Parts(*FForm).cbCategory->itemText(0), "Blues");
  EXPECT_EQ(Parts(*FForm).cbCategory->itemText(10), "Soundtrack");
  FForm.reset();

  WriteFile(FTemp.File("Genre.txt"), "Ambient\r\nChiptune\r\n\r\nDrone\r\n");
  Start();
  ASSERT_EQ(Parts(*FForm).cbCategory->count(), 3);
  EXPECT_EQ(Parts(*FForm).cbCategory->itemText(2), "Drone");
}

TEST_F(MainFormTest, ASavedDriveBeyondTheCountSelectsDriveZeroAndAReshowRepeatsNothing) {
  const TDiscImage second = MakeDiscImage(FTemp.File("disc2"), "other", {300, 300});
  WriteCdripIni(FTemp.File("cdrip.ini"), {FImage.CuePath, second.CuePath},
                "[CD-ROM]\r\nnActive=3\r\n");
  Start();
  EXPECT_EQ(Config->nActive, 0);
  EXPECT_EQ(Parts(*FForm).cbCDRom->currentIndex(), 0);
  EXPECT_EQ(Parts(*FForm).CDRIP->CDRomNum(), 0);
  EXPECT_STREQ(Config->DriveParams.driveName, Parts(*FForm).CDRIP->Params().driveName);

  // The user picks the second drive; a restore must neither list the drives
  // again nor go back to the saved one.
  emit Parts(*FForm).cbCDRom->activated(1);
  ASSERT_EQ(Parts(*FForm).CDRIP->CDRomNum(), 1);
  int listed = 0;
  QObject::connect(
      Parts(*FForm).cbCDRom->model(), &QAbstractItemModel::rowsInserted,
      [&listed](const QModelIndex&, int first, int last) { listed += last - first + 1; });
  FForm->hide();
  FForm->show();
  FForm->showMinimized();
  FForm->showNormal();
  EXPECT_EQ(listed, 0);
  EXPECT_EQ(Parts(*FForm).cbCDRom->count(), 2);
  EXPECT_EQ(Parts(*FForm).DriveNames.size(), 2);
  EXPECT_EQ(Parts(*FForm).CDRIP->CDRomNum(), 1);
  EXPECT_EQ(Parts(*FForm).cbCDRom->currentIndex(), 1);
}

TEST_F(MainFormTest, ChoosingAnotherDriveSelectsItAndShowsItsDisc) {
  const TDiscImage second = MakeDiscImage(FTemp.File("disc2"), "other", {300, 300});
  WriteCdripIni(FTemp.File("cdrip.ini"), {FImage.CuePath, second.CuePath});
  Start();
  Poll();
  ASSERT_EQ(Parts(*FForm).cbCDRom->count(), 2);
  ASSERT_EQ(List()->topLevelItemCount(), 3);
  Config->DriveParams.speed = 8;
  emit Parts(*FForm).cbCDRom->activated(1);
  EXPECT_EQ(Config->nActive, 1);
  EXPECT_EQ(Parts(*FForm).CDRIP->CDRomNum(), 1);
  EXPECT_STREQ(Config->DriveParams.driveName, "other.cue (image)");
  EXPECT_EQ(Parts(*FForm).cbSpeed->currentIndex(), SpeedIndexOf(Config->DriveParams.speed));
  EXPECT_EQ(List()->topLevelItemCount(), 2);
  EXPECT_EQ(FForm->PanelText(1), "2 Track(s) - 00:10 - 1.35MB");
}

TEST(SpeedList, FactorsAndTheirReverseLookup) {
  EXPECT_EQ(SpeedOfIndex(0), 32);
  EXPECT_EQ(SpeedOfIndex(1), 32);
  EXPECT_EQ(SpeedOfIndex(3), 24);
  EXPECT_EQ(SpeedOfIndex(9), 1);
  EXPECT_EQ(SpeedOfIndex(10), 32);
  EXPECT_EQ(SpeedIndexOf(32), 0);  // "Default", the first with factor 32
  EXPECT_EQ(SpeedIndexOf(4), 7);
  EXPECT_EQ(SpeedIndexOf(0), 0);
}

TEST_F(MainFormTest, EditingATitleToBlanksKeepsTheOldTitle) {
  Start();
  Poll();
  List()->setCurrentItem(List()->topLevelItem(1));
  List()->topLevelItem(1)->setSelected(true);
  auto editTo = [this](const QString& text) {
    Parts(*FForm).actRenameTrack->trigger();
    auto* editor = List()->viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The delegate commits through a queued call, then deletes the editor.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  };
  editTo("   ");
  EXPECT_EQ(Cell(1, 0), "Track02");
  editTo("  A New Name ");
  EXPECT_EQ(Cell(1, 0), "  A New Name ");
  Parts(*FForm).TakeEditsIn();
  EXPECT_EQ(Parts(*FForm).CDInfo->GetTrackTitle(1), "A New Name");
  EXPECT_EQ(Parts(*FForm).RowRecords()[1].Title, "A New Name");
}

TEST_F(MainFormTest, CaseCommandsChangeEveryTitleInAsciiOnly) {
  Start();
  Poll();
  List()->topLevelItem(0)->setText(0, "  the END of time  ");
  List()->topLevelItem(1)->setText(0, "élan VITAL");
  List()->topLevelItem(2)->setText(0, "x-ray  2nd");
  Parts(*FForm).actCapitalize->trigger();
  EXPECT_EQ(Cell(0, 0), "The End Of Time");
  EXPECT_EQ(Cell(1, 0), "élan Vital");
  EXPECT_EQ(Cell(2, 0), "X-ray  2nd");
  EXPECT_EQ(Parts(*FForm).RowRecords()[0].Title, "The End Of Time");
  Parts(*FForm).actUpperCase->trigger();
  EXPECT_EQ(Cell(1, 0), "éLAN VITAL");
  Parts(*FForm).actLowerCase->trigger();
  EXPECT_EQ(Cell(0, 0), "the end of time");
  EXPECT_EQ(Parts(*FForm).CDInfo->GetTrackTitle(0), "the end of time");
}

TEST_F(MainFormTest, SelectionSummaryFollowsTicksAndSelectCommands) {
  Start();
  Poll();
  Parts(*FForm).actSelectNone->trigger();
  EXPECT_EQ(FForm->PanelText(2), "0 Track(s) selected - 00:00:00 - 0.00MB");
  Tick(1, true);
  EXPECT_EQ(FForm->PanelText(2), "1 Track(s) selected - 00:03:00 - 0.50MB");
  Parts(*FForm).actInvertSelect->trigger();
  EXPECT_EQ(FForm->PanelText(2), "2 Track(s) selected - 00:06:00 - 1.01MB");
  Parts(*FForm).actSelectAll->trigger();
  EXPECT_EQ(FForm->PanelText(2), "3 Track(s) selected - 00:09:00 - 1.51MB");
}

TEST_F(MainFormTest, WithoutSelectAllTrackANewDiscStartsUnticked) {
  {
    TConfig saved;
    saved.SelectAllTrack = false;
    ASSERT_TRUE(saved.Save());
  }
  Start();
  Poll();
  ASSERT_EQ(List()->topLevelItemCount(), 3);
  EXPECT_EQ(List()->topLevelItem(0)->checkState(0), Qt::Unchecked);
  EXPECT_EQ(FForm->PanelText(2), "0 Track(s) selected - 00:00:00 - 0.00MB");
}

TEST_F(MainFormTest, CdPlayerIniCommandsSaveReadAndReportAFailure) {
  Start();
  Poll();
  Parts(*FForm).edArtist->setText("Ini Artist");
  List()->topLevelItem(0)->setText(0, "Ini Title");
  FForm->findChild<QAction*>("actWrtPlayINI")->trigger();
  Parts(*FForm).edArtist->setText("changed");
  List()->topLevelItem(0)->setText(0, "changed");
  FForm->findChild<QAction*>("actReadPlayINI")->trigger();
  EXPECT_EQ(Parts(*FForm).edArtist->text(), "Ini Artist");
  EXPECT_EQ(Cell(0, 0), "Ini Title");

  // cdplayer.ini cannot be written where a folder stands in its way.
  QFile::remove(TMyCDInfo::CDPlayerIniPath());
  ASSERT_TRUE(QDir().mkpath(TMyCDInfo::CDPlayerIniPath()));
  TScriptedMessageBoxes boxes;
  boxes.Answer(platform::IDOK);
  FForm->findChild<QAction*>("actWrtPlayINI")->trigger();
  QDir(TMyCDInfo::CDPlayerIniPath()).removeRecursively();
  ASSERT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(boxes.Asked()[0].Text,
            "An unknown error occurred, \r\nSave CD information to CDPlayer.INI failed.");
  EXPECT_EQ(boxes.Asked()[0].Caption, "Error!");
  EXPECT_EQ(boxes.Asked()[0].Flags & 0xF0, unsigned(platform::MB_ICONERROR));
}

TEST_F(MainFormTest, ExtractRefusesWithoutADiscOrWithoutTickedTracks) {
  Start();
  Poll();
  Parts(*FForm).actSelectNone->trigger();
  TScriptedMessageBoxes boxes;
  Parts(*FForm).actExtract->trigger();
  SetDiscPresent(false);
  Parts(*FForm).actExtract->trigger();
  EXPECT_EQ(boxes.Texts(), (QStringList{"No track(s) selected, please select track(s).",
                                        "No disc, please insert one."}));
  for (const auto& asked : boxes.Asked()) {
    EXPECT_EQ(asked.Caption, "Information");
    EXPECT_EQ(asked.Flags & 0xF0, unsigned(platform::MB_ICONWARNING));
  }
  EXPECT_EQ(Parts(*FForm).WinState, wsIdle);
  EXPECT_TRUE(Parts(*FForm).JobList.empty());
}

TEST_F(MainFormTest, NoPlayerAnywhereIsReported) {
  Start();
  TScriptedMessageBoxes boxes;
  Parts(*FForm).actLaunchMP3Player->trigger();
  EXPECT_EQ(boxes.Texts(), QStringList{"No default MP3 Player installed."});
  EXPECT_EQ(boxes.Asked()[0].Caption, "Error!");
}

TEST_F(MainFormTest, AboutOpensModally) {
  Start();
  TModalDriver driver;
  bool seen = false;
  driver.Then("AboutBox", [&](QWidget* w) {
    seen = w->findChild<QLabel*>("lblAbout")->text().contains("Version 1.06");
    qobject_cast<QDialog*>(w)->accept();
  });
  Parts(*FForm).actAbout->trigger();
  EXPECT_TRUE(seen);
  EXPECT_EQ(driver.Unexpected(), 0);
}

struct TActionCase {
  const char* Name;
  const char* Caption;
  const char* Hint;
  const char* Shortcut;
  bool Enabled;
};

TEST_F(MainFormTest, EveryActionHasItsCaptionHintShortcutAndState) {
  Start();
  const TActionCase cases[] = {
      {"actExtract", "Extract Track(s)...           ", "Extract audio track(s) from CD", "F9",
       true},
      {"actRefreshCD", "Refresh", "Refresh track list", "F5", true},
      {"actReadPlayINI", "Read from CDPlayer.ini", "Read disc information from CDPlayer.ini", "",
       true},
      {"actWrtPlayINI", "Save to CDPlayer.ini", "Save disc information to CDPlayer.ini", "", true},
      {"actExit", "Exit", "Exit program", "", true},
      {"actRenameTrack", "Edit Track Title              ", "Rename track", "F2", true},
      {"actSelectAll", "Select All", "Select all tracks", "Ctrl+A", true},
      {"actSelectNone", "Select None", "Unselect all tracks", "", true},
      {"actInvertSelect", "Invert Selection", "Invert selection", "Ctrl+I", true},
      {"actUpperCase", "Upper Case", "Modify tracks title to uppercase", "", true},
      {"actLowerCase", "Lower Case", "Modify track title to lowercase", "", true},
      {"actCapitalize", "Capitalize", "Capitalize track title", "", true},
      {"actOpenOutputFolder", "Open Output Folder", "Open Output Folder", "", true},
      {"actLaunchMP3Player", "Launch Default MP3 Player", "Launch the default mp3 player", "",
       true},
      {"actReadRemoteCDDB", "Query Disc Information", "Query disc information from CDDB", "F8",
       true},
      {"actMusicBrainzLookup", "Look Up on MusicBrainz", "Look up disc information on MusicBrainz",
       "Ctrl+F8", true},
      {"actGetServerList", "Get CDDB Server List", "Get CDDB server list", "", true},
      {"actGetCategoryList", "Get CDDB Category List", "Get CDDB category list", "", true},
      {"actOption", "Configuration", "Configration", "F4", true},
      {"actSoundVolume", "Sound Volume Adjustment", "", "", true},
      {"actHelp", "Online Help", "Online help", "F1", true},
      {"actHomepage", "Homepage", "", "", true},
      {"actCheckVersion", "Check new version", "Check new version from our sites", "", true},
      {"actAbout", "About", "", "", true},
      {"actPlay", "Play", "Play", "", true},
      {"actPause", "Pause/Resume", "Pause/Resume", "", true},
      {"actStop", "Stop", "Stop", "", true},
      {"actPreviousTrack", "Previous Track", "Previous Track", "", true},
      {"actNextTrack", "Next Track", "Next Track", "", true},
      {"actEjectCD", "Eject CD", "Eject CD", "", true},
      {"actCloseCD", "Close CD", "Close CD", "", true},
  };
  for (const TActionCase& c : cases) {
    const QList<QAction*> found = FForm->findChildren<QAction*>(c.Name);
    ASSERT_EQ(found.size(), 1) << c.Name;
    QAction* action = found.first();
    EXPECT_EQ(action->text(), c.Caption) << c.Name;
    EXPECT_EQ(action->statusTip(), c.Hint) << c.Name;
    EXPECT_EQ(action->shortcut().toString(), c.Shortcut) << c.Name;
    EXPECT_EQ(action->isEnabled(), c.Enabled) << c.Name;
  }
  EXPECT_TRUE(Parts(*FForm).actGetServerList->isVisible());
  EXPECT_TRUE(Parts(*FForm).actGetCategoryList->isVisible());
}

// The entries of a menu or toolbar: action names, "-" for separators, a
// label's text and other widgets' names.
QStringList Entries(const QList<QAction*>& actions, QToolBar* bar = nullptr) {
  QStringList names;
  for (QAction* action : actions) {
    QWidget* widget = bar && action->objectName().isEmpty() && !action->isSeparator()
                          ? bar->widgetForAction(action)
                          : nullptr;
    if (auto* label = qobject_cast<QLabel*>(widget))
      names << label->text().trimmed();
    else if (widget)
      names << widget->objectName();
    else
      names << (action->isSeparator() ? "-" : action->objectName());
  }
  return names;
}

TEST_F(MainFormTest, MenusToolbarAndPopupShareTheActionsInOrder) {
  Start();
  QStringList menus;
  for (QAction* menu : FForm->menuBar()->actions()) menus << menu->text();
  EXPECT_EQ(menus, (QStringList{"&File", "&Edit", "&Action", "&CDDB", "&Options", "&Help"}));
  const QStringList expected[] = {
      {"actOpenDiscImage", "actCloseDiscImage", "-", "actReadPlayINI", "actWrtPlayINI", "-",
       "actExit"},
      {"actRenameTrack", "-", "actSelectAll", "actSelectNone", "actInvertSelect", "-",
       "actUpperCase", "actLowerCase", "actCapitalize"},
      {"actExtract", "-", "actRefreshCD", "-", "actPlay", "actPause", "actStop", "actPreviousTrack",
       "actNextTrack", "actCloseCD", "actEjectCD", "-", "actLaunchMP3Player", "-",
       "actOpenOutputFolder"},
      {"actReadRemoteCDDB", "actMusicBrainzLookup", "actSubmitToMusicBrainz", "-",
       "actGetServerList", "actGetCategoryList"},
      {"actOption", "-", "actSoundVolume"},
      {"actHelp", "-", "actHomepage", "actCheckVersion", "-", "actAbout"},
  };
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(Entries(FForm->menuBar()->actions()[i]->menu()->actions()), expected[i])
        << menus[i].toStdString();
  const QMenu* action = FForm->menuBar()->actions()[2]->menu();
  EXPECT_EQ(Entries(Parts(*FForm).pmenuTrackList->actions()),
            (QStringList{"actPlay", "actPause", "actStop", "-", "actExtract", "actRenameTrack", "-",
                         "actSelectAll", "actSelectNone", "actInvertSelect", "-", "actRefreshCD"}));
  EXPECT_EQ(Entries(FForm->findChild<QToolBar*>("ToolBar1")->actions()),
            (QStringList{"actExtract", "-", "actRefreshCD", "actReadRemoteCDDB",
                         "actMusicBrainzLookup", "actLaunchMP3Player", "actOpenOutputFolder", "-",
                         "actRenameTrack", "actUpperCase", "-", "actOption", "actHelp"}));
  auto* player = FForm->findChild<QToolBar*>("ToolBar2");
  EXPECT_EQ(
      Entries(player->actions(), player),
      (QStringList{"actPreviousTrack", "actPlay", "actPause", "actStop", "actNextTrack",
                   "actEjectCD", "actCloseCD", "-", "Device", "cbCDRom", "Speed", "cbSpeed"}));
  // One action object behind every entry.
  EXPECT_EQ(action->actions()[0], Parts(*FForm).pmenuTrackList->actions()[4]);
  QStringList columns;
  for (int i = 0; i < 6; ++i) columns << List()->headerItem()->text(i);
  EXPECT_EQ(columns, (QStringList{"Track Title", "#TrackNo", "Start", "Length", "Size", "State"}));
}

TEST_F(MainFormTest, HintsShowAsTooltipsAndAStatusMessageThatLeavesThePanels) {
  Start();
  Poll();
  for (QAction* menu : FForm->menuBar()->actions())
    EXPECT_TRUE(menu->menu()->toolTipsVisible()) << menu->text().toStdString();
  EXPECT_TRUE(Parts(*FForm).pmenuTrackList->toolTipsVisible());
  auto* toolbar = FForm->findChild<QToolBar*>("ToolBar1");
  EXPECT_EQ(toolbar->widgetForAction(Parts(*FForm).actRefreshCD)->toolTip(), "Refresh track list");

  const QString panels[] = {FForm->PanelText(0), FForm->PanelText(1), FForm->PanelText(2)};
  Parts(*FForm).actExtract->showStatusText(FForm.get());  // as hovering its menu entry does
  EXPECT_EQ(FForm->statusBar()->currentMessage(), "Extract audio track(s) from CD");
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(Parts(*FForm).StatusPanels[i]->isVisible()) << i;
    EXPECT_EQ(FForm->PanelText(i), panels[i]) << i;
  }
  QStatusTipEvent leave{QString()};
  QCoreApplication::sendEvent(FForm.get(), &leave);
  EXPECT_EQ(FForm->statusBar()->currentMessage(), "");
}

TEST_F(MainFormTest, ToolbarIconsComeFromTheIconThemeAtTheToolbarsSize) {
  Start();
  const int size = FForm->style()->pixelMetric(QStyle::PM_ToolBarIconSize);
  for (const char* name : {"ToolBar1", "ToolBar2"}) {
    auto* bar = FForm->findChild<QToolBar*>(name);
    EXPECT_EQ(bar->iconSize(), QSize(size, size)) << name;
    for (QAction* action : bar->actions()) {
      if (action->isSeparator() || action->objectName().isEmpty()) continue;
      const std::string context = action->objectName().toStdString();
      EXPECT_FALSE(action->icon().name().isEmpty()) << context;  // a theme icon
      const QImage image = action->icon().pixmap(bar->iconSize()).toImage();
      ASSERT_EQ(image.size(), bar->iconSize()) << context;
      // Drawn at that size, not a smaller image in the middle of the button.
      QRect drawn;
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
          if (qAlpha(image.pixel(x, y)) > 0) drawn |= QRect(x, y, 1, 1);
      EXPECT_GE(std::max(drawn.width(), drawn.height()), size * 2 / 3) << context;
    }
  }
  // Without a desktop theme the fallback is the theme, and it follows the
  // palette while the program runs.
  EXPECT_EQ(QIcon::themeName(), "breeze");
  const QPalette light = QApplication::palette();
  QApplication::setPalette(QPalette(QColor(53, 53, 53)));
  EXPECT_EQ(QIcon::themeName(), "breeze-dark");
  QApplication::setPalette(light);
  EXPECT_EQ(QIcon::themeName(), "breeze");

  auto* extract = qobject_cast<QToolButton*>(
      FForm->findChild<QToolBar*>("ToolBar1")->widgetForAction(Parts(*FForm).actExtract));
  ASSERT_NE(extract, nullptr);
  EXPECT_EQ(extract->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
  EXPECT_EQ(extract->text(), "Extract");
}

// Opens the title editor on the row and types without pressing Enter.
void TypeInTitleEditor(TMainForm& form, int row, const QString& text) {
  Parts(form).lvTrackList->setCurrentItem(Parts(form).lvTrackList->topLevelItem(row));
  Parts(form).actRenameTrack->trigger();
  // The open editor; an earlier one may still wait for its deletion.
  auto* editor = qobject_cast<QLineEdit*>(
      Parts(form).lvTrackList->indexWidget(Parts(form).lvTrackList->currentIndex()));
  ASSERT_NE(editor, nullptr);
  editor->setText(text);
}

TEST_F(MainFormTest, AnOpenTitleEditorIsTakenInBySaveAndCaseCommands) {
  Start();
  Poll();
  TypeInTitleEditor(*FForm, 1, "typed, not entered");
  Parts(*FForm).actWrtPlayINI->trigger();
  EXPECT_EQ(Cell(1, 0), "typed, not entered");
  TMyCDInfo stored;
  ASSERT_TRUE(stored.LoadFromTOC(ReadDisc(*Parts(*FForm).CDRIP)));
  ASSERT_TRUE(stored.ReadCDPlayerIni());
  EXPECT_EQ(stored.GetTrackTitle(1), "typed, not entered");

  TypeInTitleEditor(*FForm, 2, "last one");
  Parts(*FForm).actUpperCase->trigger();
  EXPECT_EQ(Cell(2, 0), "LAST ONE");
  EXPECT_EQ(Parts(*FForm).CDInfo->GetTrackTitle(2), "LAST ONE");
  // Blanks typed into the editor keep the old title, as Enter would.
  TypeInTitleEditor(*FForm, 0, "   ");
  Parts(*FForm).actLowerCase->trigger();
  EXPECT_EQ(Cell(0, 0), "track01");
}

TEST_F(MainFormTest, ReadingCdPlayerIniRefillsTheListAndItsSelectionSummary) {
  Start();
  Poll();
  EXPECT_EQ(FForm->PanelText(2), "3 Track(s) selected - 00:09:00 - 1.51MB");
  Parts(*FForm).actWrtPlayINI->trigger();
  Parts(*FForm).actReadPlayINI->trigger();
  ASSERT_EQ(List()->topLevelItemCount(), 3);
  EXPECT_EQ(List()->topLevelItem(0)->checkState(0), Qt::Unchecked);
  EXPECT_EQ(FForm->PanelText(2), "0 Track(s) selected - 00:00:00 - 0.00MB");
}

class ExtractTest : public MainFormTest {
 protected:
  void SetUp() override {
    MainFormTest::SetUp();
    FOut = FTemp.File("out/music");
    TConfig saved;
    saved.OutputFolder = FOut;
    saved.CreatePlayList = true;
    saved.OpenOutputFolder = false;
    saved.AccurateRipServer.clear();  // no test reaches the public server
    // Two of three tracks make no album gain nor CUE sheet, and notes would say so.
    saved.ReplayGain = false;
    saved.WriteCueSheet = false;
    ASSERT_TRUE(saved.Save());
    Start();
    Poll();
    Parts(*FForm).actSelectNone->trigger();
    Tick(0, true);
    Tick(2, true);
  }

  // The playlist dialog, answered with the file name.
  static std::function<void(QWidget*)> SaveAs(const QString& file) {
    return [file](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      ASSERT_NE(dialog, nullptr);
      EXPECT_EQ(dialog->windowTitle(), "Save playlist");
      // Typed as a user would: selectFile() leaves the name field alone
      // while it has the focus.
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      name->setText(file);
      EXPECT_EQ(dialog->selectedFiles(), QStringList{file});
      static_cast<QDialog*>(dialog)->accept();
    };
  }
  static void LetRun(QWidget*) {}
  // Extracts the ticked tracks into FOut and declines the playlist.
  void ExtractWithoutPlaylist() {
    ASSERT_TRUE(QDir().mkpath(FOut));
    TModalDriver driver;
    driver.Then("ConvForm", LetRun);
    driver.Then("SavePlaylistDialog", [](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    Parts(*FForm).actExtract->trigger();
    ASSERT_TRUE(driver.AllSeen());
  }

  QString FOut;
};

TEST_F(ExtractTest, TheStateColumnShowsEachTracksAccurateRipVerdictWithItsChecksums) {
  const artest::TArSums first = artest::ArSums(FImage.TrackPcm(1), true, false);
  const artest::TArSums third = artest::ArSums(FImage.TrackPcm(3), false, true);
  testutil::TTestServer server(artest::DbarAnswer({{first.V2, 1, third.V2 ^ 4}}));
  Config->AccurateRipServer = server.Url("/");
  ExtractWithoutPlaylist();
  EXPECT_EQ(Cell(0, 5), "Accurate (6)");
  EXPECT_EQ(Cell(1, 5), "");
  EXPECT_EQ(Cell(2, 5), "Not accurate");
  EXPECT_EQ(List()->topLevelItem(0)->toolTip(5),
            QString::asprintf("Copy CRC %08X\nAccurateRip v1 %08X\nAccurateRip v2 %08X\n",
                              artest::Crc32(FImage.TrackPcm(1)), first.V1, first.V2) +
                "Accurately ripped, confidence 6 (v2) of 6 submissions");
  // The verdict line sums it up and offers the log the rip wrote.
  TRipVerdictBar* verdict = Parts(*FForm).VerdictBar;
  EXPECT_TRUE(verdict->isVisible());
  EXPECT_EQ(verdict->Text(), "1 accurate, 1 not accurate");
  auto* openLog = verdict->findChild<QPushButton*>("btnOpenLog");
  EXPECT_TRUE(openLog->isVisible());
  EXPECT_TRUE(openLog->toolTip().endsWith(".log") && QFile::exists(openLog->toolTip()))
      << openLog->toolTip().toStdString();
}

// A rip of the whole disc: the CTDB's verdict stands beside AccurateRip's.
TEST_F(ExtractTest, TheStateColumnShowsTheCtdbVerdictApart) {
  std::vector<uint32_t> v2;
  for (int t = 1; t <= 3; ++t) v2.push_back(artest::ArSums(FImage.TrackPcm(t), t == 1, t == 3).V2);
  const TTestServer::TAnswer accurateRip = artest::DbarAnswer({v2});
  const QByteArray lookup = ctdbtest::Answer(ctdbtest::EntryXml(
      ctdbtest::Reference(FImage.Pcm, {0, 150 * 1176, 375 * 1176}, 8), 8, 5, "0:150:375:675", ""));
  TTestServer server([&](QTcpSocket* socket, const QByteArray& request) {
    if (request.contains("/lookup2.php?"))
      TTestServer::Body(lookup)(socket, request);
    else
      accurateRip(socket, request);
  });
  Config->AccurateRipServer = Config->CtdbServer = server.Url("/");
  Tick(1, true);
  ExtractWithoutPlaylist();
  for (int row = 0; row < 3; ++row) EXPECT_EQ(Cell(row, 5), "Accurate (6), CTDB (5)") << row;
  EXPECT_TRUE(List()->topLevelItem(1)->toolTip(5).endsWith(
      "\nCTDB: Accurately ripped (confidence 5 of 5)"));
  EXPECT_EQ(Parts(*FForm).VerdictBar->Text(), "3 tracks, all accurately ripped");
}

TEST_F(ExtractTest, TwoTickedTracksBecomeMp3FilesWithTheirStatusesAndPlaylists) {
  TScriptedMessageBoxes boxes;
  boxes.Answer(platform::IDOK);
  {
    TModalDriver driver;
    driver.Then("ConvForm", LetRun);
    driver.Then("SavePlaylistDialog", SaveAs(FTemp.File("list.m3u")));
    Parts(*FForm).actExtract->trigger();
    ASSERT_TRUE(driver.AllSeen());
  }
  ASSERT_EQ(boxes.Asked().size(), 1u) << boxes.Texts().join(" | ").toStdString();
  EXPECT_EQ(boxes.Asked()[0].Text,
            "The output folder '" + FOut + "' not existing, Do you want create it?");
  EXPECT_EQ(boxes.Asked()[0].Caption, "Confirmation");
  EXPECT_EQ(boxes.Asked()[0].Flags, unsigned(platform::MB_OKCANCEL | platform::MB_ICONQUESTION));

  EXPECT_EQ(Cell(0, 5), "Done");
  EXPECT_EQ(Cell(1, 5), "");
  EXPECT_EQ(Cell(2, 5), "Done");
  EXPECT_EQ(Parts(*FForm).WinState, wsIdle);
  ASSERT_EQ(Parts(*FForm).JobList.size(), 2u);
  const QString first = FOut + "/Track01.mp3";
  const QString third = FOut + "/Track03.mp3";
  EXPECT_EQ(Parts(*FForm).JobList[1].OutputPath, third);
  EXPECT_EQ(Parts(*FForm).JobList[1].RowIndex, 2);
  EXPECT_TRUE(ReadFile(first).right(128).startsWith("TAG"));
  EXPECT_GT(QFileInfo(third).size(), 10000);
  EXPECT_FALSE(QFile::exists(FOut + "/Track02.mp3"));
  EXPECT_EQ(ReadFile(FTemp.File("list.m3u")), ("#EXTM3U\r\n#EXTINF:2, Track01\r\n" + first +
                                               "\r\n#EXTINF:4, Track03\r\n" + third + "\r\n")
                                                  .toUtf8());

  // Again, over the files now there, into a PLS playlist.
  TModalDriver again;
  again.Then("ConvForm", LetRun);
  again.Then("ConfirmOvwrtForm",
             [](QWidget* w) { w->findChild<QPushButton*>("btnYestoAll")->click(); });
  again.Then("SavePlaylistDialog", SaveAs(FTemp.File("list.pls")));
  Parts(*FForm).actExtract->trigger();
  ASSERT_TRUE(again.AllSeen());
  EXPECT_EQ(ReadFile(FTemp.File("list.pls")),
            ("[playlist]\r\nFile1=" + first + "\r\nTitle1=Track01\r\nLength1=2\r\nFile2=" + third +
             "\r\nTitle2=Track03\r\nLength2=4\r\nNumberOfEntries=2\r\nVersion=2\r\n")
                .toUtf8());
  EXPECT_EQ(boxes.Asked().size(), 1u)
      << boxes.Texts().join(" | ").toStdString();  // the folder exists now
}

TEST_F(ExtractTest, RefusingTheOutputFolderExtractsNothing) {
  TScriptedMessageBoxes boxes;
  boxes.Answer(platform::IDCANCEL);
  TModalDriver driver;
  Parts(*FForm).actExtract->trigger();
  EXPECT_EQ(boxes.Asked().size(), 1u);
  EXPECT_FALSE(QFileInfo::exists(FOut));
  EXPECT_EQ(Cell(0, 5), "");
  EXPECT_EQ(Parts(*FForm).WinState, wsIdle);
}

TEST_F(ExtractTest, AFolderThatCannotBeCreatedIsReported) {
  WriteFile(FTemp.File("out"), "a file where the folder should be");
  TScriptedMessageBoxes boxes;
  boxes.Answer(platform::IDOK);
  boxes.Answer(platform::IDOK);
  TModalDriver driver;
  Parts(*FForm).actExtract->trigger();
  ASSERT_EQ(boxes.Asked().size(), 2u);
  EXPECT_EQ(boxes.Asked()[1].Text, "The output folder '" + FOut + "' can't be create! ");
  EXPECT_EQ(boxes.Asked()[1].Caption, "Error");
}

TEST_F(ExtractTest, AFailedTrackIsMarkedAndTheErrorSummaryShownOnce) {
  ASSERT_TRUE(QDir().mkpath(FOut + "/Track03.mp3"));  // cannot be written as a file
  {
    TScriptedMessageBoxes boxes;
    TModalDriver driver;
    driver.Then("ConvForm", LetRun);
    driver.Then("ConfirmOvwrtForm",
                [](QWidget* w) { w->findChild<QPushButton*>("btnYes")->click(); });
    driver.Then("SavePlaylistDialog", SaveAs(FTemp.File("list.m3u")));
    QString summary;
    driver.Then("DispForm", [&summary](QWidget* w) {
      summary = w->findChild<QPlainTextEdit*>("MessageMemo")->toPlainText();
      qobject_cast<QDialog*>(w)->accept();
    });
    Parts(*FForm).actExtract->trigger();
    ASSERT_TRUE(driver.AllSeen());
    EXPECT_EQ(summary, " '" + FOut +
                           "/Track03.mp3' can not be create, please checks whether the file was "
                           "open by other applications!");
  }
  EXPECT_EQ(Cell(0, 5), "Done");
  EXPECT_EQ(Cell(2, 5), "Error");
  EXPECT_TRUE(List()->topLevelItem(2)->toolTip(5).startsWith(" '" + FOut + "/Track03.mp3' can"));
  EXPECT_EQ(Parts(*FForm).VerdictBar->Text(), "1 not verified, 1 with errors");
  EXPECT_EQ(Parts(*FForm).DispForm->ErrorCount, 0);  // cleared after it was shown
  // The failed job is listed all the same.
  EXPECT_TRUE(ReadFile(FTemp.File("list.m3u")).contains("Track03.mp3"));
}
TEST(RipSummary, OneLineSaysHowTheRipWent) {
  const struct {
    TRipSummary Summary;
    const char* Text;
  } cases[] = {
      {{8, 0, 0, 0, 0, 0, false}, "8 tracks, all accurately ripped"},
      {{1, 0, 0, 0, 0, 0, false}, "1 track, accurately ripped"},
      {{7, 0, 1, 0, 0, 0, false}, "7 accurate, 1 not verified"},
      {{0, 0, 0, 1, 0, 0, false}, "1 track with lost audio"},
      {{0, 0, 3, 0, 0, 0, false}, "3 tracks not verified"},
      {{2, 0, 0, 0, 0, 6, true}, "Aborted: 2 accurate, 6 not ripped"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.Summary.Text(), c.Text) << c.Text;
}

TEST(JobStates, TextsOfTheStatusCodes) {
  const char* const texts[] = {"Error", "", "Processing", "Done", "Abort", "Abort", ""};
  for (int code = 0; code < 7; ++code) EXPECT_EQ(JobStateText(code), texts[code]) << code;
  EXPECT_EQ(JobStateText(-1), "");
}

// The follow-up of an extraction, made observable: the completion sound goes
// to a file, the shell's opener is a script that notes what it opens.
class FollowUpTest : public ExtractTest {
 protected:
  void SetUp() override {
    ExtractTest::SetUp();
    ASSERT_TRUE(QDir().mkpath(FOut));
    ASSERT_TRUE(QDir().mkpath(FTemp.File("bin")));
    WriteFile(FTemp.File("bin/xdg-open"),
              ("#!/bin/sh\necho \"$1\" >> '" + FTemp.File("opened") + "'\n").toUtf8());
    QFile(FTemp.File("bin/xdg-open")).setPermissions(QFile::ReadOwner | QFile::ExeOwner);
    FPath = qgetenv("PATH");
    qputenv("PATH", FTemp.File("bin").toUtf8() + ":" + FPath);
    // A quarter second of silence, played into a raw file.
    QByteArray wav(44, '\0');
    wav.replace(0, 4, "RIFF").replace(8, 8, "WAVEfmt ").replace(36, 4, "data");
    qToLittleEndian<quint32>(44100 / 4 * 4 + 36, wav.data() + 4);
    qToLittleEndian<quint32>(16, wav.data() + 16);
    qToLittleEndian<quint16>(1, wav.data() + 20);
    qToLittleEndian<quint16>(2, wav.data() + 22);
    qToLittleEndian<quint32>(44100, wav.data() + 24);
    qToLittleEndian<quint32>(44100 * 4, wav.data() + 28);
    qToLittleEndian<quint16>(4, wav.data() + 32);
    qToLittleEndian<quint16>(16, wav.data() + 34);
    qToLittleEndian<quint32>(44100 / 4 * 4, wav.data() + 40);
    WriteFile(FTemp.File("done.wav"), wav + QByteArray(44100 / 4 * 4, '\0'));
    Config->SoundFile = FTemp.File("done.wav");
    Parts(*FForm).SoundPlayer =
        std::make_unique<TSoundPlayer>("file:FILE=" + FTemp.File("sound.raw") + ",FORMAT=raw");
  }
  void TearDown() override {
    qputenv("PATH", FPath);
    ExtractTest::TearDown();
  }
  void SetFollowUps(bool on) {
    Config->PlaySound = on;
    Config->EjectCD = on;
    Config->OpenOutputFolder = on;
    Config->ShowErrorMessage = on;
  }
  // Clicks Abort at the first progress of the rip.
  void AbortAtFirstProgress() {
    auto progress = Parts(*FForm).CDRIP->OnProgress;
    Parts(*FForm).CDRIP->OnProgress = [this, progress](TCDRIP* cdrip, uint16_t percent) {
      progress(cdrip, percent);
      if (!Parts(*FForm).ConvForm->Session().Aborted)
        Parts(*FForm).ConvForm->findChild<QPushButton*>("btnAbort")->click();
    };
  }
  QString Opened() const { return QString::fromUtf8(ReadFile(FTemp.File("opened"))); }

  QByteArray FPath;
};

TEST_F(FollowUpTest, AnAbortedSessionWritesItsStatusesButNoPlaylistSoundOrEject) {
  SetFollowUps(true);
  AbortAtFirstProgress();
  const QString first = FOut + "/Track01.mp3";
  // Keeping the converted files leaves code 4, deleting them code 5.
  for (int answer : {platform::IDNO, platform::IDYES}) {
    TScriptedMessageBoxes boxes;
    boxes.Answer(answer);
    TModalDriver driver;
    driver.Then("ConvForm", LetRun);
    Parts(*FForm).actExtract->trigger();
    EXPECT_EQ(driver.Unexpected(), 0);  // no playlist dialog, no error summary
    EXPECT_EQ(boxes.Texts(),
              QStringList{"Conversion has been aborted.\r\nWould you want delete ALL "
                          "converted audio file(s)?"});
    ASSERT_EQ(Parts(*FForm).JobList.size(), 2u);
    EXPECT_EQ(Parts(*FForm).JobList[0].State,
              answer == platform::IDNO ? jsAborted : jsAbortedDeleted);
    EXPECT_EQ(Cell(0, 5), "Abort");
    EXPECT_EQ(Cell(2, 5), "");  // never begun
    // A cut file never takes the track's name; kept, it is named so.
    EXPECT_FALSE(QFile::exists(first));
    QFile::remove(FOut + "/Track01 (partial).mp3");
    EXPECT_TRUE(Parts(*FForm).CDRIP->IsUnitReady());  // not ejected
    EXPECT_FALSE(QFile::exists(FTemp.File("sound.raw")));
    EXPECT_EQ(Parts(*FForm).WinState, wsIdle);
  }
}

TEST_F(FollowUpTest, SoundEjectSummaryAndFolderFollowTheirSettings) {
  ASSERT_TRUE(QDir().mkpath(FOut + "/Track03.mp3"));  // fails, for an error summary line
  SetFollowUps(false);
  {
    TModalDriver driver;
    driver.Then("ConvForm", LetRun);
    driver.Then("ConfirmOvwrtForm",
                [](QWidget* w) { w->findChild<QPushButton*>("btnYes")->click(); });
    driver.Then("SavePlaylistDialog", [](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    Parts(*FForm).actExtract->trigger();
    EXPECT_TRUE(driver.AllSeen());
    EXPECT_EQ(driver.Unexpected(), 0);  // no error summary
  }
  EXPECT_EQ(Cell(0, 5), "Done");
  EXPECT_EQ(Cell(2, 5), "Error");
  EXPECT_FALSE(QFile::exists(FTemp.File("sound.raw")));
  EXPECT_TRUE(Parts(*FForm).CDRIP->IsUnitReady());
  EXPECT_EQ(Opened(), "");
  Parts(*FForm).DispForm->ClearMessages();

  SetFollowUps(true);
  {
    TModalDriver driver;
    driver.Then("ConvForm", LetRun);
    driver.Then("ConfirmOvwrtForm",
                [](QWidget* w) { w->findChild<QPushButton*>("btnYestoAll")->click(); });
    driver.Then("SavePlaylistDialog", [](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    driver.Then("DispForm", [](QWidget* w) { qobject_cast<QDialog*>(w)->accept(); });
    Parts(*FForm).actExtract->trigger();
    EXPECT_TRUE(driver.AllSeen());
  }
  EXPECT_TRUE(WaitFor([this] { return QFileInfo(FTemp.File("sound.raw")).size() > 0; }));
  EXPECT_FALSE(Parts(*FForm).CDRIP->IsUnitReady());  // the tray is open
  EXPECT_TRUE(WaitFor([this] { return Opened() == FOut + "\n"; })) << Opened().toStdString();
}

TEST_F(ExtractTest, EditedNamesAndAnOpenTitleEditorReachTheJobsAndTags) {
  ASSERT_TRUE(QDir().mkpath(FOut));
  Parts(*FForm).edArtist->setText("New Artist");
  Parts(*FForm).edAlbum->setText("New Album");
  Parts(*FForm).cbCategory->setCurrentText("Jazz");
  Parts(*FForm).edYear->setText("1999");
  TypeInTitleEditor(*FForm, 0, "Fresh Title");  // F2, typed, then F9 without Enter
  TModalDriver driver;
  driver.Then("ConvForm", LetRun);
  driver.Then("SavePlaylistDialog", [](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
  // Track 2 is neither ripped nor on disk: the album's gain is not known.
  Config->ReplayGain = true;
  QString notes;
  driver.Then("DispForm", [&notes](QWidget* w) {
    notes = w->windowTitle() + "\n" + w->findChild<QPlainTextEdit*>()->toPlainText();
    qobject_cast<QDialog*>(w)->accept();
  });
  Parts(*FForm).actExtract->trigger();
  ASSERT_TRUE(driver.AllSeen());
  EXPECT_TRUE(
      notes.startsWith("Notes of the conversion session.\nNote: No album gain written: "
                       "track 2 is not in this rip"))
      << notes.toStdString();

  ASSERT_EQ(Parts(*FForm).JobList.size(), 2u);
  const TCDTrackInfo& info = Parts(*FForm).JobList[0].TrackInfo;
  EXPECT_EQ(info.Title, "Fresh Title");
  EXPECT_EQ(info.Artist, "New Artist");
  EXPECT_EQ(info.Album, "New Album");
  EXPECT_EQ(info.Category, "Jazz");
  EXPECT_EQ(info.Year, "1999");
  EXPECT_EQ(Parts(*FForm).JobList[1].TrackInfo.Artist, "New Artist");
  EXPECT_EQ(Cell(0, 0), "Fresh Title");
  EXPECT_EQ(Cell(0, 5), "Done");

  const QString file = FOut + "/Fresh Title.mp3";
  ASSERT_EQ(Parts(*FForm).JobList[0].OutputPath, file);
  const QByteArray tag = ReadFile(file).right(128);
  ASSERT_TRUE(tag.startsWith("TAG"));
  EXPECT_EQ(tag.mid(3, 30), QByteArray("Fresh Title").leftJustified(30, '\0'));
  EXPECT_EQ(tag.mid(33, 30), QByteArray("New Artist").leftJustified(30, '\0'));
  EXPECT_EQ(tag.mid(63, 30), QByteArray("New Album").leftJustified(30, '\0'));
  EXPECT_EQ(tag.mid(93, 4), "1999");
  EXPECT_EQ(quint8(tag[127]), 8);  // Jazz in the ID3v1 genre list
}

// Screenshots for reviewing the look, in the build's screenshots folder
// (tests/app/screenshot runs them): the window with a disc and a selected row,
// each menu open, the conversion dialog during an extraction, the overwrite
// question and the error summary, in a light and a dark palette. Popups and
// dialogs are drawn over the window where the window system put them.
class ScreenshotTest : public ExtractTest {
 protected:
  void SetUp() override {
    FOriginal = QApplication::palette();
    if (Dark()) QApplication::setPalette(DarkPalette());
    WriteFile(FTemp.File("Genre.txt"), ReadFile(ProgramDir() + "/Genre.txt"));
    ExtractTest::SetUp();
    ASSERT_TRUE(QDir().mkpath(FOut));
    Parts(*FForm).edArtist->setText("The Demo Ensemble");
    Parts(*FForm).edAlbum->setText("Generated Tones");
    Parts(*FForm).cbCategory->setCurrentText("Soundtrack");
    Parts(*FForm).edYear->setText("2026");
    FForm->resize(760, 520);
    // Under a window manager the new size arrives with its answer.
    ASSERT_TRUE(WaitFor([this] { return FForm->size() == QSize(760, 520); }));
    FFolder = ProgramDir() + "/../screenshots";
    ASSERT_TRUE(QDir().mkpath(FFolder));
  }
  void TearDown() override {
    ExtractTest::TearDown();
    QApplication::setPalette(FOriginal);
  }
  virtual bool Dark() const { return false; }

 public:
  // The main window with the given popup or dialog drawn where it stands.
  QImage Compose(QWidget* over = nullptr) {
    QCoreApplication::processEvents();
    const QRect window = FForm->geometry();
    QRect all = window;
    if (over) all |= over->geometry();
    QImage image(all.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.drawPixmap(window.topLeft() - all.topLeft(), FForm->grab());
    if (over) painter.drawPixmap(over->geometry().topLeft() - all.topLeft(), over->grab());
    return image;
  }
  void Save(const QString& name, const QImage& image) {
    const QString file = FFolder + "/" + (Dark() ? "dark-" : "light-") + name + ".png";
    EXPECT_TRUE(image.save(file)) << file.toStdString();
  }

 protected:
  QPalette FOriginal;
  QString FFolder;
};

class DarkScreenshotTest : public ScreenshotTest {
 protected:
  bool Dark() const override { return true; }
};

void TakeScreenshots(ScreenshotTest& t, TMainForm& form, const QString& out, const QString& temp) {
  // A selected row, as after a click: the style's highlight with its text
  // colour, whatever the palette.
  QTreeWidgetItem* row = Parts(form).lvTrackList->topLevelItem(1);
  Parts(form).lvTrackList->setCurrentItem(row);
  Parts(form).lvTrackList->setFocus();
  const QImage window = t.Compose();
  t.Save("main-window", window);
  const QPalette palette = Parts(form).lvTrackList->palette();
  const QRect cell = Parts(form).lvTrackList->visualItemRect(row).adjusted(4, 2, -4, -2);
  const QPoint origin = Parts(form).lvTrackList->viewport()->mapTo(&form, cell.topLeft());
  const QImage rowImage = window.copy(QRect(origin, cell.size()));
  int highlight = 0, text = 0;
  for (int y = 0; y < rowImage.height(); ++y)
    for (int x = 0; x < rowImage.width(); ++x) {
      const QColor c = rowImage.pixelColor(x, y);
      // The style may shade the highlight a little (a gradient).
      const QColor h = palette.color(QPalette::Highlight);
      if (std::abs(c.red() - h.red()) + std::abs(c.green() - h.green()) +
              std::abs(c.blue() - h.blue()) <
          40)
        ++highlight;
      // Text pixels stand out from the highlight by half the lightness scale.
      if (std::abs(c.lightness() - palette.color(QPalette::Highlight).lightness()) > 100) ++text;
    }
  EXPECT_GT(highlight, rowImage.width() * rowImage.height() / 2) << "the row is not highlighted";
  EXPECT_GT(text, 30) << "the selected row's text does not stand out";

  // A long lookup message beside the panels: elided, the panels whole.
  form.statusBar()->showMessage(
      "MusicBrainz did not answer: Host musicbrainz.org not found (no network here)");
  t.Save("main-window-message", t.Compose());
  form.statusBar()->clearMessage();

  // At the default size while a lookup waits: its message and busy bar show.
  const QSize size = form.size();
  form.resize(640, 480);
  ASSERT_TRUE(WaitFor([&form] { return form.size() == QSize(640, 480); }));
  auto* bar = static_cast<TStatusBarEx*>(form.statusBar());
  bar->SetBusy(true);
  bar->showMessage("Looking up disc XzPS7vW.HPHsYemQh0HBUGr8vuU- on MusicBrainz");
  EXPECT_TRUE(WaitFor([bar] { return bar->ShownMessage() == bar->currentMessage(); }));
  t.Save("main-640-lookup", t.Compose());
  bar->SetBusy(false);
  bar->clearMessage();
  form.resize(size);
  ASSERT_TRUE(WaitFor([&form, size] { return form.size() == size; }));

  for (QAction* menuAction : form.menuBar()->actions()) {
    QMenu* menu = menuAction->menu();
    form.menuBar()->setActiveAction(menuAction);
    ASSERT_TRUE(WaitFor([menu] { return menu->isVisible(); })) << menuAction->text().toStdString();
    t.Save("menu-" + menuAction->text().remove(u'&').toLower(), t.Compose(menu));
    menu->close();
    ASSERT_TRUE(WaitFor([menu] { return !menu->isVisible(); }));
  }

  // The conversion dialog at its first progress past a quarter.
  auto progress = Parts(form).CDRIP->OnProgress;
  bool taken = false;
  Parts(form).CDRIP->OnProgress = [&](TCDRIP* cdrip, uint16_t percent) {
    progress(cdrip, percent);
    if (taken || percent < 25) return;
    taken = true;
    t.Save("conversion", t.Compose(Parts(form).ConvForm));
  };
  TScriptedMessageBoxes boxes;
  {
    TModalDriver driver;
    driver.Then("ConvForm", [](QWidget*) {});
    driver.Then("SavePlaylistDialog", [](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    Parts(form).actExtract->trigger();
    EXPECT_TRUE(driver.AllSeen());
  }
  EXPECT_TRUE(taken);
  Parts(form).CDRIP->OnProgress = progress;

  // Again over the files now there, with one of them unwritable.
  ASSERT_TRUE(QFile::remove(out + "/Track03.mp3"));
  ASSERT_TRUE(QDir().mkpath(out + "/Track03.mp3"));
  TModalDriver driver;
  driver.Then("ConvForm", [](QWidget*) {});
  driver.Then("ConfirmOvwrtForm", [&](QWidget* w) {
    t.Save("overwrite", t.Compose(w));
    w->findChild<QPushButton*>("btnYestoAll")->click();
  });
  driver.Then("SavePlaylistDialog", [&](QWidget* w) {
    w->findChild<QLineEdit*>("fileNameEdit")->setText(temp + "/list.m3u");
    qobject_cast<QDialog*>(w)->accept();
  });
  driver.Then("DispForm", [&](QWidget* w) {
    // The summary starts at the beginning of its lines.
    EXPECT_EQ(w->findChild<QPlainTextEdit*>("MessageMemo")->horizontalScrollBar()->value(), 0);
    t.Save("error-summary", t.Compose(w));
    qobject_cast<QDialog*>(w)->accept();
  });
  Parts(form).actExtract->trigger();
  EXPECT_TRUE(driver.AllSeen());
  EXPECT_EQ(boxes.Asked().size(), 0u) << boxes.Texts().join(" | ").toStdString();

  // After the rip, at the default size: the verdict under the list.
  form.resize(640, 480);
  ASSERT_TRUE(WaitFor([&form] { return form.size() == QSize(640, 480); }));
  EXPECT_TRUE(Parts(form).VerdictBar->isVisible());
  t.Save("main-640-after-rip", t.Compose());
}

TEST_F(ScreenshotTest, LightPalette) { TakeScreenshots(*this, *FForm, FOut, FTemp.Path()); }
TEST_F(DarkScreenshotTest, DarkPalette) { TakeScreenshots(*this, *FForm, FOut, FTemp.Path()); }

// A rip with faults injected at known sectors: the picture under the track
// list follows the track in hand and keeps every track after, the lost
// sectors where they are. Sectors are absolute; track 3 starts at 375.
void TakeHealthScreenshots(ScreenshotTest& t, TMainForm& form) {
  THealthStrip* strip = Parts(form).HealthStrip;
  ASSERT_TRUE(strip->isHidden()) << "nothing read yet";
  bool live = false;
  auto progress = Parts(form).CDRIP->OnProgress;
  Parts(form).CDRIP->OnProgress = [&](TCDRIP* cdrip, uint16_t percent) {
    progress(cdrip, percent);
    // Track 3 shown while it is read, its lost sector 640 passed.
    if (live || strip->TrackRect(3).isEmpty() || percent < 85 || percent == 100) return;
    live = true;
    t.Save("health-live", t.Compose(Parts(form).ConvForm));
  };
  TScriptedMessageBoxes boxes;
  TModalDriver driver;
  driver.Then("ConvForm", [](QWidget*) {});
  driver.Then("SavePlaylistDialog", [](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
  driver.Then("DispForm", [](QWidget* w) { qobject_cast<QDialog*>(w)->accept(); });
  Parts(form).actExtract->trigger();
  EXPECT_TRUE(driver.AllSeen());
  Parts(form).CDRIP->OnProgress = progress;
  EXPECT_TRUE(live);

  const QImage window = t.Compose();
  t.Save("health", window);
  EXPECT_EQ(Parts(form).VerdictBar->Text(), "3 tracks with lost audio");
  ASSERT_FALSE(strip->isHidden());
  const QPoint origin = strip->mapTo(&form, QPoint(0, 0));
  auto pixel = [&](int track, int sector, int sectors) {
    // The column whose sectors hold this one.
    const QRect rect = strip->TrackRect(track);
    const int column = ((sector + 1) * rect.width() + sectors - 1) / sectors - 1;
    return window.pixelColor(origin + QPoint(rect.left() + column, rect.center().y()));
  };
  const QColor lost = THealthStrip::KindColour(skLost, strip->palette());
  auto isLost = [&](const QColor& c) { return c == lost || c == THealthStrip::LostMarkColour(); };
  EXPECT_TRUE(isLost(pixel(1, 61, 150)));
  EXPECT_TRUE(isLost(pixel(2, 250 - 150 + 2, 225)));
  EXPECT_TRUE(isLost(pixel(3, 640 - 375, 300)));
  EXPECT_EQ(pixel(1, 120, 150), THealthStrip::KindColour(skClean, strip->palette()));
  EXPECT_EQ(pixel(3, 500 - 375 + 2, 300), THealthStrip::KindColour(skCorrected, strip->palette()));
  EXPECT_EQ(pixel(2, 332 - 150, 225), THealthStrip::KindColour(skReread, strip->palette()));
}

TEST_F(ScreenshotTest, HealthPictureOfARipWithFaults) {
  SetDiscPresent(true,
                 "[Image0]\r\nUnreadableSectors=60-62,250-253,640\r\nJitterSectors=500-503\r\n"
                 "FlakySectors=330-334\r\nReadErrorDelay=150\r\n");
  Tick(1, true);
  TakeHealthScreenshots(*this, *FForm);
}
TEST_F(DarkScreenshotTest, HealthPictureOfARipWithFaults) {
  SetDiscPresent(true,
                 "[Image0]\r\nUnreadableSectors=60-62,250-253,640\r\nJitterSectors=500-503\r\n"
                 "FlakySectors=330-334\r\nReadErrorDelay=150\r\n");
  Tick(1, true);
  TakeHealthScreenshots(*this, *FForm);
}

}  // namespace
