#include "ui/splash.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QRadialGradient>
#include <QScreen>

#include "platform/AppInfo.h"

namespace {

// The disc of the icon and the splash: a silver disc with a blue sheen and
// the centre hole, drawn into the square rect.
void PaintDisc(QPainter& painter, const QRectF& rect) {
  painter.setRenderHint(QPainter::Antialiasing);
  QRadialGradient sheen(rect.center(), rect.width() / 2);
  sheen.setColorAt(0.0, QColor(245, 247, 250));
  sheen.setColorAt(0.6, QColor(180, 196, 220));
  sheen.setColorAt(1.0, QColor(90, 120, 170));
  painter.setPen(QPen(QColor(60, 80, 120), rect.width() / 64));
  painter.setBrush(sheen);
  painter.drawEllipse(rect);
  const double hole = rect.width() / 6;
  painter.setBrush(QColor(40, 50, 70));
  painter.drawEllipse(rect.center(), hole / 2, hole / 2);
}

}  // namespace

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    PaintDisc(painter, QRectF(1, 1, size - 2, size - 2));
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

TSplashForm::TSplashForm(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("SplashForm");
  setFixedSize(380, 160);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->geometry().center() - rect().center());
}

void TSplashForm::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QLinearGradient background(0, 0, 0, height());
  background.setColorAt(0, QColor(28, 44, 78));
  background.setColorAt(1, QColor(12, 18, 34));
  painter.fillRect(rect(), background);
  PaintDisc(painter, QRectF(24, 24, 112, 112));
  painter.setPen(Qt::white);
  QFont title = font();
  title.setPointSize(24);
  title.setBold(true);
  painter.setFont(title);
  painter.drawText(QRect(156, 36, 210, 44), Qt::AlignLeft | Qt::AlignVCenter, kProgramName);
  QFont small = font();
  small.setPointSize(10);
  painter.setFont(small);
  painter.drawText(QRect(158, 84, 210, 20), Qt::AlignLeft,
                   QString("Version %1 - audio CD extractor").arg(kProgramVersion));
  painter.drawText(QRect(158, 110, 210, 20), Qt::AlignLeft, "Loading...");
}
