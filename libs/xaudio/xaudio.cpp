// The player library: a player thread per player with a command queue, the
// decoders, the ALSA output and the master level, and notifications through
// the owner's pipe.
#include "libs/xaudio/xaudio.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "libs/pcmout/PcmOutput.h"
#include "libs/xaudio/Decoder.h"
#include "libs/xaudio/Mixer.h"

namespace {

using xaudio::TDecoder;

constexpr const char* kDevice = "default";
constexpr size_t kChunkFrames = 2048;
constexpr int kPositionStepMs = 100;

struct TCommand {
  int32_t Code = 0;
  int32_t Ints[4] = {};
  std::string Text;
};

// A notification waiting for its packet to be decoded.
struct TNote {
  int32_t Code = 0;
  int32_t Ints[4] = {};
  std::string Text;
};

}  // namespace

struct XA_Player {
  int NotifyFd = -1;
  int WakeFds[2] = {-1, -1};
  std::thread Thread;
  std::atomic<pid_t> Tid{0};
  std::atomic<int32_t> Priority{3};

  std::mutex Mutex;  // guards Commands, Notes and NextSeq
  std::deque<TCommand> Commands;
  std::map<uint64_t, TNote> Notes;
  uint64_t NextSeq = 0;
  std::string DecodedText;  // owner thread: texts of the last decoded message

  // Player thread only.
  bool Exit = false;
  std::unique_ptr<TDecoder> Decoder;
  pcmout::TPcmOutput Output;
  xaudio::TMixer Mixer;
  int State = XA_PLAYER_STATE_STOPPED;
  int PcmLevel = 100;
  int Balance = 50;
  int LastMaster = -1;
  std::chrono::steady_clock::time_point MixerTried;
  int64_t LastPositionMs = -1;
  std::vector<int16_t> Samples;
};

