#include "play/XaudioPlayer.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cstring>

struct TXaudioPlayer::TEntryPoints {
  decltype(&::player_new) player_new;
  decltype(&::player_delete) player_delete;
  decltype(&::player_set_priority) player_set_priority;
  decltype(&::player_get_priority) player_get_priority;
  decltype(&::xaudio_error_string) xaudio_error_string;
  decltype(&::xaudio_get_version) xaudio_get_version;
  decltype(&::control_message_send_N) send_N;
  decltype(&::control_message_send_P) send_P;
  decltype(&::control_message_send_S) send_S;
  decltype(&::control_message_send_SS) send_SS;
  decltype(&::control_message_send_SI) send_SI;
  decltype(&::control_message_send_IPI) send_IPI;
  decltype(&::control_message_send_I) send_I;
  decltype(&::control_message_send_II) send_II;
  decltype(&::control_message_send_III) send_III;
  decltype(&::control_message_send_IIII) send_IIII;
  decltype(&::control_win32_params_to_message) params_to_message;
};

namespace {

// Where dlsym's answer for an entry point lands.
template <typename T>
void* Slot(T& field) {
  return &field;
}

int32_t FirstValue(const XA_Message& message) {
  int32_t value = 0;
  std::memcpy(&value, &message.data, sizeof value);
  return value;
}

QString Text(const char* text) { return text ? QString::fromUtf8(text) : QString(); }

}  // namespace

TXaudioPlayer::TXaudioPlayer(QObject* parent) : QObject(parent) {
  if (pipe2(FPipe, O_CLOEXEC | O_NONBLOCK) != 0)
    throw EXaudioException("Cannot Create Hidden Window");
  FNotifier = new QSocketNotifier(FPipe[0], QSocketNotifier::Read, this);
  connect(FNotifier, &QSocketNotifier::activated, this, &TXaudioPlayer::ReadNotifications);
}

TXaudioPlayer::~TXaudioPlayer() {
  Unload();
  delete FNotifier;
  close(FPipe[0]);
  close(FPipe[1]);
}

void TXaudioPlayer::Unload() {
  if (FPlayer) FApi->player_delete(FPlayer);
  FPlayer = nullptr;
  FApi.reset();
  if (FLibrary) dlclose(FLibrary);
  FLibrary = nullptr;
}

uint32_t TXaudioPlayer::Priority() const {
  return FPlayer ? uint32_t(FApi->player_get_priority(FPlayer)) : FPriority;
}

void TXaudioPlayer::SetPriority(uint32_t value) {
  if (FPlayer)
    FApi->player_set_priority(FPlayer, int32_t(value));
  else
    FPriority = value;
}

bool TXaudioPlayer::Init() {
  if (FPlayer) return true;
  if (!FLibrary) {
    FLibrary = dlopen(FXaudioPath.toLocal8Bit().constData(), RTLD_NOW | RTLD_LOCAL);
    if (!FLibrary) throw EXaudioException("Cannot Load Xaudio DLL (" + FXaudioPath + ")");
    auto api = std::make_unique<TEntryPoints>();
    const std::pair<const char*, void*> symbols[] = {
        {"player_new", Slot(api->player_new)},
        {"player_delete", Slot(api->player_delete)},
        {"player_set_priority", Slot(api->player_set_priority)},
        {"player_get_priority", Slot(api->player_get_priority)},
        {"xaudio_error_string", Slot(api->xaudio_error_string)},
        {"xaudio_get_version", Slot(api->xaudio_get_version)},
        {"control_message_send_N", Slot(api->send_N)},
        {"control_message_send_P", Slot(api->send_P)},
        {"control_message_send_S", Slot(api->send_S)},
        {"control_message_send_SS", Slot(api->send_SS)},
        {"control_message_send_SI", Slot(api->send_SI)},
        {"control_message_send_IPI", Slot(api->send_IPI)},
        {"control_message_send_I", Slot(api->send_I)},
        {"control_message_send_II", Slot(api->send_II)},
        {"control_message_send_III", Slot(api->send_III)},
        {"control_message_send_IIII", Slot(api->send_IIII)},
        {"control_win32_params_to_message", Slot(api->params_to_message)},
    };
    for (const auto& [name, slot] : symbols) {
      void* address = dlsym(FLibrary, name);
      if (!address) {
        Unload();
        throw EXaudioException(QString("Cannot Find Symbol %1 in Xaudio DLL").arg(name));
      }
      std::memcpy(slot, &address, sizeof address);
    }
    FApi = std::move(api);
  }
  const uint32_t version = FApi->xaudio_get_version(XA_API_ID_SYNC);
  const uint32_t major = version >> 16 & 0xFF;
  const uint32_t minor = version >> 8 & 0xFF;
  if (major != XA_API_MAJOR || minor != XA_API_MINOR)
    throw EXaudioException(QString("Xaudio DLL API Mismatch\rExpected %1.%2, Got %3.%4")
                               .arg(XA_API_MAJOR)
                               .arg(XA_API_MINOR)
                               .arg(major)
                               .arg(minor));
  if (FApi->player_new(&FPlayer, &FPipe[1]) != XA_SUCCESS) {
    FPlayer = nullptr;
    throw EXaudioException("Cannot Start Xaudio Player");
  }
  if (FPriority != 3) FApi->player_set_priority(FPlayer, int32_t(FPriority));
  return true;
}

