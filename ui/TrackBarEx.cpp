#include "ui/TrackBarEx.h"

#include <QKeyEvent>
#include <QMouseEvent>

TTrackBarEx::TTrackBarEx(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setTickPosition(QSlider::NoTicks);
}

void TTrackBarEx::mousePressEvent(QMouseEvent* event) {
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
