// TDiscNamesView: what the disc lookups (CDDB, MusicBrainz) need of the
// window that shows the disc's names: read and fill the names, a status line
// while they run, a parent for their dialogs. The main window implements it;
// user-interface thread only.
#pragma once

#include <QStringList>

class QWidget;

class TDiscNamesView {
 public:
  virtual ~TDiscNamesView() = default;
  // The artist, album, year, genre and every track title as shown.
  virtual QStringList ShownNames() const = 0;
  // The shown names into the disc information.
  virtual void TakeEditsIn() = 0;
  // The disc information's names into the fields and the track list.
  virtual void ShowNames() = 0;
  // Replaces the genre list, keeping the shown genre.
  virtual void ShowGenres(const QStringList& genres) = 0;
  // A lookup's progress or outcome; running while it waits for an answer.
  virtual void ShowLookupStatus(const QString& text, bool running) = 0;
  virtual QWidget* DialogParent() = 0;
};
