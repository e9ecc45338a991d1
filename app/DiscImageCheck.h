// Checks a disc image with libcdio before the CD-reading library takes it as
// a drive, so the headless front end can say what is wrong with a broken
// image instead of reporting an empty drive. One call at a time: it swaps
// libcdio's process-wide log handler for the duration of the call.
#pragma once

#include <QString>

// Empty when the image opens and holds tracks; else the reason: for a cue
// sheet the sheet, line and file at fault, for other images libcdio's own
// words where it logged any.
QString DiscImageProblem(const QString& imagePath);

// "libcdio 2.1.0, libcdio-paranoia 10.2+2.0.0, LAME 3.100": the versions of
// the libraries this program runs with, as they report themselves.
QString LibraryVersions();
