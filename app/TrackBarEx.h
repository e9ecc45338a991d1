// TTrackBarEx: the seek bar of the main window, a horizontal slider that
// also reports its mouse button and move events to its owner.
#pragma once

#include <QSlider>
#include <functional>

class QMouseEvent;

class TTrackBarEx : public QSlider {
  Q_OBJECT
 public:
  explicit TTrackBarEx(QWidget* parent = nullptr);

  std::function<void(QMouseEvent*)> OnMouseDown;
  std::function<void(QMouseEvent*)> OnMouseMove;
  std::function<void(QMouseEvent*)> OnMouseUp;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};
