#include "encode/TempFiles.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>

QString CreateTempFile(const QString& folder, const QString& suffix) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const QString name = QString(".cadenzo-%1%2")
                             .arg(QRandomGenerator::global()->generate64(), 16, 16, QChar(u'0'))
                             .arg(suffix);
    const QString path = QDir(folder).filePath(name);
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST) break;
  }
  return QString();
}

bool ReplaceFile(const QString& from, const QString& to) {
  return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}
