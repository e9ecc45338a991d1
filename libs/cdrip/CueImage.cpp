#include "libs/cdrip/CueImage.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>
extern "C" {
#include <libcue.h>
}

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>

namespace cdrip {

namespace {

namespace fs = std::filesystem;

// libcue's parser keeps its state in globals: one sheet at a time in the
// process, as a batch opens the images of several drives at once.
std::mutex cueParseLock;

constexpr int32_t kSectorBytes = 2352;
constexpr int32_t kFramesPerSector = kSectorBytes / 4;
// No disc holds more; a sheet or file stating more is refused before any
// sum can overflow.
constexpr int64_t kMaxSectors = 100 * 60 * 75;

enum class TFileType { Binary, Motorola, Audio };

// A FILE line as the sheet states it.
struct TFileLine {
  int Line = 0;
  std::string Name;
  TFileType Type = TFileType::Binary;
};

bool IsUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    const auto c = uint8_t(text[i]);
    const size_t more = c < 0x80                ? 0
                        : c >= 0xc2 && c < 0xe0 ? 1
                        : c >= 0xe0 && c < 0xf0 ? 2
                        : c >= 0xf0 && c < 0xf5 ? 3
                                                : 9;
    if (more > 3 || (more > 0 && i + more >= text.size())) return false;
    for (size_t k = 1; k <= more; ++k)
      if ((uint8_t(text[i + k]) >> 6) != 2) return false;
    i += more + 1;
  }
  return true;
}

// Bytes a sector of a track of this mode takes in a raw file.
int32_t ModeBlockBytes(TrackMode mode) {
  switch (mode) {
    case MODE_MODE1:
    case MODE_MODE2_FORM1:
      return 2048;
    case MODE_MODE2:
      return 2336;
    case MODE_MODE2_FORM2:
      return 2324;
    case MODE_MODE2_FORM_MIX:
      return 2332;
    default:
      return 2352;
  }
}

// The words of a sheet line: a quoted string is one word, without its quotes.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < line.size()) {
    if (line[at] == ' ' || line[at] == '\t') {
      ++at;
      continue;
    }
    if (line[at] == '"' || line[at] == '\'') {
      const size_t close = line.find(line[at], at + 1);
      const size_t end = close == std::string::npos ? line.size() : close;
      words.push_back(line.substr(at + 1, end - at - 1));
      at = end + 1;
      continue;
    }
    const size_t end = std::min(line.find_first_of(" \t", at), line.size());
    words.push_back(line.substr(at, end - at));
    at = end;
  }
  return words;
}

std::string Quote(const std::string& name) { return "'" + name + "'"; }

// Where a FILE name points: inside the sheet's folder only (a name that
// leaves it is looked for by its last part), matched without regard to case
// when the exact name is missing. A sheet written elsewhere (a Windows path,
// a folder since renamed) finds its file by name beside it.
fs::path ResolveFile(const std::string& folder, std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  fs::path relative = fs::path(name).lexically_normal();
  if (relative.is_absolute() || relative.has_root_name() || relative.empty() ||
      *relative.begin() == "..")
    relative = relative.filename();
  const fs::path named = fs::path(folder) / relative;
  std::error_code error;
  for (const fs::path& path : {named, fs::path(folder) / relative.filename()}) {
    if (fs::exists(path, error) || relative.empty()) return path;
    std::string wanted = path.filename().string();
    std::transform(wanted.begin(), wanted.end(), wanted.begin(), ::tolower);
    for (const auto& entry : fs::directory_iterator(path.parent_path(), error)) {
      std::string found = entry.path().filename().string();
      std::transform(found.begin(), found.end(), found.begin(), ::tolower);
      if (found == wanted) return entry.path();
    }
  }
  return named;
}

const char* Text(const char* value) { return value ? value : ""; }

uint32_t LittleEndian32(const char* bytes) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | uint8_t(bytes[i]);
  return value;
}

// The stereo 16-bit frames a WAVE file's data chunk states, which libsndfile
// cuts to what the file holds; 0 when it states none, or the "unknown" sizes
// a stream writer leaves (0 and 0xffffffff).
int64_t WaveDataFrames(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  char header[12];
  if (!in.read(header, 12) || std::memcmp(header, "RIFF", 4) != 0) return 0;
  // The data chunk follows a few short ones; a file that holds it further on is odd.
  for (int chunks = 0; chunks < 64; ++chunks) {
    char chunk[8];
    if (!in.read(chunk, 8)) return 0;
    const uint32_t size = LittleEndian32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) return size == 0xffffffffu ? 0 : int64_t(size) / 4;
    in.seekg(std::streamoff(size) + (size & 1), std::ios::cur);
  }
  return 0;
}

