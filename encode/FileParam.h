// The records of an extraction: TCDTrackInfo is one row of the main window's
// track list, TFileParam one conversion job made from such a row. Plain data
// shared by the main window (which fills them) and the conversion session
// (which updates each job's State in place).
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "platform/Files.h"

struct TCDTrackInfo {
  QString Category;
  QString Artist;
  QString Album;
  QString Year;
  QString Comment;
  int32_t TrackIndex = 0;  // from 0; the CD track number is TrackIndex + 1
  int32_t LengthSectors = 0;
  int32_t StartSector = 0;
  int32_t EndSector = 0;
  QString Title;
  int32_t LengthSeconds = 0;
  int32_t LengthBytes = 0;
  // For the tags: the track's own artist when it differs from the album's
  // (then Title reads "Track artist / Title"), its ISRC and the MusicBrainz
  // IDs of the names; empty when unknown.
  QString TrackArtist;
  QString Isrc;
  QString MBRecordingID;
  QString MBReleaseID;
  QString MBReleaseGroupID;
};

// Job status codes.
enum : int32_t {
  jsError = 0,
  jsQueued = 1,
  jsProcessing = 2,
  jsDone = 3,
  jsAborted = 4,         // aborted while in hand; its files stay
  jsAbortedDeleted = 5,  // aborted and its output deleted at the user's request
};

struct TFileParam {
  int32_t RowIndex = 0;
  TCDTrackInfo TrackInfo;
  QString FileName;    // relative output name without extension
  QString Title;       // track title for labels and error lines
  QString OutputPath;  // full path with ".MP3" or ".WAV"
  int32_t State = jsQueued;
  // The track number of an earlier job of the run that holds the path this
  // job's name gives, 0 when none; OutputPath then carries " (N)".
  int32_t SharesNameWith = 0;
};

using TJobList = std::vector<TFileParam>;

// The text under which the track list shows a job status; empty for queued
// and unknown codes.
inline QString JobStateText(int32_t state) {
  switch (state) {
    case jsError:
      return QStringLiteral("Error");
    case jsProcessing:
      return QStringLiteral("Processing");
    case jsDone:
      return QStringLiteral("Done");
    case jsAborted:
    case jsAbortedDeleted:
      return QStringLiteral("Abort");
    default:
      return QString();
  }
}

using platform::ChangeFileExt;
