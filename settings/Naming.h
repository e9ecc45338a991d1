// Output file naming: the naming rule with its placeholders, the replacement
// of characters a file name cannot hold, and the finished output path.
#pragma once

#include <QString>

// Relative output name without extension; the rule's '\' separates folders.
QString MakeOutputName(const QString& rule, const QString& replaceChars, const QString& artist,
                       const QString& album, const QString& title, int trackNumber);
// The ten replacement characters made from the ReplaceStr setting.
QString PadReplaceChars(const QString& text);
// Appends '/' unless the folder is empty or already ends in '/'.
QString AddTrailingBackslash(const QString& folder);
// The extension of an output format: 1 ".MP3", 2 ".WMA", else ".WAV".
QString OutputExtension(int outputFormat);
// folder + name (its '\' turned into '/') + the extension of the format. Every
// level is made safe ('/' and control characters become '-', an empty or
// dots-only level hyphens), so the path always lies inside the folder.
QString BuildOutputPath(const QString& folder, const QString& name, int outputFormat);

inline constexpr const char* kDefaultReplaceChars = "--------- ";
