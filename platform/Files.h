// File helpers every store uses: saves that never leave a half-written
// file, and line handling. Decoding is in platform/TextDecode.h.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Writes the whole file through a temporary file renamed into place, creating
// the folder when needed: the previous content stays intact on any failure.
bool WriteFileAtomic(const QString& path, const QByteArray& bytes);
// "path: reason" of this thread's last failed WriteFileAtomic, for the
// message that names what could not be saved.
QString LastWriteError();

// The path with the extension of its last component (from the last dot on)
// replaced by ext; a name without a dot gets ext appended.
QString ChangeFileExt(const QString& path, const QString& ext);

// Splits text at CR LF, LF or lone CR.
QStringList SplitLines(const QString& text);

// The text on one line: every line break (CR LF, LF or lone CR) becomes a
// blank, so a value cannot end its line early in a line-based file.
QString SingleLine(QString text);

}  // namespace platform
