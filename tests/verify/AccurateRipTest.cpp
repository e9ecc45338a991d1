// The AccurateRip disc IDs against real discs' published IDs, the dBAR reader
// on good and broken files, the verdicts, and the lookup against a server on
// loopback.
#include <gtest/gtest.h>

#include "ArReference.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "verify/AccurateRip.h"
#include "verify/AccurateRipClient.h"
#include "verify/RipVerification.h"

namespace {

std::vector<TArTocTrack> Audio(const std::vector<int32_t>& lbas) {
  std::vector<TArTocTrack> tracks;
  for (const int32_t lba : lbas) tracks.push_back({lba - 150, true});
  return tracks;
}

// IDs as the database's own ripper computes them, recorded with the discs'
// TOCs in the ARver project's notes on data tracks (doc/data_track.md).
TEST(AccurateRipIds, MatchPublishedIdsOfEnhancedAndMixedModeDiscs) {
  // Enhanced CD: ten audio tracks, then a data track in a second session; the
  // sums run to the disc's own lead-out.
  std::vector<TArTocTrack> enhanced =
      Audio({150, 12767, 40487, 63225, 93410, 118115, 151865, 184340, 215260, 247455});
  enhanced.push_back({281585, false});
  TArDiscIds ids = ArDiscIds(enhanced, 333651, 0x9e11600b);
  EXPECT_EQ(DbarFileName(ids), "dBAR-010-00164419-00b9f6e2-9e11600b.bin");
  EXPECT_EQ(DbarUrl("http://www.accuraterip.com/", ids),
            "http://www.accuraterip.com/accuraterip/9/1/4/dBAR-010-00164419-00b9f6e2-9e11600b.bin");

  // Mixed mode: the data track comes first and is left out; track numbers
  // count the audio tracks.
  std::vector<TArTocTrack> mixed =
      Audio({66728,  76502,  85963,  93760,  104048, 116066, 124743, 134206, 142916, 151852,
             160720, 169425, 178731, 188459, 196711, 206354, 214845, 223686, 225746, 226384,
             232668, 239447, 239931, 244989, 254264, 260066, 261222, 261674});
  mixed.insert(mixed.begin(), {0, false});
  ids = ArDiscIds(mixed, 261976 - 150, 0xaf0da31d);
  EXPECT_EQ(DbarFileName(ids), "dBAR-028-00517a54-05a845d2-af0da31d.bin");
}

const TArDiscIds kIds{3, 0x1000, 0x2000, 0x3000};

TEST(Dbar, ReadsEveryPressingAndRejectsBrokenFiles) {
  const QByteArray first =
      artest::DbarBlock(3, 0x1000, 0x2000, 0x3000, {{5, 0xA1}, {5, 0xA2}, {4, 0xA3}});
  const QByteArray second =
      artest::DbarBlock(3, 0x1000, 0x2000, 0x3000, {{2, 0xB1}, {0, 0}, {2, 0xB3}});
  const auto blocks = ParseDbar(first + second, kIds);
  ASSERT_TRUE(blocks);
  ASSERT_EQ(blocks->size(), 2u);
  EXPECT_EQ((*blocks)[1].Tracks[2].Confidence, 2);
  EXPECT_EQ((*blocks)[1].Tracks[2].Crc, 0xB3u);
  EXPECT_EQ((*blocks)[0].Tracks[1].Crc, 0xA2u);

  const struct {
    const char* What;
    QByteArray Bytes;
  } broken[] = {
      {"empty", QByteArray()},
      {"cut in an entry", (first + second).chopped(1)},
      {"cut in a header", first + second.left(5)},
      {"wrong track count", artest::DbarBlock(2, 0x1000, 0x2000, 0x3000, {{1, 1}, {1, 2}})},
      {"another disc", artest::DbarBlock(3, 0x1001, 0x2000, 0x3000, {{1, 1}, {1, 2}, {1, 3}})},
      {"an HTML page", "<html><body>Not here</body></html>"},
  };
  for (const auto& c : broken) EXPECT_FALSE(ParseDbar(c.Bytes, kIds)) << c.What;
}

TEST(Dbar, VerdictsCountTheAgreeingSubmissionsOfEachVersionAndSayWhatIsNotVerified) {
  const auto blocks =
      *ParseDbar(artest::DbarBlock(3, 0x1000, 0x2000, 0x3000, {{5, 0xA1}, {5, 0xA2}, {0, 0xA3}}) +
                     artest::DbarBlock(3, 0x1000, 0x2000, 0x3000, {{2, 0xA1}, {4, 0xB2}, {0, 0}}),
                 kIds);
  const struct {
    TArAnswer Answer;
    int Index;
    uint32_t V1, V2;
    const char* Text;
    const char* Short;
  } cases[] = {
      {TArAnswer::Found, 0, 0xFF, 0xA1, "Accurately ripped, confidence 7 (v2) of 7 submissions",
       "Accurate (7)"},
      // v2 in one pressing, v1 in another: each counts.
      {TArAnswer::Found, 1, 0xB2, 0xA2,
       "Accurately ripped, confidence 5 (v2) + 4 (v1) of 9 submissions", "Accurate (9)"},
      {TArAnswer::Found, 1, 0xEE, 0xFF, "Not accurately ripped (no match among 9 submissions)",
       "Not accurate"},
      // Entries without rips, or none at all (the last audio track of a disc
      // whose data track holds the first entry), prove nothing either way.
      {TArAnswer::Found, 2, 0, 0xA3,
       "Not verified: the AccurateRip database holds no rips of this track", "No data"},
      {TArAnswer::Found, 3, 1, 2,
       "Not verified: the AccurateRip database holds no rips of this track", "No data"},
      {TArAnswer::NotFound, 0, 1, 2, "Not verified: the disc is not in the AccurateRip database",
       "No data"},
      {TArAnswer::Unreadable, 0, 1, 2, "Not verified: the AccurateRip answer is unreadable",
       "No data"},
      {TArAnswer::NoAnswer, 0, 1, 2, "Not verified: no answer from the AccurateRip database",
       "No data"},
  };
  TArTally tally;
  for (const auto& c : cases) {
    const TArVerdict verdict = ArTrackVerdict(c.Answer, blocks, c.Index, c.V1, c.V2);
    EXPECT_EQ(verdict.Text(), c.Text) << c.Text;
    EXPECT_EQ(verdict.Short(), c.Short) << c.Text;
    tally.Add(verdict);
  }
  EXPECT_EQ(tally.Text(),
            "2 of 8 tracks accurately ripped, 1 not accurately ripped, 5 not verified (the "
            "AccurateRip database holds no rips of this track; the disc is not in the AccurateRip "
            "database; the AccurateRip answer is unreadable; no answer from the AccurateRip "
            "database)");

  // Another pressing: the nearest offset whose v1 most submissions agree with.
  const TArVerdict wrong = ArTrackVerdict(TArAnswer::Found, blocks, 1, 0xEE, 0xFF);
  const TArVerdict found =
      ArPressingVerdict(wrong, blocks, 1, {{-3, 0xB2}, {12, 0xA2}, {-40, 0xA2}, {50, 0xB2}});
  EXPECT_EQ(found.Text(),
            "Accurately ripped, pressing offset +12, confidence 5 (v1) of 9 submissions");
  EXPECT_EQ(found.OffsetV1, 0xA2u);
  EXPECT_EQ(ArPressingVerdict(wrong, blocks, 1, {{7, 0xEE}}).Kind, TArVerdict::NotAccurate);
}

// One lookup against the answer function; the answer once it is there.
TArAnswer Lookup(const testutil::TTestServer::TAnswer& answer, QString* path = nullptr,
                 int timeoutMs = 30000) {
  testutil::TTestServer server(answer);
  TAccurateRipClient client;
  bool done = false;
  client.OnDone = [&done] { done = true; };
  client.Start("http://" + server.HostPort() + "/", kIds, timeoutMs);
  EXPECT_TRUE(testutil::WaitFor([&done] { return done; }));
  if (path) *path = server.RequestLine(0);
  return client.Answer();
}

TEST(AccurateRipClient, AsksForTheDiscsFileAndTellsEachKindOfAnswer) {
  const QByteArray file =
      artest::DbarBlock(3, 0x1000, 0x2000, 0x3000, {{5, 0xA1}, {5, 0xA2}, {4, 0xA3}});
  auto binary = [](const QByteArray& body) {
    return testutil::TTestServer::Reply(
        "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + body);
  };
  QString request;
  EXPECT_EQ(Lookup(binary(file), &request), TArAnswer::Found);
  EXPECT_EQ(request, "GET /accuraterip/0/0/0/dBAR-003-00001000-00002000-00003000.bin HTTP/1.0");
  EXPECT_EQ(Lookup(binary(file.chopped(3))), TArAnswer::Unreadable);
  EXPECT_EQ(Lookup(testutil::TTestServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n")),
            TArAnswer::NotFound);
  EXPECT_EQ(Lookup(testutil::TTestServer::Reply("HTTP/1.0 500 Broken\r\n\r\n")),
            TArAnswer::NoAnswer);
  // A server that takes the request and never answers is given up on.
  EXPECT_EQ(Lookup([](QTcpSocket*, const QByteArray&) {}, nullptr, 300), TArAnswer::NoAnswer);
  // A reset after the first pressing is no answer, though that pressing reads.
  const QByteArray second = artest::DbarBlock(3, 0x1000, 0x2000, 0x3000, {{2, 1}, {2, 2}, {2, 3}});
  EXPECT_EQ(
      Lookup(testutil::TTestServer::ResetAfter("HTTP/1.0 200 OK\r\n\r\n" + file + second.left(7))),
      TArAnswer::NoAnswer);

  // The server's words are shown with their control characters escaped.
  {
    testutil::TTestServer server(
        testutil::TTestServer::Reply("HTTP/1.0 500 \x1b]0;owned\x07\rAccurately ripped\r\n\r\n"));
    TRipVerification verification(Audio({150, 20000, 40000}), 60000, 0x3000,
                                  "http://" + server.HostPort());
    ASSERT_TRUE(testutil::WaitFor([&] { return !verification.AnswerPending(); }));
    EXPECT_EQ(verification.AnswerText(),
              "No answer from the AccurateRip database (HTTP 500 "
              "\\x1b]0;owned\\x07\\x0dAccurately ripped)");
  }

  TAccurateRipClient nowhere;
  bool done = false;
  nowhere.OnDone = [&done] { done = true; };
  nowhere.Start("http://127.0.0.1:" + QString::number(testutil::ClosedPort()), kIds);
  ASSERT_TRUE(testutil::WaitFor([&done] { return done; }));
  EXPECT_EQ(nowhere.Answer(), TArAnswer::NoAnswer);
}

}  // namespace
