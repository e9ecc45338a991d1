// Helpers shared by the tests: readable QString failures, a temporary folder
// per test, small file utilities and waiting on a condition with a deadline.
#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <functional>
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
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

// Runs a program and returns its exit code (-1 when it could not start),
// with its standard output and error in the out-parameters when given.
int RunProgram(const QString& program, const QStringList& arguments, QByteArray* out = nullptr,
               QByteArray* err = nullptr, int timeoutMs = 120000);

// The build's program folder (executables, stand-in libraries, data files).
QString ProgramDir();

}  // namespace testutil
