// TDisc: the model of one loaded disc as plain values: its tracks as the
// table of contents gives them, what the disc carries beside them (catalogue
// number, ISRCs, CD-Text), its IDs and the names it goes by. Built once per
// loaded disc (rip/DiscLoad), copied into each rip plan; no I/O, any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

enum class TTrackKind : int32_t { Audio, Data };

struct TDiscTrack {
  int32_t Number = 0;  // as the table of contents numbers it, from 1
  TTrackKind Kind = TTrackKind::Audio;
  // Sectors without the 150-sector lead-in; the ends exclusive.
  int32_t Start = 0;
  int32_t End = 0;       // as the TOC states it: the next track's start
  int32_t AudioEnd = 0;  // before a data session the audio ends a session gap earlier
  int32_t Pregap = 0;    // track 1: every sector before it; 0 when the drive cannot tell
  // What the disc itself says of the track.
  QString Isrc;
  QString CDTextTitle;
  QString CDTextPerformer;
  // Its names: the title without a byline; the track's own artist, its sort
  // name and IDs when it differs from the album's (empty otherwise); its
  // MusicBrainz recording and release track.
  QString Title;
  QString Artist;
  QString ArtistSort;
  QStringList MBArtistIDs;  // every artist of the credit
  QString MBRecordingID;
  QString MBReleaseTrackID;

  bool IsAudio() const { return Kind == TTrackKind::Audio; }
  int32_t AudioSectors() const { return AudioEnd - Start; }
};

struct TDiscIds {
  uint32_t Cddb = 0;
  QString MusicBrainz;  // empty when the disc has no audio track
  uint32_t AccurateRip1 = 0;
  uint32_t AccurateRip2 = 0;
  QString CtdbToc;  // the TOC list the CUETools database looks discs up by
};

struct TDiscNames {
  QString Album;
  QString AlbumArtist;
  QString Date;  // as full as it is known: "1999", "1999-04" or "1999-04-21"
  QString Genre;
  int32_t DiscNumber = 0;  // 0: not known
  int32_t DiscTotal = 0;
  QString Label;
  QString CatalogNumber;
  QString Barcode;
  QString Country;       // where the release came out
  QString OriginalDate;  // the first release of the album, as full as known
  QString AlbumArtistSort;
  QString MBReleaseID;
  QString MBReleaseGroupID;
  QStringList MBAlbumArtistIDs;  // every artist of the credit

  // A various-artists release: credited to the database's artist of that
  // name, or, named by hand, to "Various" or "Various Artists".
  bool IsCompilation() const;
};

struct TDisc {
  std::vector<TDiscTrack> Tracks;  // in disc order
  int32_t LeadOut = 0;             // the TOC's end of the last track; 0 without tracks
  TDiscIds Ids;
  QString Mcn;  // the media catalogue number the disc carries
  QString CDTextAlbum;
  QString CDTextPerformer;
  TDiscNames Names;

  // The track of that number; null when the disc has none.
  const TDiscTrack* Track(int32_t number) const;
  int32_t AudioTrackCount() const;
  // The sectors before track 1 (the hidden track's room); 0 without tracks.
  int32_t FirstStart() const { return Tracks.empty() ? 0 : Tracks.front().Start; }
  // Bytes of the audio of track number (0: the audio before track 1); 0
  // when the disc has no such track.
  int64_t AudioBytes(int32_t number) const;
};

// The CDDB disc ID of the tracks' TOC values: every track counts, data too.
uint32_t CddbDiscId(const std::vector<TDiscTrack>& tracks);

// The names a disc goes by before anything names it ("NOARTIST", "NOTITLE",
// "Track01", "DataTrack01"): they name its files and rows, never a tag.
inline constexpr const char* kNoArtist = "NOARTIST";
inline constexpr const char* kNoTitle = "NOTITLE";
QString PlaceholderTitle(int32_t number, TTrackKind kind = TTrackKind::Audio);
// The name, or nothing when it is empty or a placeholder (track number
// names the track's own; 0 for an album's names).
QString RealName(const QString& name, int32_t number = 0);

// The MusicBrainz artist that stands for many.
inline constexpr const char* kVariousArtistsId = "89ad4ac3-39f7-470e-963a-56509c546377";
