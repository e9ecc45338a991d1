/* The CD-reading library: drives (physical drives and the disc images listed
 * in cdrip.ini), their parameters, the table of contents, jitter-corrected
 * digital audio extraction, playback and the tray. A plain C interface; no
 * call lets an exception escape.
 *
 * Each thread that calls it is a caller of its own: its active drive (the
 * ini's at its first call), the TOC and texts it read there, its rip, its
 * read offset and its playback. Threads may so read different drives at
 * once. A drive serves one caller at a time: during a call, and from a
 * caller's CR_OpenRipper to its CR_CloseRipper; meanwhile another caller's
 * calls on it fail at once (CDRIP_ERROR, not ready, no eject) instead of
 * waiting. CR_Init must not run while another thread uses the library. */
#ifndef CADENZO_CDRIP_H
#define CADENZO_CDRIP_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
enum { CDRIP_OK = 0, CDRIP_ERROR = 1, CDRIP_JITTER_ERROR = 3, CDRIP_RIPPING_DONE = 4 };

/* Drive parameter record, exchanged whole. Bytes not named here belong to the
 * library and pass through unchanged. */
#pragma pack(push, 1)
typedef struct CdripDriveParams {
  char driveName[256];      /*   0: drive name, NUL-terminated */
  uint8_t reserved256[12];  /* 256 */
  int32_t startOffset;      /* 268: sectors added to a rip's start */
  int32_t endOffset;        /* 272: sectors added to a rip's end */
  int32_t speed;            /* 276: read speed factor, 0 = maximum */
  int32_t reserved280;      /* 280 */
  int32_t jitterCorrection; /* 284: non-zero (-1) = full paranoia */
  int32_t swapChannels;     /* 288 */
  int32_t driveType;        /* 292: drive type code in the low byte */
  uint8_t reserved296[36];  /* 296 */
  int32_t lockTray;         /* 332 */
  uint8_t reserved336[8];   /* 336 */
} CdripDriveParams;

/* One table-of-contents entry, returned by value. */
typedef struct CdripTocEntry {
  int32_t startSector;
  uint8_t flags; /* 0x10 = audio track */
  uint8_t trackNumber;
} CdripTocEntry;
#pragma pack(pop)

int32_t CR_Init(const char* iniFileName);
int32_t CR_GetNumCDROM(void);
int32_t CR_SetActiveCDROM(int32_t index);
int32_t CR_GetActiveCDROM(void);
int32_t CR_GetCDROMParameters(CdripDriveParams* params);
int32_t CR_SetCDROMParameters(const CdripDriveParams* params);
int32_t CR_SaveSettings(void);

int32_t CR_ReadToc(void);
int32_t CR_GetNumTocEntries(void);
CdripTocEntry CR_GetTocEntry(int32_t index);
int32_t CR_IsUnitReady(void);

/* Opens the disc image file at `path` as an image drive would: a cue sheet
 * with every file it names, or an image libcdio reads. CDRIP_OK when it holds
 * a disc; else CDRIP_ERROR with the reason in `message` (UTF-8, cut to `size`
 * bytes): for a cue sheet it names the sheet, the line and the file, as in
 * "disc.cue, line 3: 'Artist - Album.flac' not found". Needs no CR_Init. */
int32_t CR_CheckImage(const char* path, char* message, int32_t size);
/* Adds the disc image at `path` as the last drive and lists it in the
 * library's cdrip.ini, only when it opens (CR_CheckImage). Returns its drive
 * index (an image listed already keeps its own), or -1 with the reason in
 * `message`. Neither the active drive nor a running rip changes. */
int32_t CR_AddImage(const char* path, char* message, int32_t size);
/* Takes image drive `index` out of the drive list and out of the library's
 * cdrip.ini: its ImageN entry and [ImageN] section go, and the later images
 * move down one number with their sections. The drives after it move down
 * one index; the active drive stays active, and when it is the one removed
 * the drive before it (else the first) becomes active. CDRIP_OK, or
 * CDRIP_ERROR with the reason in `message` (UTF-8, cut to `size` bytes) for
 * a drive that is no image, while a rip is open (the indexes would move under
 * it) or while the drive plays or is paused. */
