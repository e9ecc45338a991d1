// TMyCDInfo: what the program knows about the disc in the drive: the disc
// model it was loaded from, its track table filled from that model, the names
// the user edits, the CDDB disc ID and the cdplayer.ini key, and the stores
// that read and save those names (cdplayer.ini, xmcd entries in the local CDDB
// folder). Owned by the main window; user-interface thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <vector>

#include "disc/Disc.h"

struct TCDTrack {
  TTrackKind Kind = TTrackKind::Audio;
  uint8_t Index = 0;
  int32_t StartSector = 0;     // as the TOC gives it, without the 150-sector lead-in
  int32_t EndSector = 0;       // first sector after the track, as the TOC states it
  int32_t AudioEndSector = 0;  // where its audio ends; the lengths go by it
  int32_t StartMin = 0, StartSec = 0, StartFrame = 0;
  int32_t LengthMin = 0, LengthSec = 0, LengthFrame = 0;
  QString Title;
  QString ExtData;
  int32_t LengthBytes = 0;
  int32_t LengthSeconds = 0;
  // Beyond the CDDB names: the track's own artist, its sort name and IDs
  // when it differs from the album's (empty otherwise), its MusicBrainz
  // recording and release track, its ISRC, and what the disc's CD-Text says
  // of it.
  QString Artist;
  QString ArtistSort;
  QStringList MBArtistIDs;
  QString MBRecordingID;
  QString MBReleaseTrackID;
  QString ISRC;
  QString CDTextTitle;
  QString CDTextPerformer;
};

class TMyCDInfo {
 public:
  static constexpr int MaxTracks = 100;

  // Keeps the disc and fills the track table, what the disc carries (MCN,
  // ISRCs, CD-Text, its MusicBrainz disc ID) and the computed values from
  // it; the names stay. True when the disc has at least one track.
  bool LoadFromTOC(const TDisc& disc);
  // DiscSeconds, DiscBytes, CDPlayerKey and DiscID from the track table; all 0
  // without tracks.
  void ComputeDiscValues();
  void SetDefaultNames();
  // Forgets what names beyond the titles told of a release (date, label, disc
  // n of N, sort names, MusicBrainz IDs, track artists, ISRCs the disc does
  // not carry): a new entry names the disc afresh, not on top of them.
  void ClearReleaseNames();

  // Requires for every track index: 0 <= i < MaxTracks (std::out_of_range otherwise).
  TCDTrack GetTrack(int i) const;
  int32_t TrackStartSector(int i) const;
  int32_t TrackEndSector(int i) const;
  bool IsAudioTrack(int i) const;
  QString GetTrackTitle(int i) const;
  void SetTrackTitle(int i, const QString& title);
  QString GetTrackExtData(int i) const;
  // The title without the track artist's byline ("Artist / Title", the xmcd
  // way), as the tags carry it.
  QString OwnTitle(int i) const;
  // Date while it begins with Year, else Year: the date as full as known.
  QString FullDate() const;
  // Year and Date from a text as the user gives it: a date ("1999-04-21",
  // "1999-04") sets both, any other text is the year as given.
  void SetDate(const QString& text);

  // End sector of the last track; 0 without tracks.
  int32_t LeadOutSector() const;

  QString TrackLengthText(int i) const;  // mm:ss:ff
  QString TrackStartText(int i) const;   // mm:ss:ff
  QString DiscLengthText() const;        // mm:ss

  uint32_t ComputeDiscID() const;
  // The track table as the model's tracks (number, kind, start and ends).
  std::vector<TDiscTrack> TocTracks() const;
  uint32_t ComputeCDPlayerKey() const;

  // cdplayer.ini in the Windows folder; the disc's section is CDPlayerKey in hex.
  static QString CDPlayerIniPath();
  bool ReadCDPlayerIni();
  bool WriteCDPlayerIni();

  // xmcd entries. ReadXmcdFile is false only when the file cannot be read.
  bool ReadXmcdFile(const QString& path);
  QString LocalCDDBFile() const;
  bool ReadLocalCDDB();
  // Saves the names, keeping stored ones where a field is empty. Names that
  // are all placeholders are not saved (true: nothing to save is no fault).
  bool WriteLocalCDDB();
  // Whether a name is more than a placeholder (empty, NOARTIST, NOTITLE,
  // TrackNN): the disc's artist, album, a track's title or artist.
  bool NamesSomething() const;
  // Whether the disc's local entry exists and names something; one of
  // placeholders stands in the way of no lookup.
  bool HasLocalEntry() const;

  int32_t TrackCount = 0;
  std::array<TCDTrack, MaxTracks> Tracks;
  QString Artist;
  QString Category;
  QString Album;
  QString Year;
  uint32_t CDPlayerKey = 0;
  uint32_t DiscID = 0;
  int32_t DiscSeconds = 0;
  int32_t Revision = 0;
  QString SubmittedVia;
  int32_t DiscBytes = 0;  // held within 32 bits; see LeadOutSector for the true size
  QString LocalFolder = "./LocalCDDB";
  // The disc as it was loaded; its names are the fields of this object.
  TDisc Disc;
  // Beyond the CDDB names, what a release tells: the full date (kept while
  // it begins with Year), the disc's number of the release's discs (0: not
  // known), label, catalogue number, barcode, country, first release date
  // and the album artist's sort name.
  QString Date;
  int32_t DiscNumber = 0;
  int32_t DiscTotal = 0;
  QString Label;
  QString CatalogNumber;
  QString Barcode;
  QString ReleaseCountry;
  QString OriginalDate;
  QString AlbumArtistSort;
  // The MusicBrainz disc ID of the TOC, and the release whose names were taken.
  QString MBDiscID;
  QString MBReleaseID;
  QString MBReleaseGroupID;
  QStringList MBAlbumArtistIDs;
  // What the disc itself carries: its media catalogue number and CD-Text.
  QString MCN;
  QString CDTextAlbum;
  QString CDTextPerformer;

 private:
  QByteArray XmcdEntry() const;
  void ReadExtendedData(QString extd, const std::array<QString, MaxTracks>& extt);
  // The xmcd convention for a various-artists disc: each title "Artist /
  // Title" names its track's artist.
  void SplitTrackArtists();
  void KeepStoredNamesForEmptyOnes();
};