// libcdio exports a cdtext_get of its own, which takes a plain call to the
// name; libcue's is asked of libcue itself.
std::string CueText(Pti field, const Cdtext* cdtext) {
  using TGet = const char* (*)(Pti, const Cdtext*);
  static const TGet get = []() -> TGet {
    Dl_info info{};
    void* cue = dladdr(reinterpret_cast<void*>(&cue_parse_string), &info) && info.dli_fname
                    ? dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD)
                    : nullptr;
    return cue ? reinterpret_cast<TGet>(dlsym(cue, "cdtext_get")) : nullptr;
  }();
  return get && cdtext ? Text(get(field, cdtext)) : "";
}

}  // namespace

std::string CueSheetText(const std::string& bytes) {
  std::string text = bytes.compare(0, 3, "\xef\xbb\xbf") == 0 ? bytes.substr(3) : bytes;
  if (!IsUtf8(text)) {
    std::string utf8;
    for (const char c : text) {
      const auto byte = uint8_t(c);
      if (byte < 0x80) {
        utf8 += c;
      } else {
        utf8 += char(0xc0 | (byte >> 6));
        utf8 += char(0x80 | (byte & 0x3f));
      }
    }
    text = std::move(utf8);
  }
  std::string lines;
  lines.reserve(text.size() + 1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lines += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] != '\0') {
      lines += text[i];
    }
  }
  if (lines.empty() || lines.back() != '\n') lines += '\n';
  return lines;
}

// One audio or raw file of the image.
struct TCueImage::TFile {
  TFileLine Where;
  TFileType Type = TFileType::Binary;
  int Fd = -1;
  SNDFILE* Sound = nullptr;
  int64_t Bytes = 0;                  // raw files
  int32_t BlockBytes = kSectorBytes;  // of a raw file's sectors: data tracks may take fewer
  int64_t Frames = 0;                 // libsndfile files
  int64_t NextFrame = -1;             // where libsndfile stands, so reading on needs no seek
  int32_t Sectors = 0;

  ~TFile() {
    if (Fd >= 0) close(Fd);
    if (Sound) sf_close(Sound);
  }

