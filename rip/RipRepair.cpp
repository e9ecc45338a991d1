#include "rip/RipRepair.h"

#include <QCoreApplication>
#include <QStorageInfo>
#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

#include "encode/WaveNormalize.h"
#include "platform/EventWait.h"

namespace {

constexpr int64_t kSectorBytes = 2352;
constexpr int64_t kCheckChunk = 1 << 20;
// Entries of one disc's length with recovery data are few; a rip that none
// of the first three repairs is not one the others will.
constexpr size_t kMaxEntriesTried = 3;

using TPiece = TCtdbFileSamples::TPiece;

// The view of the files that a stop ends: the repair then fails at its next read.
class TStoppableSamples : public TCtdbSamples {
 public:
  TStoppableSamples(TCtdbSamples& inner, const std::atomic<bool>& stop)
      : FInner(inner), FStop(stop) {}
  bool Read(int64_t first, int64_t count, uint8_t* out) override {
    return !FStop.load() && FInner.Read(first, count, out);
  }

 private:
  TCtdbSamples& FInner;
  const std::atomic<bool>& FStop;
};

// The audio of each file as the layout places it; the reason when a file is
// not the WAV the rip wrote (a header of another size or kind).
QString Pieces(const std::vector<TRepairFile>& files, const TCtdbLayout& layout,
               std::vector<TPiece>& pieces) {
  if (files.size() != layout.TrackStarts.size()) return QStringLiteral("not every track is kept");
  for (size_t i = 0; i < files.size(); ++i) {
    const int64_t end = i + 1 < files.size() ? layout.TrackStarts[i + 1] : layout.Words;
    const int64_t bytes = 2 * (end - layout.TrackStarts[i]);
    QFile file(files[i].Path);
    uchar header[kWaveHeaderSize];
    const bool read =
        file.open(QIODevice::ReadOnly) &&
        file.read(reinterpret_cast<char*>(header), kWaveHeaderSize) == kWaveHeaderSize;
    if (!read || std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "WAVE", 4) != 0 ||
        std::memcmp(header + 36, "data", 4) != 0 ||
        qFromLittleEndian<uint32_t>(header + 40) != bytes || file.size() < kWaveHeaderSize + bytes)
      return QString("'%1' is not the WAV the rip wrote").arg(files[i].Path);
    pieces.push_back({files[i].Path, kWaveHeaderSize, bytes});
  }
  return QString();
}

size_t PieceOf(const TCtdbLayout& layout, int64_t word) {
  const auto next = std::upper_bound(layout.TrackStarts.begin(), layout.TrackStarts.end(), word);
  return size_t(next - layout.TrackStarts.begin()) - 1;
}

// Writes the changes' new values into the files holding their words, only
// when every word still holds its old value; undoing, writes the old value
// back wherever the new one is. The reason when a file fails or another
// program changed it meanwhile.
QString WriteChanges(const std::vector<TPiece>& pieces, const TCtdbLayout& layout,
                     const std::vector<TCtdbChange>& changes, bool undo) {
  for (const bool writing : {undo, true}) {
    std::unique_ptr<QFile> file;
    for (const TCtdbChange& change : changes) {
      const size_t i = PieceOf(layout, change.Word);
      if (!file || file->fileName() != pieces[i].Path) {
        if (file && !file->flush()) return file->fileName() + ": " + file->errorString();
        file = std::make_unique<QFile>(pieces[i].Path);
        if (!file->open(writing ? QIODevice::ReadWrite : QIODevice::ReadOnly))
          return pieces[i].Path + ": " + file->errorString();
      }
      const int64_t at = pieces[i].Offset + 2 * (change.Word - layout.TrackStarts[i]);
      uchar bytes[2];
      if (!file->seek(at) || file->read(reinterpret_cast<char*>(bytes), 2) != 2)
        return pieces[i].Path + ": " + file->errorString();
      const uint16_t held = qFromLittleEndian<uint16_t>(bytes);
      if (!writing && held != change.Old) return pieces[i].Path + ": changed by another program";
      if (!writing || (undo && held != change.New)) continue;
      qToLittleEndian(undo ? change.Old : change.New, bytes);
      if (!file->seek(at) || file->write(reinterpret_cast<const char*>(bytes), 2) != 2)
        return pieces[i].Path + ": " + file->errorString();
    }
    if (file && !file->flush()) return file->fileName() + ": " + file->errorString();
    if (undo) break;
  }
  return QString();
}

