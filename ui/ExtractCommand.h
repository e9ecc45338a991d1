// The main window's Extract command: the ticked tracks become the window's
// jobs, the output folder is made on request, the conversion dialog runs
// them, and what the settings ask for follows (the State column, a playlist,
// the sound, the tray, the error list, the folder opened). Reads the window's
// parts and the global Config; user-interface thread only.
#pragma once

#include <QString>

class TMainForm;

// Extracts the form's ticked tracks; tells in a message box why it does not
// start. The window is idle again afterwards, however it ends.
void ExtractCheckedTracks(TMainForm& form);

// Writes the form's jobs as a playlist; a failure is told in a message box.
bool WriteJobsPlaylist(TMainForm& form, const QString& fileName);
