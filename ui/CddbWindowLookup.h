// The CDDB commands of the main window: the disc query, whose names fill the
// window, and the server and category lists, saved in the settings folder
// (the category list also fills the Genre field). Each runs the CDDB dialog
// modally; user-interface thread only.
#pragma once

class TMainForm;

// mode is one of TQueryCDDBForm's modes. A query without a disc is refused
// with a message.
void RunCddbDialog(TMainForm& form, int mode);
