// Where Cadenzo finds and keeps its files: the program folder beside the
// executable, the per-user config folder (also the stand-in for the Windows
// folder that holds cdplayer.ini), the temporary and the music folders.
// Every folder is returned with its trailing '/'.
#pragma once

#include <QString>

namespace platform {

// The program folder, unless a test has pointed it elsewhere: the folder of
// the running executable in the build tree, the prefix's lib/cadenzo/ for an
// installed program (programs in bin/). The program only reads there.
QString ProgramFolder();
void SetProgramFolder(const QString& folder);  // empty restores the executable's folder

// $XDG_CONFIG_HOME/cadenzo/ (~/.config/cadenzo/ when unset); created on first use.
QString ConfigFolder();
// $XDG_DATA_HOME/cadenzo/ (~/.local/share/cadenzo/ when unset); not created here.
QString DataFolder();
// $XDG_CACHE_HOME/cadenzo/ (~/.cache/cadenzo/ when unset); created on first use.
QString CacheFolder();
// The folder where cdplayer.ini lives.
QString WindowsFolder();
// The system temporary folder.
QString TempFolder();
// The XDG music folder, else ~/Music.
QString MusicFolder();

// Path of a program-folder file the program reads: the config folder's copy
// when one exists there, else the program folder's.
QString ProgramFileForReading(const QString& name);
// Path of a program-folder file the program writes: its copy in the config
// folder, never the program folder.
QString ProgramFileForWriting(const QString& name);

// The cdrip.ini the CD-reading library starts with and saves its drive
// settings into: the config folder's. On first use it is copied from the
// program folder's, whose relative image paths the library resolves from
// its own folder.
QString CdripIniPath();

// Appends '/' unless the folder is empty or already ends in one.
QString AddTrailingSeparator(const QString& folder);

}  // namespace platform
