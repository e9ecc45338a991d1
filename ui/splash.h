// TSplashForm: the frameless window shown while the program creates its
// windows, and the program's disc icon, painted rather than loaded so the
// program needs no image plugin.
#pragma once

#include <QIcon>
#include <QWidget>

class TSplashForm : public QWidget {
  Q_OBJECT
 public:
  explicit TSplashForm(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

QIcon ProgramIcon();
