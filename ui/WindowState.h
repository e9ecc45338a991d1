// The main window's states, which the commands beside it set while they run
// so the drive poll keeps away from the drive.
#pragma once

enum : int {
  wsStarting = 1,
  wsIdle = 2,
  wsPlaying = 3,
  wsExtracting = 4,
  wsOptions = 6,
  wsCDDBQuery = 7,
};
