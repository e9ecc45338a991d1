// The program's name, version and maker as the windows, tags and CDDB
// greetings show them.
#pragma once

inline constexpr const char* kProgramName = "Cadenzo";
inline constexpr const char* kProgramVersion = "1.06";
inline constexpr const char* kMakerName = "Velmora Computing";

// Addresses opened by the Homepage and Check new version commands; the
// homepage also names the program to web services.
inline constexpr const char* kHomepageUrl = "https://www.velmora.example/cadenzo/";
inline constexpr const char* kDownloadUrl = "https://www.velmora.example/cadenzo/download/";