// What the changes do to each track: samples, the first, the sectors.
std::map<int32_t, TCtdbTrackRepair> TracksChanged(const std::vector<TCtdbChange>& changes,
                                                  const TCtdbLayout& layout, int32_t firstTrack) {
  std::map<int32_t, std::set<int64_t>> samples;
  for (const TCtdbChange& change : changes) {
    const size_t i = PieceOf(layout, change.Word);
    samples[firstTrack + int32_t(i)].insert((change.Word - layout.TrackStarts[i]) / 2);
  }
  std::map<int32_t, TCtdbTrackRepair> tracks;
  for (const auto& [number, changed] : samples) {
    TCtdbTrackRepair& track = tracks[number];
    track.Samples = int64_t(changed.size());
    track.FirstSample = *changed.begin();
    for (const int64_t sample : changed) {
      const auto sector = int32_t(sample * 4 / kSectorBytes);
      if (track.Sectors.empty() || track.Sectors.back() != sector) track.Sectors.push_back(sector);
    }
  }
  return tracks;
}

// Reads the files back: the CTDB sums of the whole rip and the AccurateRip
// sums of the tracks changed; false when stopped or a file fails.
bool ReadBack(const std::vector<TPiece>& pieces, const TCtdbLayout& layout,
              const std::set<size_t>& changed, int32_t firstTrack, const std::atomic<bool>& stop,
              TRipRepair& result) {
  result.After.emplace(layout);
  std::vector<uint8_t> buffer(static_cast<size_t>(kCheckChunk));
  for (size_t i = 0; i < pieces.size(); ++i) {
    TTrackChecksums* track = nullptr;
    if (changed.count(i)) {
      track = &result.TrackSums[firstTrack + int32_t(i)];
      track->Begin(pieces[i].Bytes / 4, i == 0, i + 1 == pieces.size());
    }
    QFile file(pieces[i].Path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(pieces[i].Offset)) return false;
    for (int64_t done = 0; done < pieces[i].Bytes;) {
      const int64_t want = std::min(kCheckChunk, pieces[i].Bytes - done);
      if (stop.load() || file.read(reinterpret_cast<char*>(buffer.data()), want) != want)
        return false;
      result.After->Add(buffer.data(), size_t(want));
      if (track) track->Add(buffer.data(), size_t(want));
      done += want;
    }
  }
  return result.After->Complete();
}

std::optional<TCtdbRecovery> Fetch(const QString& url, const TCtdbEntry& entry, int rows,
                                   int timeoutMs, const std::function<bool()>& stopped,
                                   QString& error) {
  TCtdbRecoveryClient client;
  bool done = false;
  client.OnDone = [&done] { done = true; };
  client.Start(url, entry, rows, timeoutMs);
  while (!done) {
    if (stopped())
      client.Abort();
    else
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  error = client.Error();
  return client.Recovery();
}

// RepairFiles on a worker thread while this one runs the event loop.
TRipRepair RepairOnWorker(const std::vector<TRepairFile>& files, const TCtdbLayout& layout,
                          const TCtdbEntry& entry, const TCtdbRecovery& recovery,
                          const std::function<bool()>& stopped) {
  TRipRepair result;
  platform::RunBesideEvents(
      [&](const std::atomic<bool>& stop) {
        result = RepairFiles(files, layout, entry, recovery, stop);
      },
      stopped);
  return result;
}

}  // namespace

TPcmCopy::TPcmCopy(const QString& path) : FFile(path) {
  try {
    FFailed = !FFile.open(QIODevice::WriteOnly | QIODevice::Truncate);
    if (!FFailed) FWav.Begin(FFile, 0);
  } catch (const std::exception&) {
    FFailed = true;
  }
}

void TPcmCopy::Add(const uint8_t* data, int32_t bytes) {
  if (FFailed) return;
  try {
    // The drive hands over whole sectors, each a whole number of frames.
    FWav.Write(reinterpret_cast<const int16_t*>(data), size_t(bytes) / kCdFrameBytes);
  } catch (const std::exception&) {
    FFailed = true;
  }
}

bool TPcmCopy::Finish() {
  if (!FFailed) try {
      FWav.End();
    } catch (const std::exception&) {
      FFailed = true;
    }
  FFile.close();
  return !FFailed;
}

