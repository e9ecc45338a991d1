// The rules of the options dialog that need no screen: the speed, drive-type,
// naming-rule, server and preset tables, the server.txt reading, the
// corrections of typed numbers, the help topics and the transport-layer entry
// of cdrip.ini. Used by TConfigForm and the main window.
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>
#include <cstdint>

// The speed list: its texts, and the factor each index stores.
inline constexpr int kSpeedCount = 10;
extern const char* const kSpeedNames[kSpeedCount];
// Index in the speed list of a drive speed factor; 0 when none matches.
int SpeedIndexOf(int32_t speed);
// The speed factor of a speed-list index; an index outside the list gives 32.
int32_t SpeedOfIndex(int index);

extern const char* const kDriveTypes[20];
extern const char* const kNamingRules[10];
extern const char* const kBuiltInServers[11];
// What the replacement edits show where ReplaceStr has no character.
inline constexpr const char* kInitialReplaceChars = "-------() ";

// The server entries of server.txt: for every line holding "http 80", the
// trimmed text before it. Empty (keep the built-in entries) when the file is
// missing, holds 5 lines or fewer, or no line gives a host name.
QStringList ServerListFromFile(const QString& path);

// The trimmed text as an integer, or fallback when it is none.
int32_t IntegerOr(const QString& text, int32_t fallback);
// Whether a typed character may enter a digits-only edit. Control characters
// (Backspace, Ctrl+V and the like) pass; the paste itself is not filtered.
bool DigitEditAccepts(QChar c);
// Whether a character may stand in a replacement edit: none a name cannot
// hold, and none of two UTF-16 units (emoji and the like), which the
// one-unit replacement table cannot keep whole.
bool ReplaceEditAccepts(QChar c);

// Whether the naming rule gives each track a name of its own: it holds
// <number> or <title>. Any other rule sends every track to one file.
bool NamingRuleVariesPerTrack(const QString& rule);
// The highest bit-rate index (into kBitRates) an MP3 at the sample-rate index
// can use: MPEG-2 (below 32000 Hz) has no rate above 160 kbit/s.
int MaxBitRateIndex(int sampleRateIndex);

// One item of the presets menu; -1 leaves that control unchanged.
struct TLamePreset {
  const char* Name;  // objectName of the menu item
  const char* Caption;
  int SampleRate;
  int BitRate;
  int Mode;
  bool VBR;
  int MaxBitRate;
  int Quality;
  int VBRQualityPosition;
};
extern const TLamePreset kLamePresets[4];

// The help page at the topic of an options tab (0 "Output" to 5 "MP3 Player").
QString HelpTopicUrl(const QString& helpFile, int tabIndex);

// Stores nTransportLayer in the "CD-ROM" section of cdrip.ini, where the CD
// library reads it when it starts. An unchanged value leaves the file as it
// is. False when the file could not be written.
bool WriteTransportLayer(const QString& iniPath, int32_t value);
