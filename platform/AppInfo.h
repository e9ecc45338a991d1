// The program's name, version and maker as the windows, tags and CDDB
// greetings show them.
#pragma once

inline constexpr const char* kProgramName = "Cadenzo";
inline constexpr const char* kProgramVersion = "1.06";
inline constexpr const char* kMakerName = "Velmora Computing";