  bool Open(const std::string& folder, const std::string& prefix, std::string& error) {
    const fs::path path = ResolveFile(folder, Where.Name);
    std::error_code code;
    if (!fs::is_regular_file(path, code)) {
      error = prefix + Quote(Where.Name) + " not found";
      return false;
    }
    if (Type != TFileType::Audio) {
      Fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      struct stat status {};
      if (Fd < 0 || fstat(Fd, &status) != 0) {
        error = prefix + Quote(Where.Name) + " can't be read: " + std::strerror(errno);
        return false;
      }
      Bytes = status.st_size;
      return SetSectors((Bytes + BlockBytes - 1) / BlockBytes, prefix, error);
    }
    SF_INFO info{};
    Sound = sf_open(path.c_str(), SFM_READ, &info);
    if (!Sound) {
      error = prefix + Quote(Where.Name) + " can't be read: " + sf_strerror(nullptr);
      return false;
    }
    SF_FORMAT_INFO major{}, minor{};
    major.format = info.format & SF_FORMAT_TYPEMASK;
    minor.format = info.format & SF_FORMAT_SUBMASK;
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &major, sizeof major);
    sf_command(nullptr, SFC_GET_FORMAT_INFO, &minor, sizeof minor);
    if (info.samplerate != 44100 || info.channels != 2 || minor.format != SF_FORMAT_PCM_16) {
      error = prefix + Quote(Where.Name) + " is " + Text(major.name) + ", " +
              std::to_string(info.samplerate) + " Hz, " + Text(minor.name) + ", " +
              std::to_string(info.channels) +
              " channels: a CD holds 44100 Hz 16-bit stereo, nothing else";
      return false;
    }
    // A header that promises more than the file holds keeps its promise: the
    // frames it lacks are missing, not a shorter track.
    Frames =
        std::max<int64_t>(info.frames, major.format == SF_FORMAT_WAV ? WaveDataFrames(path) : 0);
    NextFrame = 0;
    return SetSectors((Frames + kFramesPerSector - 1) / kFramesPerSector, prefix, error);
  }

  bool SetSectors(int64_t sectors, const std::string& prefix, std::string& error) {
    if (sectors > kMaxSectors) {
      error = prefix + Quote(Where.Name) + " holds more than a CD can";
      return false;
    }
    Sectors = int32_t(sectors);
    return true;
  }

  // Reads sectors [sector, sector + count) of the file as CD sectors; what
  // lies past its end is silence. Returns the sectors delivered from the first.
  int32_t Read(int32_t sector, int32_t count, uint8_t* out) {
    const size_t size = size_t(count) * kSectorBytes;
    std::memset(out, 0, size);
    if (Type != TFileType::Audio) {
      const int64_t offset = int64_t(sector) * kSectorBytes;
      const int64_t want = std::min<int64_t>(int64_t(size), std::max<int64_t>(Bytes - offset, 0));
      int64_t done = 0;
      while (done < want) {
        const ssize_t got = pread(Fd, out + done, size_t(want - done), offset + done);
        if (got <= 0) break;
        done += got;
      }
      if (Type == TFileType::Motorola)
        for (size_t i = 0; i + 1 < size; i += 2) std::swap(out[i], out[i + 1]);
      // A raw file holds whole sectors: one cut short is missing.
      return int32_t(done / kSectorBytes);
    }
    const int64_t frame = int64_t(sector) * kFramesPerSector;
    const int64_t want =
        std::min<int64_t>(int64_t(count) * kFramesPerSector, std::max<int64_t>(Frames - frame, 0));
    if (want == 0) return count;
    if (frame != NextFrame && sf_seek(Sound, frame, SEEK_SET) != frame) {
      NextFrame = -1;
      return 0;
    }
    std::vector<int16_t> samples(size_t(want) * 2);
    const sf_count_t got = std::max<sf_count_t>(sf_readf_short(Sound, samples.data(), want), 0);
    NextFrame = got == want ? frame + want : -1;
    for (size_t i = 0; i < size_t(got) * 2; ++i) {
      out[2 * i] = uint8_t(samples[i] & 0xff);
      out[2 * i + 1] = uint8_t(uint16_t(samples[i]) >> 8);
    }
    return got == want ? count : int32_t(got / kFramesPerSector);
  }
};

TCueImage::TCueImage() = default;
TCueImage::~TCueImage() = default;

bool TCueImage::Open(const std::string& cuePath, std::string& error) {
  const std::string sheetName = fs::path(cuePath).filename().string();
  std::ifstream in(cuePath, std::ios::binary);
  std::error_code code;
  if (!in || !fs::is_regular_file(cuePath, code)) {
    error = sheetName + ": not found";
    return false;
  }
  // A cue sheet is a few kilobytes; a large file is something else.
  constexpr std::streamsize kMaxSheet = 1 << 20;
  std::string bytes(size_t(kMaxSheet) + 1, '\0');
  in.read(bytes.data(), kMaxSheet + 1);
  if (in.gcount() > kMaxSheet) {
    error = sheetName + ": too large for a cue sheet";
    return false;
  }
  bytes.resize(size_t(in.gcount()));
  return Parse(bytes, sheetName, fs::absolute(cuePath).parent_path().string(), error);
}

