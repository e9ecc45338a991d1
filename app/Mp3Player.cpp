#include "app/Mp3Player.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "platform/Files.h"
#include "platform/Platform.h"

namespace {

QString DesktopEntryExec(const QString& desktopFile) {
  QFile file(desktopFile);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  bool inEntry = false;
  for (const QString& line : platform::SplitLines(platform::DecodeText(file.readAll()))) {
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith(u'[')) inEntry = trimmed == QLatin1String("[Desktop Entry]");
    else if (inEntry && trimmed.startsWith(QLatin1String("Exec=")))
      return trimmed.mid(5);
  }
  return QString();
}

QString ExistingProgram(const QString& program) {
  if (program.isEmpty()) return QString();
  if (program.contains(u'/')) return QFileInfo(program).isExecutable() ? program : QString();
  return QStandardPaths::findExecutable(program);
}

}  // namespace

QString ProgramOfExecLine(const QString& execLine) {
  const QStringList words = QProcess::splitCommand(execLine);
  return words.isEmpty() || words.first().startsWith(u'%') ? QString() : words.first();
}

QString DefaultMp3Player() {
  QProcess query;
  query.start("xdg-mime", {"query", "default", "audio/mpeg"});
  if (!query.waitForFinished(5000) || query.exitCode() != 0) return QString();
  const QString desktopName = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
  if (desktopName.isEmpty()) return QString();
  const QString desktopFile =
      QStandardPaths::locate(QStandardPaths::ApplicationsLocation, desktopName);
  if (desktopFile.isEmpty()) return QString();
  return ExistingProgram(ProgramOfExecLine(DesktopEntryExec(desktopFile)));
}

bool LaunchMp3Player(const QString& execute, const QString& parameters) {
  if (!execute.trimmed().isEmpty()) {
    const QStringList arguments =
        parameters.trimmed().isEmpty() ? QStringList() : QProcess::splitCommand(parameters);
    return platform::StartProgram(execute.trimmed(), arguments);
  }
  const QString player = DefaultMp3Player();
  return !player.isEmpty() && platform::StartProgram(player, {});
}
