// The CTDB lookup: the TOC list and addresses, the layout of discs with data
// tracks, the answer reader on good and hostile answers, and the client
// against a server on loopback.
#include <gtest/gtest.h>

#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "verify/Ctdb.h"
#include "verify/CtdbClient.h"

namespace {

constexpr char kGood[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\" "
    "xmlns:ext=\"http://db.cuetools.net/ns/ext-1.0#\">\n"
    " <!-- two pressings -->\n"
    " <entry id=\"12\" crc32=\"0a1b2c3d\" confidence=\"14\" npar=\"8\" stride=\"5880\" "
    "hasparity=\"http://p.cuetools.net/12\" syndrome=\"AQACAAMABAAFAAYABwAIAA==\" "
    "trackcrcs=\"00000001 ffffffff\" toc=\"0:15000:-40000:52000\"/>\n"
    " <entry id=\"13\" crc32=\"FFFFFFFF\" confidence=\"2\" npar=\"16\" stride=\"5880\" "
    "parity=\"AAAA\" toc=\"32:15032:40032\"/>\n"
    " <metadata source=\"musicbrainz\" artist=\"A &amp; B\"><track name=\"x\"/></metadata>\n"
    "</ctdb>\n";

TEST(Ctdb, TocListAddressesAndLayoutsOfDiscsWithDataTracks) {
  // Enhanced CD: the data track last; its audio ends a session gap earlier.
  const std::vector<TArTocTrack> enhanced = {{0, true}, {15000, true}, {40000, false}};
  EXPECT_EQ(CtdbTocList(enhanced, 52000), "0:15000:-40000:52000");
  EXPECT_EQ(CtdbLookupUrl("http://db.example/", "0:15000:-40000:52000"),
            "http://db.example/lookup2.php?version=3&ctdb=1&fuzzy=1&toc=0:15000:-40000:52000");
  auto layout = CtdbLayoutOf(enhanced, 52000);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->TrackStarts, (std::vector<int64_t>{0, 15000 * 1176}));
  EXPECT_EQ(layout->Words, (40000 - 11400) * 1176);
  // Mixed mode: the audio starts at track 2.
  layout = CtdbLayoutOf({{0, false}, {20000, true}, {30000, true}}, 50000);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->TrackStarts, (std::vector<int64_t>{0, 10000 * 1176}));
  EXPECT_EQ(layout->Words, 30000 * 1176);
  EXPECT_EQ(layout->LastStrideWords(), 11760 + layout->Words % 11760);
  EXPECT_FALSE(CtdbLayoutOf({{0, true}, {100, false}, {200, true}}, 300)) << "data between";
  EXPECT_FALSE(CtdbLayoutOf({{0, true}, {0, true}}, 300)) << "out of order";
  EXPECT_TRUE(CtdbLayoutOf({{0, true}}, 30)) << "three strides: one row";
  EXPECT_FALSE(CtdbLayoutOf({{0, true}}, 29)) << "no row";

  TCtdbEntry entry;
  const struct {
    const char* Path;
    const char* Url;
  } paths[] = {{"/parity/5", "http://db.example/parity/5"},
               {"http://p.example/5", "http://p.example/5"},
               {"ftp://p.example/5", ""},
               {"//p.example/5", ""},
               {"", ""}};
  for (const auto& p : paths) {
    entry.RecoveryPath = p.Path;
    EXPECT_EQ(CtdbRecoveryUrl("http://db.example/", entry), p.Url) << p.Path;
  }
}

