// The ripping side of the rip benchmark (run.py drives it):
//   cdrip_bench image <folder> <minutes> <tracks>   writes bench.cue/.bin of generated audio
//   cdrip_bench image <folder> <s1,s2,...>          the same with tracks of the given seconds
//   cdrip_bench rip <image.cue> <out-folder> [track] rips every track (or one) on the fly
//                                                    to MP3: CBR 192, stereo, CRC, NORMAL_QUALITY
//   cdrip_bench read <image.cue> <out-folder> [lines] reads every track with full paranoia, no
//                                                    encoding, the image's drive under the
//                                                    cdrip.ini lines given ("Key=value;..."),
//                                                    and prints what the reader made of it
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/DiscImage.h"
#include "disc/CDRIP.h"
#include "encode/LameCoder.h"

namespace {

int MakeImage(const QString& folder, int minutes, int tracks) {
  const int sectors = minutes * 60 * 75;
  std::vector<int> lengths(size_t(tracks), sectors / tracks);
  lengths.back() += sectors % tracks;
  testutil::MakeDiscImage(folder, "bench", lengths);
  return 0;
}

int MakeImage(const QString& folder, const QString& seconds) {
  std::vector<int> lengths;
  for (const QString& part : seconds.split(u',')) {
    const int length = part.toInt();
    if (length <= 0) return 2;
    lengths.push_back(length * 75);
  }
  testutil::MakeDiscImage(folder, "bench", lengths);
  return 0;
}

int Rip(const QString& cue, const QString& outFolder, int onlyTrack) {
  QDir().mkpath(outFolder);
  const QString ini = QDir(outFolder).filePath("cdrip.ini");
  testutil::WriteCdripIni(ini, {QFileInfo(cue).absoluteFilePath()});
  if (CR_Init(ini.toUtf8().constData()) != CDRIP_OK || CR_GetNumCDROM() < 1) return 1;

  TLameCoder coder;
  coder.SetBitrate(192);
  TCDRIP rip;
  rip.SetCoder(&coder);
  rip.SetEncode(true);
  try {
    rip.SetCDRomNum(CR_GetNumCDROM() - 1);
    for (int track = 1; track <= rip.TrackCount(); ++track) {
      if (onlyTrack && track != onlyTrack) continue;
      rip.RipTrack(track, QDir(outFolder).filePath(QString::asprintf("Track%02d.wav", track)));
    }
  } catch (const ECDRIPError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return rip.TrackCount() > 0 ? 0 : 1;
}

// The audio of every track held against the image's .bin: a line of counts.
int Read(const QString& cue, const QString& outFolder, const QString& lines) {
  QDir().mkpath(outFolder);
  const QString ini = QDir(outFolder).filePath("cdrip.ini");
  testutil::WriteCdripIni(ini, {QFileInfo(cue).absoluteFilePath()},
                          "[Image0]\r\n" + QString(lines).replace(';', "\r\n") + "\r\n");
  if (CR_Init(ini.toUtf8().constData()) != CDRIP_OK || CR_GetNumCDROM() < 1) return 1;
  QFile bin(QFileInfo(cue).absolutePath() + "/" + QFileInfo(cue).completeBaseName() + ".bin");
  if (!bin.open(QIODevice::ReadOnly)) return 1;
  TCDRIP rip;
  QByteArray pcm;
  rip.OnAudio = [&pcm](const uint8_t* data, int32_t bytes) {
    pcm.append(reinterpret_cast<const char*>(data), bytes);
  };
  int64_t sectors = 0, lost = 0, corrected = 0, wrong = 0;
  try {
    rip.SetCDRomNum(CR_GetNumCDROM() - 1);
    for (int track = 1; track <= rip.TrackCount(); ++track) {
      const TTrack& t = rip.TrackList()[size_t(track - 1)].Track;
      pcm.clear();
      pcm.reserve(t.LengthBytes);
      rip.RipTrack(track, QDir(outFolder).filePath("track.raw"));
      bin.seek(int64_t(t.StartSector) * 2352);
      const QByteArray disc = bin.read(pcm.size());
      for (qsizetype at = 0; at + 2352 <= pcm.size(); at += 2352)
        wrong += disc.size() < at + 2352 ||
                 std::memcmp(pcm.constData() + at, disc.constData() + at, 2352) != 0;
      for (uint8_t status : rip.SectorStatus()) {
        ++sectors;
        lost += status == CDRIP_SECTOR_LOST;
        corrected += status == CDRIP_SECTOR_CORRECTED || status == CDRIP_SECTOR_REREAD;
      }
    }
  } catch (const ECDRIPError& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  std::printf("sectors %lld lost %lld corrected %lld wrong %lld\n", (long long)sectors,
              (long long)lost, (long long)corrected, (long long)wrong);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() == 5 && args[1] == "image")
    return MakeImage(args[2], args[3].toInt(), args[4].toInt());
  if (args.size() == 4 && args[1] == "image") return MakeImage(args[2], args[3]);
  if (args.size() >= 4 && args[1] == "rip") return Rip(args[2], args[3], args.value(4).toInt());
  if (args.size() >= 4 && args[1] == "read") return Read(args[2], args[3], args.value(4));
  std::fprintf(stderr,
               "usage: %s image <folder> <minutes> <tracks> | rip <cue> <out> [track] | "
               "read <cue> <out> [lines]\n",
               argv[0]);
  return 2;
}