namespace {

void Post(XA_Player& p, int32_t code, std::initializer_list<int32_t> ints = {},
          const std::string& text = {}) {
  TNote note;
  note.Code = code;
  std::copy_n(ints.begin(), std::min<size_t>(ints.size(), 4), note.Ints);
  note.Text = text;
  uint64_t seq = 0;
  {
    std::lock_guard lock(p.Mutex);
    seq = ++p.NextSeq;
    p.Notes.emplace(seq, std::move(note));
  }
  const TXaNotifyPacket packet{uint32_t(code), 0, seq, 0};
  ssize_t written = -1;
  do {
    written = write(p.NotifyFd, &packet, sizeof packet);
  } while (written < 0 && errno == EINTR);
  if (written != ssize_t(sizeof packet)) {
    // A full or closed pipe: the owner will never ask for this one.
    std::lock_guard lock(p.Mutex);
    p.Notes.erase(seq);
  }
}

void Ack(XA_Player& p, int32_t command) { Post(p, XA_MSG_NOTIFY_ACK, {command}); }

void Nack(XA_Player& p, int32_t command, int32_t code) {
  Post(p, XA_MSG_NOTIFY_NACK, {command, code});
}

void Error(XA_Player& p, int32_t source, int32_t code, const std::string& message) {
  Post(p, XA_MSG_NOTIFY_ERROR, {source, code}, message);
}

void SetState(XA_Player& p, int state) {
  if (p.State == state) return;
  p.State = state;
  Post(p, XA_MSG_NOTIFY_PLAYER_STATE, {state});
}

void CloseOutput(XA_Player& p, bool drain) {
  if (!p.Output.IsOpen()) return;
  p.Output.Close(drain);
  Post(p, XA_MSG_NOTIFY_OUTPUT_STATE, {XA_OUTPUT_STATE_CLOSED});
}

int64_t PositionMs(const TDecoder& decoder) {
  return decoder.Position() * 1000 / std::max(decoder.Format().Rate, 1);
}

void PostPosition(XA_Player& p) {
  const TDecoder& d = *p.Decoder;
  const int64_t ms = PositionMs(d);
  p.LastPositionMs = ms;
  const int64_t total = d.Format().TotalFrames;
  const int32_t offset =
      total > 0
          ? int32_t(std::min<int64_t>(d.Position() * XA_POSITION_RANGE / total, XA_POSITION_RANGE))
          : 0;
  Post(p, XA_MSG_NOTIFY_INPUT_POSITION, {offset, XA_POSITION_RANGE});
  const int64_t seconds = ms / 1000;
  Post(p, XA_MSG_NOTIFY_INPUT_TIMECODE,
       {int32_t(std::min<int64_t>(seconds / 3600, 255)), int32_t(seconds / 60 % 60),
        int32_t(seconds % 60), int32_t(ms % 1000 / 10)});
}

void PostStream(XA_Player& p) {
  const xaudio::TStreamFormat& f = p.Decoder->Format();
  Post(p, XA_MSG_NOTIFY_STREAM_PARAMETERS, {f.Rate, f.Bitrate, f.Channels});
  if (f.TotalFrames >= 0)
    Post(p, XA_MSG_NOTIFY_STREAM_DURATION,
         {int32_t(std::min<int64_t>(f.TotalFrames * 1000 / f.Rate, INT32_MAX))});
}

// Ends playback after an error, at once.
void StopAfterError(XA_Player& p, int32_t source, int32_t code, const std::string& message) {
  Error(p, source, code, message);
  CloseOutput(p, false);
  SetState(p, XA_PLAYER_STATE_STOPPED);
}

bool OpenOutput(XA_Player& p) {
  if (p.Output.IsOpen()) return true;
  const xaudio::TStreamFormat& f = p.Decoder->Format();
  std::string reason;
  const int rc = p.Output.Open(kDevice, unsigned(f.Rate), unsigned(f.Channels), reason);
  if (rc < 0) {
    Error(p, XA_SOURCE_OUTPUT, rc == -EBUSY ? XA_ERROR_DEVICE_BUSY : XA_ERROR_NO_DEVICE, reason);
    return false;
  }
  Post(p, XA_MSG_NOTIFY_OUTPUT_STATE, {XA_OUTPUT_STATE_OPEN});
  return true;
}

void ApplyLevels(XA_Player& p, int16_t* samples, size_t frames, int channels) {
  if (p.PcmLevel == 100 && p.Balance == 50) return;
  const int left = p.PcmLevel * std::min(100, p.Balance <= 50 ? 100 : (100 - p.Balance) * 2);
  const int right = p.PcmLevel * std::min(100, p.Balance >= 50 ? 100 : p.Balance * 2);
  for (size_t i = 0; i < frames; ++i) {
    int16_t* frame = samples + i * size_t(channels);
    frame[0] = int16_t(frame[0] * (channels == 2 ? left : p.PcmLevel * 100) / 10000);
    if (channels == 2) frame[1] = int16_t(frame[1] * right / 10000);
  }
}

// Decodes and writes one chunk while playing.
void PlayChunk(XA_Player& p) {
  TDecoder& d = *p.Decoder;
  p.Samples.resize(kChunkFrames * 2);
  std::string reason;
  const long frames = d.Read(p.Samples.data(), kChunkFrames, reason);
  if (frames < 0) {
    StopAfterError(p, XA_SOURCE_CODEC, XA_ERROR_DECODE, reason);
    return;
  }
  if (frames == 0) {
    CloseOutput(p, true);
    PostPosition(p);
    SetState(p, XA_PLAYER_STATE_EOF);
    return;
  }
  if (d.FormatChanged()) {
    CloseOutput(p, true);
    PostStream(p);
  }
  if (!OpenOutput(p)) {
    CloseOutput(p, false);
    SetState(p, XA_PLAYER_STATE_STOPPED);
    return;
  }
  const int channels = d.Format().Channels;
  ApplyLevels(p, p.Samples.data(), size_t(frames), channels);
  if (!p.Output.Write(p.Samples.data(), size_t(frames), reason)) {
    StopAfterError(p, XA_SOURCE_OUTPUT, XA_ERROR_OUTPUT_FAILED, reason);
    return;
  }
  if (PositionMs(d) / kPositionStepMs != p.LastPositionMs / kPositionStepMs) PostPosition(p);
}

void PostVolume(XA_Player& p) {
  Post(p, XA_MSG_NOTIFY_OUTPUT_VOLUME, {p.Mixer.Level(), p.PcmLevel, p.Balance});
}

void CloseInput(XA_Player& p) {
  CloseOutput(p, false);
  SetState(p, XA_PLAYER_STATE_STOPPED);
  if (p.Decoder) {
    p.Decoder.reset();
    Post(p, XA_MSG_NOTIFY_INPUT_STATE, {XA_INPUT_STATE_CLOSED});
  }
}

void OpenInput(XA_Player& p, const TCommand& c) {
  CloseInput(p);
  if (c.Text.empty()) {
    Nack(p, c.Code, XA_ERROR_INVALID_PARAMETERS);
    return;
  }
  int code = XA_FAILURE;
  std::string reason;
  std::unique_ptr<xaudio::TSource> source = xaudio::OpenFileSource(c.Text, code);
  if (source)
    p.Decoder = TDecoder::Open(std::move(source), code, reason);
  else
    reason = code == XA_ERROR_INVALID_FORMAT ? "not a regular file" : "cannot open the file";
  if (!p.Decoder) {
    Error(p, XA_SOURCE_INPUT, code, c.Text + ": " + reason);
    Nack(p, c.Code, code);
    return;
  }
  p.LastPositionMs = -1;
  Post(p, XA_MSG_NOTIFY_INPUT_STATE, {XA_INPUT_STATE_OPEN});
  PostStream(p);
  PostPosition(p);
  Ack(p, c.Code);
}

void Play(XA_Player& p, const TCommand& c) {
  if (!p.Decoder) {
    Nack(p, c.Code, XA_ERROR_INPUT_NOT_OPEN);
    return;
  }
  if (p.State == XA_PLAYER_STATE_EOF && !p.Decoder->Seek(0)) {
    Nack(p, c.Code, XA_ERROR_DECODE);
    return;
  }
  if (p.State == XA_PLAYER_STATE_PAUSED) p.Output.Pause(false);
  if (!OpenOutput(p)) {
    Nack(p, c.Code, XA_ERROR_NO_DEVICE);
    return;
  }
  SetState(p, XA_PLAYER_STATE_PLAYING);
  Ack(p, c.Code);
}

void Seek(XA_Player& p, const TCommand& c) {
  const int32_t offset = c.Ints[0];
  const int32_t range = c.Ints[1];
  if (!p.Decoder) return Nack(p, c.Code, XA_ERROR_INPUT_NOT_OPEN);
  if (range <= 0 || offset < 0 || offset > range)
    return Nack(p, c.Code, XA_ERROR_INVALID_PARAMETERS);
  const int64_t total = p.Decoder->Format().TotalFrames;
  if (total < 0) return Nack(p, c.Code, XA_ERROR_NOT_SUPPORTED);
  if (!p.Decoder->Seek(total * offset / range)) return Nack(p, c.Code, XA_ERROR_DECODE);
  // What is buffered belongs to the old position.
  CloseOutput(p, false);
  if (p.State == XA_PLAYER_STATE_PAUSED || p.State == XA_PLAYER_STATE_EOF)
    SetState(p, XA_PLAYER_STATE_STOPPED);
  PostPosition(p);
  Ack(p, c.Code);
}

void WatchMixer(XA_Player& p);

void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}

