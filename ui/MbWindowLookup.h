// TMbWindowLookup: the MusicBrainz lookups of the main window: the "Look Up
// on MusicBrainz" command and the automatic lookup of a disc that has no
// local entry. Both run in the background, told in the window's status line
// while they wait; the names found fill the window only while it still shows
// the same disc and the names it showed when the lookup began, and are saved
// as the disc's local entry. A disc MusicBrainz has no release for is offered
// to it (submit). Owned by the main window (Qt parent);
// user-interface thread only.
#pragma once

#include <QObject>
#include <QStringList>

#include "musicbrainz/MbLookup.h"

class QAction;
class TDiscNamesView;
class TMyCDInfo;

class TMbWindowLookup : public QObject {
 public:
  // info is the disc the view shows; both outlive this object. submit opens
  // the submission address of the disc last found unknown; it is enabled
  // only while the window shows that disc.
  TMbWindowLookup(TMyCDInfo& info, TDiscNamesView& view, QAction* submit, QObject* parent);

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
  QAction* FSubmit;
  QString FSubmission;  // the unknown disc's address
  TMbLookup* FLookup = nullptr;
  QStringList FNamesAtStart;
  QString FDiscId;
  QString FStatus;  // the lookup's last
};
