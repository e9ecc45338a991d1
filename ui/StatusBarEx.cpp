#include "ui/StatusBarEx.h"

#include <QEvent>
#include <QHelpEvent>
#include <QLayout>
#include <QPainter>
#include <QProgressBar>
#include <QSizeGrip>
#include <QStyleOption>
#include <QToolTip>
#include <algorithm>
#include <numeric>

namespace {

// What a frame around a panel and the layout's spacing take beside the text.
constexpr int kPanelPadding = 8;

}  // namespace

QString TElidedLabel::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

int TElidedLabel::TextWidth() const {
  return text().isEmpty() ? 0 : fontMetrics().horizontalAdvance(text()) + 2 * margin() + 2;
}

void TElidedLabel::SetWidth(int width) {
  if (width == FWidth) return;
  FWidth = width;
  setMaximumWidth(width < 0 ? QWIDGETSIZE_MAX : width);
  updateGeometry();
}

QSize TElidedLabel::sizeHint() const {
  const QSize hint = QLabel::sizeHint();
  return FWidth < 0 ? hint : QSize(FWidth, hint.height());
}

// Any width: the text elides, and the window may be made as narrow as the user likes.
QSize TElidedLabel::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

void TElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(), int(alignment()) | Qt::TextSingleLine, palette(),
                        isEnabled(), ShownText(), foregroundRole());
}

bool TElidedLabel::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
    auto* help = static_cast<QHelpEvent*>(event);
    if (ShownText() != text())
      QToolTip::showText(help->globalPos(), text(), this);
    else
      QToolTip::hideText();
    return true;
  }
  return QLabel::event(event);
}

std::vector<int> PanelWidths(int room, int messageNeed, const std::vector<int>& textNeeds,
                             const std::vector<int>& preferred) {
  const size_t count = textNeeds.size();
  std::vector<int> least(count);
  for (size_t i = 0; i < count; ++i) least[i] = std::min(textNeeds[i], TStatusBarEx::kLeastPanel);
  const int leastSum = std::accumulate(least.begin(), least.end(), 0);
  int left = std::max(0, room - std::min(messageNeed, std::max(0, room - leastSum)));
  const int needSum = std::accumulate(textNeeds.begin(), textNeeds.end(), 0);
  std::vector<int> widths(count);
  if (needSum <= left) {
    // Every text whole; what is over widens the panels to their own widths.
    left -= needSum;
    for (size_t i = 0; i < count; ++i) {
      const int grow = std::clamp(preferred[i] - textNeeds[i], 0, left);
      widths[i] = textNeeds[i] + grow;
      left -= grow;
    }
    return widths;
  }
  // Each panel keeps its least and a share of the rest as its text asks.
  const int spare = std::max(0, left - leastSum);
  const int wanted = needSum - leastSum;
  for (size_t i = 0; i < count; ++i)
    widths[i] = least[i] + (wanted > 0 ? (textNeeds[i] - least[i]) * spare / wanted : 0);
  return widths;
}

TStatusBarEx::TStatusBarEx(QWidget* parent) : QStatusBar(parent) {
  // The message is a permanent widget so QStatusBar neither hides it nor
  // paints the message itself.
  FMessage = new TElidedLabel(this);
  FMessage->setObjectName("StatusMessage");
  FMessage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  addPermanentWidget(FMessage, 1);
  FBusy = new QProgressBar(this);
  FBusy->setObjectName("StatusBusy");
  FBusy->setRange(0, 0);
  FBusy->setTextVisible(false);
  FBusy->setFixedWidth(60);
  FBusy->setMaximumHeight(fontMetrics().height());
  FBusy->hide();
  addPermanentWidget(FBusy);
  connect(this, &QStatusBar::messageChanged, this, [this](const QString& text) {
    QToolTip::hideText();
    FMessage->setText(text);
    Arrange();
  });
}

QLabel* TStatusBarEx::AddPanel(const QString& name, int preferredWidth) {
  auto* panel = new TElidedLabel(this);
  panel->setObjectName(name);
  addPermanentWidget(panel);
  FPanels.push_back(panel);
  FPreferred.push_back(preferredWidth);
  Arrange();
  return panel;
}

void TStatusBarEx::SetBusy(bool busy) {
  FBusy->setVisible(busy);
  Arrange();
}

bool TStatusBarEx::Busy() const { return FBusy->isVisibleTo(this); }

QRect TStatusBarEx::MessageRect() const { return FMessage->geometry(); }

QString TStatusBarEx::ShownMessage() const { return FMessage->ShownText(); }

void TStatusBarEx::Arrange() {
  if (FArranging || FPanels.empty()) return;
  FArranging = true;
  const int spacing = std::max(0, layout() ? layout()->spacing() : 0) + kPanelPadding;
  int room = contentsRect().width() - 12 - int(FPanels.size()) * spacing;
  if (const auto* grip = findChild<QSizeGrip*>(); grip && isSizeGripEnabled())
    room -= grip->sizeHint().width();
  if (!FBusy->isHidden()) room -= FBusy->width() + spacing;
  std::vector<int> needs;
  for (const TElidedLabel* panel : FPanels) needs.push_back(panel->TextWidth());
  const std::vector<int> widths = PanelWidths(room, FMessage->TextWidth(), needs, FPreferred);
  for (size_t i = 0; i < FPanels.size(); ++i) FPanels[i]->SetWidth(widths[i]);
  FArranging = false;
}

bool TStatusBarEx::event(QEvent* event) {
  // A panel's new text asks for a new layout; so does a new width.
  if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize) Arrange();
  return QStatusBar::event(event);
}

void TStatusBarEx::paintEvent(QPaintEvent*) {
  // As QStatusBar paints, without a message of its own (the label draws it).
  QPainter painter(this);
  QStyleOption option;
  option.initFrom(this);
  style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &painter, this);
  for (TElidedLabel* panel : FPanels) {
    if (!panel->isVisible()) continue;
    QStyleOption frame;
    frame.rect = panel->geometry().adjusted(-2, -1, 2, 1);
    frame.palette = palette();
    frame.state = QStyle::State_None;
    style()->drawPrimitive(QStyle::PE_FrameStatusBarItem, &frame, &painter, panel);
  }
}
