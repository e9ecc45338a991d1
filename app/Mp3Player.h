// Starting the external MP3 player: the program of the PlayerExecute setting,
// or the desktop's default application for audio/mpeg.
#pragma once

#include <QString>

// The program of a .desktop Exec line: its first word, unquoted, without the
// line's field codes. Empty when the line has none.
QString ProgramOfExecLine(const QString& execLine);

// The program the desktop opens audio/mpeg files with (xdg-mime's default
// application, then the Exec line of its .desktop file), as an existing
// executable path; empty when none is registered or it is not installed.
QString DefaultMp3Player();

// Starts `execute` with the blank-separated `parameters` when `execute` is not
// blank, else the default player. False when nothing could be started.
bool LaunchMp3Player(const QString& execute, const QString& parameters);