bool KeepsPcmCopy(const TCtdbVerification* ctdb, const QString& folder, int64_t trackBytes,
                  int64_t laterBytes) {
  if (!ctdb || !ctdb->MayRepair()) return false;
  const QStorageInfo storage(folder);
  return storage.isValid() && storage.bytesAvailable() > trackBytes + kWaveHeaderSize + laterBytes;
}

TRipRepair RepairFiles(const std::vector<TRepairFile>& files, const TCtdbLayout& layout,
                       const TCtdbEntry& entry, const TCtdbRecovery& recovery,
                       const std::atomic<bool>& stop) {
  TRipRepair result;
  TCtdbRepairRecord& record = result.Record;
  record.Tried = true;
  record.EntryId = entry.Id;
  record.Confidence = entry.Confidence;
  record.Rows = recovery.Rows;
  std::vector<TPiece> pieces;
  record.Detail = Pieces(files, layout, pieces);
  if (!record.Detail.isEmpty()) {
    result.Outcome = TCtdbRepair::Unreadable;
    return result;
  }
  TCtdbFileSamples view(pieces);
  TStoppableSamples samples(view, stop);
  const TCtdbRepair repair = CtdbRepair(samples, layout, entry, recovery);
  result.Outcome = repair.Outcome;
  record.Offset = repair.Offset;
  switch (repair.Outcome) {
    case TCtdbRepair::Repaired:
      break;
    case TCtdbRepair::AlreadyAccurate:
      record.Detail = QString("the rip already matches entry %1").arg(entry.Id);
      return result;
    case TCtdbRepair::Unreadable:
      record.Detail = stop.load() ? QStringLiteral("stopped") : view.Error();
      return result;
    default:
      record.Detail = repair.Detail;
      return result;
  }
  const int32_t firstTrack = files.front().TrackNum;
  record.Tracks = TracksChanged(repair.Changes, layout, firstTrack);
  std::set<size_t> changed;
  for (const TCtdbChange& change : repair.Changes) changed.insert(PieceOf(layout, change.Word));

  const QString failure = WriteChanges(pieces, layout, repair.Changes, false);
  const bool confirmed = failure.isEmpty() &&
                         ReadBack(pieces, layout, changed, firstTrack, stop, result) &&
                         result.After->WindowCrc(repair.Offset) == entry.Crc;
  if (!confirmed) {
    // Nothing stays changed that the CRC does not vouch for.
    WriteChanges(pieces, layout, repair.Changes, true);
    record.Detail = !failure.isEmpty() ? "the files cannot take the repair: " + failure
                    : stop.load()      ? QStringLiteral("stopped")
                                       : QStringLiteral("the files do not read back repaired");
    result.After.reset();
    result.TrackSums.clear();
    return result;
  }
  record.Applied = true;
  return result;
}

TRipRepair RepairRip(const TCtdbVerification& ctdb, const std::vector<TRepairFile>& files,
                     int timeoutMs, const std::function<bool()>& stopped) {
  TRipRepair result;
  result.Record.Tried = true;
  const std::vector<TCtdbEntry> candidates = ctdb.RepairCandidates();
  if (candidates.empty() || !ctdb.Layout()) {
    result.Record.Detail = QStringLiteral("no entry of the disc's length has recovery data");
    return result;
  }
  for (size_t c = 0; c < candidates.size() && c < kMaxEntriesTried && !stopped(); ++c) {
    const TCtdbEntry& entry = candidates[c];
    const QString url = CtdbRecoveryUrl(ctdb.Server(), entry);
    for (int rows = TCtdbRecoveryClient::kFirstRows; rows > 0;
         rows = TCtdbRecoveryClient::NextRows(rows, entry)) {
      QString error;
      const std::optional<TCtdbRecovery> recovery =
          Fetch(url, entry, rows, timeoutMs, stopped, error);
      if (!recovery) {
        result = TRipRepair();
        result.Record.Tried = true;
        result.Record.EntryId = entry.Id;
        result.Record.Confidence = entry.Confidence;
        result.Record.Detail =
            QString("the recovery data of entry %1 was refused (%2)").arg(entry.Id).arg(error);
        break;
      }
      result = RepairOnWorker(files, *ctdb.Layout(), entry, *recovery, stopped);
      if (result.Outcome != TCtdbRepair::NeedMoreRows) break;
      rows = recovery->Rows;  // a server may send more than asked for
    }
    if (result.Record.Applied || result.Outcome == TCtdbRepair::Unreadable) break;
  }
  if (stopped() && !result.Record.Applied) result.Record.Detail = QStringLiteral("stopped");
  return result;
}
