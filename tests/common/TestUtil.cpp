#include "common/TestUtil.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <csignal>

QT_BEGIN_NAMESPACE
void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }
void PrintTo(const QByteArray& bytes, std::ostream* os) {
  *os << "QByteArray(" << bytes.size() << " bytes: " << bytes.left(64).toHex(' ').toStdString()
      << (bytes.size() > 64 ? " ...)" : ")");
}
QT_END_NAMESPACE

namespace testutil {

TTempFolder::TTempFolder() : FDir(QDir::tempPath() + "/cadenzo-case-XXXXXX") {
  EXPECT_TRUE(FDir.isValid());
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  ASSERT_EQ(file.write(bytes), bytes.size());
}

qint64 RunningOrReadyMs() {
  QFile stat("/proc/thread-self/schedstat");
  if (!stat.open(QIODevice::ReadOnly)) return 0;
  const QList<QByteArray> fields = stat.readAll().split(' ');
  return fields.size() > 1 ? (fields[0].toLongLong() + fields[1].toLongLong()) / 1000000 : 0;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(1);
  }
  return true;
}

int RunProgram(const QString& program, const QStringList& arguments, QByteArray* out,
               QByteArray* err, int timeoutMs) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForStarted(10000)) return -1;
  process.closeWriteChannel();
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished();
    return -1;
  }
  if (out) *out = process.readAllStandardOutput();
  if (err) *err = process.readAllStandardError();
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QString ProgramDir() { return QStringLiteral(CADENZO_PROGRAM_DIR); }

bool SignalProcess(const QProcess& process, int signal) {
  const qint64 pid = process.processId();
  return pid > 0 && ::kill(pid_t(pid), signal) == 0;
}

std::map<QString, QString> ProbeTags(const QString& path) {
  QByteArray out;
  EXPECT_EQ(
      RunProgram("ffprobe",
                 {"-v", "error", "-of", "json", "-show_entries", "format_tags:stream_tags", path},
                 &out),
      0);
  std::map<QString, QString> tags;
  const QJsonObject root = QJsonDocument::fromJson(out).object();
  for (const QJsonObject& owner :
       {root["format"].toObject(), root["streams"].toArray().at(0).toObject()}) {
    const QJsonObject values = owner["tags"].toObject();
    for (auto it = values.begin(); it != values.end(); ++it)
      tags[it.key().toUpper()] = it.value().toString();
  }
  return tags;
}

}  // namespace testutil
