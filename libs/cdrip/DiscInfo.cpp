#include "libs/cdrip/DiscInfo.h"

#include <cdio/mmc_ll_cmds.h>
#include <cdio/util.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "libs/cdrip/DiscRules.h"
#include "libs/cdrip/Pregap.h"

namespace cdrip {

namespace {

namespace fs = std::filesystem;

constexpr uint8_t kDataFlag = 0x14;
constexpr int32_t kSectorBytes = CDIO_CD_FRAMESIZE_RAW;

bool SameToc(const std::vector<CdripTocEntry>& a, const std::vector<CdripTocEntry>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0;
}

// The stand-in's sheet: every track at its start in one file of the disc's length.
std::string StandInSheet(const std::vector<CdripTocEntry>& toc) {
  std::string sheet = "FILE \"toc.bin\" BINARY\n";
  for (size_t i = 0; i + 1 < toc.size(); ++i) {
    const int32_t start = toc[i].startSector;
    char line[96];
    std::snprintf(line, sizeof line, "  TRACK %02d %s\n    INDEX 01 %02d:%02d:%02d\n",
                  int(toc[i].trackNumber), toc[i].flags == kAudioTrackFlag ? "AUDIO" : "MODE1/2352",
                  int(start / 4500), int(start / 75 % 60), int(start % 75));
    sheet += line;
  }
  return sheet;
}

// libcdio hands out copies the caller frees.
std::string Take(char* text) {
  std::string value = text ? text : "";
  free(text);
  return value;
}

// What libcdio's image drivers state of each track's pregap; a drive states
// nothing (-1), its Q sub-channel tells.
std::vector<int32_t> PregapsOf(CdIo_t* cdio, const std::vector<CdripTocEntry>& toc, bool image) {
  std::vector<int32_t> pregaps;
  for (size_t i = 0; i + 1 < toc.size(); ++i) {
    const int32_t start = toc[i].startSector;
    const int32_t previous = i == 0 ? -1 : int32_t(toc[i - 1].startSector);
    const lsn_t pregap = cdio_get_track_pregap_lsn(cdio, toc[i].trackNumber);
    if (i == 0)
      pregaps.push_back(start);
    else if (!image)
      pregaps.push_back(-1);
    else
      pregaps.push_back(
          pregap != CDIO_INVALID_LSN && pregap > previous && pregap < start ? start - pregap : 0);
  }
  return pregaps;
}

// The track a sector's Q sub-channel names, -1 when it names none or the
// drive cannot read it.
int QTrackOf(CdIo_t* cdio, int32_t sector) {
  constexpr int kQBytes = 16;
  uint8_t buffer[CDIO_CD_FRAMESIZE_RAW + kQBytes];
  if (mmc_read_cd(cdio, buffer, sector, 1 /* CD-DA */, false, false, 0, true, false, 0,
                  2 /* formatted Q */, sizeof buffer, 1) != DRIVER_OP_SUCCESS)
    return -1;
  const uint8_t* q = buffer + CDIO_CD_FRAMESIZE_RAW;
  // Only a position frame (ADR 1) names a track.
  return (q[0] & 0x0f) == 1 ? cdio_from_bcd8(q[1]) : -1;
}

std::vector<std::array<std::string, 3>> ReadDiscText(CdIo_t* cdio) {
  const track_t first = cdio_get_first_track_num(cdio);
  const track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK) return {};
  std::vector<std::array<std::string, 3>> texts(size_t(first) + count);
  cdtext_t* cdtext = cdio_get_cdtext(cdio);  // owned by cdio
  const auto field = [cdtext](cdtext_field_t which, track_t track) {
    const char* text = cdtext ? cdtext_get_const(cdtext, which, track) : nullptr;
    return std::string(text ? text : "");
  };
  texts[0] = {field(CDTEXT_FIELD_TITLE, 0), field(CDTEXT_FIELD_PERFORMER, 0),
              Take(cdio_get_mcn(cdio))};
  for (track_t track = first; track < first + count; ++track) {
    std::string isrc = Take(cdio_get_track_isrc(cdio, track));
    if (isrc.empty()) isrc = field(CDTEXT_FIELD_ISRC, track);
    texts[track] = {field(CDTEXT_FIELD_TITLE, track), field(CDTEXT_FIELD_PERFORMER, track), isrc};
  }
  return texts;
}

}  // namespace

std::vector<CdripTocEntry> TocOf(CdIo_t* cdio) {
  const track_t first = cdio_get_first_track_num(cdio);
  const track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK) return {};
  std::vector<CdripTocEntry> toc;
  for (track_t track = first; track < first + count; ++track) {
    const lsn_t start = cdio_get_track_lsn(cdio, track);
    if (start == CDIO_INVALID_LSN) return {};
    const bool audio = cdio_get_track_format(cdio, track) == TRACK_FORMAT_AUDIO;
    toc.push_back({start, audio ? kAudioTrackFlag : kDataFlag, uint8_t(track)});
  }
  const lsn_t leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
  if (leadOut == CDIO_INVALID_LSN) return {};
  toc.push_back({leadOut, kAudioTrackFlag, CDIO_CDROM_LEADOUT_TRACK});
  return toc;
}

