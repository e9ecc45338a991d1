// The Exec line of a freedesktop desktop entry turned into a command: the
// string escapes of the entry format, then the Exec quoting rules, with the
// field codes (%f, %U, ...) removed because the command starts without files.
// Pure functions apart from DesktopEntryValue, which reads the file. Any thread.
#pragma once

#include <QString>
#include <QStringList>

// The value of key in the [Desktop Entry] group of the file, unprocessed;
// empty when the file or the key is missing.
QString DesktopEntryValue(const QString& desktopFile, const QString& key);

// The program and its arguments of a raw Exec value; empty when the value is
// malformed (an unclosed quote) or names no program.
QStringList SplitDesktopExec(const QString& execValue);
