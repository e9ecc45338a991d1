/* What an audio disc says of itself beside its TOC: CD-Text titles and
 * performers, the media catalogue number and the tracks' ISRCs, as libcdio
 * reads them from a drive or an image's cue sheet. Filled by CR_ReadToc. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { CR_TEXT_TITLE = 0, CR_TEXT_PERFORMER = 1, CR_TEXT_CODE = 2 };

/* Track 0 is the disc (its code the MCN), 1..99 the tracks (their code the
 * ISRC). Copies the UTF-8 text with its NUL when it fits in size bytes and
 * returns its length; 0 when the disc has none, CDEX_ERROR for a bad field. */
int32_t CR_GetDiscText(int32_t track, int32_t field, char* buffer, int32_t size);

#ifdef __cplusplus
}
#endif
