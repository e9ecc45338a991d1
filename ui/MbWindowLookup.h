// TMbWindowLookup: the MusicBrainz lookups of the main window: the "Look Up
// on MusicBrainz" command and the automatic lookup of a disc that has no
// local entry. Both run in the background, told in the window's status line
// while they wait; the names found fill the window only while it still shows
// the same disc and the names it showed when the lookup began, and are saved
// as the disc's local entry. Owned by the main window (Qt parent);
// user-interface thread only.
#pragma once

#include <QObject>
#include <QStringList>

#include "musicbrainz/MbLookup.h"

class TDiscNamesView;
class TMyCDInfo;

class TMbWindowLookup : public QObject {
 public:
  // info is the disc the view shows; both outlive this object.
  TMbWindowLookup(TMyCDInfo& info, TDiscNamesView& view, QObject* parent);

  // The command: looks the shown disc up, asking among several releases.
  void LookUp();
  // After the window loaded a disc: ends the lookup of the one before and,
  // when the setting asks for it and the disc has no local entry, looks the
  // new one up.
  void DiscLoaded(bool hadLocalEntry);
  // Ends a running lookup: its answer is dropped.
  void Stop();
  bool Running() const { return FLookup && FLookup->Running(); }

 private:
  void Start();
  void Finished(TMbResult result);
  void Status(const QString& text);

  TMyCDInfo& FInfo;
  TDiscNamesView& FView;
  TMbLookup* FLookup = nullptr;
  QStringList FNamesAtStart;
  QString FDiscId;
  QString FStatus;  // the lookup's last
};
