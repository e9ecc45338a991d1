// TAboutBox: the modal About box of the main window: program name, version,
// maker and the home page address.
#pragma once

#include <QDialog>

#include "platform/AppInfo.h"

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};