// How often a missing mixer is looked for again.
constexpr std::chrono::seconds kMixerRetry{2};

// Opens the mixer once more after it failed or went away, so a sound server
// that starts late or restarts brings the master level back; `now` skips
// the wait between tries (the user asked for the level).
void ReopenMixer(XA_Player& p, bool now) {
  if (p.Mixer.IsOpen()) return;
  const auto time = std::chrono::steady_clock::now();
  if (!now && time - p.MixerTried < kMixerRetry) return;
  p.MixerTried = time;
  std::string reason;
  // The first failure was reported; the tries after it stay off stderr.
  snd_lib_error_set_handler(QuietAlsa);
  const bool opened = p.Mixer.Open(kDevice, reason);
  snd_lib_error_set_handler(nullptr);
  if (!opened) return;
  p.LastMaster = -1;
  WatchMixer(p);
}

void SetVolume(XA_Player& p, const TCommand& c) {
  const int32_t balance = c.Ints[0], pcm = c.Ints[1], master = c.Ints[2];
  for (int32_t value : {balance, pcm, master})
    if (value < -1 || value > 100) return Nack(p, c.Code, XA_ERROR_INVALID_PARAMETERS);
  if (balance >= 0) p.Balance = balance;
  if (pcm >= 0) p.PcmLevel = pcm;
  if (master >= 0) {
    ReopenMixer(p, true);
    if (!p.Mixer.IsOpen() || !p.Mixer.SetLevel(master)) return Nack(p, c.Code, XA_ERROR_NO_MIXER);
    p.LastMaster = p.Mixer.Level();
  }
  PostVolume(p);
  Ack(p, c.Code);
}