bool TCueImage::Parse(const std::string& sheet, const std::string& sheetName,
                      const std::string& folder, std::string& error) {
  FFiles.clear();
  FPieces.clear();
  FTracks.clear();
  FLeadOut = 0;
  Title.clear();
  Performer.clear();
  Catalog.clear();
  Genre.clear();
  Date.clear();
  const std::string text = CueSheetText(sheet);

  // The FILE lines with their line numbers and types, which libcue keeps to itself.
  std::vector<TFileLine> fileLines;
  // Per TRACK line, the FILE line in force at its INDEX 00: a sheet with
  // gaps appended puts it in the file before the track's own.
  std::vector<size_t> index0Files;
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::vector<std::string> words = Words(line);
    if (words.size() >= 2 && words[0] == "CATALOG") Catalog = words[1];
    if (!words.empty() && words[0] == "TRACK") index0Files.push_back(SIZE_MAX);
    if (words.size() >= 2 && words[0] == "INDEX" && std::atoi(words[1].c_str()) == 0 &&
        !index0Files.empty() && !fileLines.empty())
      index0Files.back() = fileLines.size() - 1;
    if (words.size() < 3 || words[0] != "FILE") continue;
    const std::string& type = words.back();
    fileLines.push_back({number, words[1],
                         type == "BINARY"     ? TFileType::Binary
                         : type == "MOTOROLA" ? TFileType::Motorola
                                              : TFileType::Audio});
  }

  struct TCdDeleter {
    void operator()(Cd* cd) const { cd_delete(cd); }
  };
  std::unique_lock<std::mutex> parsing(cueParseLock);
  const std::unique_ptr<Cd, TCdDeleter> cd(cue_parse_string(text.c_str()));
  parsing.unlock();
  const int trackCount = cd ? cd_get_ntrack(cd.get()) : 0;
  if (!cd || trackCount <= 0 || fileLines.empty()) {
    error = sheetName + ": not a cue sheet with tracks";
    return false;
  }
  if (trackCount > 99) {
    error = sheetName + ": more than 99 tracks";
    return false;
  }
  Title = CueText(PTI_TITLE, cd_get_cdtext(cd.get()));
  Performer = CueText(PTI_PERFORMER, cd_get_cdtext(cd.get()));
  Genre = CueText(PTI_GENRE, cd_get_cdtext(cd.get()));
  Date = Text(rem_get(REM_DATE, cd_get_rem(cd.get())));

  // Each track in the file it starts in: the sheet's FILE lines in order.
  struct TPlaced {
    size_t File = 0;
    size_t Index0File = 0;  // the file INDEX 00 counts in
    long Index0 = -1, Index1 = -1, PreGap = 0, PostGap = 0;
    int32_t BlockBytes = kSectorBytes;
  };
  std::vector<TPlaced> placed;
  size_t file = 0;
  for (int i = 1; i <= trackCount; ++i) {
    const Track* track = cd_get_track(cd.get(), i);
    const std::string name = Text(track_get_filename(track));
    // Track 1 too may start in a later file: one before it holds the audio
    // of its pregap.
    if (name != fileLines[file].Name) {
      size_t next = file + 1;
      while (next < fileLines.size() && fileLines[next].Name != name) ++next;
      file = next < fileLines.size() ? next
             : i > 1                 ? std::min(file + 1, fileLines.size() - 1)
                                     : file;
    }
    const std::string where = sheetName + ", line " + std::to_string(fileLines[file].Line) + ": ";
    TPlaced p;
    p.File = file;
    p.Index0 = track_get_index(track, 0);
    p.Index1 = track_get_index(track, 1);
    p.Index0File = size_t(i - 1) < index0Files.size() && index0Files[size_t(i - 1)] < file
                       ? index0Files[size_t(i - 1)]
                       : file;
    // libcue counts an INDEX 00 in the file as PREGAP too; only a PREGAP is silence.
    p.PreGap = p.Index0 < 0 ? std::max(track_get_zero_pre(track), 0L) : 0;
    p.PostGap = std::max(track_get_zero_post(track), 0L);
    p.BlockBytes = ModeBlockBytes(track_get_mode(track));
    if (p.Index1 < 0) {
      error = where + "track " + std::to_string(i) + " in " + Quote(fileLines[file].Name) +
              " has no INDEX 01";
      return false;
    }
    if (p.Index1 > kMaxSectors || p.PreGap > kMaxSectors || p.PostGap > kMaxSectors) {
      error = where + "track " + std::to_string(i) + " lies beyond the end of a CD";
      return false;
    }
    placed.push_back(p);
    TCueTrack out;
    out.Number = i;
    out.Audio = track_get_mode(track) == MODE_AUDIO;
    out.Title = CueText(PTI_TITLE, track_get_cdtext(track));
    out.Performer = CueText(PTI_PERFORMER, track_get_cdtext(track));
    out.Isrc = Text(track_get_isrc(track));
    FTracks.push_back(out);
  }

  for (const TFileLine& fileLine : fileLines) {
    auto opened = std::make_unique<TFile>();
    opened->Where = fileLine;
    opened->Type = fileLine.Type;
    // A file of data tracks only may hold shorter sectors; audio is read
    // from 2352-byte sectors alone.
    int32_t block = 0;
    for (const TPlaced& p : placed)
      if (p.File == FFiles.size())
        block = block == 0 || block == p.BlockBytes ? p.BlockBytes : kSectorBytes;
    opened->BlockBytes = block ? block : kSectorBytes;
    const std::string where = sheetName + ", line " + std::to_string(fileLine.Line) + ": ";
    if (!opened->Open(folder, where, error)) return false;
    FFiles.push_back(std::move(opened));
  }

  // The disc: every file in turn, PREGAP silence before a track's INDEX 01,
  // POSTGAP silence after its audio.
  int64_t disc = 0;
  auto add = [&](int fileIndex, int64_t fileSector, int64_t sectors) {
    if (sectors <= 0) return;
    FPieces.push_back({int32_t(disc), int32_t(sectors), fileIndex, int32_t(fileSector)});
    disc += sectors;
  };
  // Where a sector of an earlier file lies on the disc.
  const auto DiscSector = [this, &disc](size_t fileIndex, int64_t fileSector) {
    for (const TPiece& piece : FPieces)
      if (piece.File == int(fileIndex) && fileSector >= piece.FileSector &&
          fileSector < int64_t(piece.FileSector) + piece.Sectors)
        return int64_t(piece.DiscStart) + fileSector - piece.FileSector;
    return disc;
  };
  size_t t = 0;
  for (size_t f = 0; f < FFiles.size(); ++f) {
    const int64_t fileSectors = FFiles[f]->Sectors;
    int64_t cursor = 0;
    long postGap = 0;  // of the track before, in this file
    for (; t < placed.size() && placed[t].File == f; ++t) {
      const TPlaced& p = placed[t];
      const std::string where = sheetName + ", line " + std::to_string(FFiles[f]->Where.Line) +
                                ": track " + std::to_string(t + 1) + " ";
      if (p.Index1 < cursor) {
        error = where + "starts before the track it follows";
        return false;
      }
      if (p.Index1 >= fileSectors) {
        error = where + "starts past the end of " + Quote(FFiles[f]->Where.Name);
        return false;
      }
      const bool gapHere = p.Index0File == f && p.Index0 >= cursor && p.Index0 <= p.Index1;
      const int64_t gapPoint = gapHere ? p.Index0 : p.Index1;
      add(int(f), cursor, gapPoint - cursor);
      add(-1, 0, postGap);
      const int64_t gapStart = disc;
      add(int(f), gapPoint, p.Index1 - gapPoint);
      add(-1, 0, p.PreGap);
      FTracks[t].Start = int32_t(disc);
      if (t == 0)
        FTracks[t].Pregap = FTracks[t].Start;
      else if (p.Index0File != f && p.Index0 >= 0)
        FTracks[t].Pregap = int32_t(disc - std::min(DiscSector(p.Index0File, p.Index0), disc));
      else
        FTracks[t].Pregap = int32_t(disc - gapStart);
      cursor = p.Index1;
      postGap = p.PostGap;
      if (disc > kMaxSectors) break;
    }
    add(int(f), cursor, fileSectors - cursor);
    add(-1, 0, postGap);
    if (disc > kMaxSectors) {
      error = sheetName + ": longer than a CD can be";
      return false;
    }
  }
  FLeadOut = int32_t(disc);
  return true;
}

int32_t TCueImage::Read(int32_t first, int32_t count, uint8_t* out) {
  std::memset(out, 0, size_t(std::max(count, 0)) * kSectorBytes);
  if (first < 0 || count <= 0 || int64_t(first) + count > FLeadOut) return 0;
  auto piece =
      std::upper_bound(FPieces.begin(), FPieces.end(), first,
                       [](int32_t sector, const TPiece& p) { return sector < p.DiscStart; });
  int32_t delivered = 0;
  for (--piece; delivered < count && piece != FPieces.end(); ++piece) {
    const int32_t offset = first + delivered - piece->DiscStart;
    const int32_t take = std::min(count - delivered, piece->Sectors - offset);
    uint8_t* at = out + size_t(delivered) * kSectorBytes;
    const int32_t got =
        piece->File >= 0 ? FFiles[size_t(piece->File)]->Read(piece->FileSector + offset, take, at)
                         : take;
    delivered += got;
    if (got < take) break;
  }
  return delivered;
}

}  // namespace cdrip
