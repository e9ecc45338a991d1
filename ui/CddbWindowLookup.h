// The CDDB commands of the main window: the disc query, whose names fill the
// window, and the server and category lists, saved in the settings folder
// (the category list also fills the Genre field). Each runs the CDDB dialog
// modally; user-interface thread only.
#pragma once

class TDiscNamesView;
class TMyCDInfo;

// mode is one of TQueryCDDBForm's modes; winState is the window's state,
// the CDDB state while the dialog is open. A query without a disc is
// refused with a message.
void RunCddbDialog(TDiscNamesView& view, TMyCDInfo& info, int& winState, int mode);
