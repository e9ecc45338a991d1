// TAboutBox: the modal About box of the main window: program name, version,
// maker and the home page address.
#pragma once

#include <QDialog>

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

// Addresses opened by the Homepage and Check new version commands.
inline constexpr const char* kHomepageUrl = "https://www.velmora.example/cadenzo/";
inline constexpr const char* kDownloadUrl = "https://www.velmora.example/cadenzo/download/";
