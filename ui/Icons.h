// The main window's icons from the desktop's icon theme by freedesktop names,
// with a bundled fallback: the Breeze theme (Breeze Dark on a dark palette)
// from the system's icon folders, and the style's standard icons when even
// that is missing. User-interface thread only.
#pragma once

class QPalette;
class QWidget;

// Adds the system's icon folders to the search path and makes the fallback
// theme match the palette; the desktop's own theme, when it has one, stays
// first. From the first call on, a change of the application's palette
// calls it again.
void SetUpIconTheme(const QPalette& palette);

// Gives every QAction child of the window that has an entry in the icon table
// (by objectName) the first of its names the themes hold; an action whose
// names none holds keeps the icon it has.
void ApplyThemeIcons(QWidget* window);
