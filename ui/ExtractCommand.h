// The main window's Extract command: the ticked tracks become the window's
// jobs, the output folder is made on request, the conversion dialog runs
// them, and what the settings ask for follows (the State column, a playlist,
// the sound, the tray, the error list, the folder opened), then the rip's
// verdict. Works on the window's parts it is handed and the global Config;
// user-interface thread only.
#pragma once

#include <QString>
#include <functional>

#include "encode/FileParam.h"

class QWidget;
class TCDRIP;
class TConvForm;
class TDispForm;
class THealthStrip;
class TMyCDInfo;
class TRipVerdictBar;
class TSoundPlayer;
class TTrackListView;

// The window's parts the command reads and fills; all outlive the command.
struct TExtractParts {
  QWidget* Window;  // parent of the command's dialogs
  int& WinState;
  int DriveCount;
  TCDRIP* CDRIP;
  TMyCDInfo* CDInfo;
  TJobList& JobList;
  TTrackListView* lvTrackList;
  THealthStrip* HealthStrip;
  TRipVerdictBar* VerdictBar;
  TConvForm* ConvForm;
  TDispForm* DispForm;
  TSoundPlayer* SoundPlayer;
  std::function<void()> TakeEditsIn;  // the shown names into the disc information
};

// Extracts the ticked tracks; tells in a message box why it does not start.
// The window is idle again afterwards, however it ends.
void ExtractCheckedTracks(TExtractParts form);

// Writes the jobs as a playlist; a failure is told in a message box.
bool WriteJobsPlaylist(const TJobList& jobs, const QString& fileName);
