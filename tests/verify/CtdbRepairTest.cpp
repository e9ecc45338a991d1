// CTDB verification and repair of rips of a generated image against entries
// and recovery data the test computes from the clean image itself, served
// from a server on loopback: clean rips and rips of other offsets verified,
// damage repaired byte for byte through files, too much damage and lying or
// broken recovery files refused without a change.
#include <gtest/gtest.h>

#include <QFile>

#include "CtdbReference.h"
#include "common/DiscImage.h"
#include "common/SessionTestUtil.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "rip/RipRepair.h"
#include "verify/CtdbChecksums.h"
#include "verify/CtdbClient.h"
#include "verify/CtdbRepair.h"
#include "verify/CtdbVerdict.h"

namespace {

constexpr int kNpar = 8;
const std::vector<int> kTracks = {400, 301, 502};  // sectors; the last row is a part one
const QByteArray kToc = "0:400:701:1203";

// The clean image, its layout, the entry and recovery file built from it.
struct TDisc {
  testutil::TTempFolder Folder;
  QByteArray Pcm;
  TCtdbLayout Layout;
  ctdbtest::TReference Reference;
  QByteArray Recovery;
  TCtdbEntry Entry;
};

const TDisc& Disc() {
  static const std::unique_ptr<TDisc> disc = [] {
    auto d = std::make_unique<TDisc>();
    d->Pcm = testutil::MakeDiscImage(d->Folder.Path(), "ctdb", kTracks).Pcm;
    d->Layout = *CtdbLayoutOf({{0, true}, {400, true}, {701, true}}, 1203);
    d->Reference = ctdbtest::Reference(d->Pcm, d->Layout.TrackStarts, kNpar);
    d->Recovery = ctdbtest::RecoveryFile(d->Reference);
    std::vector<TCtdbEntry> entries;
    QString error;
    EXPECT_TRUE(ReadCtdbEntries(
        ctdbtest::Answer(ctdbtest::EntryXml(d->Reference, kNpar, 5, kToc, "/parity/7")), entries,
        error))
        << error.toStdString();
    d->Entry = entries.at(0);
    return d;
  }();
  return *disc;
}

// The disc as a drive `offset` samples late reads it: silence beyond the disc.
QByteArray Shifted(const QByteArray& pcm, int offset) {
  QByteArray out(pcm.size(), '\0');
  const qsizetype bytes = 4 * qsizetype(std::abs(offset));
  if (offset >= 0)
    std::copy(pcm.begin() + bytes, pcm.end(), out.begin());
  else
    std::copy(pcm.begin(), pcm.end() - bytes, out.begin() + bytes);
  return out;
}

// `count` samples from `sample` on, as a scratch (noise) or an unreadable
// stretch (silence) leaves them.
void Damage(QByteArray& pcm, int64_t sample, int count, bool noise) {
  uint32_t seed = uint32_t(sample);
  for (qsizetype i = 4 * qsizetype(sample); i < 4 * qsizetype(sample + count); ++i) {
    seed = seed * 1664525u + 1013904223u;
    pcm[i] = noise ? char(seed >> 24) : '\0';
  }
}

TCtdbChecksums Sums(const QByteArray& pcm, int syndromes = 2) {
  TCtdbChecksums sums(Disc().Layout, syndromes);
  for (qsizetype at = 0; at < pcm.size(); at += 4099)  // splits words between calls
    sums.Add(reinterpret_cast<const uint8_t*>(pcm.constData()) + at,
             size_t(std::min<qsizetype>(4099, pcm.size() - at)));
  return sums;
}

TEST(CtdbVerify, FindsTheOffsetAndTellsTheDiscAndEachTrack) {
  const TDisc& disc = Disc();
  // A second pressing: the same audio 100 samples later, two rips.
  const ctdbtest::TReference later =
      ctdbtest::Reference(Shifted(disc.Pcm, 100), disc.Layout.TrackStarts, kNpar);
  std::vector<TCtdbEntry> entries;
  QString error;
  ASSERT_TRUE(ReadCtdbEntries(
      ctdbtest::Answer(ctdbtest::EntryXml(disc.Reference, kNpar, 5, kToc, "/parity/7") +
                       ctdbtest::EntryXml(later, kNpar, 2, kToc, "/parity/8") +
                       ctdbtest::EntryXml(later, kNpar, 9, "0:400:701:1300", "")),
      entries, error));
  QByteArray damaged = disc.Pcm;
  Damage(damaged, 450 * 588 + 300, 300, true);  // clear of column 0 at both offsets
  const struct {
    const char* What;
    QByteArray Rip;
    int Offset;  // against the first entry
    bool Accurate;
    const char* Disc;
    const char* Track2;
  } cases[] = {
      {"clean", disc.Pcm, 0, true, "Accurately ripped (confidence 7 of 7)",
       "Accurately ripped (confidence 7 of 7)"},
      {"another offset", Shifted(disc.Pcm, 37), 37, true,
       "Accurately ripped (confidence 7 of 7, offset +37)",
       "Accurately ripped (confidence 7 of 7, offset +37)"},
      {"the other way", Shifted(disc.Pcm, -3000), -3000, true,
       "Accurately ripped (confidence 7 of 7, offset -3000)",
       "Accurately ripped (confidence 7 of 7, offset -3000)"},
      {"damaged in track 2", damaged, 0, false, "Differs from the CTDB database (7 submissions)",
       "Differs from the CTDB database (7 submissions)"},
  };
  for (const auto& c : cases) {
    const TCtdbChecksums sums = Sums(c.Rip);
    ASSERT_TRUE(sums.Complete()) << c.What;
    std::vector<TCtdbEntryResult> results;
    for (const TCtdbEntry& entry : entries) results.push_back(CtdbCheckEntry(sums, entry));
    EXPECT_TRUE(results[0].OffsetFound) << c.What;
    EXPECT_EQ(results[0].Offset, c.Offset) << c.What;
    EXPECT_EQ(results[0].Accurate, c.Accurate) << c.What;
    EXPECT_EQ(results[1].Offset, c.Offset - 100) << c.What;
    EXPECT_FALSE(results[2].Counted) << c.What << ": another length";
    EXPECT_EQ(results[0].TrackAccurate, (std::vector<bool>{true, c.Accurate, true})) << c.What;
    EXPECT_EQ(CtdbDiscVerdict(TArAnswer::Found, entries, results).Text(), c.Disc) << c.What;
    EXPECT_EQ(CtdbTrackVerdict(TArAnswer::Found, entries, results, 1).Text(), c.Track2) << c.What;
    EXPECT_EQ(CtdbTrackVerdict(TArAnswer::Found, entries, results, 2).Kind, TCtdbVerdict::Accurate)
        << c.What;
  }
  EXPECT_EQ(CtdbDiscVerdict(TArAnswer::NotFound, {}, {}).Text(), "Not in the CTDB database");
}

// Fetches recovery rows as a repair asks for them (4, then 8) and repairs the
// rip through files after each; the outcome and the rows fetched.
TCtdbRepair RepairThroughServer(const QByteArray& rip, const QByteArray& recovery,
                                std::vector<int>& rowsFetched) {
  const TDisc& disc = Disc();
  // The tracks as files with a 44-byte header before their audio.
  std::vector<TCtdbFileSamples::TPiece> pieces;
  for (size_t t = 0; t < disc.Layout.TrackStarts.size(); ++t) {
    const int64_t first = 2 * disc.Layout.TrackStarts[t];
    const int64_t end = t + 1 < disc.Layout.TrackStarts.size() ? 2 * disc.Layout.TrackStarts[t + 1]
                                                               : 2 * disc.Layout.Words;
    const QString path = disc.Folder.File(QString("track%1.wav").arg(t + 1));
    testutil::WriteFile(path, QByteArray(44, 'h') + rip.mid(first, end - first));
    pieces.push_back({path, 44, end - first});
  }
  TCtdbFileSamples files(pieces);
  testutil::TTestServer server([&recovery](QTcpSocket* socket, const QByteArray& request) {
    ctdbtest::ServeRange(socket, request, recovery);
  });
  TCtdbRecoveryClient client;
  TCtdbRepair repair;
  for (int rows = TCtdbRecoveryClient::kFirstRows; rows > 0;
       rows = TCtdbRecoveryClient::NextRows(rows, disc.Entry)) {
    bool done = false;
    client.OnDone = [&done] { done = true; };
    client.Start(CtdbRecoveryUrl("http://" + server.HostPort(), disc.Entry), disc.Entry, rows);
    EXPECT_TRUE(testutil::WaitFor([&done] { return done; }));
    if (!client.Recovery()) {
      repair.Detail = client.Error();
      break;
    }
    rowsFetched.push_back(client.Recovery()->Rows);
    repair = CtdbRepair(files, disc.Layout, disc.Entry, *client.Recovery());
    if (repair.Outcome != TCtdbRepair::NeedMoreRows) break;
  }
  EXPECT_EQ(server.RequestLine(0), "GET /parity/7 HTTP/1.0");
  return repair;
}

TEST(CtdbRepair, RepairsWhatTheRowsCanAndChangesNothingElse) {
  const TDisc& disc = Disc();
  // The rip's words w fall in column (w + 2·offset) mod 11760; damage three
  // or five rows apart in the same columns takes as many errors per column.
  auto rowsHit = [&disc](int rows, int offset) {
    QByteArray pcm = Shifted(disc.Pcm, offset);
    for (int r = 0; r < rows; ++r) Damage(pcm, (30 + 9 * r) * 5880 + 1000, 200, r % 2 == 0);
    return pcm;
  };
  QByteArray scratched = disc.Pcm, unreadableAtColumn0 = Shifted(disc.Pcm, 37);
  Damage(scratched, 610 * 588 + 17, 300, true);
  Damage(unreadableAtColumn0, 50 * 5880 - 37 - 150, 400, false);
  QByteArray lying = disc.Recovery;
  for (qsizetype i = 2; i < lying.size(); i += 2 * 11760) lying[i + 1] = char(lying[i + 1] ^ 0x5a);
  const struct {
    const char* What;
    QByteArray Rip;
    int Offset;
    QByteArray Recovery;
    TCtdbRepair::TOutcome Outcome;
    std::vector<int> Rows;
  } cases[] = {
      {"a scratch", scratched, 0, disc.Recovery, TCtdbRepair::Repaired, {4}},
      {"unreadable at column 0, another offset",
       unreadableAtColumn0,
       37,
       disc.Recovery,
       TCtdbRepair::Repaired,
       {4}},
      {"three errors a column", rowsHit(3, 0), 0, disc.Recovery, TCtdbRepair::Repaired, {4, 8}},
      {"five errors a column",
       rowsHit(5, -20),
       -20,
       disc.Recovery,
       TCtdbRepair::Unrepairable,
       {4, 8}},
      {"clean", disc.Pcm, 0, disc.Recovery, TCtdbRepair::AlreadyAccurate, {4}},
      {"recovery data that lies", scratched, 0, lying, TCtdbRepair::Unrepairable, {4, 8}},
  };
  for (const auto& c : cases) {
    std::vector<int> rows;
    const TCtdbRepair repair = RepairThroughServer(c.Rip, c.Recovery, rows);
    EXPECT_EQ(repair.Outcome, c.Outcome) << c.What << ": " << repair.Detail.toStdString();
    EXPECT_EQ(rows, c.Rows) << c.What;
    if (c.Outcome != TCtdbRepair::Repaired) {
      EXPECT_TRUE(repair.Changes.empty()) << c.What;
      continue;
    }
    EXPECT_EQ(repair.Offset, c.Offset) << c.What;
    QByteArray fixed = c.Rip;
    for (const TCtdbChange& change : repair.Changes) {
      EXPECT_EQ(change.Old, ctdbtest::Word(c.Rip, change.Word)) << c.What;
      fixed[qsizetype(2 * change.Word)] = char(change.New & 0xFF);
      fixed[qsizetype(2 * change.Word + 1)] = char(change.New >> 8);
    }
    EXPECT_TRUE(fixed == Shifted(disc.Pcm, c.Offset)) << c.What << ": not byte-exact";
    EXPECT_EQ(Sums(fixed).WindowCrc(c.Offset), disc.Entry.Crc) << c.What;
  }
}

TEST(CtdbRepair, RefusesBrokenRecoveryFilesAndUnreadableRips) {
  const TDisc& disc = Disc();
  const QByteArray rows4 = disc.Recovery.left(4 * 23520);
  using testutil::TTestServer;
  const struct {
    const char* What;
    TTestServer::TAnswer Answer;
    int Rows;  // 0: refused
  } cases[] = {
      {"the whole file for a range", TTestServer::Body(disc.Recovery), kNpar},
      {"garbage",
       TTestServer::Reply("HTTP/1.0 206 Partial\r\nContent-Range: bytes 0-94079/1\r\n\r\n" +
                          QByteArray(4 * 23520, 'g')),
       0},
      {"another entry's", TTestServer::Body(QByteArray(kNpar * 23520, '\0')), 0},
      {"truncated",
       TTestServer::Reply("HTTP/1.0 206 Partial\r\nContent-Range: bytes 0-94079/1\r\n"
                          "Content-Length: 94080\r\n\r\n" +
                          rows4.left(50000)),
       0},
      {"short",
       TTestServer::Reply("HTTP/1.0 206 Partial\r\nContent-Range: bytes 0-94079/1\r\n\r\n" +
                          rows4.left(50000)),
       0},
      {"reset",
       [&rows4](QTcpSocket* socket, const QByteArray&) {
         socket->write("HTTP/1.0 206 Partial\r\nContent-Range: bytes 0-94079/1\r\n\r\n" +
                       rows4.left(9000));
         socket->abort();
       },
       0},
      {"not found", TTestServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"), 0},
  };
  for (const auto& c : cases) {
    TTestServer server(c.Answer);
    TCtdbRecoveryClient client;
    bool done = false;
    client.OnDone = [&done] { done = true; };
    client.Start(server.Url("/parity/7"), disc.Entry, 4);
    ASSERT_TRUE(testutil::WaitFor([&done] { return done; })) << c.What;
    EXPECT_TRUE(server.Requests.value(0).contains("\r\nRange: bytes=0-94079\r\n")) << c.What;
    EXPECT_EQ(client.Recovery() ? client.Recovery()->Rows : 0, c.Rows) << c.What;
    EXPECT_EQ(client.Error().isEmpty(), c.Rows > 0) << c.What;
  }

  TCtdbFileSamples missing({{disc.Folder.File("absent.wav"), 44, 2 * disc.Layout.Words}});
  const TCtdbRepair repair =
      CtdbRepair(missing, disc.Layout, disc.Entry, *ReadCtdbRecovery(disc.Recovery, 4, disc.Entry));
  EXPECT_EQ(repair.Outcome, TCtdbRepair::Unreadable);
  EXPECT_TRUE(repair.Changes.empty());
}

}  // namespace

// The repair in the session's WAV files: repaired in place, or no byte of
// any file changed when stopped or when a file is not the WAV the rip wrote.
TEST(CtdbRepair, RepairsTheFilesInPlaceOrLeavesEveryByte) {
  const auto& disc = Disc();
  QByteArray scratched = disc.Pcm;
  Damage(scratched, 450 * 588 + 17, 300, true);
  const TCtdbRecovery rows = *ReadCtdbRecovery(disc.Recovery, kNpar, disc.Entry);
  const struct {
    const char* What;
    bool Stop;
    qsizetype CutLast;  // bytes cut off the last file
    const char* Detail;
  } cases[] = {
      {"repaired", false, 0, ""},
      {"stopped", true, 0, "stopped"},
      {"a file cut short", false, 4, "is not the WAV the rip wrote"},
  };
  for (const auto& c : cases) {
    std::vector<TRepairFile> files;
    std::vector<QByteArray> written;
    for (size_t t = 0; t < disc.Layout.TrackStarts.size(); ++t) {
      const int64_t first = 2 * disc.Layout.TrackStarts[t];
      const int64_t end = t + 1 < disc.Layout.TrackStarts.size()
                              ? 2 * disc.Layout.TrackStarts[t + 1]
                              : 2 * disc.Layout.Words;
      const QByteArray audio = scratched.mid(first, end - first);
      written.push_back(testutil::WaveHeader(audio.size()) + audio);
      if (t + 1 == disc.Layout.TrackStarts.size()) written.back().chop(c.CutLast);
      files.push_back({int32_t(t + 1), disc.Folder.File(QString("repair%1.wav").arg(t + 1))});
      testutil::WriteFile(files.back().Path, written.back());
    }
    const std::atomic<bool> stop = c.Stop;
    const TRipRepair repair = RepairFiles(files, disc.Layout, disc.Entry, rows, stop);
    EXPECT_EQ(repair.Record.Applied, !*c.Detail) << c.What;
    EXPECT_TRUE(repair.Record.Detail.contains(c.Detail)) << repair.Record.Detail.toStdString();
    for (size_t t = 0; t < files.size(); ++t) {
      const QByteArray now = testutil::ReadFile(files[t].Path);
      EXPECT_TRUE(*c.Detail ? now == written[t]
                            : now.mid(44) ==
                                  disc.Pcm.mid(2 * disc.Layout.TrackStarts[t], now.size() - 44))
          << c.What << ", track " << t + 1;
    }
    if (!*c.Detail) EXPECT_EQ(repair.Record.Tracks.begin()->second.Samples, 300) << c.What;
  }
}
