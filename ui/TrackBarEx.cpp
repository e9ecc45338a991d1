#include "ui/TrackBarEx.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>

TTrackBarEx::TTrackBarEx(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setTickPosition(QSlider::NoTicks);
}

void TTrackBarEx::mousePressEvent(QMouseEvent* event) {
  // A click beside the handle goes where clicked, not a page step; the
  // handle then sits under the mouse, so a drag may follow.
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect handle =
      style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  if (event->button() == Qt::LeftButton && !handle.contains(event->position().toPoint())) {
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const int x = int(event->position().x()) - groove.x() - handle.width() / 2;
    setValue(QStyle::sliderValueFromPosition(minimum(), maximum(), x,
                                             groove.width() - handle.width(), option.upsideDown));
  }
  QSlider::mousePressEvent(event);
  if (OnMouseDown) OnMouseDown(event);
}

void TTrackBarEx::mouseMoveEvent(QMouseEvent* event) {
  QSlider::mouseMoveEvent(event);
  if (OnMouseMove) OnMouseMove(event);
}

void TTrackBarEx::mouseReleaseEvent(QMouseEvent* event) {
  QSlider::mouseReleaseEvent(event);
  if (OnMouseUp) OnMouseUp(event);
}

void TTrackBarEx::keyPressEvent(QKeyEvent* event) {
  QSlider::keyPressEvent(event);
  if (OnKeyDown) OnKeyDown(event);
}

void TTrackBarEx::keyReleaseEvent(QKeyEvent* event) {
  QSlider::keyReleaseEvent(event);
  if (OnKeyUp) OnKeyUp(event);
}
