#include "platform/Folders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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
  return AddTrailingSeparator(QCoreApplication::applicationDirPath());
}

void SetProgramFolder(const QString& folder) {
  ProgramFolderOverride() = AddTrailingSeparator(folder);
}

// The program's folder under an XDG base folder, created on first use.
static QString XdgFolder(const char* variable, const QString& homeDefault) {
  QString base = qEnvironmentVariable(variable);
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + homeDefault;
  const QString folder = base + "/cadenzo";
  QDir().mkpath(folder);
  return folder + QLatin1Char('/');
}

QString ConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", "/.config"); }

QString CacheFolder() { return XdgFolder("XDG_CACHE_HOME", "/.cache"); }

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

QString ProgramFileForWriting(const QString& name) {
  const QFileInfo folder(ProgramFolder());
  const QString beside = ProgramFolder() + name;
  const QFileInfo file(beside);
  if (file.exists() ? file.isWritable() : folder.isWritable()) return beside;
  return ConfigFolder() + name;
}

}  // namespace platform
