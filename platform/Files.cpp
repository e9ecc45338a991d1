#include "platform/Files.h"

#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace platform {

QString CreateFolder(const QString& path) {
  if (path.isEmpty()) return QStringLiteral("no folder given");
  namespace fs = std::filesystem;
  const fs::path target = fs::absolute(QFile::encodeName(path).toStdString()).lexically_normal();
  std::vector<fs::path> missing;  // deepest first
  std::error_code error;
  for (fs::path level = target; !level.empty() && level != level.parent_path();
       level = level.parent_path()) {
    // A link is there even when it leads nowhere: it is the user's, never a
    // level this call made.
    if (fs::exists(fs::symlink_status(level, error))) break;
    missing.push_back(level);
  }
  fs::create_directories(target, error);
  QString reason;
  if (error)
    reason = QString::fromLocal8Bit(error.message());
  else if (!QFileInfo(path).isDir())
    reason = QStringLiteral("Not a directory");
  if (!reason.isEmpty())
    for (const fs::path& level : missing)  // the empty folders it made, nothing else
      if (fs::is_directory(fs::symlink_status(level, error))) fs::remove(level, error);
  return reason;
}

namespace {
thread_local QString gLastWriteError;
}  // namespace

bool WriteFileAtomic(const QString& path, const QByteArray& bytes) {
  const QString folder = QFileInfo(path).absolutePath();
  std::error_code error;
  std::filesystem::create_directories(folder.toLocal8Bit().constData(), error);
  if (error) {
    gLastWriteError = folder + QLatin1String(": ") + QString::fromLocal8Bit(error.message());
    return false;
  }
  QSaveFile file(path);
  const auto failed = [&] {
    gLastWriteError = path + QLatin1String(": ") + file.errorString();
    return false;
  };
  // Unbuffered, so a full disk shows in write() instead of vanishing in a flush.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return failed();
  if (file.write(bytes) != bytes.size()) {
    const bool result = failed();
    file.cancelWriting();
    return result;
  }
  return file.commit() || failed();
}

QString WriteFailureReason(const QFile& file, int code) {
  if (file.error() != QFileDevice::NoError) return file.errorString();
  return code != 0 ? QString::fromLocal8Bit(std::strerror(code)) : QStringLiteral("short write");
}
QString LastWriteError() { return gLastWriteError; }

QString ChangeFileExt(const QString& path, const QString& ext) {
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  return (dot > slash ? path.left(dot) : path) + ext;
}

QStringList SplitLines(const QString& text) {
  QString normal = text;
  normal.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  normal.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QStringList lines = normal.split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

QString SingleLine(QString text) {
  text.replace(QLatin1String("\r\n"), QLatin1String(" "));
  text.replace(QLatin1Char('\r'), QLatin1Char(' '));
  text.replace(QLatin1Char('\n'), QLatin1Char(' '));
  return text;
}

}  // namespace platform
