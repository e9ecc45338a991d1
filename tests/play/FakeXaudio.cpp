// Stand-ins for the player library that the component test loads: one that
// answers a ping with the notification whose code is the ping's tag (so every
// notification code can be decoded), and broken variants chosen at build
// time: another interface version, a player that cannot start, a missing
// entry point.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "libs/xaudio/xaudio.h"

#ifndef FAKE_VERSION
#define FAKE_VERSION 0x030800u
#endif

namespace {

struct TFake {
  int Fd = -1;
  uint64_t Seq = 0;
  std::map<uint64_t, int32_t> Sent;  // sequence number -> notification code
  std::string Text, Text2;
} Fake;

}  // namespace

extern "C" {

int32_t player_new(void** player, void* args) {
#ifdef FAKE_PLAYER_NEW_FAILS
  (void)player;
  (void)args;
  return XA_FAILURE;
#else
  Fake = TFake{};
  Fake.Fd = *static_cast<int*>(args);
  *player = &Fake;
  return XA_SUCCESS;
#endif
}
int32_t player_delete(void*) { return XA_SUCCESS; }
int32_t player_set_priority(void*, int32_t) { return XA_SUCCESS; }
int32_t player_get_priority(void*) { return 3; }
const char* xaudio_error_string(int32_t) { return "fake error"; }
uint32_t xaudio_get_version(int32_t) { return FAKE_VERSION; }
int32_t control_message_send_N(void*, int32_t) { return XA_SUCCESS; }
int32_t control_message_send_P(void*, int32_t, const void*) { return XA_SUCCESS; }
int32_t control_message_send_S(void*, int32_t, const char*) { return XA_SUCCESS; }
int32_t control_message_send_SS(void*, int32_t, const char*, const char*) { return XA_SUCCESS; }
int32_t control_message_send_SI(void*, int32_t, const char*, int32_t) { return XA_SUCCESS; }
int32_t control_message_send_IPI(void*, int32_t, int32_t, const void*, int32_t) {
  return XA_SUCCESS;
}
int32_t control_message_send_I(void*, int32_t code, int32_t value) {
  if (code != XA_MSG_COMMAND_PING) return XA_SUCCESS;
  const TXaNotifyPacket packet{uint32_t(value), 0, ++Fake.Seq, 0};
  Fake.Sent[packet.wparam] = value;
  return write(Fake.Fd, &packet, sizeof packet) == sizeof packet ? XA_SUCCESS : XA_FAILURE;
}
int32_t control_message_send_II(void*, int32_t, int32_t, int32_t) { return XA_SUCCESS; }
int32_t control_message_send_III(void*, int32_t, int32_t, int32_t, int32_t) { return 57; }
int32_t control_message_send_IIII(void*, int32_t, int32_t, int32_t, int32_t, int32_t) {
  return XA_SUCCESS;
}
#ifndef FAKE_WITHOUT_DECODER
// Values are code + 1 ... code + 4; texts "text<code>" and "second<code>".
int32_t control_win32_params_to_message(void*, XA_Message* message, uint32_t code, uint64_t wparam,
                                        uint64_t) {
  if (Fake.Sent[wparam] != int32_t(code)) return XA_FAILURE;
  const int32_t c = int32_t(code);
  Fake.Text = "text" + std::to_string(c);
  Fake.Text2 = "second" + std::to_string(c);
  std::memset(message, 0, sizeof *message);
  message->code = c;
  auto& d = message->data;
  if (c == XA_MSG_NOTIFY_INPUT_TIMECODE)
    d.timecode = {uint8_t(c + 1), uint8_t(c + 2), uint8_t(c + 3), uint8_t(c + 4)};
  else if (c == XA_MSG_NOTIFY_ERROR || c == XA_MSG_NOTIFY_DEBUG)
    d.error = {c + 1, c + 2, Fake.Text.c_str()};
  else if (c == XA_MSG_NOTIFY_PROGRESS)
    d.progress = {c + 1, c + 2, c + 3, Fake.Text.c_str()};
  else
    d.other = {{c + 1, c + 2, c + 3, c + 4}, Fake.Text.c_str(), Fake.Text2.c_str()};
  return XA_SUCCESS;
}
#endif
}
