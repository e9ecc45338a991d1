// Starting the external MP3 player: the program of the PlayerExecute setting,
// or the desktop's default application for audio/mpeg.
#pragma once

#include <QString>
#include <QStringList>

// The command of the application the desktop opens audio/mpeg files with
// (xdg-mime's default, then the Exec line of its desktop entry), program
// first; empty when none is registered or its program is not installed.
QStringList DefaultMp3PlayerCommand();

// Starts `execute` with the blank-separated `parameters` when `execute` is not
// blank, else the default player's whole command. False when nothing could
// be started.
bool LaunchMp3Player(const QString& execute, const QString& parameters);