TEST(Ctdb, ReadsEveryFieldOfAnAnswer) {
  std::vector<TCtdbEntry> entries;
  QString error;
  ASSERT_TRUE(ReadCtdbEntries(kGood, entries, error)) << error.toStdString();
  ASSERT_EQ(entries.size(), 2u);
  const TCtdbEntry& first = entries[0];
  EXPECT_EQ(first.Id, 12u);
  EXPECT_EQ(first.Crc, 0x0a1b2c3du);
  EXPECT_EQ(first.Confidence, 14);
  EXPECT_EQ(first.Npar, 8);
  EXPECT_EQ(first.Stride, 5880);
  EXPECT_EQ(first.Syndrome, (std::vector<uint16_t>{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(first.RecoveryPath, "http://p.cuetools.net/12");
  EXPECT_EQ(first.TrackCrcs, (std::vector<uint32_t>{1, 0xffffffff}));
  ASSERT_EQ(first.Toc.size(), 3u);
  EXPECT_FALSE(first.Toc[2].Audio);
  EXPECT_EQ(first.LeadOut, 52000);
  EXPECT_EQ(entries[1].Crc, 0xffffffffu);
  EXPECT_TRUE(entries[1].Syndrome.empty());
  EXPECT_TRUE(entries[1].RecoveryPath.isEmpty());
}

TEST(Ctdb, RefusesHostileAndBrokenAnswers) {
  const QByteArray good = kGood;
  const QByteArray head = "<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\">";
  auto entry = [&head](const QByteArray& attributes) {
    return head + "<entry crc32=\"1\" confidence=\"1\" npar=\"8\" stride=\"5880\" " + attributes +
           "/></ctdb>";
  };
  QByteArray many = head;
  for (int i = 0; i < 257; ++i)
    many += "<entry crc32=\"1\" confidence=\"1\" npar=\"8\" stride=\"5880\" toc=\"0:9000\"/>";
  const struct {
    const char* What;
    QByteArray Xml;
  } cases[] = {
      {"entity expansion",
       "<!DOCTYPE ctdb [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>" + head +
           "<entry confidence=\"&b;\"/></ctdb>"},
      {"external entity",
       "<!DOCTYPE ctdb [<!ENTITY x SYSTEM \"file:///etc/passwd\">]>" + head + "&x;</ctdb>"},
      {"an HTML page", "<html><body>Server busy</body></html>"},
      {"garbage", "\x01\x02 not xml at all"},
      {"empty", ""},
      {"truncated", good.left(good.indexOf("<metadata"))},
      {"another namespace", "<ctdb xmlns=\"http://example.org/\"></ctdb>"},
      {"a second root", good + "<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\"/>"},
      {"text in the answer", head + "surprise</ctdb>"},
      {"too deep",
       head + QByteArray("<a>").repeated(20) + QByteArray("</a>").repeated(20) + "</ctdb>"},
      {"too many entries", many + "</ctdb>"},
      {"crc not hex", entry("crc32=\"xyz\" toc=\"0:9000\"")},
      {"crc too long", entry("crc32=\"123456789\" toc=\"0:9000\"")},
      {"odd npar", entry("npar=\"7\" toc=\"0:9000\"")},
      {"negative confidence", entry("confidence=\"-1\" toc=\"0:9000\"")},
      {"syndrome of another npar", entry("syndrome=\"AQACAA==\" toc=\"0:9000\"")},
      {"syndrome not base64", entry("syndrome=\"!!!!\" toc=\"0:9000\"")},
      {"no toc", entry("")},
      {"toc descending", entry("toc=\"9000:0:20000\"")},
      {"toc beyond a disc", entry("toc=\"0:450000\"")},
      {"track crcs of another count", entry("toc=\"0:9000:20000\" trackcrcs=\"1\"")},
      {"recovery path with a line break", entry("toc=\"0:9000\" hasparity=\"/p&#10;Host: x\"")},
  };
  for (const auto& c : cases) {
    std::vector<TCtdbEntry> entries;
    QString error;
    EXPECT_FALSE(ReadCtdbEntries(c.Xml, entries, error)) << c.What;
    EXPECT_TRUE(entries.empty()) << c.What;
    EXPECT_FALSE(error.isEmpty()) << c.What;
  }
}

// One lookup against the answer function; the client once it is done.
struct TLookup {
  TArAnswer Answer;
  QString Request;
  size_t Entries;
};
TLookup Lookup(const testutil::TTestServer::TAnswer& answer, int timeoutMs = 30000) {
  testutil::TTestServer server(answer);
  TCtdbClient client;
  bool done = false;
  client.OnDone = [&done] { done = true; };
  client.Start("http://" + server.HostPort(), "0:15000:-40000:52000", timeoutMs);
  EXPECT_TRUE(testutil::WaitFor([&done] { return done; }));
  return {client.Answer(), server.RequestLine(0), client.Entries().size()};
}

TEST(CtdbClient, AsksForTheDiscAndTellsEachKindOfAnswer) {
  using testutil::TTestServer;
  const TLookup found = Lookup(TTestServer::Body(kGood));
  EXPECT_EQ(found.Answer, TArAnswer::Found);
  EXPECT_EQ(found.Entries, 2u);
  EXPECT_EQ(found.Request,
            "GET /lookup2.php?version=3&ctdb=1&fuzzy=1&toc=0:15000:-40000:52000 HTTP/1.0");
  const struct {
    const char* What;
    TTestServer::TAnswer Answer;
    TArAnswer Expected;
  } cases[] = {
      {"not found", TTestServer::Reply("HTTP/1.0 404 Not Found\r\n\r\nNot Found"),
       TArAnswer::NotFound},
      {"garbage", TTestServer::Body("<html>busy</html>"), TArAnswer::Unreadable},
      {"cut short", TTestServer::Reply("HTTP/1.0 200 OK\r\nContent-Length: 900\r\n\r\n<ctdb"),
       TArAnswer::NoAnswer},
      {"reset", TTestServer::ResetAfter("HTTP/1.0 200 OK\r\n\r\n<ctdb xmlns="),
       TArAnswer::NoAnswer},
      {"whole, then reset", TTestServer::ResetAfter(QByteArray("HTTP/1.0 200 OK\r\n\r\n") + kGood),
       TArAnswer::NoAnswer},
      {"server error", TTestServer::Reply("HTTP/1.0 500 Broken\r\n\r\n"), TArAnswer::NoAnswer},
  };
  for (const auto& c : cases) EXPECT_EQ(Lookup(c.Answer).Answer, c.Expected) << c.What;
  // A server that takes the request and never answers is given up on.
  EXPECT_EQ(Lookup([](QTcpSocket*, const QByteArray&) {}, 300).Answer, TArAnswer::NoAnswer);

  TCtdbClient none;
  bool done = false;
  none.OnDone = [&done] { done = true; };
  none.Start(QString(), "0:9000");
  ASSERT_TRUE(testutil::WaitFor([&done] { return done; }));
  EXPECT_EQ(none.Answer(), TArAnswer::NoAnswer);
}

}  // namespace
