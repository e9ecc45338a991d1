#include "ui/HealthStrip.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QMenu>
#include <QPainter>
#include <QSaveFile>
#include <QToolTip>
#include <algorithm>

#include "platform/MessageBox.h"
#include "settings/config.h"

namespace {

constexpr int kMargin = 4;
constexpr int kGap = 3;
constexpr int kSectorsPerSecond = 75;

QString KindName(TSectorKind kind) {
  switch (kind) {
    case skUnread:
      return QStringLiteral("not read yet");
    case skClean:
      return QStringLiteral("clean");
    case skCorrected:
      return QStringLiteral("jitter corrected");
    case skReread:
      return QStringLiteral("re-read");
    case skRepaired:
      return QStringLiteral("repaired from the CTDB");
    case skLost:
      break;
  }
  return QStringLiteral("lost (silence)");
}

// The hatch alone vanishes in a column a pixel or two wide: a cross as high as
// the strip marks it.
void PaintLost(QPainter& painter, const QRect& run) {
  painter.fillRect(run, QBrush(THealthStrip::LostMarkColour(), Qt::DiagCrossPattern));
  if (run.width() >= run.height()) return;
  const int half = run.height() / 2;
  const int centre = run.left() + run.width() / 2;
  painter.save();
  painter.setPen(QPen(THealthStrip::LostMarkColour(), 1));
  painter.drawLine(centre - half, run.top(), centre + half, run.bottom());
  painter.drawLine(centre - half, run.bottom(), centre + half, run.top());
  painter.restore();
}

}  // namespace

THealthStrip::THealthStrip(QWidget* parent) : QWidget(parent) {
  setObjectName("HealthStrip");
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  setMouseTracking(true);
  hide();
}

void THealthStrip::Clear() {
  FRows.clear();
  hide();
  updateGeometry();
}

void THealthStrip::ShowTrack(const TTrackHealth& health) {
  auto row = std::find_if(FRows.begin(), FRows.end(),
                          [&](const TRow& r) { return r.TrackNum >= health.TrackNum; });
  if (row == FRows.end() || row->TrackNum != health.TrackNum) {
    row = FRows.insert(row, TRow{health.TrackNum, {}, {}});
    updateGeometry();
  }
  row->Status = health.Status;
  row->Counts = CountSectors(health.Status);
  show();
  update();
}

QColor THealthStrip::KindColour(TSectorKind kind, const QPalette& palette) {
  const bool dark = palette.color(QPalette::Window).lightness() < 128;
  // Hues told apart with red-green colour blindness (blue, yellow, orange);
  // lost is hatched and marked besides.
  switch (kind) {
    case skUnread:
      return palette.color(QPalette::Base);
    case skClean:
      return dark ? QColor(0x2b, 0x6a, 0x8c) : QColor(0x9c, 0xcf, 0xea);
    case skCorrected:
      return dark ? QColor(0xd6, 0xc8, 0x2e) : QColor(0xf0, 0xe4, 0x42);
    case skReread:
      return QColor(0xe6, 0x8a, 0x00);
    case skRepaired:
      return dark ? QColor(0x9a, 0x6b, 0xd6) : QColor(0xb8, 0x96, 0xe8);
    case skLost:
      break;
  }
  return QColor(0xd5, 0x3e, 0x00);
}

int THealthStrip::RowHeight() const {
  const int rows = int(FRows.size());
  return rows <= 10 ? 12 : std::max(5, 130 / rows);
}

int THealthStrip::LabelWidth() const { return fontMetrics().horizontalAdvance("00") + 8; }

int THealthStrip::LegendHeight() const { return fontMetrics().height() + 4; }

QSize THealthStrip::sizeHint() const {
  const int rows = int(FRows.size());
  return {400, 2 * kMargin + rows * (RowHeight() + kGap) + LegendHeight()};
}

QSize THealthStrip::minimumSizeHint() const { return {120, sizeHint().height()}; }

QRect THealthStrip::TrackRect(int trackNum) const {
  size_t longest = 1;
  for (const TRow& row : FRows) longest = std::max(longest, row.Status.size());
  const int available = std::max(1, width() - 2 * kMargin - LabelWidth());
  for (size_t i = 0; i < FRows.size(); ++i) {
    if (FRows[i].TrackNum != trackNum) continue;
    const int width = std::max(
        1, int(std::lround(double(available) * double(FRows[i].Status.size()) / double(longest))));
    return {kMargin + LabelWidth(), kMargin + int(i) * (RowHeight() + kGap), width, RowHeight()};
  }
  return {};
}

int THealthStrip::RowAt(int y) const {
  const int row = (y - kMargin) / (RowHeight() + kGap);
  return y >= kMargin && row < int(FRows.size()) ? row : -1;
}

