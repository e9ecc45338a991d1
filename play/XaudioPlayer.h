// TXaudioPlayer: the player component over the player library, which it loads
// at run time by symbol name. It creates one player on first use, sends it
// commands and turns the notifications the player writes into its pipe into
// events, delivered on the thread that owns the component (the UI thread).
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "libs/xaudio/xaudio.h"
#include "platform/Exception.h"

class QSocketNotifier;
class TXaudioPlayer;

class EXaudioException : public Exception {
 public:
  using Exception::Exception;
};

using TXaudioEvent = std::function<void(TXaudioPlayer* Sender)>;
using TXaudioMessageEvent = std::function<void(TXaudioPlayer* Sender, const XA_Message& Message)>;
using TXaudioIntEvent = std::function<void(TXaudioPlayer* Sender, int32_t Value)>;
using TXaudioTextEvent = std::function<void(TXaudioPlayer* Sender, const QString& Text)>;
using TXaudioNackEvent = std::function<void(TXaudioPlayer* Sender, int32_t Command, int32_t Code)>;
using TXaudioEnvIntegerEvent =
    std::function<void(TXaudioPlayer* Sender, const QString& Name, int32_t Value)>;
using TXaudioEnvStringEvent =
    std::function<void(TXaudioPlayer* Sender, const QString& Name, const QString& Value)>;
using TXaudioPositionEvent =
    std::function<void(TXaudioPlayer* Sender, uint32_t Offset, uint32_t Range)>;
using TXaudioTimecodeEvent = std::function<void(
    TXaudioPlayer* Sender, uint8_t Hours, uint8_t Minutes, uint8_t Seconds, uint8_t Fractions)>;
using TXaudioModuleInfoEvent = std::function<void(TXaudioPlayer* Sender, int32_t Id, int32_t Count,
                                                  const QString& Name, const QString& Description)>;
using TXaudioDeviceInfoEvent =
    std::function<void(TXaudioPlayer* Sender, int32_t Module, int32_t Index, const QString& Name,
                       const QString& Description)>;
using TXaudioFilterInfoEvent =
    std::function<void(TXaudioPlayer* Sender, int32_t Id, const QString& Name)>;
using TXaudioVolumeEvent = std::function<void(TXaudioPlayer* Sender, int32_t MasterLevel,
                                              int32_t PcmLevel, int32_t Balance)>;
using TXaudioStreamParametersEvent = std::function<void(TXaudioPlayer* Sender, int32_t Frequency,
                                                        int32_t Bitrate, int32_t Channels)>;
using TXaudioProgressEvent = std::function<void(TXaudioPlayer* Sender, int32_t Source, int32_t Code,
                                                int32_t Value, const QString& Message)>;
// Debug (source, level, message) and error (source, code, message) reports.
using TXaudioReportEvent = std::function<void(TXaudioPlayer* Sender, int32_t Source, int32_t Code,
                                              const QString& Message)>;

class TXaudioPlayer : public QObject {
  Q_OBJECT
 public:
  // Throws EXaudioException "Cannot Create Hidden Window" when the
  // notification pipe cannot be made.
  explicit TXaudioPlayer(QObject* parent = nullptr);
  ~TXaudioPlayer() override;

  uint32_t Priority() const;
  void SetPriority(uint32_t value);
  QString XaudioPath() const { return FXaudioPath; }
  void SetXaudioPath(const QString& value) { FXaudioPath = value; }

  // Loads the library and creates the player when there is none; true.
  // Throws EXaudioException when the library cannot be loaded, lacks an
  // entry point, has another interface version, or cannot start a player.
  bool Init();
  // The library's version value when a player exists, else 0.
  uint32_t GetVersion(uint8_t which) const;
  QString ErrorString(int32_t code);

