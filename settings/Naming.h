// Output file naming: the naming rule with its placeholders, the replacement
// of characters a file name cannot hold, and the finished output path.
#pragma once

#include <QString>

// Relative output name without extension; the rule's '\' and '/' separate
// folders, kept as '\'. Beside the placeholders <artist>, <album>, <number>
// and <title>, <disc> stands for the disc's number of a set (1 when not known).
QString MakeOutputName(const QString& rule, const QString& replaceChars, const QString& artist,
                       const QString& album, const QString& title, int trackNumber,
                       int discNumber = 0);
// The ten replacement characters made from the ReplaceStr setting.
QString PadReplaceChars(const QString& text);
// Appends '/' unless the folder is empty or already ends in '/'.
QString AddTrailingBackslash(const QString& folder);
// folder + name (its '\' turned into '/') + suffix + extension (with its
// dot). Every level is made safe ('/' and control characters become '-', an
// empty or dots-only level hyphens, a leading dot a hyphen), so the path
// always lies inside the folder, and is cut to kMaxNameBytes of UTF-8 between
// two characters, the last one keeping its suffix and extension whole.
QString BuildOutputPath(const QString& folder, const QString& name, const QString& extension,
                        const QString& suffix = QString());

// The longest file or folder name Linux file systems take, in bytes.
inline constexpr qsizetype kMaxNameBytes = 255;

// The longest start of the text that takes at most maxBytes in UTF-8, cut
// between two characters as the user sees them.
QString CutToBytes(const QString& text, qsizetype maxBytes);

inline constexpr const char* kDefaultReplaceChars = "--------- ";