uint32_t TXaudioPlayer::GetVersion(uint8_t which) const {
  return FPlayer ? FApi->xaudio_get_version(which) : 0;
}

QString TXaudioPlayer::ErrorString(int32_t code) {
  Init();
  return Text(FApi->xaudio_error_string(code));
}

int32_t TXaudioPlayer::SendN(int32_t code) {
  Init();
  return FApi->send_N(FPlayer, code);
}

int32_t TXaudioPlayer::SendI(int32_t code, int32_t value) {
  Init();
  return FApi->send_I(FPlayer, code, value);
}

int32_t TXaudioPlayer::SendII(int32_t code, int32_t value1, int32_t value2) {
  Init();
  return FApi->send_II(FPlayer, code, value1, value2);
}

int32_t TXaudioPlayer::SendIII(int32_t code, int32_t value1, int32_t value2, int32_t value3) {
  Init();
  return FApi->send_III(FPlayer, code, value1, value2, value3);
}

int32_t TXaudioPlayer::SendS(int32_t code, const QString& text) {
  Init();
  return FApi->send_S(FPlayer, code, text.toLocal8Bit().constData());
}

int32_t TXaudioPlayer::SendSS(int32_t code, const QString& text1, const QString& text2) {
  Init();
  return FApi->send_SS(FPlayer, code, text1.toLocal8Bit().constData(),
                       text2.toLocal8Bit().constData());
}

int32_t TXaudioPlayer::SendSI(int32_t code, const QString& text, int32_t value) {
  Init();
  return FApi->send_SI(FPlayer, code, text.toLocal8Bit().constData(), value);
}

int32_t TXaudioPlayer::SendP(int32_t code, const void* data) {
  Init();
  return FApi->send_P(FPlayer, code, data);
}

int32_t TXaudioPlayer::SendIPI(int32_t code, int32_t value1, const void* data, int32_t value2) {
  Init();
  return FApi->send_IPI(FPlayer, code, value1, data, value2);
}

void TXaudioPlayer::ReadNotifications() {
  TXaNotifyPacket packet{};
  while (read(FPipe[0], &packet, sizeof packet) == ssize_t(sizeof packet)) {
    // Packets that arrive without a player (or from a deleted one) are dropped.
    if (!FPlayer) continue;
    XA_Message message{};
    if (FApi->params_to_message(FPlayer, &message, packet.code, packet.wparam, packet.lparam) ==
        XA_SUCCESS)
      Dispatch(message);
  }
}

