// Temporary files of the conversion: unique hidden names in the output folder,
// created exclusively so that no file of the user's is ever opened, and
// replaced into place atomically. Any thread.
#pragma once

#include <QString>

// Creates an empty file named ".cadenzo-<random><suffix>" in the folder, with
// the permissions a new file gets; returns its path, or an empty string when
// the folder takes no new file.
QString CreateTempFile(const QString& folder, const QString& suffix);

// Renames `from` over `to` in one step: `to` holds either its old or its new
// content at every moment. False (and both left as they are) on failure.
bool ReplaceFile(const QString& from, const QString& to);
