/* The player library: one player thread per player decodes an MP3 (libmpg123)
 * or PCM WAV file and plays it through ALSA's "default" PCM; the master level
 * goes through the ALSA simple mixer of the "default" control device.
 * Commands are control messages queued to the player thread; every command is
 * answered by notifications, which the player writes as fixed-size packets
 * (TXaNotifyPacket) into a pipe given at creation. The owner reads a packet
 * and turns it into a message record with control_win32_params_to_message.
 * A plain C interface; no call lets an exception escape. Commands and
 * decoding of notifications come from one owner thread. */
#ifndef CADENZO_XAUDIO_H
#define CADENZO_XAUDIO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Interface version: xaudio_get_version(XA_API_ID_SYNC) gives
 * major << 16 | minor << 8 | revision. */
enum { XA_API_MAJOR = 3, XA_API_MINOR = 8, XA_API_REVISION = 0 };
enum { XA_VERSION_ID_MAJOR = 0, XA_VERSION_ID_MINOR = 1, XA_API_ID_SYNC = 2 };

/* Result and error codes. */
enum {
  XA_SUCCESS = 0,
  XA_FAILURE = -1,
  XA_ERROR_OUT_OF_MEMORY = -2,
  XA_ERROR_INVALID_PARAMETERS = -3,
  XA_ERROR_NOT_SUPPORTED = -4,
  XA_ERROR_NO_SUCH_FILE = -5,
  XA_ERROR_INVALID_FORMAT = -6,
  XA_ERROR_INPUT_NOT_OPEN = -7,
  XA_ERROR_DECODE = -8,
  XA_ERROR_NO_DEVICE = -9,
  XA_ERROR_DEVICE_BUSY = -10,
  XA_ERROR_OUTPUT_FAILED = -11,
  XA_ERROR_NO_MIXER = -12,
  XA_ERROR_PLAYER_GONE = -13,
  XA_ERROR_SYSTEM = -14
};

/* Commands (control messages to the player). */
enum {
  XA_MSG_COMMAND_EXIT = 0,
  XA_MSG_COMMAND_SYNC = 2,
  XA_MSG_COMMAND_PING = 3,
  XA_MSG_COMMAND_PLAY = 4,
  XA_MSG_COMMAND_PAUSE = 5,
  XA_MSG_COMMAND_STOP = 6,
  XA_MSG_COMMAND_INPUT_SEEK = 7,
  XA_MSG_COMMAND_INPUT_OPEN = 8,
  XA_MSG_COMMAND_INPUT_CLOSE = 9,
  XA_MSG_COMMAND_OUTPUT_RESET = 22,
  XA_MSG_SET_OUTPUT_VOLUME = 57,
  XA_MSG_GET_OUTPUT_VOLUME = 58,
  XA_MSG_LAST_COMMAND = 72
};

/* Notifications (from the player). */
enum {
  XA_MSG_NOTIFY_READY = 73,
  XA_MSG_NOTIFY_ACK = 74,
  XA_MSG_NOTIFY_NACK = 75,
  XA_MSG_NOTIFY_PONG = 76,
  XA_MSG_NOTIFY_EXITED = 77,
  XA_MSG_NOTIFY_PLAYER_STATE = 78,
  XA_MSG_NOTIFY_INPUT_STATE = 82,
  XA_MSG_NOTIFY_INPUT_POSITION = 85,
  XA_MSG_NOTIFY_INPUT_TIMECODE = 87,
  XA_MSG_NOTIFY_OUTPUT_STATE = 93,
  XA_MSG_NOTIFY_OUTPUT_VOLUME = 100,
  XA_MSG_NOTIFY_OUTPUT_MASTER_LEVEL = 103,
  XA_MSG_NOTIFY_STREAM_DURATION = 111,
  XA_MSG_NOTIFY_STREAM_PARAMETERS = 112,
  XA_MSG_NOTIFY_PROGRESS = 121,
  XA_MSG_NOTIFY_DEBUG = 122,
  XA_MSG_NOTIFY_ERROR = 123,
  XA_MSG_LAST_NOTIFY = 123
};

