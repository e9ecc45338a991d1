#include "libs/cdrip/IniFile.h"

#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace cdrip {

namespace {

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// The name of a "[section]" line, or false for any other line.
bool SectionName(const std::string& line, std::string& name) {
  const std::string text = Trim(line);
  if (text.size() < 2 || text.front() != '[' || text.back() != ']') return false;
  name = Trim(text.substr(1, text.size() - 2));
  return true;
}

// The key and value of a "key=value" line; comments and other lines give false.
bool KeyValue(const std::string& line, std::string& key, std::string& value) {
  const std::string text = Trim(line);
  if (text.empty() || text[0] == ';' || text[0] == '#' || text[0] == '[') return false;
  const size_t equals = text.find('=');
  if (equals == std::string::npos) return false;
  key = Trim(text.substr(0, equals));
  value = Trim(text.substr(equals + 1));
  return !key.empty();
}

}  // namespace

bool TIniFile::Load(const std::string& path) {
  FLines.clear();
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    FLines.push_back(line);
  }
  return !in.bad();
}

bool TIniFile::Save(const std::string& path) const {
  const std::string temp = path + ".tmp" + std::to_string(getpid());
  FILE* out = std::fopen(temp.c_str(), "wb");
  if (!out) return false;
  bool ok = true;
  for (const std::string& line : FLines)
    // Whole lines, a stray NUL byte included, so untouched lines stay as they were.
    ok = ok && std::fwrite(line.data(), 1, line.size(), out) == line.size() &&
         std::fputs("\r\n", out) >= 0;
  ok = std::fflush(out) == 0 && ok;
  ok = fsync(fileno(out)) == 0 && ok;
  ok = std::fclose(out) == 0 && ok;
  if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(temp.c_str());
  return ok;
}

size_t TIniFile::FindSection(const std::string& section) const {
  std::string name;
  for (size_t i = 0; i < FLines.size(); ++i)
    if (SectionName(FLines[i], name) && SameName(name, section)) return i;
  return std::string::npos;
}

size_t TIniFile::SectionEnd(size_t header) const {
  std::string name;
  size_t i = header + 1;
  while (i < FLines.size() && !SectionName(FLines[i], name)) ++i;
  return i;
}

bool TIniFile::FindKey(const std::string& section, const std::string& key, TEntry& entry) const {
  const size_t header = FindSection(section);
  if (header == std::string::npos) return false;
  std::string name, value;
  for (size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
    if (KeyValue(FLines[i], name, value) && SameName(name, key)) {
      entry = {i, value};
      return true;
    }
  }
  return false;
}

std::string TIniFile::Get(const std::string& section, const std::string& key,
                          const std::string& defaultValue) const {
  TEntry entry;
  return FindKey(section, key, entry) ? entry.Value : defaultValue;
}

int TIniFile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
  const std::string text = Get(section, key);
  if (text.empty()) return defaultValue;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  return end == text.c_str() ? defaultValue : int(value);
}

void TIniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
  const std::string line = key + "=" + value;
  TEntry entry;
  if (FindKey(section, key, entry)) {
    FLines[entry.Line] = line;
    return;
  }
  size_t header = FindSection(section);
  if (header == std::string::npos) {
    FLines.push_back("[" + section + "]");
    FLines.push_back(line);
    return;
  }
  // After the section's last non-blank line, so a blank separator stays below it.
  size_t at = SectionEnd(header);
  while (at > header + 1 && Trim(FLines[at - 1]).empty()) --at;
  FLines.insert(FLines.begin() + long(at), line);
}

void TIniFile::Remove(const std::string& section, const std::string& key) {
  TEntry entry;
  if (FindKey(section, key, entry)) FLines.erase(FLines.begin() + long(entry.Line));
}

void TIniFile::RemoveSection(const std::string& section) {
  const size_t header = FindSection(section);
  if (header != std::string::npos)
    FLines.erase(FLines.begin() + long(header), FLines.begin() + long(SectionEnd(header)));
}

void TIniFile::RenameSection(const std::string& from, const std::string& to) {
  const size_t header = FindSection(from);
  if (header != std::string::npos) FLines[header] = "[" + to + "]";
}

}  // namespace cdrip
