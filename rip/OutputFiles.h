// TOutputFiles: the files a conversion session makes, and the rules that keep
// the user's data safe in one place. Every output is written under a hidden
// temporary name of the session's own and takes its name only once it is
// whole; a track whose reads differ is kept under a "(suspect)" name, never
// in another file's place; the cut output of an aborted track the user keeps
// is named "(partial)"; the session deletes only files it created. Reports
// by return values; user-interface thread only.
#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include "encode/TempFiles.h"

class TOutputFiles {
 public:
  // Forgets what an earlier session wrote; temporary files are not touched.
  void Reset() { FWritten.clear(); }

  // A new temporary file in the folder, held until it is removed; empty (the
  // reason in *error) when none can be created.
  QString NewTemp(const QString& folder, const QString& suffix, QString* error = nullptr);
  void RemoveTemp(const QString& path);
  // Removes every temporary file still held.
  void RemoveTemps();
  // Deletes the temporary files that killed runs left in the folders.
  static void RemoveDeadTemps(const QSet<QString>& folders);

  struct TPlacement {
    TPlaceResult Result = TPlaceResult::Failed;
    QString Path;   // where the output went, or was to go
    QString Error;  // the system's reason when it failed
  };
  // Gives the whole temporary output its name: outputPath, replacing a file
  // there only when mayReplace; a suspect output takes the first free
  // suspect name. The temporary file is gone afterwards, placed or not.
  TPlacement PlaceOutput(const QString& temp, const QString& outputPath, bool mayReplace,
                         bool suspect);
  // Keeps the cut temporary output of an aborted job beside its output as
  // "<name> (partial).<ext>" (cut as SuspectPath's) when it holds anything
  // and that name is free.
  void KeepPartial(const QString& temp, const QString& outputPath);
  // Writes the bytes to a new file at path unless one is there (or replace);
  // returns the system's reason when it cannot, empty when placed or kept.
  QString PlaceNewFile(const QString& path, const QByteArray& bytes, bool replace);
  // Deletes the outputs among paths that this session wrote; returns those
  // it could not delete.
  QStringList DeleteWritten(const QStringList& paths);

  // True when this session created or overwrote the file.
  bool Wrote(const QString& path) const { return FWritten.contains(path); }

  // "<name> (suspect).<ext>", from 2 on "<name> (suspect 2).<ext>"...; a
  // long name is cut so the mark fits.
  static QString SuspectPath(const QString& outputPath, int number = 1);
  // True when the path does not exist or can be opened for reading and writing.
  static bool CanWrite(const QString& path);

 private:
  QStringList FTemps;      // created by this session and not yet deleted
  QSet<QString> FWritten;  // outputs this session created or overwrote
};
