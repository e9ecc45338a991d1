#include "platform/TextDecode.h"

#include <QByteArrayView>

namespace platform {

QString DecodeLines(const QByteArray& bytes) {
  QByteArrayView view(bytes);
  if (view.startsWith("\xEF\xBB\xBF")) view = view.sliced(3);
  if (view.isValidUtf8()) return QString::fromUtf8(view);
  QString text;
  text.reserve(view.size());
  while (!view.isEmpty()) {
    // CR and LF never occur inside a UTF-8 sequence, so cutting there is safe.
    qsizetype end = 0;
    while (end < view.size() && view[end] != '\n' && view[end] != '\r') ++end;
    const QByteArrayView line = view.first(std::min(end + 1, view.size()));
    text += line.isValidUtf8() ? QString::fromUtf8(line) : QString::fromLatin1(line);
    view = view.sliced(line.size());
  }
  return text;
}

QString EscapeControls(const QString& text, bool keepLineBreaks) {
  QString out;
  out.reserve(text.size());
  for (const QChar c : text) {
    if (c.category() != QChar::Other_Control || (keepLineBreaks && c == '\n'))
      out += c;
    else
      out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
  }
  return out;
}

}  // namespace platform
