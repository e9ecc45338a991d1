#include "encode/TempFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

const QLatin1String kPrefix(".cadenzo-");

QString SystemError(int code) { return QString::fromLocal8Bit(std::strerror(code)); }

QString HostTag() {
  return QString::fromLatin1(
      QCryptographicHash::hash(QSysInfo::machineHostName().toUtf8(), QCryptographicHash::Sha1)
          .toHex()
          .left(8));
}

QString BootTag() {
  QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
  if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("0");
  return QString::fromLatin1(file.readAll().trimmed()).remove(QLatin1Char('-')).left(8);
}

// Field 22 of /proc/<pid>/stat, the start in clock ticks after boot; empty
// when no such process runs.
QString StartTime(qint64 pid) {
  QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray stat = file.readAll();
  // The command name in parentheses may hold blanks: count from its end.
  const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
  return fields.size() > 19 ? QString::fromLatin1(fields[19]) : QString();
}

// Whether the process that started at `start` still runs under the id. A
// process hidden from /proc (hidepid) counts as alive while the id exists.
bool OwnerAlive(qint64 pid, const QString& start) {
  if (pid <= 0) return false;
  const QString now = StartTime(pid);
  if (!now.isEmpty()) return now == start;
  return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

QString TempFileOwner(qint64 pid) {
  const QString start = StartTime(pid);
  if (start.isEmpty()) return {};
  return QStringLiteral("%1-%2-%3-%4").arg(HostTag(), BootTag()).arg(pid).arg(start);
}

QString TempFileOwner() {
  static const QString owner = TempFileOwner(::getpid());
  return owner;
}

QString CreateTempFile(const QString& folder, const QString& suffix, QString* error) {
  int code = EEXIST;
  for (int attempt = 0; attempt < 100 && code == EEXIST; ++attempt) {
    const QString name =
        kPrefix + TempFileOwner() +
        QStringLiteral("-%1").arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0')) +
        suffix;
    const QString path = QDir(folder).filePath(name);
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    code = errno;
  }
  if (error) *error = SystemError(code);
  return QString();
}

int RemoveDeadTempFiles(const QString& folder) {
  static const QRegularExpression name(
      QStringLiteral("^\\.cadenzo-([0-9a-f]{8})-([0-9a-f]+)-([0-9]+)-([0-9]+)-[0-9a-f]{8}"));
  const QString host = HostTag(), boot = BootTag();
  int removed = 0;
  const QStringList entries = QDir(folder).entryList({kPrefix + QLatin1Char('*')},
                                                     QDir::Files | QDir::Hidden | QDir::System);
  for (const QString& entry : entries) {
    const QRegularExpressionMatch match = name.match(entry);
    if (!match.hasMatch() || match.captured(1) != host) continue;
    if (match.captured(2) == boot && OwnerAlive(match.captured(3).toLongLong(), match.captured(4)))
      continue;
    // Only regular files: a link of the same name may point at anything.
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(entry));
    struct stat info {};
    if (::lstat(path.constData(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::unlink(path.constData()) == 0)
      ++removed;
  }
  return removed;
}

TPlaceResult PlaceFile(const QString& from, const QString& to, bool replace, QString* error) {
  const QByteArray source = QFile::encodeName(from), target = QFile::encodeName(to);
  int result = 0;
  if (replace) {
    result = std::rename(source.constData(), target.constData());
  } else {
    result =
        ::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE);
    // File systems without the flag: a hard link is made only where no file is.
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
      result = ::link(source.constData(), target.constData());
      if (result == 0) {
        ::unlink(source.constData());
      } else if (errno == EPERM || errno == EOPNOTSUPP) {
        // Nor links (FAT): the check and the rename are as close as it gets.
        struct stat info {};
        if (::lstat(target.constData(), &info) == 0) return TPlaceResult::Exists;
        result = std::rename(source.constData(), target.constData());
      }
    }
  }
  if (result == 0) return TPlaceResult::Placed;
  if (errno == EEXIST) return TPlaceResult::Exists;
  if (error) *error = SystemError(errno);
  return TPlaceResult::Failed;
}