std::vector<CdripTocEntry> TocOf(const TCueImage& cue) {
  std::vector<CdripTocEntry> toc;
  for (const TCueTrack& track : cue.Tracks())
    toc.push_back({track.Start, track.Audio ? kAudioTrackFlag : kDataFlag, uint8_t(track.Number)});
  toc.push_back({cue.LeadOut(), kAudioTrackFlag, CDIO_CDROM_LEADOUT_TRACK});
  return toc;
}

std::shared_ptr<CdIo_t> TocStandIn(TDrive& drive, const std::vector<CdripTocEntry>& toc) {
  if (drive.StandIn && SameToc(drive.StandInToc, toc)) return drive.StandIn;
  drive.StandIn.reset();
  std::error_code error;
  std::string folder = (fs::temp_directory_path(error) / "cdrip-XXXXXX").string();
  if (error || toc.empty() || !mkdtemp(folder.data())) return nullptr;
  const std::string bin = folder + "/toc.bin", cue = folder + "/toc.cue";
  struct TRemove {
    std::string Folder;
    ~TRemove() {
      std::error_code ignored;
      fs::remove_all(Folder, ignored);
    }
  } remove{folder};
  const int fd = open(bin.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  const bool sized = fd >= 0 && ftruncate(fd, off_t(toc.back().startSector) * kSectorBytes) == 0;
  if (fd >= 0) close(fd);
  const std::string sheet = StandInSheet(toc);
  FILE* file = sized ? std::fopen(cue.c_str(), "wx") : nullptr;
  const bool written = file && std::fwrite(sheet.data(), 1, sheet.size(), file) == sheet.size();
  if ((file && std::fclose(file) != 0) || !written) return nullptr;
  std::shared_ptr<CdIo_t> cdio(cdio_open(cue.c_str(), DRIVER_BINCUE), cdio_destroy);
  // Paranoia must see the TOC the image states, or it reads elsewhere.
  if (!cdio || !SameToc(TocOf(cdio.get()), toc)) return nullptr;
  drive.StandIn = cdio;
  drive.StandInToc = toc;
  return cdio;
}

bool TDiscInfo::Read(const TDrives& drives, TDrive& drive) {
  Clear();
  TDiscInfo read;
  if (IsCueSheet(drive)) {
    const std::unique_ptr<TCueImage> cue = drives.OpenCue(drive);
    if (!cue) return false;
    read.Toc = TocOf(*cue);
    read.SheetTexts.push_back({cue->Title, cue->Performer, cue->Catalog, cue->Genre, cue->Date});
    for (const TCueTrack& track : cue->Tracks())
      read.SheetTexts.push_back({track.Title, track.Performer, track.Isrc, "", ""});
    // What the sheet states is the disc's text: titles, performers, catalogue and ISRCs.
    for (const std::vector<std::string>& text : read.SheetTexts)
      read.DiscText.push_back({text[0], text[1], text[2]});
    for (const TCueTrack& track : cue->Tracks()) read.Pregaps.push_back(track.Pregap);
  } else {
    const TCdio cdio = drives.OpenDisc(drive);
    if (!cdio) return false;
    read.Toc = TocOf(cdio.get());
    read.DiscText = ReadDiscText(cdio.get());
    read.Pregaps = PregapsOf(cdio.get(), read.Toc, drive.IsImage);
  }
  // A damaged disc or a hostile image may state anything.
  if (!IsValidToc(read.Toc.data(), read.Toc.size())) return false;
  // Made while the TOC is read, so a rip needs no file of its own.
  if (IsCueSheet(drive)) TocStandIn(drive, read.Toc);
  *this = std::move(read);
  return true;
}

int32_t TDiscInfo::Pregap(const TDrives& drives, TDrive& drive, int32_t track) {
  if (track < 1 || size_t(track) > Pregaps.size()) return -1;
  int32_t& pregap = Pregaps[size_t(track - 1)];
  if (pregap >= 0) return pregap;
  const TCdio cdio = drives.OpenDisc(drive);
  if (!cdio) return -1;
  const int32_t start = Toc[size_t(track - 1)].startSector;
  const int32_t first =
      FindPregapStart(Toc[size_t(track - 2)].startSector, start, Toc[size_t(track - 1)].trackNumber,
                      [&cdio](int32_t sector) { return QTrackOf(cdio.get(), sector); });
  pregap = start - first;
  return pregap;
}

}  // namespace cdrip