void Run(XA_Player& p, const TCommand& c) {
  switch (c.Code) {
    case XA_MSG_COMMAND_EXIT:
      p.Exit = true;
      return;
    case XA_MSG_COMMAND_SYNC:
      return Ack(p, c.Code);
    case XA_MSG_COMMAND_PING:
      return Post(p, XA_MSG_NOTIFY_PONG, {c.Ints[0]});
    case XA_MSG_COMMAND_PLAY:
      return Play(p, c);
    case XA_MSG_COMMAND_PAUSE:
      if (p.State == XA_PLAYER_STATE_PLAYING) {
        p.Output.Pause(true);
        SetState(p, XA_PLAYER_STATE_PAUSED);
      }
      return Ack(p, c.Code);
    case XA_MSG_COMMAND_STOP:
      CloseOutput(p, false);
      if (p.Decoder && p.State != XA_PLAYER_STATE_STOPPED) {
        p.Decoder->Seek(0);
        PostPosition(p);
      }
      SetState(p, XA_PLAYER_STATE_STOPPED);
      return Ack(p, c.Code);
    case XA_MSG_COMMAND_INPUT_SEEK:
      return Seek(p, c);
    case XA_MSG_COMMAND_INPUT_OPEN:
      return OpenInput(p, c);
    case XA_MSG_COMMAND_INPUT_CLOSE:
      CloseInput(p);
      return Ack(p, c.Code);
    case XA_MSG_COMMAND_OUTPUT_RESET:
      CloseOutput(p, false);
      return Ack(p, c.Code);
    case XA_MSG_SET_OUTPUT_VOLUME:
      return SetVolume(p, c);
    case XA_MSG_GET_OUTPUT_VOLUME:
      ReopenMixer(p, true);
      if (!p.Mixer.IsOpen()) return Nack(p, c.Code, XA_ERROR_NO_MIXER);
      return PostVolume(p);
    default:
      return Nack(p, c.Code, XA_ERROR_NOT_SUPPORTED);
  }
}

int NiceOf(int32_t priority) { return (3 - std::clamp(priority, 0, 6)) * 5; }

void ApplyPriority(XA_Player& p) {
  // Raising it needs privileges; without them the thread keeps its own.
  if (const pid_t tid = p.Tid.load()) setpriority(PRIO_PROCESS, id_t(tid), NiceOf(p.Priority));
}

void WatchMixer(XA_Player& p) {
  if (!p.Mixer.IsOpen()) return;
  if (!p.Mixer.HandleEvents()) {
    p.Mixer.Close();
    Error(p, XA_SOURCE_MIXER, XA_ERROR_NO_MIXER, "mixer: the control device went away");
    return;
  }
  const int level = p.Mixer.Level();
  if (level == p.LastMaster) return;
  p.LastMaster = level;
  Post(p, XA_MSG_NOTIFY_OUTPUT_MASTER_LEVEL, {level});
}

