#include "rip/RipQuery.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>

#include "cddb/CDInfo.h"
#include "cddb/CddbLookup.h"
#include "musicbrainz/MbLookup.h"
#include "platform/AppInfo.h"
#include "platform/TextDecode.h"
#include "settings/config.h"

namespace {

void Write(FILE* stream, const QString& text) {
  std::fputs(text.toLocal8Bit().constData(), stream);
  std::fflush(stream);
}

void Log(const TRipQuery& options, const QString& line) {
  // The server's text, which may hold any control character.
  const QString text =
      platform::EscapeControls(QString(line).remove(QLatin1Char('\r')).remove(QLatin1Char('\n')));
  if (options.OnLog)
    options.OnLog(text);
  else
    Write(options.Log, text + "\n");
}

// Lists the answers numbered and reads a number; an empty answer or the end
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

// One rule wherever answers are counted: --match n needs at least n of them.
// The index chosen, or -1 with refusal set.
int Choose(const QStringList& matches, const TRipQuery& options, const QString& source,
           QString& refusal) {
  const auto taken = [&](int index) {
    if (matches.size() > 1)
      Log(options, QString("%1 found %2 answers; number %3 is taken: %4")
                       .arg(source)
                       .arg(matches.size())
                       .arg(index + 1)
                       .arg(matches[index]));
    return index;
  };
  if (options.Match > 0) {
    if (options.Match <= matches.size()) return taken(options.Match - 1);
    refusal = QString("--match %1: %2 found %3 %4")
                  .arg(options.Match)
                  .arg(source)
                  .arg(matches.size())
                  .arg(source == "MusicBrainz" ? (matches.size() == 1 ? "release" : "releases")
                                               : (matches.size() == 1 ? "match" : "matches"));
    return -1;
  }
  if (matches.size() < 2) return 0;
  return options.Terminal ? AskMatch(matches, options) : taken(0);
}

// Runs the loop, then deletes what was handed to deleteLater inside it (host
// lookup results, network replies): no event loop runs after it in this
// program, and they would outlive it.
void RunLoop(QEventLoop& loop) {
  loop.exec();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

enum class TOutcome { Found, NotFound, Refused };

TOutcome AskMusicBrainz(TMyCDInfo& info, const TConfig& settings, const TRipQuery& options,
                        QString& refusal) {
  TMbLookup lookup(settings);
  QEventLoop loop;
  TMbResult result = TMbResult::Failed;
  lookup.OnStatus = [&options](const QString& status) { Log(options, status); };
  lookup.OnFinished = [&](TMbResult r) {
    result = r;
    loop.quit();
  };
  QMetaObject::invokeMethod(
      &loop, [&] { lookup.Start(info); }, Qt::QueuedConnection);
  RunLoop(loop);
  if (result != TMbResult::Found) return TOutcome::NotFound;
  QStringList captions;
  for (const TMbRelease& release : lookup.Releases())
    captions << release.Caption() + "  (" + release.Details() + ")";
  const int chosen = Choose(captions, options, "MusicBrainz", refusal);
  if (chosen < 0) return TOutcome::Refused;
  const TMbRelease& release = lookup.Releases()[size_t(chosen)];
  ApplyMbRelease(info, release, MbMediumOf(release, lookup.DiscId(), lookup.TrackCount()));
  info.SubmittedVia = QString("%1 %2").arg(kProgramName, kProgramVersion);
  return TOutcome::Found;
}

TOutcome AskCddb(TMyCDInfo& info, const TConfig& settings, const TRipQuery& options,
                 QString& refusal) {
  TCddbLookup lookup(info, settings);
  QEventLoop loop;
  bool found = false;
  lookup.ChooseEvenOne = options.Match > 0;
  lookup.OnLog = [&options](const QString& line) { Log(options, line); };
  lookup.OnChoose = [&](const QStringList& matches) {
    const int chosen = Choose(matches, options, "the server", refusal);
    return chosen < 0 ? TCddbLookup::DeclineMatch : chosen;
  };
  lookup.OnFinished = [&](bool success) {
    found = success;
    loop.quit();
  };
  // OnFinished may come at once (a refused start), before the loop runs.
  QMetaObject::invokeMethod(
      &loop, [&lookup] { lookup.StartQuery(); }, Qt::QueuedConnection);
  RunLoop(loop);
  if (!refusal.isEmpty()) return TOutcome::Refused;
  return found ? TOutcome::Found : TOutcome::NotFound;
}

}  // namespace

bool RunRipQuery(TMyCDInfo& info, const TConfig& settings, const TRipQuery& options) {
  // Whether the user has an entry of his own is known only before any is written.
  const bool hadEntry = info.HasLocalEntry();
  QString refusal;
  TOutcome outcome = TOutcome::NotFound;
  if (options.Source != TQuerySource::Cddb)
    outcome = AskMusicBrainz(info, settings, options, refusal);
  if (outcome == TOutcome::NotFound && options.Source != TQuerySource::MusicBrainz)
    outcome = AskCddb(info, settings, options, refusal);
  if (outcome == TOutcome::Refused) {
    Log(options, "cadenzo-rip: " + refusal);
    return false;
  }
  if (outcome == TOutcome::NotFound) {
    Log(options, "cadenzo-rip: the lookup found no names; the disc keeps its names");
    return false;
  }
  if (hadEntry && !options.SaveNames) {
    Log(options, "cadenzo-rip: the local entry " + info.LocalCDDBFile() +
                     " is kept; --save-names replaces it with the names found");
    return true;
  }
  if (!info.WriteLocalCDDB())
    Log(options, "cadenzo-rip: the entry could not be written to " + info.LocalFolder);
  return true;
}
