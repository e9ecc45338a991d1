#include "app/RipQuery.h"

#include <QEventLoop>

#include "cddb/CDInfo.h"
#include "cddb/CddbLookup.h"
#include "platform/TextDecode.h"
#include "settings/config.h"

namespace {

void Write(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

// Lists the matches numbered and reads a number; an empty answer or the end
// of input takes the first.
int AskMatch(const QStringList& matches, const TRipQuery& options) {
  for (int i = 0; i < matches.size(); ++i)
    Write(options.Log, QString("%1) %2\n").arg(i + 1, 3).arg(platform::EscapeControls(matches[i])));
  for (;;) {
    Write(options.Log, QString("Which entry (1-%1, Enter for 1)? ").arg(matches.size()));
    char line[64];
    if (!std::fgets(line, sizeof line, options.In)) return 0;
    const QString answer = QString::fromLocal8Bit(line).trimmed();
    if (answer.isEmpty()) return 0;
    bool ok = false;
    const int number = answer.toInt(&ok);
    if (ok && number >= 1 && number <= matches.size()) return number - 1;
  }
}

}  // namespace

bool RunRipQuery(TMyCDInfo& info, const TConfig& settings, const TRipQuery& options) {
  TCddbLookup lookup(info, settings);
  QEventLoop loop;
  bool found = false;
  QString refusal;
  lookup.OnLog = [&options](const QString& line) {
    // The server's text, which may hold any control character.
    const QString text = QString(line).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    Write(options.Log, platform::EscapeControls(text) + "\n");
  };
  lookup.OnChoose = [&](const QStringList& matches) {
    if (options.Match > 0) {
      if (options.Match <= matches.size()) return options.Match - 1;
      refusal =
          QString("--match %1: the server found %2 matches").arg(options.Match).arg(matches.size());
      return TCddbLookup::DeclineMatch;
    }
    return options.Terminal ? AskMatch(matches, options) : 0;
  };
  lookup.OnFinished = [&](bool success) {
    found = success;
    loop.quit();
  };
  // OnFinished may come at once (a refused start), before the loop runs.
  QMetaObject::invokeMethod(
      &loop, [&lookup] { lookup.StartQuery(); }, Qt::QueuedConnection);
  loop.exec();
  if (!refusal.isEmpty()) Write(options.Log, "cadenzo-rip: " + refusal + "\n");
  if (!found) {
    Write(options.Log, "cadenzo-rip: the CDDB lookup found no entry; the disc keeps its names\n");
    return false;
  }
  if (!info.WriteLocalCDDB())
    Write(options.Log, "cadenzo-rip: the entry could not be written to " + info.LocalFolder + "\n");
  return true;
}
