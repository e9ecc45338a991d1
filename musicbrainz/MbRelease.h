// What a MusicBrainz disc ID answer says about each release, read from the
// web service's XML (schema mmd-2.0), and how a chosen release names the disc.
// Plain values and functions; any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

class TMyCDInfo;

// An artist credit: the names as credited with their join phrases, the
// same with the artists' sort names, and every credited artist's ID.
struct TMbCredit {
  QString Text;
  QString Sort;
  QStringList ArtistIDs;
};

struct TMbTrack {
  int Position = 0;  // 1-based on its medium; 0 when the answer left it out
  QString ID;        // the release track
  QString Title;
  TMbCredit Artist;  // the track's own credit, else its recording's
  QString RecordingID;
  QStringList ISRCs;
};

struct TMbMedium {
  int Position = 0;
  QString Format;
  QStringList DiscIDs;
  std::vector<TMbTrack> Tracks;
};

struct TMbRelease {
  QString ID;
  QString Title;
  // The release's credit; its release group's, else the one all its tracks
  // share, when the release has none.
  TMbCredit Artist;
  QString ReleaseGroupID;
  QString Date;
  QString OriginalDate;  // the release group's first release
  QString Country;
  QString Label;
  QString CatalogNumber;
  QString Barcode;
  std::vector<TMbMedium> Media;

  QString Year() const;
  // "Artist – Title" ("Title" without an artist) and the details, for a
  // choice among releases.
  QString Caption() const;
  QString Details() const;
  QString Format() const;  // "CD", "2×CD"
};

// A MusicBrainz identifier: a UUID in lower case.
bool IsMbid(const QString& text);

// The releases of a discid answer (exact or fuzzy), those that name
// something; IDs other than MBIDs and malformed ISRCs are left out. False,
// with the reason in error, when the text is not a well-formed metadata
// document; a document without releases is true with none.
bool ReadMbReleases(const QByteArray& xml, std::vector<TMbRelease>& releases, QString& error);

// The medium that holds the disc: the one whose disc list has discId, else
// the first with trackCount tracks (a fuzzy match), else -1.
int MbMediumOf(const TMbRelease& release, const QString& discId, int trackCount);

// Fills the names of the disc information as a CDDB read does: album, artist,
// year and track titles ("Track artist / Title" when the track's credit
// differs from the release's), and beyond them the full date, the medium's
// number of the release's media, label, catalogue number, barcode, country,
// sort names, the MusicBrainz IDs and the ISRCs the disc itself did not
// carry. The genre stays the user's.
void ApplyMbRelease(TMyCDInfo& info, const TMbRelease& release, int medium);
