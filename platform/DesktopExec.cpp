#include "platform/DesktopExec.h"

#include <QFile>

#include "platform/Files.h"
#include "platform/TextDecode.h"

namespace {

// The escapes of a string value: \s \n \t \r \\. Any other backslash stays
// for the quoting rules.
QString UnescapeString(const QString& value) {
  QString result;
  for (qsizetype i = 0; i < value.size(); ++i) {
    const QChar c = value[i];
    if (c != u'\\' || i + 1 == value.size()) {
      result += c;
      continue;
    }
    switch (value[i + 1].unicode()) {
      case 's':
        result += u' ';
        break;
      case 'n':
        result += u'\n';
        break;
      case 't':
        result += u'\t';
        break;
      case 'r':
        result += u'\r';
        break;
      case '\\':
        result += u'\\';
        break;
      default:
        result += c;
        continue;
    }
    ++i;
  }
  return result;
}

}  // namespace

QString DesktopEntryValue(const QString& desktopFile, const QString& key) {
  QFile file(desktopFile);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  bool inEntry = false;
  for (const QString& line : platform::SplitLines(platform::DecodeLines(file.readAll()))) {
    const QString trimmed = line.trimmed();
    if (trimmed.startsWith(u'[')) {
      inEntry = trimmed == QLatin1String("[Desktop Entry]");
      continue;
    }
    const qsizetype equals = trimmed.indexOf(u'=');
    if (inEntry && equals > 0 && trimmed.left(equals).trimmed() == key)
      return trimmed.mid(equals + 1).trimmed();
  }
  return QString();
}

QStringList SplitDesktopExec(const QString& execValue) {
  const QString text = UnescapeString(execValue);
  QStringList words;
  QString word;
  bool inWord = false;    // a word has begun, even an empty quoted one
  bool onlyCode = false;  // the word so far is nothing but removed field codes
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u' ') {
      if (inWord && !(onlyCode && word.isEmpty())) words << word;
      word.clear();
      inWord = onlyCode = false;
    } else if (c == u'"') {
      // Inside quotes a backslash escapes " ` $ and itself; field codes
      // are not expanded there.
      inWord = true;
      onlyCode = false;
      for (++i;; ++i) {
        if (i == text.size()) return {};
        const QChar q = text[i];
        if (q == u'"') break;
        if (q == u'\\' && i + 1 < text.size() && QStringLiteral("\"`$\\").contains(text[i + 1]))
          ++i;
        word += text[i];
      }
    } else if (c == u'%' && i + 1 < text.size()) {
      ++i;
      if (text[i] == u'%') {
        word += u'%';
        onlyCode = false;
      } else if (!inWord) {
        onlyCode = true;
      }
      inWord = true;
    } else {
      word += c;
      inWord = true;
      onlyCode = false;
    }
  }
  if (inWord && !(onlyCode && word.isEmpty())) words << word;
  if (words.isEmpty() || words.first().isEmpty()) return {};
  return words;
}
