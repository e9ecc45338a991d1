// Disc images for tests: a cue sheet and a raw .bin of generated audio, with
// the PCM kept in memory so a test can compare a rip with what the image
// holds, and the cdrip.ini that lists images (and injects faults) for the
// CD-reading library.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <utility>
#include <vector>

namespace testutil {

struct TDiscImage {
  QString CuePath;
  QString BinPath;
  std::vector<int> Starts;  // start sector of each track; the last entry is the lead-out
  QByteArray Pcm;           // the whole .bin: 2352 bytes per sector, 16-bit little-endian stereo

  int TrackCount() const { return int(Starts.size()) - 1; }
  // PCM of sectors [start, end).
  QByteArray SectorPcm(int start, int end) const;
  // PCM of one track, counted from 1.
  QByteArray TrackPcm(int track) const;
};

// The image's disc IDs as a drive reports them: MusicBrainz's, and CDDB's as
// eight hex digits.
QString MbDiscIdOf(const TDiscImage& image);
QString CddbDiscIdOf(const TDiscImage& image);

// Writes <name>.bin and <name>.cue into the folder: one audio track per entry
// of trackSectors, each of that many sectors, with audio that differs in
// every sector (a tone per track with a slow sweep and a little noise).
TDiscImage MakeDiscImage(const QString& folder, const QString& name,
                         const std::vector<int>& trackSectors);

// Writes <name>.toc beside the image's .bin: a cdrdao sheet with one audio
// track per {first sector in the .bin, sectors} entry, naming the .bin by its
// absolute path (libcdio takes a relative one from the working folder). A track may reach past
// the end of the file, as a sheet whose audio file was cut short does.
QString WriteTocSheet(const TDiscImage& image, const QString& name,
                      const std::vector<std::pair<int, int>>& tracks);

// Writes <name>.cue and a sparse, silent <name>.bin into the folder: an
// Enhanced CD whose audio tracks of 75 and 150 sectors end a session gap
// (11400 sectors) before its data track of 75 sectors. Returns the cue path.
QString MakeEnhancedCd(const QString& folder, const QString& name);

// Writes a cdrip.ini that lists the images in [Images] as Image0, Image1, ...
// and appends extraText verbatim (further sections, such as fault injection).
void WriteCdripIni(const QString& iniPath, const QStringList& images,
                   const QString& extraText = QString());

}  // namespace testutil
