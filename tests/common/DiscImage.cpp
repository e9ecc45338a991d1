#include "common/DiscImage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "cddb/CDInfo.h"
#include "musicbrainz/MbDiscId.h"

namespace testutil {

namespace {

constexpr int kSectorBytes = 2352;
constexpr int kFramesPerSector = kSectorBytes / 4;
constexpr double kSampleRate = 44100.0;

QString Msf(int sectors) {
  return QString::asprintf("%.2d:%.2d:%.2d", sectors / 4500, (sectors % 4500) / 75, sectors % 75);
}

void WriteOrThrow(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
      !file.flush())
    throw std::runtime_error("cannot write " + path.toStdString());
}

TMyCDInfo TocOf(const TDiscImage& image) {
  TMyCDInfo toc;
  toc.TrackCount = image.TrackCount();
  for (int i = 0; i < toc.TrackCount; ++i) {
    toc.Tracks[size_t(i)].StartSector = image.Starts[size_t(i)];
    toc.Tracks[size_t(i)].EndSector = image.Starts[size_t(i) + 1];
  }
  toc.ComputeDiscValues();
  return toc;
}

}  // namespace

QString MbDiscIdOf(const TDiscImage& image) { return ComputeMbDiscId(MbTocOf(TocOf(image))).Id; }

QString CddbDiscIdOf(const TDiscImage& image) {
  return QString::asprintf("%08x", TocOf(image).DiscID);
}

QByteArray TDiscImage::SectorPcm(int start, int end) const {
  return Pcm.mid(qsizetype(start) * kSectorBytes, qsizetype(end - start) * kSectorBytes);
}

QByteArray TDiscImage::TrackPcm(int track) const {
  return SectorPcm(Starts.at(track - 1), Starts.at(track));
}

TDiscImage MakeDiscImage(const QString& folder, const QString& name,
                         const std::vector<int>& trackSectors) {
  TDiscImage image;
  QDir().mkpath(folder);
  image.BinPath = QDir(folder).absoluteFilePath(name + ".bin");
  image.CuePath = QDir(folder).absoluteFilePath(name + ".cue");

  int total = 0;
  for (int sectors : trackSectors) {
    image.Starts.push_back(total);
    total += sectors;
  }
  image.Starts.push_back(total);

  image.Pcm.resize(qsizetype(total) * kSectorBytes);
  auto* out = reinterpret_cast<uint8_t*>(image.Pcm.data());
  uint32_t noise = 0x12345678u;
  for (size_t t = 0; t < trackSectors.size(); ++t) {
    // A different base tone per track, swept slowly so no two sectors match,
    // and a little noise so even silent-looking stretches differ.
    const double base = 220.0 * std::pow(2.0, double(t) / 4.0);
    double phase = 0;
    const int64_t frames = int64_t(trackSectors[t]) * kFramesPerSector;
    for (int64_t f = 0; f < frames; ++f) {
      const double seconds = double(f) / kSampleRate;
      phase += 2 * M_PI * base * (1.0 + 0.05 * std::sin(2 * M_PI * 0.25 * seconds)) / kSampleRate;
      noise = noise * 1664525u + 1013904223u;
      const int jitter = int(noise >> 24) - 128;
      const int left = int(9000 * std::sin(phase)) + jitter;
      const int right = int(9000 * std::sin(phase * 1.5)) - jitter;
      for (int sample : {left, right}) {
        const auto value = uint16_t(int16_t(sample));
        *out++ = uint8_t(value & 0xff);
        *out++ = uint8_t(value >> 8);
      }
    }
  }
  WriteOrThrow(image.BinPath, image.Pcm);

  QByteArray cue = "FILE \"" + QFileInfo(image.BinPath).fileName().toUtf8() + "\" BINARY\r\n";
  for (size_t t = 0; t < trackSectors.size(); ++t) {
    cue += QString::asprintf("  TRACK %02d AUDIO\r\n", int(t + 1)).toUtf8();
    cue += "    INDEX 01 " + Msf(image.Starts[t]).toUtf8() + "\r\n";
  }
  WriteOrThrow(image.CuePath, cue);
  return image;
}

QString WriteTocSheet(const TDiscImage& image, const QString& name,
                      const std::vector<std::pair<int, int>>& tracks) {
  const QFileInfo bin(image.BinPath);
  QByteArray toc = "CD_DA\n";
  for (const auto& [first, sectors] : tracks)
    toc += "\nTRACK AUDIO\nAUDIOFILE \"" + bin.absoluteFilePath().toUtf8() + "\" " +
           Msf(first).toUtf8() + " " + Msf(sectors).toUtf8() + "\n";
  const QString path = bin.dir().absoluteFilePath(name + ".toc");
  WriteOrThrow(path, toc);
  return path;
}

QString MakeEnhancedCd(const QString& folder, const QString& name) {
  QDir().mkpath(folder);
  const QString bin = QDir(folder).filePath(name + ".bin");
  QFile file(bin);
  if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(11700) * 2352))
    throw std::runtime_error("cannot write " + bin.toStdString());
  const QString cue = QDir(folder).filePath(name + ".cue");
  WriteOrThrow(cue, "FILE \"" + (name + ".bin").toUtf8() +
                        "\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                        "  TRACK 02 AUDIO\r\n    INDEX 01 00:01:00\r\n"
                        "  TRACK 03 MODE1/2352\r\n    INDEX 01 02:35:00\r\n");
  return cue;
}

void WriteCdripIni(const QString& iniPath, const QStringList& images, const QString& extraText) {
  QByteArray text = "[Images]\r\n";
  for (int i = 0; i < images.size(); ++i)
    text += "Image" + QByteArray::number(i) + "=" + images[i].toUtf8() + "\r\n";
  text += extraText.toUtf8();
  QDir().mkpath(QFileInfo(iniPath).absolutePath());
  WriteOrThrow(iniPath, text);
}

}  // namespace testutil
