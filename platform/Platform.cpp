#include "platform/Platform.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <chrono>

namespace platform {

uint32_t TickCount() {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

bool ShellOpen(const QString& target) {
  // xdg-open is what QDesktopServices uses on a desktop too; calling it
  // directly keeps the core free of QtGui.
  const QString opener = QStandardPaths::findExecutable("xdg-open");
  if (opener.isEmpty()) return false;
  const bool isUrl = target.contains(QLatin1String("://"));
  if (!isUrl && !QFileInfo::exists(target)) return false;
  return QProcess::startDetached(opener, {target});
}

bool StartProgram(const QString& program, const QStringList& arguments) {
  return QProcess::startDetached(program, arguments);
}

}  // namespace platform
