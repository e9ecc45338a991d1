/* The local CDDB library: parses xmcd entries into an exchange record, builds
 * entry text from one, and reads, writes and finds entries in a folder of
 * entries named by disc ID. A plain C interface; no call lets an exception
 * escape; the caller owns every buffer. One caller thread per record. */
#ifndef CADENZO_LOCALCDDB_H
#define CADENZO_LOCALCDDB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LCDDB_EXPORT __attribute__((visibility("default")))

enum {
  LCDDB_OK = 0,
  LCDDB_BAD_ARGUMENT = -1,
  LCDDB_IO_ERROR = -2,
  LCDDB_NOT_FOUND = -3,
  LCDDB_CORRUPT = -4,
};

enum { LCDDB_TEXT_SIZE = 512, LCDDB_MAX_TRACKS = 100, LCDDB_DISC_FIELDS = 6 };

/* Disc-level fields of the exchange record, by index. */
enum {
  LCDDB_DISCID = 0,
  LCDDB_ARTIST = 1,
  LCDDB_TITLE = 2,
  LCDDB_YEAR = 3,
  LCDDB_GENRE = 4,
  LCDDB_EXTD = 5,
};

#pragma pack(push, 1)
/* One track of a table of contents: absolute MSF of its start. */
typedef struct LCDDB_TOCTRACK {
  uint8_t Min, Sec, Frame, Reserved;
  int32_t Audio; /* -1 audio, 0 data */
} LCDDB_TOCTRACK;

/* A table of contents, 812 bytes; times include the two-second lead-in. */
typedef struct LCDDB_CDINFO {
  uint8_t TrackCount;
  uint8_t Reserved1[3];
  uint8_t LeadOutMin, LeadOutSec, LeadOutFrame, Reserved2;
  int32_t Zero;
  LCDDB_TOCTRACK Tracks[LCDDB_MAX_TRACKS];
} LCDDB_CDINFO;

/* The exchange record. Each pointer names a caller-owned buffer of
 * LCDDB_TEXT_SIZE bytes, or is null to skip that field. Texts are UTF-8,
 * NUL-terminated, cut at a character boundary. */
typedef struct LCDDB_ENTRY {
  char* Disc[LCDDB_DISC_FIELDS];
  char* Titles[LCDDB_MAX_TRACKS];
  char* ExtData[LCDDB_MAX_TRACKS];
  char* Category;
  int32_t Revision; /* 0 on entry; the entry's revision after parsing */
  LCDDB_CDINFO Toc;
} LCDDB_ENTRY;
#pragma pack(pop)

/* Records the caller's version banner (at most size bytes are read). */
LCDDB_EXPORT int32_t SetVersion(const char* banner, int32_t size);

/* Parses an xmcd entry (lines ended by CR LF, LF or CR) into the record.
 * LCDDB_CORRUPT when the text is not an entry: no "# xmcd" first line, no
 * DISCID or DTITLE, a line that is neither a comment nor KEY=value, or a
 * track number that is not one of 0..99. */
LCDDB_EXPORT int32_t ParseCDDBString(LCDDB_ENTRY* entry, const char* text);

/* Writes the record as entry text into buffer (NUL-terminated when it fits)
 * and returns the length of the whole text without the NUL. */
LCDDB_EXPORT int32_t CreateCDDBString(const LCDDB_ENTRY* entry, char* buffer, int32_t size);

/* Writes the record's entry as folder/<disc ID>, replacing an older one
 * only once the new file is complete. The disc ID must be eight hex digits. */
LCDDB_EXPORT int32_t WriteCDData(const LCDDB_ENTRY* entry, const char* folder);

/* Reads and parses folder/<discId>. LCDDB_NOT_FOUND when there is none. */
LCDDB_EXPORT int32_t ReadCDData(LCDDB_ENTRY* entry, const char* folder, const char* discId);

/* The entries of the folder whose DISCID line lists discId: their file names,
 * one per line, into buffer (NUL-terminated when they fit). Returns their
 * number, or a negative code. */
LCDDB_EXPORT int32_t FindMatches(const char* folder, const char* discId, char* buffer,
                                 int32_t size);

#ifdef __cplusplus
}
#endif

#endif
