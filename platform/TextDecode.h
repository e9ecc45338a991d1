// Text that comes from outside (settings and profile files, xmcd entries,
// server answers) into QString, and names from outside made safe to show.
// Pure functions; any thread.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Decodes line by line: a line that is valid UTF-8 is read as UTF-8, any
// other line as ISO-8859-1, so one stray byte spoils no other line. A
// leading UTF-8 BOM is dropped; line ends (CR LF, LF, lone CR) are kept.
QString DecodeLines(const QByteArray& bytes);

// The text with every control character (C0, DEL, C1) written as \xNN, so
// that a name cannot move the cursor, retitle or clear a terminal, nor
// start a line of its own. Line breaks stay when keepLineBreaks is set.
QString EscapeControls(const QString& text, bool keepLineBreaks = false);

}  // namespace platform
