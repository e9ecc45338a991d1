// TCueImage: a disc described by a cue sheet, its sectors laid out from the
// files the sheet names (raw BINARY or byte-swapped MOTOROLA, or WAVE, FLAC
// and AIFF audio read with libsndfile) and the silence of PREGAP and POSTGAP.
// Parsed with libcue, which keeps global state: open an image on the
// library's caller thread only. An open image may then be used by one
// thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cdrip {

struct TCueTrack {
  int Number = 0;
  int32_t Start = 0;   // disc sector of INDEX 01
  int32_t Pregap = 0;  // sectors of its INDEX 00 (and PREGAP) before Start; track 1: all before it
  bool Audio = true;
  std::string Title, Performer, Isrc;  // UTF-8
};

class TCueImage {
 public:
  TCueImage();
  ~TCueImage();
  TCueImage(const TCueImage&) = delete;
  TCueImage& operator=(const TCueImage&) = delete;

  // Opens the sheet and every file it names. False with the reason in
  // `error`, which names the sheet, the line and the file at fault:
  // "disc.cue, line 3: 'Artist - Album.flac' not found".
  bool Open(const std::string& cuePath, std::string& error);
  // Same as Open, from the sheet's bytes; files resolve against `folder`.
  bool Parse(const std::string& sheet, const std::string& sheetName, const std::string& folder,
             std::string& error);

  const std::vector<TCueTrack>& Tracks() const { return FTracks; }
  int32_t LeadOut() const { return FLeadOut; }
  // The disc's texts (UTF-8): TITLE, PERFORMER, CATALOG, REM GENRE, REM DATE.
  std::string Title, Performer, Catalog, Genre, Date;

  // Reads `count` sectors from `first` as 2352-byte CD sectors (16-bit
  // little-endian stereo). Returns how many of them, from the first, the
  // files delivered; the buffer holds silence where the data is missing.
  int32_t Read(int32_t first, int32_t count, uint8_t* out);

 private:
  struct TFile;
  // A run of disc sectors: from a file (File >= 0) or silence (File < 0).
  struct TPiece {
    int32_t DiscStart = 0;
    int32_t Sectors = 0;
    int File = -1;
    int32_t FileSector = 0;
  };
  std::vector<std::unique_ptr<TFile>> FFiles;
  std::vector<TPiece> FPieces;
  std::vector<TCueTrack> FTracks;
  int32_t FLeadOut = 0;
};

// The sheet's text as UTF-8 with LF line ends: a byte-order mark dropped, CR LF
// and lone CR made LF, text that is not UTF-8 read as Latin-1.
std::string CueSheetText(const std::string& bytes);

}  // namespace cdrip
