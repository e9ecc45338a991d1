// Helpers shared by the tests: readable QString failures, a temporary folder
// per test, small file utilities and waiting on a condition with a deadline.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <map>
#include <ostream>

QT_BEGIN_NAMESPACE
void PrintTo(const QString& text, std::ostream* os);
void PrintTo(const QByteArray& bytes, std::ostream* os);
QT_END_NAMESPACE

namespace testutil {

// A fresh folder removed at the end of the test; Path() has no trailing '/'.
class TTempFolder {
 public:
  TTempFolder();
  QString Path() const { return FDir.path(); }
  QString File(const QString& name) const { return FDir.filePath(name); }

 private:
  QTemporaryDir FDir;
};

QByteArray ReadFile(const QString& path);
void WriteFile(const QString& path, const QByteArray& bytes);

// Runs the event loop until the condition holds or the deadline passes.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 30000);

// Milliseconds this thread has run on a core or waited for one: what is left
// of the wall-clock time is time it slept, waiting on something. A slow or
// loaded machine (or a sanitizer) stretches only the first.
qint64 RunningOrReadyMs();

// Runs a program and returns its exit code (-1 when it could not start),
// with its standard output and error in the out-parameters when given.
// Sends the signal to the running program only: a process that has ended has
// no id, and kill(0, ...) would signal the whole test run. False then.
bool SignalProcess(const QProcess& process, int signal);

int RunProgram(const QString& program, const QStringList& arguments, QByteArray* out = nullptr,
               QByteArray* err = nullptr, int timeoutMs = 120000);

// While alive, no file of this process can grow past the limit: writes beyond
// it fail (EFBIG) the way they fail on a full disk.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    FPreviousHandler = std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &FPrevious);
    rlimit limit = FPrevious;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &FPrevious);
    std::signal(SIGXFSZ, FPreviousHandler);
  }
  TFileSizeLimit(const TFileSizeLimit&) = delete;
  TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

 private:
  rlimit FPrevious{};
  void (*FPreviousHandler)(int);
};

// The file's tags as ffprobe reports them (format and first stream), names
// in upper case.
std::map<QString, QString> ProbeTags(const QString& path);

// The build's program folder (executables, stand-in libraries, data files).
QString ProgramDir();

}  // namespace testutil
