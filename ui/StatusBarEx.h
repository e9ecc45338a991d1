// TStatusBarEx: the main window's status bar. A message at the left, panels
// at the right, and a busy bar while a lookup waits. Room goes first to the
// message's text, then to the panels' texts, then to the panels' own widths;
// a text that does not fit is drawn elided and shown whole in a tool tip.
#pragma once

#include <QLabel>
#include <QStatusBar>
#include <vector>

class QProgressBar;

// A label drawn on one line, elided at the right when narrower than its text,
// with the whole text as its tool tip then.
class TElidedLabel : public QLabel {
  Q_OBJECT
 public:
  using QLabel::QLabel;
  // The text as drawn.
  QString ShownText() const;
  // The width the whole text needs.
  int TextWidth() const;
  // The width the label asks for, at most; -1: its text's.
  void SetWidth(int width);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  int FWidth = -1;
};

// How `room` pixels are shared: the message gets what its text needs (all
// but kLeastPanel for each panel at most), the panels their texts' needs,
// then up to their preferred widths. The panels' widths, in order; the
// message takes what is left.
std::vector<int> PanelWidths(int room, int messageNeed, const std::vector<int>& textNeeds,
                             const std::vector<int>& preferred);

class TStatusBarEx : public QStatusBar {
  Q_OBJECT
 public:
  static constexpr int kLeastPanel = 40;

  explicit TStatusBarEx(QWidget* parent = nullptr);

  // A panel at the right end; preferredWidth is its width when there is room.
  QLabel* AddPanel(const QString& name, int preferredWidth);
  // Shows the busy bar (a lookup waits) or hides it.
  void SetBusy(bool busy);
  bool Busy() const;
  // Where the message is drawn.
  QRect MessageRect() const;
  // The message as drawn: elided when it is wider than its space.
  QString ShownMessage() const;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // Gives the panels their widths for the bar's width and texts.
  void Arrange();

  TElidedLabel* FMessage;
  QProgressBar* FBusy;
  std::vector<TElidedLabel*> FPanels;
  std::vector<int> FPreferred;
  bool FArranging = false;
};