int32_t CR_RemoveImage(int32_t index, char* message, int32_t size);
/* 1 when drive `index` is a disc image, else 0. */
int32_t CR_IsImageDrive(int32_t index);
/* Drive `index`'s name, as its parameter record holds it, copied as UTF-8
 * (cut to `size` bytes between characters, NUL-terminated) without making
 * it active; CDRIP_ERROR with an empty text for no such drive. */
int32_t CR_GetDriveName(int32_t index, char* name, int32_t size);

/* The texts the cue sheet of the active image drive states, as of its last
 * successful CR_ReadToc; none for other drives. Track 0 is the disc, 1... the
 * sheet's tracks in order. Copies the text (UTF-8, NUL-terminated, cut to
 * `size` bytes) and returns its whole length in bytes, 0 when there is none. */
enum {
  CR_TEXT_TITLE = 0,
  CR_TEXT_PERFORMER = 1,
  CR_TEXT_CODE = 2, /* the disc's CATALOG (MCN), a track's ISRC */
  CR_TEXT_GENRE = 3,
  CR_TEXT_DATE = 4
};
int32_t CR_GetSheetText(int32_t track, int32_t field, char* text, int32_t size);

/* What an audio disc says of itself beside its TOC: CD-Text titles and
 * performers, the media catalogue number and the tracks' ISRCs, as libcdio
 * reads them from a drive, or as an image's cue sheet states them. Filled by
 * CR_ReadToc. Track 0 is the disc (its code the MCN), 1..99 the tracks (their
 * code the ISRC); fields CR_TEXT_TITLE to CR_TEXT_CODE. Copies the UTF-8 text
 * with its NUL when it fits in size bytes and returns its length; 0 when the
 * disc has none, CDRIP_ERROR for a bad field. */
int32_t CR_GetDiscText(int32_t track, int32_t field, char* buffer, int32_t size);

/* The pregap of track `track` (from 1) as of the last CR_ReadToc, in sectors:
 * those before its start that lead to it (INDEX 00), for track 1 every sector
 * before its start. An image states them; a physical drive is asked for the
 * Q sub-channel of sectors before the track (a binary search, once per
 * track), 0 when it cannot tell. -1 for a track the TOC lacks or while a rip
 * is open. */
int32_t CR_GetTrackPregap(int32_t track);

/* Playback. A physical drive plays through its own audio path; an image
 * drive plays on a real-time clock and sends its sound to ALSA's "default"
 * PCM in step with it (silently when there is no such device), and its play
 * ends (0x13) once the last of that sound has left. */
int32_t CR_IsAudioPlaying(void);
int32_t CR_PlayTrack(int32_t track);
int32_t CR_PlaySection(int32_t startSector, int32_t endSector);
int32_t CR_PauseCD(int32_t pause);
int32_t CR_StopPlayTrack(void);
int32_t CR_GetPlayPosition(int32_t* relativeSector, int32_t* absoluteSector);
int32_t CR_EjectCD(int32_t open);

/* Opens [startSector, endSector) moved by the record's offsets and clipped to
 * the audio; *bufferSize receives the bytes a CR_RipChunk buffer must hold.
 * A range that touches a data track is refused; one that runs into the gap
 * before a data session stops at the last audio sector. While a ripper is
 * open the tray stays shut and the active drive stays. */
int32_t CR_OpenRipper(int32_t* bufferSize, int32_t startSector, int32_t endSector);
/* Each call until the range is done returns a whole chunk:
 * CDRIP_OK or CDRIP_RIPPING_DONE with data; CDRIP_JITTER_ERROR with data that may
 * be wrong (paranoia could not trust its cache, or with jitter correction no
 * fresh read proved where its audio lies); CDRIP_ERROR when sectors of the
 * chunk could not be read: they are silence in their place, every other
 * sector holds its data, and CR_GetLastJitterErrorPosition names them. A
 * sector is unreadable when no read delivered it: a read error, a short read,
 * or a skip that a fresh read does not confirm. A sector that keeps failing is
 * given up after a few reads, and the rest of the range once no sector was
 * read for the drive's GiveUpAfter time (cdrip.ini, 30 s), so every call
 * ends. After CR_AbortRip: the sectors
 * read so far with CDRIP_RIPPING_DONE. With no ripper open: CDRIP_ERROR and no
 * data. */
