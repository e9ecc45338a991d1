#include "encode/MPGTools.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <array>
#include <cerrno>
#include <cstring>

namespace {

// Closes the descriptor when the operation leaves, also through an exception.
class TFd {
 public:
  explicit TFd(int fd) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }

 private:
  int FFd;
};

bool Exists(const QString& path) { return !path.isEmpty() && QFileInfo::exists(path); }

off_t FileSize(int fd, const QString& path) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) throw EMPEGAudioError("Cannot read the size of " + path);
  return st.st_size;
}

// Whether the file ends in an ID3v1 block; a file of one block or less never does.
bool EndsInTag(int fd, off_t size, const QString& path, char* block) {
  if (size <= TMPEGAudio::kTagSize) return false;
  if (::pread(fd, block, TMPEGAudio::kTagSize, size - TMPEGAudio::kTagSize) != TMPEGAudio::kTagSize)
    throw EMPEGAudioError("Cannot read the tag of " + path);
  return std::memcmp(block, "TAG", 3) == 0;
}

QByteArray FieldBytes(const char* field, int size) {
  return QByteArray(field, int(strnlen(field, size_t(size))));
}

// clang-format off
// Codes 0 to 147 of the ID3v1 list with its common extensions; empty entries
// are codes no name maps to.
constexpr std::array<const char*, 148> kGenreNames = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop", "Jazz",
    "Metal", "New Age", "Oldies", "Other", "Pop", "R&B", "Rap", "Reggae", "Rock", "Techno",
    "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack", "Euro-Techno",
    "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance", "Classical", "Instrumental",
    "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise", "AlternRock", "Bass", "Soul", "Punk",
    "Space", "Meditative", "Instrumental Pop", "Instrumental Rock", "Ethnic", "Gothic", "Darkwave",
    "Techno-Industrial", "Electronic", "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy",
    "Cult", "Gangsta", "Top 40", "Christian Rap", "Pop/Funk", "Jungle", "Native American",
    "Cabaret", "New Wave", "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal",
    "Acid Punk", "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk",
    "Folk-Rock", "National Folk", "Swing", "Fast Fusion", "Bebob", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic", "Humour",
    "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony", "Booty Bass", "Primus",
    "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba", "Folklore", "Ballad",
    "Power Ballad", "Rhythmic Soul", "Freestyle", "Duet", "Punk Rock", "Drum Solo", "A capella",
    "Euro-House", "Dance Hall", "Goa", "Drum & Bass", "Club-House", "Hardcore", "Terror", "Indie",
    "BritPop", "", "Polsk Punk", "Beat", "Christian Gangsta Rap", "Heavy Metal", "Black Metal",
    "Crossover", "Contemporary Christian", "Christian Rock", "Merengue", "Salsa", "Thrash Metal",
    "Anime", "JPop", "Synthpop"};
// clang-format on

struct TCategoryGenre {
  const char* Category;
  uint8_t Code;
};
constexpr TCategoryGenre kCddbCategories[] = {
    {"blues", 0}, {"classical", 32}, {"country", 2}, {"data", 12}, {"folk", 80},      {"jazz", 8},
    {"misc", 12}, {"newage", 10},    {"reggae", 16}, {"rock", 17}, {"soundtrack", 24}};

}  // namespace

void TMPEGAudio::ResetData() {
  FTitle.clear();
  FArtist.clear();
  FAlbum.clear();
  FYear = "    ";
  FComment.clear();
  Genre = 255;
  Track = 0;
}

void TMPEGAudio::SetFileName(const QString& path) {
  FFileName = path;
  if (ReadOnSetFileName && Exists(path)) ReadTag();
}

