#include "platform/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/Files.h"
#include "platform/Profile.h"

namespace platform {
namespace {

QString& ProgramFolderOverride() {
  static QString folder;
  return folder;
}

}  // namespace

QString AddTrailingSeparator(const QString& folder) {
  if (folder.isEmpty() || folder.endsWith(QLatin1Char('/'))) return folder;
  return folder + QLatin1Char('/');
}

QString ProgramFolder() {
  if (!ProgramFolderOverride().isEmpty()) return ProgramFolderOverride();
  const QString executableFolder = QCoreApplication::applicationDirPath();
  const QString installed =
      QDir::cleanPath(executableFolder + QStringLiteral("/" CADENZO_PROGRAM_DIR_FROM_BIN));
  if (QFileInfo(installed).isDir()) return AddTrailingSeparator(installed);
  return AddTrailingSeparator(executableFolder);
}

void SetProgramFolder(const QString& folder) {
  ProgramFolderOverride() = AddTrailingSeparator(folder);
}

// The program's folder under an XDG base folder.
static QString XdgFolder(const char* variable, const QString& homeDefault) {
  QString base = qEnvironmentVariable(variable);
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + homeDefault;
  return base + QStringLiteral("/cadenzo/");
}

static QString CreatedXdgFolder(const char* variable, const QString& homeDefault) {
  const QString folder = XdgFolder(variable, homeDefault);
  QDir().mkpath(folder);
  return folder;
}

QString ConfigFolder() { return CreatedXdgFolder("XDG_CONFIG_HOME", "/.config"); }

QString CacheFolder() { return CreatedXdgFolder("XDG_CACHE_HOME", "/.cache"); }

QString DataFolder() { return XdgFolder("XDG_DATA_HOME", "/.local/share"); }

QString WindowsFolder() { return ConfigFolder(); }

QString TempFolder() { return AddTrailingSeparator(QDir::tempPath()); }

QString MusicFolder() {
  // XDG_MUSIC_DIR set in the environment wins over user-dirs.dirs, as for
  // xdg-user-dir; QStandardPaths falls back to ~/Music.
  QString folder = qEnvironmentVariable("XDG_MUSIC_DIR");
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  if (folder.isEmpty() || folder == QDir::homePath()) folder = QDir::homePath() + "/Music";
  return AddTrailingSeparator(folder);
}

QString ProgramFileForReading(const QString& name) {
  const QString own = ConfigFolder() + name;
  if (QFileInfo::exists(own)) return own;
  return ProgramFolder() + name;
}

QString ProgramFileForWriting(const QString& name) { return ConfigFolder() + name; }

QString CdripIniPath() {
  const QString own = ConfigFolder() + QStringLiteral("cdrip.ini");
  const QString installed = ProgramFolder() + QStringLiteral("cdrip.ini");
  if (QFileInfo::exists(own) || !QFileInfo::exists(installed)) return own;
  // Relative image paths stay relative: the library finds the program's own
  // images beside itself, so the copy never records where the program lies.
  QFile source(installed);
  if (source.open(QIODevice::ReadOnly)) WriteFileAtomic(own, source.readAll());
  return own;
}

}  // namespace platform