QString THealthStrip::ToolTipAt(const QPoint& pos) const {
  const int index = RowAt(pos.y());
  if (index < 0) return {};
  const TRow& row = FRows[size_t(index)];
  const QRect rect = TrackRect(row.TrackNum);
  QString text = QString::asprintf("Track %02d", row.TrackNum);
  if (pos.x() >= rect.left() && pos.x() <= rect.right() && !row.Status.empty()) {
    const int column = pos.x() - rect.left();
    const auto n = int64_t(row.Status.size());
    const int64_t first = column * n / rect.width();
    const int64_t end = std::max(first + 1, (column + 1) * n / rect.width());
    const std::span<const uint8_t> sectors(row.Status.data() + first, size_t(end - first));
    const int64_t seconds = first / kSectorsPerSecond;
    text += QString::asprintf(" at %02lld:%02lld: ", static_cast<long long>(seconds / 60),
                              static_cast<long long>(seconds % 60)) +
            KindName(WorstPerColumn(sectors, 1).front());
  }
  return text + "\n" + row.Counts.Text();
}

void THealthStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QPalette& colours = palette();
  QFont small = font();
  small.setPixelSize(std::clamp(RowHeight(), 6, 12));
  for (const TRow& row : FRows) {
    const QRect rect = TrackRect(row.TrackNum);
    if (RowHeight() >= 7) {
      painter.setFont(small);
      painter.setPen(colours.color(QPalette::WindowText));
      painter.drawText(QRect(kMargin, rect.top(), LabelWidth() - 4, rect.height()),
                       Qt::AlignRight | Qt::AlignVCenter, QString::asprintf("%02d", row.TrackNum));
    }
    const std::vector<TSectorKind> worst = WorstPerColumn(row.Status, rect.width());
    for (int column = 0; column < int(worst.size());) {
      int end = column;
      while (end < int(worst.size()) && worst[size_t(end)] == worst[size_t(column)]) ++end;
      const QRect run(rect.left() + column, rect.top(), end - column, rect.height());
      painter.fillRect(run, KindColour(worst[size_t(column)], colours));
      if (worst[size_t(column)] == skLost) PaintLost(painter, run);
      column = end;
    }
    painter.setPen(colours.color(QPalette::Mid));
    painter.drawRect(rect.adjusted(-1, -1, 0, 0));
  }

  // The legend under the strips.
  painter.setFont(font());
  const int top = kMargin + int(FRows.size()) * (RowHeight() + kGap);
  const int swatch = fontMetrics().height() - 4;
  int x = kMargin + LabelWidth();
  std::vector<TSectorKind> kinds = {skClean, skCorrected, skReread, skLost};
  // A repair is rare: its swatch shows only when a strip holds one.
  if (std::any_of(FRows.begin(), FRows.end(),
                  [](const TRow& row) { return row.Counts.Of[skRepaired] > 0; }))
    kinds.insert(kinds.end() - 1, skRepaired);
  for (TSectorKind kind : kinds) {
    const QRect box(x, top + 2 + (LegendHeight() - 4 - swatch) / 2, swatch * 2, swatch);
    painter.fillRect(box, KindColour(kind, colours));
    if (kind == skLost) PaintLost(painter, box);
    painter.setPen(colours.color(QPalette::Mid));
    painter.drawRect(box.adjusted(-1, -1, 0, 0));
    painter.setPen(colours.color(QPalette::WindowText));
    const QString name = KindName(kind);
    const QRect label(box.right() + 6, top, fontMetrics().horizontalAdvance(name) + 2,
                      LegendHeight());
    painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter, name);
    x = label.right() + 16;
  }
}

bool THealthStrip::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = ToolTipAt(help->pos());
    if (text.isEmpty())
      QToolTip::hideText();
    else
      QToolTip::showText(help->globalPos(), text, this);
    return true;
  }
  return QWidget::event(event);
}

void THealthStrip::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* save = menu.addAction("Save Image...");
  save->setObjectName("actSaveHealthImage");
  if (menu.exec(event->globalPos()) == save) SaveImageAs();
}

void THealthStrip::SaveImageAs() {
  const QString folder = Config ? Config->OutputFolder : QDir::homePath();
  QString path = QFileDialog::getSaveFileName(
      this, "Save Image", QDir(folder).filePath("sectors.png"), "PNG image (*.png)");
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += ".png";
  QString reason;
  if (!SaveImage(path, &reason))
    platform::MessageBox(QString("The image '%1' can't be written: %2").arg(path, reason), "Error",
                         platform::MB_OK | platform::MB_ICONERROR);
}

bool THealthStrip::SaveImage(const QString& path, QString* reason) {
  const QImage image = grab().toImage();
  QSaveFile file(path);
  QString failure;
  if (!file.open(QIODevice::WriteOnly)) {
    failure = file.errorString();
  } else if (!image.save(&file, "PNG")) {
    failure = file.error() != QFileDevice::NoError ? file.errorString()
                                                   : QStringLiteral("the PNG could not be encoded");
    file.cancelWriting();
  } else if (!file.commit()) {
    failure = file.errorString();
  }
  if (reason) *reason = failure;
  return failure.isEmpty();
}