void TMPEGAudio::ReadTag() {
  // Loading the fields is a convenience: a file that cannot be read as a
  // tagged file leaves them as they are, and the writes report the failure.
  const TFd fd(::open(QFile::encodeName(FFileName).constData(), O_RDONLY | O_CLOEXEC));
  struct stat st {};
  if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  char block[kTagSize];
  if (st.st_size <= kTagSize ||
      ::pread(fd.Get(), block, kTagSize, st.st_size - kTagSize) != kTagSize ||
      std::memcmp(block, "TAG", 3) != 0)
    return;
  FTitle = FieldBytes(block + 3, kTextCapacity);
  FArtist = FieldBytes(block + 33, kTextCapacity);
  FAlbum = FieldBytes(block + 63, kTextCapacity);
  FYear = FieldBytes(block + 93, kYearCapacity);
  // ID3v1.1 keeps the track in the comment's last byte when the byte before is zero.
  const bool hasTrack = block[125] == 0;
  FComment = FieldBytes(block + 97, hasTrack ? 28 : kTextCapacity);
  Track = hasTrack ? uint8_t(block[126]) : 0;
  Genre = uint8_t(block[127]);
}

QByteArray TMPEGAudio::FitField(const QString& text, int capacity) {
  // A field ends at its first NUL: nothing after one could be read back.
  QByteArray bytes = text.toUtf8();
  const qsizetype nul = bytes.indexOf('\0');
  if (nul >= 0) bytes.truncate(nul);
  return CutUtf8(bytes, capacity);
}

QByteArray TMPEGAudio::CutUtf8(QByteArray bytes, int capacity) {
  if (bytes.size() <= capacity) return bytes;
  qsizetype end = capacity;
  while (end > 0 && (uchar(bytes[end]) & 0xC0) == 0x80) --end;
  bytes.truncate(end);
  return bytes;
}

QByteArray TMPEGAudio::TagBlock() const {
  QByteArray block(kTagSize, '\0');
  auto place = [&block](int offset, const QByteArray& field) {
    std::memcpy(block.data() + offset, field.constData(), size_t(field.size()));
  };
  place(0, "TAG");
  place(3, FTitle);
  place(33, FArtist);
  place(63, FAlbum);
  place(93, FYear);
  // The track takes the comment's 30th byte and, when set, needs a zero in
  // the 29th, or readers take the block for ID3v1.0 and the track for text.
  // A character that would lose its last byte to them is left out whole.
  place(97, CutUtf8(FComment, Track ? kTextCapacity - 2 : kTextCapacity - 1));
  block[127] = char(Genre);
  block[126] = char(Track);
  return block;
}

int32_t TMPEGAudio::RemoveTag() {
  if (!Exists(FFileName)) return -1;
  const TFd fd(::open(QFile::encodeName(FFileName).constData(), O_RDWR | O_CLOEXEC));
  if (fd.Get() < 0) return errno;
  const off_t size = FileSize(fd.Get(), FFileName);
  char block[kTagSize];
  if (EndsInTag(fd.Get(), size, FFileName, block) && ::ftruncate(fd.Get(), size - kTagSize) != 0)
    throw EMPEGAudioError("Cannot remove the tag of " + FFileName);
  return 0;
}

int32_t TMPEGAudio::SaveTag() {
  if (!Exists(FFileName)) return -1;
  const QByteArray block = TagBlock();
  RemoveTag();
  const TFd fd(::open(QFile::encodeName(FFileName).constData(), O_RDWR | O_CLOEXEC));
  if (fd.Get() < 0) return errno;
  const off_t size = FileSize(fd.Get(), FFileName);
  if (::pwrite(fd.Get(), block.constData(), kTagSize, size) != kTagSize) {
    // A full disk must not leave half a tag behind.
    const int error = errno;
    [[maybe_unused]] const int restored = ::ftruncate(fd.Get(), size);
    throw EMPEGAudioError("Cannot write the tag of " + FFileName + ": " +
                          QString::fromLocal8Bit(std::strerror(error)));
  }
  return 0;
}

uint8_t GenreCode(const QString& name) {
  const QString key = name.trimmed();
  if (key.isEmpty()) return 255;
  for (const auto& entry : kCddbCategories)
    if (key.compare(QLatin1String(entry.Category), Qt::CaseInsensitive) == 0) return entry.Code;
  for (size_t code = 0; code < kGenreNames.size(); ++code)
    if (*kGenreNames[code] &&
        key.compare(QLatin1String(kGenreNames[code]), Qt::CaseInsensitive) == 0)
      return uint8_t(code);
  return 255;
}