  // Commands: each makes sure the player exists, sends one control message
  // and returns the library's result. "Get" commands are answered later by
  // a notification event.
  int32_t Synchronize() { return SendN(2); }
  int32_t Ping(int32_t tag) { return SendI(3, tag); }
  int32_t Play() { return SendN(4); }
  int32_t Pause() { return SendN(5); }
  int32_t Stop() { return SendN(6); }
  int32_t InputSeek(int32_t offset, int32_t range) { return SendII(7, offset, range); }
  int32_t InputOpen(const QString& name) { return SendS(8, name); }
  int32_t InputClose() { return SendN(9); }
  int32_t InputSendMessage(int32_t type, const void* data, int32_t size) {
    return SendIPI(10, type, data, size);
  }
  int32_t InputAddFilter(const QString& name, int32_t where) { return SendSI(11, name, where); }
  int32_t InputRemoveFilter(const QString& name, int32_t id) { return SendSI(12, name, id); }
  int32_t InputFilterList() { return SendN(13); }
  int32_t InputModuleRegister(const QString& name) { return SendS(14, name); }
  int32_t InputModuleQuery(int32_t id) { return SendI(15, id); }
  int32_t InputModulesList() { return SendN(16); }
  int32_t OutputOpen(const QString& name) { return SendS(17, name); }
  int32_t OutputClose() { return SendN(18); }
  int32_t OutputSendMessage(int32_t type, const void* data, int32_t size) {
    return SendIPI(19, type, data, size);
  }
  int32_t OutputMute() { return SendN(20); }
  int32_t OutputUnmute() { return SendN(21); }
  int32_t OutputReset() { return SendN(22); }
  int32_t OutputDrain() { return SendN(23); }
  int32_t OutputAddFilter(const QString& name, int32_t where) { return SendSI(24, name, where); }
  int32_t OutputRemoveFilter(const QString& name, int32_t id) { return SendSI(25, name, id); }
  int32_t OutputFilterList() { return SendN(26); }
  int32_t OutputModuleRegister(const QString& name) { return SendS(27, name); }
  int32_t OutputModuleQuery(int32_t id) { return SendI(28, id); }
  int32_t OutputModulesList() { return SendN(29); }
  int32_t CodecSendMessage(int32_t type, const void* data, int32_t size) {
    return SendIPI(30, type, data, size);
  }
  int32_t CodecModuleRegister(const QString& name) { return SendS(31, name); }
  int32_t CodecModuleQuery(int32_t id) { return SendI(32, id); }
  int32_t CodecModulesList() { return SendN(33); }
  int32_t SetPlayerMode(int32_t mode) { return SendI(34, mode); }
  int32_t GetPlayerMode() { return SendN(35); }
  int32_t SetPlayerEnvironmentInteger(const QString& name, int32_t value) {
    return SendSI(36, name, value);
  }
  int32_t GetPlayerEnvironmentInteger(const QString& name) { return SendS(37, name); }
  int32_t SetPlayerEnvironmentString(const QString& name, const QString& value) {
    return SendSS(38, name, value);
  }
  int32_t GetPlayerEnvironmentString(const QString& name) { return SendS(39, name); }
  int32_t UnsetPlayerEnvironment(const QString& name) { return SendS(40, name); }
  int32_t SetInputName(const QString& name) { return SendS(41, name); }
  int32_t GetInputName() { return SendN(42); }
  int32_t SetInputModule(int32_t id) { return SendI(43, id); }
  int32_t GetInputModule() { return SendN(44); }
  int32_t SetInputPositionRange(int32_t range) { return SendI(45, range); }
  int32_t GetInputPositionRange() { return SendN(46); }
  int32_t SetInputTimecodeGranularity(int32_t granularity) { return SendI(47, granularity); }
  int32_t GetInputTimecodeGranularity() { return SendN(48); }
  int32_t SetOutputName(const QString& name) { return SendS(49, name); }
  int32_t GetOutputName() { return SendN(50); }
  int32_t SetOutputModule(int32_t id) { return SendI(51, id); }
  int32_t GetOutputModule() { return SendN(52); }
  int32_t SetOutputVolume(int32_t balance, int32_t pcmLevel, int32_t masterLevel) {
    return SendIII(57, balance, pcmLevel, masterLevel);
  }
  int32_t GetOutputVolume() { return SendN(58); }
  int32_t SetOutputChannels(int32_t channels) { return SendI(59, channels); }
  int32_t GetOutputChannels() { return SendN(60); }
  int32_t SetOutputPorts(int32_t ports) { return SendI(61, ports); }
  int32_t GetOutputPorts() { return SendN(62); }
  int32_t SetCodecQuality(int32_t quality) { return SendI(63, quality); }
  int32_t GetCodecQuality() { return SendN(64); }
  int32_t SetCodecEqualizer(const void* equalizer) { return SendP(65, equalizer); }
  int32_t GetCodecEqualizer() { return SendN(66); }
  int32_t SetNotificationMask(int32_t mask) { return SendI(69, mask); }
  int32_t GetNotificationMask() { return SendN(70); }
  int32_t SetDebugLevel(int32_t level) { return SendI(71, level); }
  int32_t GetDebugLevel() { return SendN(72); }

