// TTrackBarEx: the seek bar of the main window, a horizontal slider that
// also reports its mouse and key events to its owner.
#pragma once

#include <QSlider>
#include <functional>

class QKeyEvent;
class QMouseEvent;

class TTrackBarEx : public QSlider {
  Q_OBJECT
 public:
  explicit TTrackBarEx(QWidget* parent = nullptr);

  std::function<void(QMouseEvent*)> OnMouseDown;
  std::function<void(QMouseEvent*)> OnMouseMove;
  std::function<void(QMouseEvent*)> OnMouseUp;
  std::function<void(QKeyEvent*)> OnKeyDown;
  std::function<void(QKeyEvent*)> OnKeyUp;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
};
