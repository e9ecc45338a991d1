#include "FuzzUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "settings/config.h"

namespace fuzz {
namespace {

// Removed when the run ends normally; a crash leaves it for a look.
std::unique_ptr<QTemporaryDir> Folder;

}  // namespace

QString Dir() { return Folder->path() + QLatin1Char('/'); }

QString WriteInput(const QString& name, const QByteArray& bytes) {
  const QString path = Dir() + name;
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
    Fail("input written", __FILE__, __LINE__, path);
  return path;
}

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Bytes(const uint8_t* data, size_t size) {
  return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

QList<QByteArray> Fields(const QByteArray& input, int count) {
  QList<QByteArray> fields;
  qsizetype at = 0;
  for (int i = 0; i + 1 < count; ++i) {
    const qsizetype nul = input.indexOf('\0', at);
    if (nul < 0) break;
    fields << input.mid(at, nul - at);
    at = nul + 1;
  }
  fields << input.mid(at);
  while (fields.size() < count) fields << QByteArray();
  return fields;
}

void Fail(const char* what, const char* file, int line, const QString& detail) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n  %s\n", file, line, what,
               detail.toUtf8().constData());
  std::abort();
}

}  // namespace fuzz

// Every target runs inside a core application whose settings, caches and
// home lie in the temporary folder, so no run touches the user's files.
// The folder lies in memory where the system offers it: the stores save
// durably, and a flush to a busy disk per input would take seconds.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  const QString base = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                           ? QStringLiteral("/dev/shm")
                           : QDir::tempPath();
  fuzz::Folder = std::make_unique<QTemporaryDir>(base + "/cadenzo-fuzz-XXXXXX");
  if (!fuzz::Folder->isValid()) std::abort();
  const QByteArray root = fuzz::Folder->path().toUtf8();
  for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
    setenv(name, root.constData(), 1);
  new QCoreApplication(*argc, *argv);
  Config = new TConfig();
  return 0;
}
