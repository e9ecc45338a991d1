// The main window's status bar: panels that keep their whole text, and a
// temporary message elided into the space left of them with its text in a tip.
#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QLabel>
#include <QMainWindow>
#include <QTest>
#include <QToolTip>

#include "ui/StatusBarEx.h"
#include "common/TestUtil.h"

using testutil::WaitFor;

TEST(StatusBarEx, PanelsKeepTheirTextAndAMessageTooLongIsElidedWithATip) {
  QMainWindow window;
  auto* bar = new TStatusBarEx(&window);
  window.setStatusBar(bar);
  QLabel* state = bar->AddPanel("StatusPanel0", 60);
  QLabel* summary = bar->AddPanel("StatusPanel1", 80);
  window.resize(480, 200);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

  const QString text = "MusicBrainz did not answer";
  state->setText(text);
  summary->setText("12 Track(s) - 45:12 - 456.78MB");
  for (QLabel* panel : {state, summary}) {
    const int wanted = panel->fontMetrics().horizontalAdvance(panel->text());
    EXPECT_TRUE(WaitFor([&] { return panel->contentsRect().width() >= wanted; }, 5000))
        << panel->text().toStdString() << ": " << panel->width() << " < " << wanted;
  }

  // The tip shown for a pause of the mouse there; empty when none is.
  const auto tipAt = [&](QPoint at) {
    QHelpEvent help(QEvent::ToolTip, at, bar->mapToGlobal(at));
    QCoreApplication::sendEvent(bar, &help);
    return help.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString();
  };
  const QString message =
      "MusicBrainz did not answer: Host musicbrainz.example not found, and so on at length";
  bar->showMessage(message);
  const QRect room = bar->MessageRect();
  EXPECT_LE(room.right(), state->x());
  EXPECT_TRUE(bar->ShownMessage().endsWith(QChar(0x2026))) << bar->ShownMessage().toStdString();
  EXPECT_LE(bar->fontMetrics().horizontalAdvance(bar->ShownMessage()), room.width());
  EXPECT_EQ(tipAt(room.center()), message);

  bar->showMessage("Ready");
  EXPECT_EQ(bar->ShownMessage(), "Ready");
  EXPECT_EQ(tipAt(room.center()), QString());  // nothing hidden, nothing to tell
}