void ThreadMain(XA_Player& p) {
  // A closed pipe must give EPIPE here, not end the process.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
  p.Tid = pid_t(syscall(SYS_gettid));
  ApplyPriority(p);

  std::string reason;
  p.MixerTried = std::chrono::steady_clock::now();
  if (!p.Mixer.Open(kDevice, reason)) Error(p, XA_SOURCE_MIXER, XA_ERROR_NO_MIXER, reason);
  Post(p, XA_MSG_NOTIFY_READY);
  WatchMixer(p);

  while (!p.Exit) {
    std::vector<pollfd> fds = p.Mixer.PollDescriptors();
    fds.push_back({p.WakeFds[0], POLLIN, 0});
    // Changes of the master level made elsewhere arrive on the mixer's descriptors.
    const int wait = p.State == XA_PLAYER_STATE_PLAYING ? 0
                     : p.Mixer.IsOpen()                 ? -1
                                        : int(std::chrono::milliseconds(kMixerRetry).count());
    poll(fds.data(), fds.size(), wait);
    for (size_t i = 0; i + 1 < fds.size(); ++i)
      if (fds[i].revents & (POLLERR | POLLHUP | POLLNVAL)) {
        p.Mixer.Close();
        Error(p, XA_SOURCE_MIXER, XA_ERROR_NO_MIXER, "mixer: the control device went away");
        break;
      }
    char drain[64];
    while (read(p.WakeFds[0], drain, sizeof drain) > 0) {
    }
    std::deque<TCommand> commands;
    {
      std::lock_guard lock(p.Mutex);
      commands.swap(p.Commands);
    }
    for (const TCommand& c : commands) {
      if (p.Exit) break;
      Run(p, c);
    }
    if (p.Exit) break;
    ReopenMixer(p, false);
    WatchMixer(p);
    if (p.State == XA_PLAYER_STATE_PLAYING) PlayChunk(p);
  }
  p.Output.Close(false);
  p.Decoder.reset();
  p.Mixer.Close();
  Post(p, XA_MSG_NOTIFY_EXITED);
}

int32_t Send(void* player, TCommand command) {
  auto* p = static_cast<XA_Player*>(player);
  if (!p || command.Code < 0 || command.Code > XA_MSG_LAST_COMMAND)
    return XA_ERROR_INVALID_PARAMETERS;
  {
    std::lock_guard lock(p->Mutex);
    p->Commands.push_back(std::move(command));
  }
  const char wake = 1;
  if (write(p->WakeFds[1], &wake, 1) < 0 && errno != EAGAIN) return XA_ERROR_SYSTEM;
  return XA_SUCCESS;
}

TCommand Command(int32_t code, std::initializer_list<int32_t> ints = {},
                 const char* text = nullptr) {
  TCommand c;
  c.Code = code;
  std::copy_n(ints.begin(), std::min<size_t>(ints.size(), 4), c.Ints);
  if (text) c.Text = text;
  return c;
}

void FreePlayer(XA_Player* p) {
  for (int fd : {p->NotifyFd, p->WakeFds[0], p->WakeFds[1]})
    if (fd >= 0) close(fd);
  delete p;
}

}  // namespace

