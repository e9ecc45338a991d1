#include "play/Mp3Player.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "platform/DesktopExec.h"
#include "platform/Platform.h"

namespace {

bool IsInstalled(const QString& program) {
  if (program.contains(u'/')) return QFileInfo(program).isExecutable();
  return !QStandardPaths::findExecutable(program).isEmpty();
}

}  // namespace

QStringList DefaultMp3PlayerCommand() {
  QProcess query;
  query.start("xdg-mime", {"query", "default", "audio/mpeg"});
  if (!query.waitForFinished(5000) || query.exitCode() != 0) return {};
  const QString desktopName = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
  if (desktopName.isEmpty()) return {};
  const QString desktopFile =
      QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopName);
  if (desktopFile.isEmpty()) return {};
  const QStringList command = SplitDesktopExec(DesktopEntryValue(desktopFile, "Exec"));
  return !command.isEmpty() && IsInstalled(command.first()) ? command : QStringList();
}

bool LaunchMp3Player(const QString& execute, const QString& parameters) {
  if (!execute.trimmed().isEmpty()) {
    const QStringList arguments =
        parameters.trimmed().isEmpty() ? QStringList() : QProcess::splitCommand(parameters);
    return platform::StartProgram(execute.trimmed(), arguments);
  }
  const QStringList command = DefaultMp3PlayerCommand();
  return !command.isEmpty() && platform::StartProgram(command.first(), command.mid(1));
}
