// xmcd entries in plain C++ behind the C interface of localcddb.h.
#include "libs/localcddb/localcddb.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string gBanner;

bool IsHexId(const std::string& id) {
  if (id.size() != 8) return false;
  for (char c : id)
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Copies text into a caller's buffer, cut before a UTF-8 sequence that would
// not fit whole. A field read trimmed stays trimmed when the cut leaves a
// blank at its end, so it reads back the same from the entry written.
void Store(char* buffer, const std::string& text, bool trimmed = false) {
  if (!buffer) return;
  size_t length = std::min<size_t>(text.size(), LCDDB_TEXT_SIZE - 1);
  if (length < text.size())
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
  if (trimmed)
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t')) --length;
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

std::string Text(const char* buffer) { return buffer ? std::string(buffer) : std::string(); }

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// A track number of TTITLEn / EXTTn: 0..99, else -1.
int TrackNumber(const std::string& digits) {
  if (digits.empty() || digits.size() > 2) return -1;
  for (char c : digits)
    if (c < '0' || c > '9') return -1;
  return std::stoi(digits);
}

// Parses the entry into keyed values (continuation lines joined) and the
// frame offsets and disc length of its comment block.
struct TParsed {
  std::map<std::string, std::string> Values;
  std::vector<long> Offsets;
  long DiscSeconds = 0;
  int Revision = 0;
};

bool Parse(const std::string& text, TParsed& parsed) {
  std::string body = text;
  if (body.rfind("\xEF\xBB\xBF", 0) == 0) body.erase(0, 3);
  const std::vector<std::string> lines = SplitLines(body);
  if (lines.empty() || lines[0].rfind("# xmcd", 0) != 0) return false;
  bool inOffsets = false;
  for (const std::string& line : lines) {
    if (line.empty()) continue;
    if (line[0] == '#') {
      const std::string comment = Trim(line.substr(1));
      if (comment.rfind("Track frame offsets", 0) == 0) {
        inOffsets = true;
        continue;
      }
      if (inOffsets) {
        char* end = nullptr;
        const long offset = std::strtol(comment.c_str(), &end, 10);
        if (!comment.empty() && end && *end == '\0' && offset >= 0) {
          if (parsed.Offsets.size() < LCDDB_MAX_TRACKS) parsed.Offsets.push_back(offset);
          continue;
        }
        inOffsets = false;
      }
      // A negative length is no length: kept, it would be written back as
      // another one.
      if (comment.rfind("Disc length:", 0) == 0)
        parsed.DiscSeconds = std::max(0L, std::strtol(comment.c_str() + 12, nullptr, 10));
      else if (Lower(comment).rfind("revision:", 0) == 0)
        parsed.Revision = int(std::strtol(comment.c_str() + 9, nullptr, 10));
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos || equals == 0) return false;
    const std::string key = line.substr(0, equals);
    for (const char* indexed : {"TTITLE", "EXTT"}) {
      const size_t length = std::strlen(indexed);
      if (key.rfind(indexed, 0) == 0 && TrackNumber(key.substr(length)) < 0) return false;
    }
    parsed.Values[key] += line.substr(equals + 1);  // continuation lines join
  }
  return parsed.Values.count("DISCID") && parsed.Values.count("DTITLE");
}

void FillToc(const TParsed& parsed, LCDDB_CDINFO& toc) {
  std::memset(&toc, 0, sizeof toc);
  toc.TrackCount = uint8_t(parsed.Offsets.size());
  for (size_t i = 0; i < parsed.Offsets.size(); ++i) {
    const long frames = parsed.Offsets[i];
    toc.Tracks[i].Min = uint8_t(std::min(frames / 4500, 255L));
    toc.Tracks[i].Sec = uint8_t(frames / 75 % 60);
    toc.Tracks[i].Frame = uint8_t(frames % 75);
    toc.Tracks[i].Audio = -1;
  }
  toc.LeadOutMin = uint8_t(std::min(parsed.DiscSeconds / 60, 255L));
  toc.LeadOutSec = uint8_t(parsed.DiscSeconds % 60);
}

int32_t ParseInto(LCDDB_ENTRY* entry, const std::string& text) {
  TParsed parsed;
  if (!Parse(text, parsed)) return LCDDB_CORRUPT;
  auto value = [&](const std::string& key) {
    const auto it = parsed.Values.find(key);
    return it == parsed.Values.end() ? std::string() : it->second;
  };
  std::string discId = Trim(value("DISCID"));
  discId = discId.substr(0, discId.find(','));
  Store(entry->Disc[LCDDB_DISCID], Trim(discId), true);
  const std::string title = value("DTITLE");
  const auto slash = title.find(" / ");
  Store(entry->Disc[LCDDB_ARTIST],
        Trim(slash == std::string::npos ? title : title.substr(0, slash)), true);
  Store(entry->Disc[LCDDB_TITLE],
        Trim(slash == std::string::npos ? title : title.substr(slash + 3)), true);
  Store(entry->Disc[LCDDB_YEAR], Trim(value("DYEAR")), true);
  Store(entry->Disc[LCDDB_GENRE], Trim(value("DGENRE")), true);
  Store(entry->Disc[LCDDB_EXTD], value("EXTD"));
  Store(entry->Category, Trim(value("DGENRE")), true);
  for (int i = 0; i < LCDDB_MAX_TRACKS; ++i) {
    Store(entry->Titles[i], value("TTITLE" + std::to_string(i)));
    Store(entry->ExtData[i], value("EXTT" + std::to_string(i)));
  }
  entry->Revision = parsed.Revision;
  FillToc(parsed, entry->Toc);
  return LCDDB_OK;
}

std::string Compose(const LCDDB_ENTRY& entry) {
  std::ostringstream out;
  const LCDDB_CDINFO& toc = entry.Toc;
  const int tracks = std::min<int>(toc.TrackCount, LCDDB_MAX_TRACKS);
  out << "# xmcd CD database file\r\n#\r\n# Track frame offsets:\r\n";
  for (int i = 0; i < tracks; ++i)
    out << "#\t" << toc.Tracks[i].Min * 4500 + toc.Tracks[i].Sec * 75 + toc.Tracks[i].Frame
        << "\r\n";
  out << "#\r\n# Disc length: " << toc.LeadOutMin * 60 + toc.LeadOutSec << " seconds\r\n#\r\n"
      << "# Revision: " << entry.Revision << "\r\n";
  if (!gBanner.empty()) out << "# Submitted via: " << gBanner << "\r\n";
  out << "#\r\n";
  // A value never carries a line break into the entry.
  auto line = [&out](const std::string& key, std::string value) {
    for (char& c : value)
      if (c == '\r' || c == '\n') c = ' ';
    out << key << '=' << value << "\r\n";
  };
  line("DISCID", Text(entry.Disc[LCDDB_DISCID]));
  line("DTITLE", Text(entry.Disc[LCDDB_ARTIST]) + " / " + Text(entry.Disc[LCDDB_TITLE]));
  line("DYEAR", Text(entry.Disc[LCDDB_YEAR]));
  line("DGENRE", Text(entry.Disc[LCDDB_GENRE]));
  for (int i = 0; i < tracks; ++i) line("TTITLE" + std::to_string(i), Text(entry.Titles[i]));
  line("EXTD", Text(entry.Disc[LCDDB_EXTD]));
  for (int i = 0; i < tracks; ++i) line("EXTT" + std::to_string(i), Text(entry.ExtData[i]));
  out << "PLAYORDER=\r\n";
  return out.str();
}

bool ReadWhole(const std::filesystem::path& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream content;
  content << in.rdbuf();
  text = content.str();
  return !in.bad();
}

}  // namespace

extern "C" {

int32_t SetVersion(const char* banner, int32_t size) {
  if (!banner || size < 0) return LCDDB_BAD_ARGUMENT;
  try {
    gBanner.assign(banner, strnlen(banner, size_t(size)));
  } catch (...) {
    return LCDDB_BAD_ARGUMENT;
  }
  return LCDDB_OK;
}

int32_t ParseCDDBString(LCDDB_ENTRY* entry, const char* text) {
  if (!entry || !text) return LCDDB_BAD_ARGUMENT;
  try {
    return ParseInto(entry, text);
  } catch (...) {
    return LCDDB_CORRUPT;
  }
}

int32_t CreateCDDBString(const LCDDB_ENTRY* entry, char* buffer, int32_t size) {
  if (!entry || size < 0 || (size > 0 && !buffer)) return LCDDB_BAD_ARGUMENT;
  try {
    const std::string text = Compose(*entry);
    if (text.size() < size_t(size)) std::memcpy(buffer, text.c_str(), text.size() + 1);
    return int32_t(text.size());
  } catch (...) {
    return LCDDB_BAD_ARGUMENT;
  }
}

int32_t WriteCDData(const LCDDB_ENTRY* entry, const char* folder) {
  if (!entry || !folder || !IsHexId(Text(entry->Disc[LCDDB_DISCID]))) return LCDDB_BAD_ARGUMENT;
  try {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(folder, error);
    const fs::path target = fs::path(folder) / Lower(Text(entry->Disc[LCDDB_DISCID]));
    const fs::path temporary =
        fs::path(folder) / ("." + target.filename().string() + "." + std::to_string(getpid()));
    const std::string text = Compose(*entry);
    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      out << text;
      out.flush();
      if (!out) {
        fs::remove(temporary, error);
        return LCDDB_IO_ERROR;
      }
    }
    fs::rename(temporary, target, error);
    if (error) {
      fs::remove(temporary, error);
      return LCDDB_IO_ERROR;
    }
    return LCDDB_OK;
  } catch (...) {
    return LCDDB_IO_ERROR;
  }
}

int32_t ReadCDData(LCDDB_ENTRY* entry, const char* folder, const char* discId) {
  if (!entry || !folder || !discId || !IsHexId(discId)) return LCDDB_BAD_ARGUMENT;
  try {
    std::string text;
    if (!ReadWhole(std::filesystem::path(folder) / Lower(discId), text)) return LCDDB_NOT_FOUND;
    return ParseInto(entry, text);
  } catch (...) {
    return LCDDB_IO_ERROR;
  }
}

int32_t FindMatches(const char* folder, const char* discId, char* buffer, int32_t size) {
  if (!folder || !discId || size < 0 || (size > 0 && !buffer)) return LCDDB_BAD_ARGUMENT;
  try {
    namespace fs = std::filesystem;
    const std::string wanted = Lower(discId);
    std::string names;
    int32_t count = 0;
    std::error_code error;
    for (const fs::directory_entry& file : fs::directory_iterator(folder, error)) {
      std::string text;
      TParsed parsed;
      if (!file.is_regular_file(error) || !ReadWhole(file.path(), text) || !Parse(text, parsed))
        continue;
      std::stringstream ids(Lower(parsed.Values["DISCID"]));
      for (std::string id; std::getline(ids, id, ',');)
        if (Trim(id) == wanted) {
          names += file.path().filename().string() + "\n";
          ++count;
          break;
        }
    }
    if (error) return LCDDB_NOT_FOUND;
    if (names.size() < size_t(size)) std::memcpy(buffer, names.c_str(), names.size() + 1);
    return count;
  } catch (...) {
    return LCDDB_IO_ERROR;
  }
}

}  // extern "C"
