// The ripping side of the rip benchmark (run.py drives it):
//   cdrip_bench image <folder> <minutes> <tracks>   writes bench.cue/.bin of generated audio
//   cdrip_bench image <folder> <s1,s2,...>          the same with tracks of the given seconds
//   cdrip_bench rip <image.cue> <out-folder> [track] rips every track (or one) on the fly
//                                                    to MP3: CBR 192, stereo, CRC, NORMAL_QUALITY
#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <cstdlib>

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

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() == 5 && args[1] == "image")
    return MakeImage(args[2], args[3].toInt(), args[4].toInt());
  if (args.size() == 4 && args[1] == "image") return MakeImage(args[2], args[3]);
  if (args.size() >= 4 && args[1] == "rip") return Rip(args[2], args[3], args.value(4).toInt());
  std::fprintf(stderr, "usage: %s image <folder> <minutes> <tracks> | rip <cue> <out> [track]\n",
               argv[0]);
  return 2;
}
