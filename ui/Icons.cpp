#include "ui/Icons.h"

#include <QAction>
#include <QDir>
#include <QEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QPalette>
#include <QStandardPaths>
#include <QWidget>
#include <initializer_list>

namespace {

struct TIconEntry {
  const char* Action;
  std::initializer_list<const char*> Names;  // preferred first
};

// Freedesktop names first, then the names other desktops use for the same.
const TIconEntry kIconTable[] = {
    {"actExtract", {"tools-rip-audio-cd", "media-optical-audio", "document-save"}},
    {"actRefreshCD", {"view-refresh"}},
    {"actReadPlayINI", {"document-open"}},
    {"actWrtPlayINI", {"document-save"}},
    {"actExit", {"application-exit"}},
    {"actRenameTrack", {"edit-rename", "document-edit"}},
    {"actSelectAll", {"edit-select-all"}},
    {"actSelectNone", {"edit-select-none", "edit-clear"}},
    {"actInvertSelect", {"edit-select-invert"}},
    {"actUpperCase", {"format-text-uppercase"}},
    {"actLowerCase", {"format-text-lowercase"}},
    {"actCapitalize", {"format-text-capitalize"}},
    {"actOpenOutputFolder", {"folder-open"}},
    {"actLaunchMP3Player", {"applications-multimedia", "audio-x-generic"}},
    {"actReadRemoteCDDB", {"download", "edit-find"}},
    {"actMusicBrainzLookup", {"globe", "edit-find"}},
    {"actGetServerList", {"network-server"}},
    {"actGetCategoryList", {"view-list-text"}},
    {"actOption", {"configure", "preferences-system"}},
    {"actSoundVolume", {"audio-volume-high"}},
    {"actHelp", {"help-contents"}},
    {"actHomepage", {"go-home"}},
    {"actCheckVersion", {"system-software-update", "internet-services"}},
    {"actAbout", {"help-about"}},
    {"actPlay", {"media-playback-start"}},
    {"actPause", {"media-playback-pause"}},
    {"actStop", {"media-playback-stop"}},
    {"actPreviousTrack", {"media-skip-backward"}},
    {"actNextTrack", {"media-skip-forward"}},
    {"actEjectCD", {"media-eject"}},
    {"actCloseCD", {"go-down", "arrow-down"}},
};

// The theme the desktop set before this unit chose one; empty or hicolor
// when the session has none (a bare X server, the offscreen platform).
QString DesktopTheme() {
  static const QString theme = QIcon::themeName();
  return theme;
}

// Follows the application's palette, so switching between a light and a dark
// desktop theme while the program runs switches the fallback icons too.
class TPaletteWatcher : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::ApplicationPaletteChange && watched == qApp)
      SetUpIconTheme(QGuiApplication::palette());
    return false;
  }
};

}  // namespace

void SetUpIconTheme(const QPalette& palette) {
  const QString desktopTheme = DesktopTheme();
  static const bool watching = [] {
    if (qApp) qApp->installEventFilter(new TPaletteWatcher(qApp));
    return true;
  }();
  (void)watching;
  QStringList paths = QIcon::themeSearchPaths();
  QStringList folders = {QDir::homePath() + "/.icons"};
  for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
    folders << data + "/icons";
  folders << "/usr/share/icons";
  for (const QString& folder : folders)
    if (!paths.contains(folder) && QDir(folder).exists()) paths << folder;
  QIcon::setThemeSearchPaths(paths);

  const bool dark = palette.color(QPalette::Window).lightness() < 128;
  const QString fallback = dark ? QStringLiteral("breeze-dark") : QStringLiteral("breeze");
  QIcon::setFallbackThemeName(fallback);
  // Without a desktop theme the fallback is the theme; setting the name also
  // makes icons already handed out look themselves up again.
  if (desktopTheme.isEmpty() || desktopTheme == QLatin1String("hicolor"))
    QIcon::setThemeName(fallback);
}

void ApplyThemeIcons(QWidget* window) {
  for (const TIconEntry& entry : kIconTable) {
    auto* action = window->findChild<QAction*>(entry.Action);
    if (!action) continue;
    for (const char* name : entry.Names) {
      if (QIcon::hasThemeIcon(name)) {
        action->setIcon(QIcon::fromTheme(name));
        break;
      }
    }
  }
}