enum {
  XA_PLAYER_STATE_STOPPED = 0,
  XA_PLAYER_STATE_PLAYING = 1,
  XA_PLAYER_STATE_PAUSED = 2,
  XA_PLAYER_STATE_EOF = 3
};
enum { XA_INPUT_STATE_OPEN = 0, XA_INPUT_STATE_CLOSED = 1 };
enum { XA_OUTPUT_STATE_OPEN = 0, XA_OUTPUT_STATE_CLOSED = 1 };
/* Where an error or progress report comes from. */
enum {
  XA_SOURCE_PLAYER = 0,
  XA_SOURCE_INPUT = 1,
  XA_SOURCE_CODEC = 2,
  XA_SOURCE_OUTPUT = 3,
  XA_SOURCE_MIXER = 4
};

/* Levels are 0..100; balance 50 is the centre. -1 in a set leaves a value. */
enum { XA_POSITION_RANGE = 1000 };

/* A decoded notification. Texts stay valid until the next decode on the
 * same player. */
typedef struct XA_Message {
  int32_t code;
  union {
    int32_t state;   /* player, input and output state */
    uint32_t tag;    /* pong */
    int32_t command; /* ack */
    int32_t duration_ms;
    struct {
      int32_t command, code;
    } nack;
    struct {
      uint32_t offset, range;
    } position;
    struct {
      uint8_t h, m, s, f;
    } timecode; /* f: hundredths */
    struct {
      int32_t master_level, pcm_level, balance;
    } volume;
    struct {
      int32_t master_level;
    } level;
    struct {
      int32_t frequency, bitrate, nb_channels;
    } parameters;
    struct {
      int32_t source, code, value;
      const char* message;
    } progress;
    struct {
      int32_t source, level;
      const char* message;
    } debug;
    struct {
      int32_t source, code;
      const char* message;
    } error;
    struct {
      int32_t values[4];
      const char* text;
      const char* text2;
    } other;
  } data;
} XA_Message;

/* What the player writes into the notification pipe for each notification;
 * its fields are the code, wparam and lparam of the decode call. */
typedef struct TXaNotifyPacket {
  uint32_t code;
  uint32_t reserved;
  uint64_t wparam;
  uint64_t lparam;
} TXaNotifyPacket;

typedef struct XA_Player XA_Player;

/* Creates a player and starts its thread. args points at the int holding
 * the write end of the notification pipe (the player writes to a duplicate
 * of it, without blocking: a full pipe drops the packet). The first
 * notification is READY. */
int32_t player_new(void** player, void* args);
/* Stops the thread (and any sound at once) and frees the player. */
int32_t player_delete(void* player);
/* 0 lowest .. 6 highest; 3 normal, the default. */
int32_t player_set_priority(void* player, int32_t priority);
int32_t player_get_priority(void* player);
const char* xaudio_error_string(int32_t code);
uint32_t xaudio_get_version(int32_t which);

int32_t control_message_send_N(void* player, int32_t code);
int32_t control_message_send_P(void* player, int32_t code, const void* ptr);
int32_t control_message_send_S(void* player, int32_t code, const char* text);
int32_t control_message_send_SS(void* player, int32_t code, const char* text1, const char* text2);
int32_t control_message_send_SI(void* player, int32_t code, const char* text, int32_t value);
int32_t control_message_send_IPI(void* player, int32_t code, int32_t value1, const void* ptr,
                                 int32_t value2);
int32_t control_message_send_I(void* player, int32_t code, int32_t value);
int32_t control_message_send_II(void* player, int32_t code, int32_t value1, int32_t value2);
int32_t control_message_send_III(void* player, int32_t code, int32_t value1, int32_t value2,
                                 int32_t value3);
int32_t control_message_send_IIII(void* player, int32_t code, int32_t value1, int32_t value2,
                                  int32_t value3, int32_t value4);
/* Fills message from a packet read from the pipe. 0 when it is a
 * notification of this player, XA_FAILURE otherwise (unknown, stale or
 * foreign packets). */
int32_t control_win32_params_to_message(void* player, XA_Message* message, uint32_t code,
                                        uint64_t wparam, uint64_t lparam);

#ifdef __cplusplus
}
#endif

#endif
