// The MusicBrainz disc ID of the loaded disc, computed by libdiscid from the
// track table the program already read, so a drive and an image of the same
// disc give the same ID. Plain functions; any thread.
#pragma once

#include <QString>
#include <vector>

#include "disc/Disc.h"

class TMyCDInfo;

// The audio session as libdiscid takes it: offsets count the 150-sector
// lead-in, the lead-out is the end of the last audio track.
struct TMbToc {
  int First = 1;
  int Last = 0;
  int LeadOut = 0;
  std::vector<int> Offsets;  // of tracks First..Last
};

// Enhanced CDs (a data track last) leave that track out and end the audio
// 11400 sectors before its start; a data track first stays track 1.
// Empty (Last == 0) without tracks.
TMbToc MbTocOf(const std::vector<TDiscTrack>& tracks);
TMbToc MbTocOf(const TMyCDInfo& info);

struct TMbDiscId {
  QString Id;   // 28 characters; empty when libdiscid refused the TOC
  QString Toc;  // "first last leadout offset..." for the fuzzy lookup
  // Where the disc is added to MusicBrainz (libdiscid's address).
  QString SubmissionUrl;
  QString Error;
};

TMbDiscId ComputeMbDiscId(const TMbToc& toc);
