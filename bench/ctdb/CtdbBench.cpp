// CTDB on the generated 17-minute album image (10 tracks of 60 to 120 s, as
// bench/rip makes it), its audio in memory so only computing counts:
//   - per rip: the CTDB pass (window CRCs, column sums) fed in the chunks a
//     rip reads, then the column-0 offset search and the disc and track CRCs,
//     beside the AccurateRip and CRC-32 pass every rip already makes;
//   - a repair of 300 damaged samples with 4, 8 and 16 recovery rows, and
//     the session's repair of WAV files on disk (read, repair, write, read
//     back to check) with 4 rows.
// The entry and recovery data come from the product's own sums over the clean
// image (the tests check them against an independent computation).
// Usage: ctdb_bench [rounds]   (default 3; the best time of each counts)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

#include "common/DiscImage.h"
#include "common/SessionTestUtil.h"
#include "rip/RipRepair.h"
#include "verify/Checksums.h"
#include "verify/CtdbChecksums.h"
#include "verify/CtdbRepair.h"
#include "verify/CtdbVerdict.h"

namespace {

const std::vector<int> kAlbum = {60, 120, 95, 110, 85, 115, 100, 105, 110, 120};  // seconds
constexpr size_t kChunk = 26 * 2352;  // a read of 26 sectors

template <typename F>
double BestSeconds(int rounds, F run) {
  double best = 1e9;
  for (int i = 0; i < rounds; ++i) {
    QElapsedTimer timer;
    timer.start();
    run();
    best = std::min(best, double(timer.nsecsElapsed()) / 1e9);
  }
  return best;
}

TCtdbChecksums Feed(const QByteArray& pcm, const TCtdbLayout& layout, int syndromes) {
  TCtdbChecksums sums(layout, syndromes);
  const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.constData());
  for (size_t at = 0; at < size_t(pcm.size()); at += kChunk)
    sums.Add(bytes + at, std::min(kChunk, size_t(pcm.size()) - at));
  return sums;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
  QTemporaryDir folder;
  std::vector<int> sectors;
  for (const int seconds : kAlbum) sectors.push_back(seconds * 75);
  const testutil::TDiscImage image = testutil::MakeDiscImage(folder.path(), "bench", sectors);
  std::vector<TArTocTrack> toc;
  for (size_t t = 0; t + 1 < image.Starts.size(); ++t) toc.push_back({image.Starts[t], true});
  const TCtdbLayout layout = *CtdbLayoutOf(toc, image.Starts.back());
  const double minutes = double(image.Pcm.size()) / 4 / 44100 / 60;

  // The entry of the clean image, with 16 rows of recovery data.
  const TCtdbChecksums clean = Feed(image.Pcm, layout, 16);
  TCtdbEntry entry;
  entry.Confidence = 3;
  entry.Npar = 16;
  entry.Stride = int(kCtdbStrideSamples);
  entry.Toc = toc;
  entry.LeadOut = image.Starts.back();
  entry.Crc = clean.WindowCrc(0);
  for (size_t t = 0; t < layout.TrackStarts.size(); ++t)
    entry.TrackCrcs.push_back(clean.TrackCrc(t, 0));
  QByteArray recovery(16 * kCtdbRecoveryRowBytes, Qt::Uninitialized);
  std::vector<uint16_t> syndromes(16);
  for (int p = 0; p < kCtdbColumns; ++p) {
    clean.ColumnSyndromes(0, p, syndromes.data());
    for (int k = 0; k < 16; ++k) {
      const qsizetype at = 2 * (k * kCtdbColumns + p);
      recovery[at] = char(syndromes[size_t(k)] & 0xFF);
      recovery[at + 1] = char(syndromes[size_t(k)] >> 8);
    }
    if (p == 0) entry.Syndrome = syndromes;
  }

  std::printf("%.1f-minute image, %zu tracks, %d rounds (best counts)\n", minutes,
              layout.TrackStarts.size(), rounds);
  const double ar = BestSeconds(rounds, [&] {
    uint32_t sink = 0;
    for (int t = 1; t <= image.TrackCount(); ++t) {
      const QByteArray pcm = image.TrackPcm(t);
      TTrackChecksums sums;
      sums.Begin(pcm.size() / 4, t == 1, t == image.TrackCount());
      for (qsizetype at = 0; at < pcm.size(); at += qsizetype(kChunk))
        sums.Add(reinterpret_cast<const uint8_t*>(pcm.constData()) + at,
                 size_t(std::min<qsizetype>(qsizetype(kChunk), pcm.size() - at)));
      sink ^= sums.ArV2();
    }
    if (sink == 1) std::printf(" ");
  });
  std::printf("AccurateRip + CRC-32 pass (every rip today): %.1f ms\n", ar * 1e3);
  TCtdbEntryResult result;
  const double pass = BestSeconds(rounds, [&] { (void)Feed(image.Pcm, layout, 2); });
  const TCtdbChecksums rip = Feed(image.Pcm, layout, 2);
  const double check = BestSeconds(rounds, [&] { result = CtdbCheckEntry(rip, entry); });
  std::printf("CTDB pass: %.1f ms; offset search and CRCs: %.2f ms; %s at offset %d\n", pass * 1e3,
              check * 1e3, result.Accurate ? "accurate" : "NOT accurate", result.Offset);

  QByteArray damaged = image.Pcm;
  for (qsizetype i = 4 * 5000000; i < 4 * 5000300; ++i) damaged[i] = char(i * 7);
  TCtdbMemorySamples view(damaged);
  for (const int rows : {4, 8, 16}) {
    const TCtdbRecovery data = *ReadCtdbRecovery(recovery, rows, entry);
    TCtdbRepair repair;
    const double seconds =
        BestSeconds(rounds, [&] { repair = CtdbRepair(view, layout, entry, data); });
    std::printf("repair with %2d rows: %.2f s, %s, %zu words changed\n", rows, seconds,
                repair.Outcome == TCtdbRepair::Repaired ? "repaired" : "NOT repaired",
                repair.Changes.size());
  }

  // The same damage in the tracks' WAV files, written anew before each round.
  std::vector<TRepairFile> files;
  for (size_t t = 0; t < layout.TrackStarts.size(); ++t)
    files.push_back({int32_t(t + 1), folder.filePath(QString("track%1.wav").arg(t + 1))});
  const TCtdbRecovery rows4 = *ReadCtdbRecovery(recovery, 4, entry);
  double best = 1e9;
  TRipRepair repaired;
  for (int round = 0; round < rounds; ++round) {
    for (size_t t = 0; t < files.size(); ++t) {
      const int64_t first = 2 * layout.TrackStarts[t];
      const int64_t end =
          2 * (t + 1 < layout.TrackStarts.size() ? layout.TrackStarts[t + 1] : layout.Words);
      const QByteArray audio = damaged.mid(first, end - first);
      QFile file(files[t].Path);
      if (!file.open(QIODevice::WriteOnly) ||
          file.write(testutil::WaveHeader(audio.size()) + audio) != audio.size() + 44)
        return 1;
    }
    const std::atomic<bool> stop = false;
    best = std::min(
        best, BestSeconds(1, [&] { repaired = RepairFiles(files, layout, entry, rows4, stop); }));
  }
  std::printf("repair of the WAV files with 4 rows (read, repair, write, read back): %.2f s, %s\n",
              best, repaired.Record.Applied ? "repaired" : qPrintable(repaired.Record.Detail));
  return 0;
}
