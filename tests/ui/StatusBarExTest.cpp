// The main window's status bar: the message wins the room its text needs,
// the panels shrink and elide first, and an elided text is told in a tip.
#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QLabel>
#include <QMainWindow>
#include <QTest>
#include <QToolTip>

#include "common/TestUtil.h"
#include "ui/StatusBarEx.h"

using testutil::WaitFor;

TEST(StatusBarEx, RoomGoesToTheMessageThenThePanelTextsThenTheirWidths) {
  const std::vector<int> preferred{160, 200, 200};
  struct {
    int Room, Message;
    std::vector<int> Needs, Expected;
  } cases[] = {
      {700, 0, {90, 190, 260}, {160, 200, 260}},   // room for all: the panels' own widths
      {600, 0, {90, 190, 260}, {150, 190, 260}},   // the first panel gives up its spare width
      {600, 200, {90, 190, 260}, {73, 140, 186}},  // a message: the panels share what is left
      {600, 900, {90, 190, 260}, {40, 40, 40}},    // a long message leaves each panel its least
      {600, 100, {0, 190, 0}, {160, 200, 140}},    // empty panels widen while there is room
  };
  for (const auto& c : cases)
    EXPECT_EQ(PanelWidths(c.Room, c.Message, c.Needs, preferred), c.Expected)
        << c.Room << " " << c.Message;
}

TEST(StatusBarEx, AtTheDefaultSizeAMessageShowsWholeAndAnElidedPanelTellsItsText) {
  QMainWindow window;
  auto* bar = new TStatusBarEx(&window);
  window.setStatusBar(bar);
  QLabel* panels[] = {bar->AddPanel("StatusPanel0", 160), bar->AddPanel("StatusPanel1", 200),
                      bar->AddPanel("StatusPanel2", 200)};
  panels[0]->setText("Disc Inserted");
  panels[1]->setText("12 Track(s) - 45:12 - 456.78MB");
  panels[2]->setText("12 Track(s) selected - 00:45:12:30 - 424.37MB");
  window.resize(640, 480);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  for (const QString& message :
       {QString("Found 3 releases"), QString("MusicBrainz has no release for this disc"),
        QString("Names from MusicBrainz: Generated Tones (2026, XW)")}) {
    bar->showMessage(message);
    EXPECT_TRUE(WaitFor([&] { return bar->ShownMessage() == message; }, 5000))
        << bar->ShownMessage().toStdString();
    for (QLabel* panel : panels) EXPECT_GE(panel->width(), TStatusBarEx::kLeastPanel);
  }
  auto* summary = static_cast<TElidedLabel*>(panels[2]);
  ASSERT_NE(summary->ShownText(), summary->text());
  QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), summary->mapToGlobal(QPoint(2, 2)));
  QCoreApplication::sendEvent(summary, &help);
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), summary->text());

  // Without a message the panels take their texts' room again.
  bar->clearMessage();
  EXPECT_TRUE(WaitFor([&] { return summary->ShownText() == summary->text(); }, 5000));
}