void TXaudioPlayer::Dispatch(const XA_Message& m) {
  if (OnNotifyMessage) OnNotifyMessage(this, m);
  const auto& d = m.data;
  const int32_t value = FirstValue(m);
  // Only records of the general shape carry their texts there.
  auto text = [&d] { return Text(d.other.text); };
  auto text2 = [&d] { return Text(d.other.text2); };
  auto fire = [this](const auto& event, auto... args) {
    if (event) event(this, args...);
  };
  switch (m.code) {
    case 73:
      return fire(OnNotifyReady);
    case 74:
      return fire(OnNotifyAck, d.command);
    case 75:
      return fire(OnNotifyNack, d.nack.command, d.nack.code);
    case 76:
      return fire(OnNotifyPong, int32_t(d.tag));
    case 77:
      return fire(OnNotifyExited);
    case 78:
      return fire(OnNotifyPlayerState, d.state);
    case 79:
      return fire(OnNotifyPlayerMode, value);
    case 80:
      return fire(OnNotifyPlayerEnvironmentInteger, text(), d.other.values[0]);
    case 81:
      return fire(OnNotifyPlayerEnvironmentString, text(), text2());
    case 82:
      return fire(OnNotifyInputState, d.state);
    case 83:
      return fire(OnNotifyInputName, text());
    case 84:
      return fire(OnNotifyInputCaps, value);
    case 85:
      return fire(OnNotifyInputPosition, d.position.offset, d.position.range);
    case 86:
      return fire(OnNotifyInputPositionRange, value);
    case 87:
      return fire(OnNotifyInputTimecode, d.timecode.h, d.timecode.m, d.timecode.s, d.timecode.f);
    case 88:
      return fire(OnNotifyInputTimecodeGranularity, value);
    case 89:
      return fire(OnNotifyInputModule, value);
    case 90:
      return fire(OnNotifyInputModuleInfo, d.other.values[0], d.other.values[1], text(), text2());
    case 91:
      return fire(OnNotifyInputDeviceInfo, d.other.values[0], d.other.values[1], text(), text2());
    case 92:
      return fire(OnNotifyInputFilterInfo, d.other.values[0], text());
    case 93:
      return fire(OnNotifyOutputState, d.state);
    case 94:
      return fire(OnNotifyOutputName, text());
    case 95:
      return fire(OnNotifyOutputCaps, value);
    case 100:
      return fire(OnNotifyOutputVolume, d.volume.master_level, d.volume.pcm_level,
                  d.volume.balance);
    case 101:
      return fire(OnNotifyOutputBalance, value);
    case 102:
      return fire(OnNotifyOutputPcmLevel, value);
    case 103:
      return fire(OnNotifyOutputMasterLevel, d.level.master_level);
    case 104:
      return fire(OnNotifyOutputChannels, value);
    case 105:
      return fire(OnNotifyOutputPorts, value);
    case 106:
      return fire(OnNotifyOutputModule, value);
    case 107:
      return fire(OnNotifyOutputModuleInfo, d.other.values[0], d.other.values[1], text(), text2());
    case 108:
      return fire(OnNotifyOutputDeviceInfo, d.other.values[0], d.other.values[1], text(), text2());
    case 109:
      return fire(OnNotifyOutputFilterInfo, d.other.values[0], text());
    case 110:
      return fire(OnNotifyStreamMimeType, text());
    case 111:
      return fire(OnNotifyStreamDuration, d.duration_ms);
    case 112:
      return fire(OnNotifyStreamParameters, d.parameters.frequency, d.parameters.bitrate,
                  d.parameters.nb_channels);
    case 113:
      return fire(OnNotifyStreamProperties, value);
    case 114:
      return fire(OnNotifyCodecQuality, value);
    case 115:
      return fire(OnNotifyCodecEqualizer, value);
    case 116:
      return fire(OnNotifyCodecModule, value);
    case 117:
      return fire(OnNotifyCodecModuleInfo, d.other.values[0], d.other.values[1], text(), text2());
    case 118:
      return fire(OnNotifyCodecDeviceInfo, d.other.values[0], d.other.values[1], text(), text2());
    case 119:
      return fire(OnNotifyNotificationMask, value);
    case 120:
      return fire(OnNotifyDebugLevel, value);
    case 121:
      return fire(OnNotifyProgress, d.progress.source, d.progress.code, d.progress.value,
                  Text(d.progress.message));
    case 122:
      return fire(OnNotifyDebug, d.debug.source, d.debug.level, Text(d.debug.message));
    case 123:
      return fire(OnNotifyError, d.error.source, d.error.code, Text(d.error.message));
    default:
      return;
  }
}
