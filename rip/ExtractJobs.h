// The extraction steps the desktop window and the headless front end share:
// the per-track records, naming the jobs' output files, creating the output
// folder and writing the playlist. User-interface thread only.
#pragma once

#include <QString>
#include <cstdint>
#include <map>
#include <set>

#include "encode/FileParam.h"
#include "encode/TempFiles.h"
#include "platform/Files.h"

class TMyCDInfo;
struct TRipPlan;

// The record of track i as the track list holds it: its length is its audio's.
// comment: the settings' (Id3CommentText); the plan's rooms read no global.
TCDTrackInfo MakeTrackInfo(const TMyCDInfo& info, int i, const QString& comment);

// Gives every job of the plan its FileName, Title and OutputPath from the
// naming rule, the disc's album artist and album and the output folder of
// the plan's settings. Requires SpecifyOutputFolder (without it no rule
// yields an output path). A job whose
// path an earlier job holds gets " (N)" before its extension, N its track
// number, and SharesNameWith that job's track. Where only a file of the name
// with an upper-case ".MP3" or ".WAV" exists (an earlier rip's), the job takes
// that file's path.
void AssignOutputPaths(TRipPlan& plan);

// Where a rip of every audio track of the plan's disc, named as the plan
// names them, puts each track whose number is not in `made`: the paths by
// track number. A track of its own artist is titled "Artist / Title".
std::map<int32_t, QString> PlannedPathsOfOtherTracks(const TRipPlan& plan,
                                                     const std::set<int32_t>& made);

// The job of the audio before track 1 (TrackIndex -1), beside track 1's job:
// named by the plan's rule as every track is, numbered 00, and given " (0)"
// when a job of the plan holds that path.
TFileParam HiddenTrackJob(const TRipPlan& plan, const TFileParam& track1);

// Creates the folder with all missing levels, without asking; true when it
// exists afterwards.
bool CreateOutputFolder(const QString& path);
using platform::CreateFolder;

// Writes the jobs as an M3U playlist when the name ends in .m3u (any case),
// else as PLS. An existing file is replaced when replace, else left as it is
// (Exists), also one that appears meanwhile. A line break in a title becomes
// a blank. Failed when it cannot be written or a path holds a line break.
TPlaceResult WritePlaylist(const QString& fileName, const TJobList& jobs, bool replace = true);

// "12.34MB": bytes as mebibytes with two decimals.
QString MegabytesText(double bytes);
// MegabytesText of a sector count's bytes, counted in 64 bits.
QString SectorsSizeText(int64_t sectors);
// "mm:ss:ff" of a sector count.
QString SectorsText(int32_t sectors);