  // Every decoded notification fires OnNotifyMessage, then its own event.
  TXaudioMessageEvent OnNotifyMessage;
  TXaudioEvent OnNotifyReady;
  TXaudioIntEvent OnNotifyAck;  // the command
  TXaudioNackEvent OnNotifyNack;
  TXaudioIntEvent OnNotifyPong;  // the tag
  TXaudioEvent OnNotifyExited;
  TXaudioIntEvent OnNotifyPlayerState;
  TXaudioIntEvent OnNotifyPlayerMode;
  TXaudioEnvIntegerEvent OnNotifyPlayerEnvironmentInteger;
  TXaudioEnvStringEvent OnNotifyPlayerEnvironmentString;
  TXaudioIntEvent OnNotifyInputState;
  TXaudioTextEvent OnNotifyInputName;
  TXaudioIntEvent OnNotifyInputCaps;
  TXaudioPositionEvent OnNotifyInputPosition;
  TXaudioIntEvent OnNotifyInputPositionRange;
  TXaudioTimecodeEvent OnNotifyInputTimecode;
  TXaudioIntEvent OnNotifyInputTimecodeGranularity;
  TXaudioIntEvent OnNotifyInputModule;
  TXaudioModuleInfoEvent OnNotifyInputModuleInfo;
  TXaudioDeviceInfoEvent OnNotifyInputDeviceInfo;
  TXaudioFilterInfoEvent OnNotifyInputFilterInfo;
  TXaudioIntEvent OnNotifyOutputState;
  TXaudioTextEvent OnNotifyOutputName;
  TXaudioIntEvent OnNotifyOutputCaps;
  TXaudioVolumeEvent OnNotifyOutputVolume;
  TXaudioIntEvent OnNotifyOutputBalance;
  TXaudioIntEvent OnNotifyOutputPcmLevel;
  TXaudioIntEvent OnNotifyOutputMasterLevel;
  TXaudioIntEvent OnNotifyOutputChannels;
  TXaudioIntEvent OnNotifyOutputPorts;
  TXaudioIntEvent OnNotifyOutputModule;
  TXaudioModuleInfoEvent OnNotifyOutputModuleInfo;
  TXaudioDeviceInfoEvent OnNotifyOutputDeviceInfo;
  TXaudioFilterInfoEvent OnNotifyOutputFilterInfo;
  TXaudioTextEvent OnNotifyStreamMimeType;
  TXaudioIntEvent OnNotifyStreamDuration;  // milliseconds
  TXaudioStreamParametersEvent OnNotifyStreamParameters;
  TXaudioIntEvent OnNotifyStreamProperties;
  TXaudioIntEvent OnNotifyCodecQuality;
  TXaudioIntEvent OnNotifyCodecEqualizer;
  TXaudioIntEvent OnNotifyCodecModule;
  TXaudioModuleInfoEvent OnNotifyCodecModuleInfo;
  TXaudioDeviceInfoEvent OnNotifyCodecDeviceInfo;
  TXaudioIntEvent OnNotifyNotificationMask;
  TXaudioIntEvent OnNotifyDebugLevel;
  TXaudioProgressEvent OnNotifyProgress;
  TXaudioReportEvent OnNotifyDebug;
  TXaudioReportEvent OnNotifyError;

 private:
  struct TEntryPoints;

  void Unload();
  void ReadNotifications();
  void Dispatch(const XA_Message& message);
  int32_t SendN(int32_t code);
  int32_t SendI(int32_t code, int32_t value);
  int32_t SendII(int32_t code, int32_t value1, int32_t value2);
  int32_t SendIII(int32_t code, int32_t value1, int32_t value2, int32_t value3);
  int32_t SendS(int32_t code, const QString& text);
  int32_t SendSS(int32_t code, const QString& text1, const QString& text2);
  int32_t SendSI(int32_t code, const QString& text, int32_t value);
  int32_t SendP(int32_t code, const void* data);
  int32_t SendIPI(int32_t code, int32_t value1, const void* data, int32_t value2);

  QString FXaudioPath = "libxaudio.so";
  uint32_t FPriority = 3;
  void* FLibrary = nullptr;
  std::unique_ptr<TEntryPoints> FApi;
  void* FPlayer = nullptr;
  // The notification pipe: the player writes into [1], the component reads [0].
  int FPipe[2] = {-1, -1};
  QSocketNotifier* FNotifier = nullptr;
};
