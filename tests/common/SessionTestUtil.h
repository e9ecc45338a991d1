// Helpers of the conversion tests: the rip plan of a session, WAV files of
// given samples, their samples read back, and a file-size limit that makes
// writes fail as on a full disk.
#pragma once

#include <QByteArray>
#include <QString>
#include <QtEndian>
#include <vector>

#include "common/TestUtil.h"
#include "rip/DiscLoad.h"
#include "rip/RipPlan.h"
#include "settings/config.h"

namespace testutil {

// Makes the plan as a front end does for the jobs it holds: the disc read
// from the drive, named as the jobs' records name it, and the settings'
// snapshot with the verification asked for.
inline void MakePlan(TRipPlan& plan, TCDRIP& drive, const TConfig& settings, bool verify = false) {
  plan.Disc = ReadDisc(drive);
  plan.Settings = RipSettingsOf(settings);
  plan.Settings.Verify = verify;
  if (plan.Jobs.empty()) return;
  const TCDTrackInfo& album = plan.Jobs.front().TrackInfo;
  plan.Disc.Names.Album = album.Album;
  plan.Disc.Names.AlbumArtist = album.Artist;
  plan.Disc.Names.Date = album.Year;
  plan.Disc.Names.Genre = album.Category;
  plan.Disc.Names.MBReleaseID = album.MBReleaseID;
  plan.Disc.Names.MBReleaseGroupID = album.MBReleaseGroupID;
  for (const TFileParam& job : plan.Jobs) {
    const int index = job.TrackInfo.TrackIndex;
    if (index < 0 || size_t(index) >= plan.Disc.Tracks.size()) continue;
    TDiscTrack& track = plan.Disc.Tracks[size_t(index)];
    const TCDTrackInfo& record = job.TrackInfo;
    const QString byline = record.TrackArtist + " / ";
    track.Title = !record.TrackArtist.isEmpty() && record.Title.startsWith(byline)
                      ? record.Title.mid(byline.size())
                      : record.Title;
    track.Artist = record.TrackArtist;
    if (!record.Isrc.isEmpty()) track.Isrc = record.Isrc;
    track.MBRecordingID = record.MBRecordingID;
  }
}

inline QByteArray WaveHeader(qint64 dataSize) {
  QByteArray h(44, '\0');
  auto put32 = [&h](int at, quint32 v) { qToLittleEndian(v, h.data() + at); };
  auto put16 = [&h](int at, quint16 v) { qToLittleEndian(v, h.data() + at); };
  h.replace(0, 4, "RIFF");
  put32(4, quint32(dataSize + 36));
  h.replace(8, 8, "WAVEfmt ");
  put32(16, 16);
  put16(20, 1);
  put16(22, 2);
  put32(24, 44100);
  put32(28, 44100 * 4);
  put16(32, 4);
  put16(34, 16);
  h.replace(36, 4, "data");
  put32(40, quint32(dataSize));
  return h;
}

inline QByteArray SampleBytes(const std::vector<int16_t>& samples) {
  QByteArray bytes(qsizetype(samples.size() * 2), '\0');
  // An empty vector may hold no buffer at all, and memcpy takes no null pointer.
  if (!samples.empty())
    qToLittleEndian<int16_t>(samples.data(), qsizetype(samples.size()), bytes.data());
  return bytes;
}

inline QString MakeWav(const TTempFolder& folder, const std::vector<int16_t>& samples,
                       const QString& name = "track.wav") {
  const QString path = folder.File(name);
  WriteFile(path, WaveHeader(qint64(samples.size()) * 2) + SampleBytes(samples));
  return path;
}

// The samples after the 44-byte header.
inline std::vector<int16_t> ReadSamples(const QString& path) {
  const QByteArray bytes = ReadFile(path).mid(44);
  std::vector<int16_t> samples(size_t(bytes.size() / 2));
  qFromLittleEndian<int16_t>(bytes.constData(), qsizetype(samples.size()), samples.data());
  return samples;
}

}  // namespace testutil
