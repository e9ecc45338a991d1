// Loading a disc, shared by the desktop window and cadenzo-rip: the disc
// model read once from the active drive (tracks, pregaps, what the disc
// carries, its IDs), the disc information filled from it with the names
// stored for the disc, and the model named as the disc information names it
// when a rip is planned. User-interface thread only (it drives the drive).
#pragma once

#include <vector>

#include "disc/Disc.h"
#include "verify/AccurateRip.h"

class TCDRIP;
class TMyCDInfo;

// Reads the disc in the drive's active drive again: its TOC, the pregaps,
// catalogue number, ISRCs and CD-Text, and the IDs computed from them. No
// tracks without a readable disc. The names stay empty.
TDisc ReadDisc(TCDRIP& drive);

// Loads the disc in the drive into info: the model, then the names a new
// disc starts with (nothing of the disc shown before stays), then the stored
// ones: from cdplayer.ini alone when cdPlayerIniOnly, else from the local
// CDDB folder and, without an entry there that names something, from
// cdplayer.ini and the disc's CD-Text. info keeps its LocalFolder. False when
// the disc has no track.
bool LoadDisc(TCDRIP& drive, TMyCDInfo& info, bool cdPlayerIniOnly);

// The disc info was loaded from, named as info names it now: the album's
// and each track's names, a track's own artist taken out of its title.
TDisc NamedDisc(const TMyCDInfo& info);

// The tracks as the AccurateRip and CTDB lookups take them.
std::vector<TArTocTrack> ArTocOf(const TDisc& disc);
