// Temporary files of the conversion: unique hidden names in the output folder,
// created exclusively so that no file of the user's is ever opened, moved
// into place atomically, and named after the run that owns them so a later
// run can clear what a killed one left without touching a live run's. Any
// thread.
#pragma once

#include <QString>

// Creates an empty file named ".cadenzo-<owner>-<random><suffix>" in the
// folder, with the permissions a new file gets; returns its path, or an empty
// string (and the system's reason in *error) when the folder takes no new file.
QString CreateTempFile(const QString& folder, const QString& suffix, QString* error = nullptr);

// The owner part of the names this process creates: host, boot, process id
// and the process's start time, so a reused process id is no owner.
QString TempFileOwner();
// The owner part for a running process, empty when none runs under the id.
QString TempFileOwner(qint64 pid);

// Deletes the folder's temporary files whose owner ran on this host and no
// longer runs (its process is gone, or the machine was started since). Files
// of live runs, of other hosts and every other file stay. Returns how many
// were deleted.
int RemoveDeadTempFiles(const QString& folder);

enum class TPlaceResult { Placed, Exists, Failed };
// Moves the finished file `from` to `to`. With replace, in one rename: `to`
// holds either its old or its new content at every moment. Without, an
// existing `to` (also one that appeared a moment ago) is left alone and
// Exists returned. On Failed, both stay as they were and *error holds the
// system's reason.
TPlaceResult PlaceFile(const QString& from, const QString& to, bool replace,
                       QString* error = nullptr);