extern "C" {

int32_t player_new(void** player, void* args) try {
  if (!player || !args) return XA_ERROR_INVALID_PARAMETERS;
  *player = nullptr;
  auto* p = new XA_Player;
  p->NotifyFd = fcntl(*static_cast<const int*>(args), F_DUPFD_CLOEXEC, 0);
  if (p->NotifyFd < 0 || pipe2(p->WakeFds, O_CLOEXEC | O_NONBLOCK) < 0) {
    FreePlayer(p);
    return XA_ERROR_SYSTEM;
  }
  // The player never waits on its owner: a full pipe drops the packet.
  fcntl(p->NotifyFd, F_SETFL, fcntl(p->NotifyFd, F_GETFL) | O_NONBLOCK);
  try {
    p->Thread = std::thread(ThreadMain, std::ref(*p));
  } catch (...) {
    FreePlayer(p);
    return XA_ERROR_SYSTEM;
  }
  *player = p;
  return XA_SUCCESS;
} catch (...) {
  return XA_ERROR_OUT_OF_MEMORY;
}

int32_t player_delete(void* player) try {
  auto* p = static_cast<XA_Player*>(player);
  if (!p) return XA_ERROR_INVALID_PARAMETERS;
  Send(p, Command(XA_MSG_COMMAND_EXIT));
  if (p->Thread.joinable()) p->Thread.join();
  FreePlayer(p);
  return XA_SUCCESS;
} catch (...) {
  return XA_FAILURE;
}

int32_t player_set_priority(void* player, int32_t priority) {
  auto* p = static_cast<XA_Player*>(player);
  if (!p || priority < 0 || priority > 6) return XA_ERROR_INVALID_PARAMETERS;
  p->Priority = priority;
  ApplyPriority(*p);
  return XA_SUCCESS;
}

int32_t player_get_priority(void* player) {
  auto* p = static_cast<XA_Player*>(player);
  return p ? p->Priority.load() : XA_ERROR_INVALID_PARAMETERS;
}

const char* xaudio_error_string(int32_t code) {
  switch (code) {
    case XA_SUCCESS:
      return "success";
    case XA_FAILURE:
      return "failure";
    case XA_ERROR_OUT_OF_MEMORY:
      return "out of memory";
    case XA_ERROR_INVALID_PARAMETERS:
      return "invalid parameters";
    case XA_ERROR_NOT_SUPPORTED:
      return "not supported";
    case XA_ERROR_NO_SUCH_FILE:
      return "no such file";
    case XA_ERROR_INVALID_FORMAT:
      return "unknown or invalid stream format";
    case XA_ERROR_INPUT_NOT_OPEN:
      return "no input open";
    case XA_ERROR_DECODE:
      return "decoding error";
    case XA_ERROR_NO_DEVICE:
      return "no sound device";
    case XA_ERROR_DEVICE_BUSY:
      return "sound device busy";
    case XA_ERROR_OUTPUT_FAILED:
      return "sound output failed";
    case XA_ERROR_NO_MIXER:
      return "no mixer control";
    case XA_ERROR_PLAYER_GONE:
      return "player gone";
    case XA_ERROR_SYSTEM:
      return "system error";
    default:
      return "unknown error";
  }
}

uint32_t xaudio_get_version(int32_t which) {
  switch (which) {
    case XA_VERSION_ID_MAJOR:
      return XA_API_MAJOR;
    case XA_VERSION_ID_MINOR:
      return XA_API_MINOR;
    case XA_API_ID_SYNC:
      return XA_API_MAJOR << 16 | XA_API_MINOR << 8 | XA_API_REVISION;
    default:
      return 0;
  }
}

int32_t control_message_send_N(void* player, int32_t code) try {
  return Send(player, Command(code));
} catch (...) {
  return XA_ERROR_OUT_OF_MEMORY;
}

int32_t control_message_send_P(void* player, int32_t code, const void* ptr) try {
  // No command this player carries out takes a pointer; it is not kept.
  (void)ptr;
  return Send(player, Command(code));
} catch (...) {
  return XA_ERROR_OUT_OF_MEMORY;
}

int32_t control_message_send_S(void* player, int32_t code, const char* text) try {
  return Send(player, Command(code, {}, text ? text : ""));
} catch (...) {
  return XA_ERROR_OUT_OF_MEMORY;
}

int32_t control_message_send_SS(void* player, int32_t code, const char* text1,
                                const char* text2) try {
  (void)text2;
  return Send(player, Command(code, {}, text1 ? text1 : ""));
} catch (...) {
  return XA_ERROR_OUT_OF_MEMORY;
}

int32_t control_message_send_SI(void* player, int32_t code, const char* text, int32_t value) try {
  return Send(player, Command(code, {value}, text ? text : ""));
} catch (...) {
  return XA_ERROR_OUT_OF_MEMORY;
}

int32_t control_message_send_IPI(void* player, int32_t code, int32_t value1, const void* ptr,
                                 int32_t value2) try {
  (void)ptr;
  return Send(player, Command(code, {value1, value2}));
} catch (...) {
  return XA_ERROR_OUT_OF_MEMORY;
}

int32_t control_message_send_I(void* player, int32_t code, int32_t value) try {
  return Send(player, Command(code, {value}));
} catch (...) {
  return XA_ERROR_OUT_OF_MEMORY;
}

int32_t control_message_send_II(void* player, int32_t code, int32_t value1, int32_t value2) try {
  return Send(player, Command(code, {value1, value2}));
} catch (...) {
  return XA_ERROR_OUT_OF_MEMORY;
}

int32_t control_message_send_III(void* player, int32_t code, int32_t value1, int32_t value2,
                                 int32_t value3) try {
  return Send(player, Command(code, {value1, value2, value3}));
} catch (...) {
  return XA_ERROR_OUT_OF_MEMORY;
}

int32_t control_message_send_IIII(void* player, int32_t code, int32_t value1, int32_t value2,
                                  int32_t value3, int32_t value4) try {
  return Send(player, Command(code, {value1, value2, value3, value4}));
} catch (...) {
  return XA_ERROR_OUT_OF_MEMORY;
}

int32_t control_win32_params_to_message(void* player, XA_Message* message, uint32_t code,
                                        uint64_t wparam, uint64_t lparam) try {
  auto* p = static_cast<XA_Player*>(player);
  if (!p || !message || lparam != 0) return XA_FAILURE;
  TNote note;
  {
    std::lock_guard lock(p->Mutex);
    const auto found = p->Notes.find(wparam);
    if (found == p->Notes.end() || uint32_t(found->second.Code) != code) return XA_FAILURE;
    note = std::move(found->second);
    // Older notes lost their packets to a full pipe.
    p->Notes.erase(p->Notes.begin(), std::next(found));
  }
  p->DecodedText = std::move(note.Text);
  std::memset(message, 0, sizeof *message);
  message->code = note.Code;
  const int32_t* v = note.Ints;
  const char* text = p->DecodedText.c_str();
  auto& d = message->data;
  switch (note.Code) {
    case XA_MSG_NOTIFY_PLAYER_STATE:
    case XA_MSG_NOTIFY_INPUT_STATE:
    case XA_MSG_NOTIFY_OUTPUT_STATE:
      d.state = v[0];
      break;
    case XA_MSG_NOTIFY_PONG:
      d.tag = uint32_t(v[0]);
      break;
    case XA_MSG_NOTIFY_ACK:
      d.command = v[0];
      break;
    case XA_MSG_NOTIFY_NACK:
      d.nack = {v[0], v[1]};
      break;
    case XA_MSG_NOTIFY_INPUT_POSITION:
      d.position = {uint32_t(v[0]), uint32_t(v[1])};
      break;
    case XA_MSG_NOTIFY_INPUT_TIMECODE:
      d.timecode = {uint8_t(v[0]), uint8_t(v[1]), uint8_t(v[2]), uint8_t(v[3])};
      break;
    case XA_MSG_NOTIFY_OUTPUT_VOLUME:
      d.volume = {v[0], v[1], v[2]};
      break;
    case XA_MSG_NOTIFY_OUTPUT_MASTER_LEVEL:
      d.level.master_level = v[0];
      break;
    case XA_MSG_NOTIFY_STREAM_DURATION:
      d.duration_ms = v[0];
      break;
    case XA_MSG_NOTIFY_STREAM_PARAMETERS:
      d.parameters = {v[0], v[1], v[2]};
      break;
    case XA_MSG_NOTIFY_ERROR:
      d.error = {v[0], v[1], text};
      break;
    default:
      d.other = {{v[0], v[1], v[2], v[3]}, text, nullptr};
      break;
  }
  return XA_SUCCESS;
} catch (...) {
  return XA_FAILURE;
}

}  // extern "C"
