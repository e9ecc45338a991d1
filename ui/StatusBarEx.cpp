#include "ui/StatusBarEx.h"

#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QSizeGrip>
#include <QStyleOption>
#include <QToolTip>

TStatusBarEx::TStatusBarEx(QWidget* parent) : QStatusBar(parent) {
  // A message that changes under a shown tool tip takes the tip down with it.
  connect(this, &QStatusBar::messageChanged, this, [] { QToolTip::hideText(); });
}

QLabel* TStatusBarEx::AddPanel(const QString& name, int minimumWidth) {
  auto* panel = new QLabel(this);
  panel->setObjectName(name);
  panel->setMinimumWidth(minimumWidth);
  // The text's width is the least the layout may give.
  panel->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Preferred);
  // Permanent, so a hint's status message shows beside the panels, not over them.
  addPermanentWidget(panel);
  FPanels << panel;
  return panel;
}

QRect TStatusBarEx::MessageRect() const {
  // The margins QStatusBar itself leaves.
  const bool rtl = layoutDirection() == Qt::RightToLeft;
  int left = 6;
  int right = width() - 12;
  if (const auto* grip = findChild<QSizeGrip*>(); grip && grip->isVisible()) {
    if (rtl)
      left = grip->x() + grip->width();
    else
      right = grip->x();
  }
  for (const QLabel* panel : FPanels) {
    if (!panel->isVisible()) continue;
    if (rtl)
      left = std::max(left, panel->x() + panel->width() + 2);
    else
      right = std::min(right, panel->x() - 2);
  }
  return QRect(left, 0, std::max(0, right - left), height());
}

QString TStatusBarEx::ShownMessage() const {
  return fontMetrics().elidedText(currentMessage(), Qt::ElideRight, MessageRect().width());
}

bool TStatusBarEx::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    if (MessageRect().contains(help->pos()) && ShownMessage() != currentMessage()) {
      QToolTip::showText(help->globalPos(), currentMessage(), this);
      return true;
    }
  }
  return QStatusBar::event(event);
}

void TStatusBarEx::paintEvent(QPaintEvent* event) {
  if (currentMessage().isEmpty()) return QStatusBar::paintEvent(event);
  // As QStatusBar paints, but with the message elided instead of cut.
  QPainter painter(this);
  QStyleOption option;
  option.initFrom(this);
  style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &painter, this);
  for (QLabel* panel : FPanels) {
    if (!panel->isVisible()) continue;
    QStyleOption frame;
    frame.rect = panel->geometry().adjusted(-2, -1, 2, 1);
    frame.palette = palette();
    frame.state = QStyle::State_None;
    style()->drawPrimitive(QStyle::PE_FrameStatusBarItem, &frame, &painter, panel);
  }
  painter.setPen(palette().windowText().color());
  painter.drawText(MessageRect(), Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                   ShownMessage());
}
