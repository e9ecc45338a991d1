// TTrackTags and WriteTags: what a file's tag says of its track, as plain
// data the session fills from the disc information, and the writer that puts
// it into a finished file with TagLib: Vorbis comments for FLAC and Opus, an
// ID3v2.4 tag at the front of an MP3 (its ID3v1.1 tag at the end is kept).
// Any thread; one file at a time.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

#include "encode/ReplayGain.h"

// Names follow the MusicBrainz tag mapping, which tag editors and players
// read: Vorbis comment names for FLAC and Opus, ID3v2.4 frames for MP3.
struct TTrackTags {
  QString Title;
  QString Artist;
  QString ArtistSort;
  QString Album;
  QString AlbumArtist;
  QString AlbumArtistSort;
  QString Date;          // as full as known
  QString OriginalDate;  // the album's first release
  QString Genre;
  QString Comment;  // the user's own; the program names itself in Encoder
  QString Encoder;
  QString Isrc;
  int TrackNumber = 0;  // 0: not written
  int TrackTotal = 0;
  int DiscNumber = 0;
  int DiscTotal = 0;
  bool Compilation = false;  // a various-artists album
  QString Label;
  QString CatalogNumber;
  QString Barcode;
  QString ReleaseCountry;
  QString MusicBrainzAlbumId;  // the release
  QString MusicBrainzReleaseGroupId;
  QString MusicBrainzTrackId;         // the recording
  QString MusicBrainzReleaseTrackId;  // the track of the release
  QStringList MusicBrainzArtistIds;
  QStringList MusicBrainzAlbumArtistIds;
  QString MusicBrainzDiscId;
  std::optional<TReplayGain> TrackGain;
  std::optional<TReplayGain> AlbumGain;
  QByteArray Cover;  // the front cover's image file; empty for none
  QString CoverMime;
};

// Writes every field that is set into the file of the format (OutputFormat:
// a row of the format table, tagged as its tag kind says), replacing the same
// fields and keeping the others; text goes in exactly as given. Returns an
// empty string on success, else why the file could not be tagged.
QString WriteTags(const QString& path, int32_t format, const TTrackTags& tags);

// The front cover kept beside the tracks: cover.jpg, cover.png or folder.jpg
// in the folder, the first found. Sets data and mime when one is a JPEG or
// PNG image of at most kMaxCoverBytes that decodes whole; returns why a file
// found is not used (empty when it is, or when there is none).
inline constexpr qint64 kMaxCoverBytes = 10 << 20;
QString ReadFolderCover(const QString& folder, QByteArray& data, QString& mime);

// The genre a disc category names (the ID3v1 genre of its code), else the
// category as given.
QString GenreName(const QString& category);

// The Opus header gain convention: gain in 1/256 dB relative to -23 LUFS.
int R128Gain(double replayGain);
