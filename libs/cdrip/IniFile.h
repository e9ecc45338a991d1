// The library's own INI reader and writer for cdrip.ini: sections and keys
// compare without case, every line it does not change is written back as it
// was, and a save goes through a temporary file renamed into place. No Qt.
#pragma once

#include <string>
#include <vector>

namespace cdrip {

class TIniFile {
 public:
  // Replaces the content with the file's; false (and empty) when it cannot be read.
  bool Load(const std::string& path);
  bool Save(const std::string& path) const;

  std::string Get(const std::string& section, const std::string& key,
                  const std::string& defaultValue = std::string()) const;
  int GetInt(const std::string& section, const std::string& key, int defaultValue) const;
  // Changes the key in place, or adds it at the end of its section (the
  // section at the end of the file when it is new).
  void Set(const std::string& section, const std::string& key, const std::string& value);
  // Removes the key's line; nothing when it is not there.
  void Remove(const std::string& section, const std::string& key);
  // Removes the section from its header to the next one.
  void RemoveSection(const std::string& section);
  // Gives the section's header the new name.
  void RenameSection(const std::string& from, const std::string& to);

 private:
  struct TEntry {
    size_t Line;
    std::string Value;
  };
  // Index of the section's header line, or npos.
  size_t FindSection(const std::string& section) const;
  // The section's lines run from its header to the next header.
  size_t SectionEnd(size_t header) const;
  bool FindKey(const std::string& section, const std::string& key, TEntry& entry) const;

  std::vector<std::string> FLines;
};

}  // namespace cdrip