int32_t CR_RipChunk(uint8_t* buffer, int32_t* numBytes, int32_t* abort);
/* What the rip made of each sector of its range: */
enum {
  CDRIP_SECTOR_UNREAD = 0,    /* not handed over yet */
  CDRIP_SECTOR_CLEAN = 1,     /* read and verified */
  CDRIP_SECTOR_CORRECTED = 2, /* paranoia repaired jitter, drift or bytes in it,
                                or its chunk reported a jitter error there */
  CDRIP_SECTOR_REREAD = 3,    /* a read of it failed; a later one delivered it */
  CDRIP_SECTOR_LOST = 4       /* no read delivered it: silence */
};
/* The open rip's range starts at *firstSector and holds *count sectors; the
 * status of the first `capacity` of them goes to `status` (may be null). */
int32_t CR_GetSectorStatus(int32_t* firstSector, uint8_t* status, int32_t capacity, int32_t* count);
/* How a rip on the active drive, with its parameters as they stand, keeps
 * the drive's cache from answering a re-read with what it read before: the
 * sectors it reads elsewhere first, or paranoia's own model of a cache. In
 * words for a rip log (UTF-8, cut to `size` bytes). */
int32_t CR_GetCacheHandling(char* text, int32_t size);
/* The read offset of every later CR_OpenRipper, in stereo samples, from
 * -CR_MAX_READ_OFFSET to CR_MAX_READ_OFFSET (else CDRIP_ERROR); 0 at start.
 * With +N, sample i of a rip's range is sample i + N of the disc as the drive
 * returns it; samples beyond the audio (before the disc's first, after its
 * last, or in a data session) are silence. The drive then reads the sectors
 * that hold the moved range, which CR_GetSectorStatus and the error positions
 * name. */
enum { CR_MAX_READ_OFFSET = 3000 };
int32_t CR_SetReadOffset(int32_t samples);
int32_t CR_GetReadOffset(void);
/* Drive `index`'s INQUIRY vendor and product, trimmed, copied as UTF-8 (cut
 * to the sizes); CDRIP_ERROR with empty texts for an image drive or a drive
 * that does not answer. Any drive, active or not; no rip needs to be closed. */
int32_t CR_GetDriveInquiry(int32_t index, char* vendor, int32_t vendorSize, char* product,
                           int32_t productSize);
/* Stops every open rip, of every caller, inside the chunk in hand and every
 * later chunk of it, until that caller's next CR_OpenRipper. Safe from a
 * signal handler or another thread. */
int32_t CR_AbortRip(void);
/* The same for the rip that reads drive `index` alone; the other drives'
 * rips go on. Safe from another thread (not from a signal handler). */
int32_t CR_AbortDriveRip(int32_t index);
int32_t CR_GetPercentCompleted(void);
/* Chunks of this rip with a jitter error or unreadable sectors. */
int32_t CR_GetNumberOfJitterErrors(void);
/* Sectors of this rip that could not be read and are silence. */
int32_t CR_GetNumberOfLostSectors(void);
/* Sectors of the range CR_OpenRipper was asked for that the drive's start
 * and end offsets left out of the rip and that no read proved silent: audio
 * the rip does not hold. */
int32_t CR_GetNumberOfLeftOutSectors(void);
/* First and last sector (inclusive) of the doubtful or unreadable sectors in
 * the last chunk with a jitter error or read error. */
int32_t CR_GetLastJitterErrorPosition(int32_t* startSector, int32_t* endSector);
int32_t CR_CloseRipper(void);

#ifdef __cplusplus
}
#endif

#endif
