#include "settings/Naming.h"

#include <QDir>
#include <QStringList>
#include <QTextBoundaryFinder>
#include <algorithm>

namespace {

// The characters a name may not carry, in the order of the replacement
// characters and of the replacement passes.
const QChar kReserved[10] = {'*', ':', '?', '=', '|', '/', '\\', '<', '>', ' '};
constexpr int kBackslash = 6;

QString ReplaceReserved(QString text, const QString& replaceChars, bool keepBackslash) {
  for (int i = 0; i < 10; ++i) {
    if (keepBackslash && i == kBackslash) continue;
    text.replace(kReserved[i], replaceChars.at(i));
  }
  return text;
}

QString TrimBlanksAndControls(const QString& text) {
  int begin = 0;
  int end = text.size();
  while (begin < end && text[begin].unicode() <= ' ') ++begin;
  while (end > begin && text[end - 1].unicode() <= ' ') --end;
  return text.mid(begin, end - begin);
}

// One folder level as it may stand on disk: no '/' or control character
// inside, and never empty or made of dots only (".." would climb out of the
// output folder, "" or "." would merge into the level above or hide the file).
QString SafeLevel(QString level) {
  for (QChar& c : level)
    if (c == QLatin1Char('/') || c.category() == QChar::Other_Control) c = QLatin1Char('-');
  if (level.count(QLatin1Char('.')) == level.size())
    level = QString(qMax(level.size(), qsizetype(1)), QLatin1Char('-'));
  // A leading dot hides the file or folder from the user.
  if (level.startsWith(QLatin1Char('.'))) level[0] = QLatin1Char('-');
  return level;
}

bool LiesInside(const QString& folder, const QString& path) {
  QString root = QDir::cleanPath(QDir(folder).absolutePath());
  if (!root.endsWith(QLatin1Char('/'))) root += QLatin1Char('/');
  return QDir::cleanPath(QDir(folder).absoluteFilePath(path)).startsWith(root);
}

}  // namespace

QString CutToBytes(const QString& text, qsizetype maxBytes) {
  if (text.toUtf8().size() <= maxBytes) return text;
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  qsizetype keep = 0;
  for (qsizetype at = finder.toNextBoundary(); at > 0; at = finder.toNextBoundary()) {
    if (QStringView(text).left(at).toUtf8().size() > maxBytes) break;
    keep = at;
  }
  return text.left(keep);
}

QString PadReplaceChars(const QString& text) {
  const QString defaults = QString::fromLatin1(kDefaultReplaceChars);
  if (text.size() >= 10) return text;
  return text + defaults.left(10 - text.size());
}

QString MakeOutputName(const QString& rule, const QString& replaceChars, const QString& artist,
                       const QString& album, const QString& title, int trackNumber,
                       int discNumber) {
  if (TrimBlanksAndControls(rule).isEmpty())
    return QStringLiteral("%1, %2").arg(trackNumber).arg(title);

  const QString chars = PadReplaceChars(replaceChars);
  const QString artistValue =
      ReplaceReserved(artist.isEmpty() ? QStringLiteral("Artist") : artist, chars, false);
  const QString albumValue =
      ReplaceReserved(album.isEmpty() ? QStringLiteral("Album") : album, chars, false);
  const QString titleValue = ReplaceReserved(title, chars, false);
  const QString number = QStringLiteral("%1").arg(trackNumber, 2, 10, QLatin1Char('0'));

  // A '/' typed in the rule separates folders as '\' does; one in a value
  // was replaced above and never does.
  QString name = rule;
  name.replace(QLatin1Char('/'), QLatin1Char('\\'));
  name.replace(QLatin1String("<artist>"), artistValue, Qt::CaseInsensitive);
  name.replace(QLatin1String("<album>"), albumValue, Qt::CaseInsensitive);
  name.replace(QLatin1String("<number>"), number, Qt::CaseInsensitive);
  name.replace(QLatin1String("<disc>"), QString::number(std::max(discNumber, 1)),
               Qt::CaseInsensitive);
  name.replace(QLatin1String("<title>"), titleValue, Qt::CaseInsensitive);
  return ReplaceReserved(name, chars, true);
}

QString AddTrailingBackslash(const QString& folder) {
  if (folder.isEmpty() || folder.endsWith(QLatin1Char('/'))) return folder;
  return folder + QLatin1Char('/');
}

QString BuildOutputPath(const QString& folder, const QString& name, const QString& extension,
                        const QString& suffix) {
  // The name comes from outside text (CDDB, local entries, cdplayer.ini), so
  // this is the one place that keeps the file inside the output folder. The
  // rule's '\' separates folder levels.
  QStringList levels = name.split(QLatin1Char('\\'));
  // The extension is appended, never put in place of text after a dot, so
  // "Vol. 1" and "Vol. 2" keep apart.
  const QString ending = suffix + extension;
  const auto safeName = [&ending](QStringList levels) {
    // A longer level cannot be created: it is cut, the file keeping its ending.
    for (qsizetype i = 0; i < levels.size(); ++i) {
      const bool last = i == levels.size() - 1;
      levels[i] =
          SafeLevel(CutToBytes(levels[i], kMaxNameBytes - (last ? ending.toUtf8().size() : 0)));
      if (last) levels[i] += ending;
    }
    return levels.join(QLatin1Char('/'));
  };
  QString relative = safeName(levels);
  // Safe levels cannot leave the folder; should one ever do, the track keeps
  // a name on one level instead of being refused.
  if (!LiesInside(folder, relative)) relative = safeName({levels.join(QLatin1Char('-'))});
  return AddTrailingBackslash(folder) + relative;
}
