// TStatusBarEx: the main window's status bar. Its panels (labels at the right)
// always keep room for their whole text; a temporary message in the space to
// their left is drawn elided when it does not fit, and shown whole in a tool tip.
#pragma once

#include <QStatusBar>

class QLabel;

class TStatusBarEx : public QStatusBar {
  Q_OBJECT
 public:
  explicit TStatusBarEx(QWidget* parent = nullptr);

  // A panel at the right end, never narrower than minimumWidth nor its text.
  QLabel* AddPanel(const QString& name, int minimumWidth);
  // Where the temporary message is drawn.
  QRect MessageRect() const;
  // The temporary message as drawn: elided when it is wider than its space.
  QString ShownMessage() const;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QList<QLabel*> FPanels;
};
