// File helpers every store uses: text decoding that accepts what older
// programs wrote, and saves that never leave a half-written file.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Creates the folder with all missing levels. Empty when it exists
// afterwards, else why not in the system's words; the levels it made are
// removed again then, so a failure leaves nothing behind.
QString CreateFolder(const QString& path);

// UTF-8 when the bytes are valid UTF-8 (a leading BOM is dropped), else ISO-8859-1.
QString DecodeText(const QByteArray& bytes);

// Writes the whole file through a temporary file renamed into place, creating
// the folder when needed: the previous content stays intact on any failure.
bool WriteFileAtomic(const QString& path, const QByteArray& bytes);

// The path with the extension of its last component (from the last dot on)
// replaced by ext; a name without a dot gets ext appended.
QString ChangeFileExt(const QString& path, const QString& ext);

// Splits text at CR LF, LF or lone CR.
QStringList SplitLines(const QString& text);

// The text on one line: every line break (CR LF, LF or lone CR) becomes a
// blank, so a value cannot end its line early in a line-based file.
QString SingleLine(QString text);

}  // namespace platform
