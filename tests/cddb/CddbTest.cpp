// TCddb: the query and read state machine on the answer formats of the CDDB
// server protocol description (freedb's CDDBPROTO, protocol levels 5 and 6:
// "cddb query" answers 200/202/211/403/409, "cddb read" answers
// 210/401/402/403/409, the response-code table), the limits of its slots,
// and whole lookups against servers on 127.0.0.1.
#include <QRandomGenerator>

#include "cddb/CDInfo.h"
#include "cddb/CddbLookup.h"
#include "cddb/TCddb.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "settings/config.h"

using testutil::TTestServer;
using testutil::WaitFor;

namespace {

// The TOC of the three-track disc of 0, 15000 and 30000 sectors with the
// lead-out at 45000 (disc ID 0c025803).
TCDInfo ThreeTrackToc() {
  TCDInfo toc{};
  toc.TrackCount = 3;
  const int starts[] = {150, 15150, 30150};
  for (int i = 0; i < 3; ++i) {
    toc.Tracks[i].Min = uint8_t(starts[i] / 4500);
    toc.Tracks[i].Sec = uint8_t(starts[i] / 75 % 60);
    toc.Tracks[i].Frame = uint8_t(starts[i] % 75);
    toc.Tracks[i].Audio = -1;
  }
  toc.LeadOutMin = 45150 / 4500;
  toc.LeadOutSec = 45150 / 75 % 60;
  return toc;
}

struct TLookup {
  TCddb Cddb{nullptr, false};
  QStringList Statuses;
  QStringList Exchanged;
  std::vector<std::vector<QString>> MatchesSeen;
  int Choice = 0;

  TLookup() {
    Cddb.ServerType = HTTP;
    Cddb.LocalCDDBPath = testutil::ProgramDir() + "/liblocalcddb.so";
    Cddb.SetInternalTOC(ThreeTrackToc());
    Cddb.OnStatusMessage = [this](const QString& status) { Statuses << status; };
    Cddb.OnDataExchange = [this](const QString& text) { Exchanged << text; };
    Cddb.OnMatch = [this](const TMatchArray& matches, int& rightOne) {
      std::vector<QString> used;
      for (const QString& match : matches)
        if (!match.isEmpty()) used.push_back(match);
      MatchesSeen.push_back(used);
      rightOne = Choice;
    };
  }
  void Answer(TCddbState request, const QByteArray& body) {
    Statuses.clear();
    Cddb.HandleResponse(request, body);
  }
};

const QByteArray kEntry =
    "210 classical 270b8617 CD database entry follows (until terminating `.')\r\n"
    "# xmcd\r\n#\r\n# Track frame offsets:\r\n#\t150\r\n#\t210627\r\n#\r\n"
    "# Disc length: 2952 seconds\r\n#\r\n# Revision: 1\r\n# Submitted via: xmcd 2.0\r\n#\r\n"
    "DISCID=270b8617\r\nDTITLE=Franske Stemninger / Con Spirito\r\nDYEAR=1981\r\n"
    "DGENRE=Classical\r\nTTITLE0=Mille regretz de vous abandonner\r\n"
    "TTITLE22=L'arche de no\r\nEXTD=\r\nPLAYORDER=\r\n.\r\n";

}  // namespace

TEST(Cddb, ExactMatchTakesTheMatchedEntry) {
  TLookup lookup;
  lookup.Answer(TCddbState::QuerySent, "200 rock 0c025803 Artist / Album\r\n");
  EXPECT_EQ(lookup.Statuses, QStringList{"Found exact match"});
  ASSERT_EQ(lookup.MatchesSeen.size(), 1u);
  EXPECT_EQ(lookup.MatchesSeen[0], std::vector<QString>{"rock 0c025803 Artist / Album"});
  EXPECT_EQ(lookup.Cddb.ProtocolState(), TCddbState::ExactMatch);
  EXPECT_EQ(lookup.Cddb.SelectedCategory(), "rock");
  EXPECT_EQ(lookup.Cddb.SelectedDiscID(), "0c025803");
  EXPECT_EQ(lookup.Cddb.InternalDiscID(), 0x0c025803u);

  lookup.Choice = -1;  // declined
  lookup.Answer(TCddbState::QuerySent, "200 rock 0c025803 Artist / Album\r\n");
  EXPECT_EQ(lookup.Cddb.ProtocolState(), TCddbState::NoMatch);
}

TEST(Cddb, ListOfMatchesLetsTheOwnerChoose) {
  TLookup lookup;
  lookup.Choice = 1;
  lookup.Answer(TCddbState::QuerySent,
                "211 Found inexact matches, list follows (until terminating `.')\r\n"
                "rock 0c025803 First / One\r\nmisc 0c025804 Second / Two\r\n.\r\n");
  EXPECT_EQ(lookup.Statuses,
            QStringList({"Found inexact matches", "OK, receiving matches", "Received matches"}));
  ASSERT_EQ(lookup.MatchesSeen.size(), 1u);
  EXPECT_EQ(lookup.MatchesSeen[0].size(), 2u);
  EXPECT_EQ(lookup.Cddb.ProtocolState(), TCddbState::ListMatch);
  EXPECT_EQ(lookup.Cddb.SelectedCategory(), "misc ");
  EXPECT_EQ(lookup.Cddb.SelectedDiscID(), "0c025804");

  lookup.Answer(TCddbState::QuerySent, "210 Found exact matches\r\nrock 0c025803 A / B\r\n.\r\n");
  EXPECT_EQ(lookup.Statuses.first(), "Found exact matches");
  // Slot 1 is empty this time: nothing usable was chosen.
  EXPECT_EQ(lookup.Cddb.ProtocolState(), TCddbState::NoMatch);
}

TEST(Cddb, QueryFailuresEndWithoutAMatch) {
  struct TCase {
    QByteArray Body;
    QStringList Statuses;
  };
  const TCase cases[] = {
      {"202 No match for disc ID 0c025803.\r\n", {"No match found"}},
      {"403 Database entry is corrupt.\r\n", {"Database entry is corrupt"}},
      {"409 No handshake.\r\n", {"No handshake"}},
      {"500 Unknown developer email\r\n",
       {"Command syntax error, command unknown, command unimplemented",
        "The server refused the request. Set your e-mail address in the options dialog (CDDB "
        "page, E-mail address): servers answer registered addresses only."}},
      {"211 Found inexact matches\r\nrock 0c025803 A / B\r\n",  // closed before the "."
       {"Found inexact matches", "OK, receiving matches", "The server's answer ended early"}},
      {"", {"The server's answer ended early"}},
  };
  for (const TCase& c : cases) {
    TLookup lookup;
    lookup.Answer(TCddbState::QuerySent, c.Body);
    EXPECT_EQ(lookup.Statuses, c.Statuses) << c.Body.constData();
    EXPECT_EQ(lookup.Cddb.ProtocolState(), TCddbState::NoMatch) << c.Body.constData();
  }
  TLookup lookup;
  lookup.Answer(TCddbState::QuerySent, "202 No match\r\n");
  lookup.Statuses.clear();
  EXPECT_EQ(lookup.Cddb.StartRead(), -1);
  EXPECT_EQ(lookup.Statuses,
            QStringList{"Can't perform a CDDB READ without a successful CDDB QUERY!"});
}

TEST(Cddb, ClassifierNamesEveryResponseCode) {
  struct TCase {
    const char* Line;
    const char* Text;
  };
  const TCase cases[] = {
      {"402 x", "Server error"},
      {"408 x", "CGI environment error"},
      {"530 x", "Server error, server timeout"},
      {"100 x", "Informative message, ready for further commands"},
      {"210 x", "Command OK, more server-to-client output follows"},
      {"320 x", "Command OK so far, more client-to-server input follows"},
      {"430 x", "Command OK, but cannot be performed, connection will close"},
      {"599 x", "Command unimplemented, incorrect, or program error"},
      {"710 x", ", more server-to-client output follows"},
      {"abc", ""},
  };
  TLookup lookup;
  for (const TCase& c : cases) EXPECT_EQ(lookup.Cddb.ClassifyLine(c.Line), c.Text) << c.Line;
}

TEST(Cddb, ReadsAndParsesTheEntry) {
  TLookup lookup;
  lookup.Answer(TCddbState::QuerySent, "200 classical 270b8617 Franske Stemninger\r\n");
  lookup.Answer(TCddbState::ReadSent, kEntry);
  EXPECT_EQ(lookup.Statuses, QStringList({"OK, CDDB database entry follows", "Entry read"}));
  EXPECT_EQ(lookup.Cddb.ProtocolState(), TCddbState::EntryRead);
  EXPECT_EQ(lookup.Cddb.EntryLine(0), "# xmcd");
  EXPECT_EQ(lookup.Cddb.EntryLine(12), "DTITLE=Franske Stemninger / Con Spirito");
  EXPECT_EQ(lookup.Cddb.EntryLine(19), "");
  // The parsing step filled the record and kept the chosen category.
  EXPECT_EQ(lookup.Cddb.Entry().Titles[22], "L'arche de no");
  EXPECT_EQ(lookup.Cddb.SelectedDiscID(), "270b8617");
  EXPECT_EQ(lookup.Cddb.SelectedCategory(), "classical");

  lookup.Cddb.LocalCDDBPath = "/nonexistent/liblocalcddb.so";
  lookup.Answer(TCddbState::ReadSent, kEntry);
  EXPECT_EQ(lookup.Statuses.last(), "LocalCDDB.dll not found or invalid");
  EXPECT_EQ(lookup.Cddb.EntryLine(0), "# xmcd");  // still usable

  lookup.Cddb.LocalCDDBPath = testutil::ProgramDir() + "/liblocalcddb.so";
  lookup.Answer(TCddbState::ReadSent, "210 rock 0c025803\r\nDTITLE=no signature\r\n.\r\n");
  EXPECT_EQ(lookup.Statuses.last(), "The entry is corrupt");
}

TEST(Cddb, AnswersKeepEveryBlankAndEachLineItsOwnEncoding) {
  TLookup lookup;
  lookup.Answer(TCddbState::QuerySent, "200 rock 0c025803 A / B\r\n");
  // A title split before a blank; one line in Latin-1 among UTF-8 ones.
  lookup.Answer(TCddbState::ReadSent,
                "210 rock 0c025803\r\n# xmcd\r\nDISCID=0c025803\r\nDTITLE=Café / 東京\r\n"
                "TTITLE0=Où Es Tu \r\nTTITLE0=Mon Amour\r\nTTITLE1=Caf\xE9 cr\xE8me\r\n.\r\n");
  ASSERT_EQ(lookup.Cddb.ProtocolState(), TCddbState::EntryRead);
  EXPECT_EQ(lookup.Cddb.Entry().Titles[0], "Où Es Tu Mon Amour");
  EXPECT_EQ(lookup.Cddb.Entry().Titles[1], "Café crème");
  EXPECT_EQ(lookup.Cddb.Entry().DiscInfo[0], "Café");
  EXPECT_EQ(lookup.Cddb.Entry().DiscInfo[1], "東京");

  // A site whose address is numeric is a site, not a status.
  lookup.Answer(TCddbState::SitesSent,
                "210 OK, site information follows\r\n"
                "141.101.67.1 http 80 /~cddb/cddb.cgi N000.00 W000.00 By address\r\n.\r\n");
  EXPECT_EQ(lookup.Cddb.ProtocolState(), TCddbState::SitesReceived);
  EXPECT_EQ(lookup.Cddb.Servers()[0].Address, "141.101.67.1");
  EXPECT_EQ(lookup.Cddb.Servers()[0].Description, "By address");
}

TEST(Cddb, ReadFailures) {
  struct TCase {
    QByteArray Body;
    QString Status;
  };
  const TCase cases[] = {
      {"401 rock 0c025803 No such CD entry in database.\r\n", "Specified CDDB entry not found"},
      {"402 Server error.\r\n", "Server error"},
      {"403 Database entry is corrupt.\r\n", "Database entry is corrupt"},
      {"409 No handshake.\r\n", "No handshake"},
      {"530 Server error, server timeout.\r\n", "Server error, server timeout"},
      {"210 rock 0c025803\r\n# xmcd\r\nDISCID=0c025803\r\nDTIT",  // closed mid-entry
       "The server's answer ended early"},
  };
  for (const TCase& c : cases) {
    TLookup lookup;
    lookup.Answer(TCddbState::QuerySent, "200 rock 0c025803 A / B\r\n");
    lookup.Answer(TCddbState::ReadSent, c.Body);
    EXPECT_TRUE(lookup.Statuses.contains(c.Status)) << c.Body.constData();
    EXPECT_NE(lookup.Cddb.ProtocolState(), TCddbState::EntryRead) << c.Body.constData();
    EXPECT_FALSE(lookup.Statuses.contains("Entry read"));
  }
}

TEST(Cddb, SlotsKeepTheirLimits) {
  TLookup lookup;
  QByteArray matches = "211 Found inexact matches\r\n";
  for (int i = 0; i < 150; ++i)
    matches += QString("rock %1 T\r\n").arg(i, 8, 16, QChar('0')).toLatin1();
  lookup.Answer(TCddbState::QuerySent, matches + ".\r\n");
  ASSERT_EQ(lookup.MatchesSeen.size(), 1u);
  EXPECT_EQ(lookup.MatchesSeen[0].size(), 100u);
  EXPECT_EQ(lookup.MatchesSeen[0].back(), "rock 00000063 T");

  QByteArray entry = "210 rock 0c025803\r\n";
  for (int i = 0; i < 600; ++i) entry += QString("#%1\r\n").arg(i).toLatin1();
  lookup.Answer(TCddbState::ReadSent, entry + ".\r\n");
  EXPECT_EQ(lookup.Cddb.EntryLine(511), "#511");
  EXPECT_EQ(lookup.Cddb.EntryLine(512), "");
  // The lines past the slots may hold the names: a cut entry is no entry.
  EXPECT_NE(lookup.Cddb.ProtocolState(), TCddbState::EntryRead);
  EXPECT_EQ(lookup.Statuses.last(), "The entry has more than 512 lines; it was not taken");

  lookup.Cddb.SetNoteToUser(QString(80, 'n'));
  EXPECT_EQ(lookup.Cddb.NoteToUser(), QString(70, 'n'));
}

TEST(Cddb, ResponseLinesAndEncodings) {
  EXPECT_EQ(TCddb::SplitResponse("a\r\nb\rc\n\nd"), QStringList({"a", "b", "c", "", "d"}));
  EXPECT_EQ(TCddb::UrlEncode("cddb query 0c025803 3"), "cddb+query+0c025803+3");
  EXPECT_EQ(TCddb::UrlEncode("a.b@c~ü"), "a%2Eb%40c%7E%C3%BC");
  EXPECT_EQ(TCddb::HelloWords("joe@example.org"), "joe example.org");
  EXPECT_EQ(TCddb::HelloWords("nobody"), "");
}

TEST(Cddb, LooksUpAgainstAServerInUtf8AndLatin1) {
  TTestServer server([](QTcpSocket* socket, const QByteArray& request) {
    QByteArray body;
    if (request.contains("cmd=cddb+query"))
      body = "200 rock 0c025803 Artist / Album\r\n";
    else if (request.contains("proto=6"))
      body =
          "210 rock 0c025803\r\n# xmcd\r\nDISCID=0c025803\r\nDTITLE=Кино / Группа крови\r\n."
          "\r\n";
    else
      body =
          "210 rock 0c025803\r\n# xmcd\r\nDISCID=0c025803\r\nDTITLE=Bj\xF6rk / D\xE9"
          "but\r\n.\r\n";
    TTestServer::Body(body)(socket, request);
  });
  TLookup lookup;
  lookup.Cddb.ServerAddr = server.HostPort();
  lookup.Cddb.ServerAdditionalAddr = "/~cddb/cddb.cgi";
  lookup.Cddb.EmailUser = "joe@example.org";
  lookup.Cddb.ClientName = "Cadenzo";
  lookup.Cddb.ClientVersion = "1.06";
  ASSERT_EQ(lookup.Cddb.StartQuery(), 0);
  ASSERT_TRUE(WaitFor([&] { return lookup.Cddb.ProtocolState() == TCddbState::ExactMatch; }));
  EXPECT_EQ(server.RequestLine(0),
            "GET /~cddb/cddb.cgi?cmd=cddb+query+0c025803+3+150+15150+30150+602"
            "&hello=joe+example%2Eorg+Cadenzo+1%2E06&proto=6 HTTP/1.0");
  ASSERT_EQ(lookup.Cddb.StartRead(), 0);
  ASSERT_TRUE(WaitFor([&] { return lookup.Cddb.ProtocolState() == TCddbState::EntryRead; }));
  EXPECT_EQ(lookup.Cddb.EntryLine(2), "DTITLE=Кино / Группа крови");
  EXPECT_EQ(lookup.Cddb.Entry().DiscInfo[0], "Кино");

  lookup.Cddb.ProtocolLevel = 5;
  ASSERT_EQ(lookup.Cddb.StartRead(), 0);
  ASSERT_TRUE(WaitFor([&] {
    return lookup.Cddb.Http().State() == httpReady &&
           lookup.Cddb.ProtocolState() == TCddbState::EntryRead;
  }));
  EXPECT_EQ(lookup.Cddb.EntryLine(2), "DTITLE=Björk / Début");
}

TEST(Cddb, AnswerOnAConnectionKeptOpenIsTakenAtItsEnd) {
  // No Content-Length and no close: the CDDB answer's own end decides.
  TTestServer server([](QTcpSocket* socket, const QByteArray& request) {
    socket->write("HTTP/1.0 200 OK\r\n\r\n");
    socket->write(request.contains("cmd=cddb+query")
                      ? "200 rock 0c025803 Artist / Album\r\n"
                      : "210 rock 0c025803\r\n# xmcd\r\nDISCID=0c025803\r\nDTITLE=A / B\r\n.\r\n");
  });
  TLookup lookup;
  lookup.Cddb.ServerAddr = server.HostPort();
  lookup.Cddb.ClientName = "Cadenzo";
  ASSERT_EQ(lookup.Cddb.StartQuery(), 0);
  // Well within the client's 20 s idle limit.
  ASSERT_TRUE(WaitFor([&] { return lookup.Cddb.ProtocolState() == TCddbState::ExactMatch; }, 5000));
  ASSERT_TRUE(WaitFor([&] { return lookup.Cddb.Http().State() == httpReady; }, 5000));
  ASSERT_EQ(lookup.Cddb.StartRead(), 0);
  ASSERT_TRUE(WaitFor([&] { return lookup.Cddb.ProtocolState() == TCddbState::EntryRead; }, 5000));
  EXPECT_EQ(lookup.Cddb.Entry().DiscInfo[1], "B");
  EXPECT_FALSE(TCddb::AnswerComplete("210 rock 0c025803\r\n# xmcd\r\n"));
  EXPECT_FALSE(TCddb::AnswerComplete("200 rock"));
}

TEST(Cddb, TransferFailuresReportTheHttpText) {
  TLookup lookup;
  lookup.Cddb.ServerAddr = QString("127.0.0.1:%1").arg(testutil::ClosedPort());
  ASSERT_EQ(lookup.Cddb.StartQuery(), 0);
  EXPECT_EQ(lookup.Statuses, QStringList{"Querying CD"});
  ASSERT_TRUE(WaitFor([&] { return lookup.Statuses.size() == 2; }));
  EXPECT_EQ(lookup.Statuses[1], "\"Connection refused (Error #10061)\"");
  EXPECT_EQ(lookup.Cddb.ProtocolState(), TCddbState::TransferFailed);

  TTestServer missing(TTestServer::Reply("HTTP/1.0 404 Not Found\r\n\r\n"));
  lookup.Statuses.clear();
  lookup.Cddb.ServerAddr = missing.HostPort();
  ASSERT_EQ(lookup.Cddb.StartQuery(), 0);
  ASSERT_TRUE(WaitFor([&] { return lookup.Statuses.size() == 2; }));
  EXPECT_EQ(lookup.Statuses[1], "\"404 Not Found\"");

  lookup.Cddb.ServerType = CDDBP;
  lookup.Statuses.clear();
  EXPECT_EQ(lookup.Cddb.StartQuery(), -1);
  EXPECT_EQ(lookup.Statuses, QStringList{"Selected server not an HTTP server"});
}

TEST(Cddb, RequestUrlOverridesTheComposedOne) {
  TTestServer server(TTestServer::Body("202 No match\r\n"));
  TLookup lookup;
  lookup.Cddb.RequestURL = server.Url("/own?cmd=cddb+query+1&hello=a+b+c+d&proto=6");
  ASSERT_EQ(lookup.Cddb.StartQuery(), 0);
  ASSERT_TRUE(WaitFor([&] { return lookup.Cddb.ProtocolState() == TCddbState::NoMatch; }));
  EXPECT_EQ(server.RequestLine(0), "GET /own?cmd=cddb+query+1&hello=a+b+c+d&proto=6 HTTP/1.0");
  EXPECT_EQ(lookup.Exchanged.first(), lookup.Cddb.RequestURL + "\r\n");
}

TEST(Cddb, ServerAndCategoryLists) {
  TTestServer server([](QTcpSocket* socket, const QByteArray& request) {
    TTestServer::Body(request.contains("cmd=sites")
                          ? "210 OK, site information follows (until terminating `.')\r\n"
                            "gnudb.gnudb.org http 80 /~cddb/cddb.cgi N000.00 W000.00 Random "
                            "gnudb server\r\n.\r\n"
                          : "210 OK, category list follows (until terminating `.')\r\nblues\r\n"
                            "classical\r\n.\r\n")(socket, request);
  });
  TLookup lookup;
  lookup.Cddb.ServerAddr = server.HostPort();
  ASSERT_EQ(lookup.Cddb.StartSites(), 0);
  ASSERT_TRUE(WaitFor([&] { return lookup.Cddb.ProtocolState() == TCddbState::SitesReceived; }));
  const TServer& site = lookup.Cddb.Servers()[0];
  EXPECT_EQ(site.Address, "gnudb.gnudb.org");
  EXPECT_EQ(site.Type, HTTP);
  EXPECT_EQ(site.Port, 80);
  EXPECT_EQ(site.Path, "/~cddb/cddb.cgi");
  EXPECT_EQ(site.Description, "Random gnudb server");
  EXPECT_EQ(lookup.Cddb.ResponseLines().size(), 3);
  ASSERT_EQ(lookup.Cddb.StartCategoryList(), 0);
  ASSERT_TRUE(
      WaitFor([&] { return lookup.Cddb.ProtocolState() == TCddbState::CategoriesReceived; }));
  EXPECT_EQ(lookup.Cddb.Categories(), QStringList({"blues", "classical"}));
}

TEST(CddbLookup, UrlsFromTheDiscAndTheSettings) {
  TConfig config;
  config.ServerName = "cddb.example:8880";
  config.QueryScript = "/~cddb/cddb.cgi";
  config.EmailAddress = "not an address";
  config.EnableProxy = true;
  config.ProxyServer = "proxy.example";
  config.ProxyPort = 3128;
  TMyCDInfo info;
  info.TrackCount = 2;
  info.Tracks[0].EndSector = info.Tracks[1].StartSector = 15000;
  info.Tracks[1].EndSector = 30000;
  info.ComputeDiscValues();
  TCddbLookup lookup(info, config);
  // The TOC it would send is the program's, not a drive's of its own.
  EXPECT_EQ(lookup.Cddb().Entry().InternalTOC.TrackCount, 0);
  const TCDInfo toc = TCddbLookup::TocOf(info);
  ASSERT_EQ(toc.TrackCount, 2);
  EXPECT_EQ(toc.Tracks[1].Min * 4500 + toc.Tracks[1].Sec * 75 + toc.Tracks[1].Frame, 15150);
  EXPECT_EQ(toc.LeadOutMin * 4500 + toc.LeadOutSec * 75 + toc.LeadOutFrame, 30150);
  const QString hello = "Velmora+" + TCddbLookup::LocalAddress() + "+Cadenzo+1.06";
  EXPECT_EQ(lookup.Hello(), hello);
  EXPECT_TRUE(lookup.QueryUrl().startsWith(
      QString::asprintf("http://cddb.example:8880/~cddb/cddb.cgi?cmd=cddb+query+%8.8x+2+150+"
                        "15150+402+&hello=Velmora+",
                        info.DiscID)))
      << lookup.QueryUrl().toStdString();
  EXPECT_TRUE(lookup.QueryUrl().endsWith("+Cadenzo+1.06&proto=6"));
  EXPECT_EQ(lookup.Cddb().Http().Proxy, "proxy.example");
  EXPECT_EQ(lookup.Cddb().Http().ProxyPort, "3128");
  // A client without a TOC of its own names the exact match 00000000: the
  // read asks for the program's disc ID.
  lookup.Cddb().OnMatch = nullptr;
  lookup.Cddb().HandleResponse(TCddbState::QuerySent, "200 rock 00000000 A / B\r\n");
  EXPECT_TRUE(
      lookup.ReadUrl().contains(QString::asprintf("cmd=cddb+read+rock+%8.8x&", info.DiscID)));
}

TEST(Cddb, HostileAnswersNeverBreakTheParsers) {
  // Mutations of real answers and plain noise, from fixed seeds.
  const QByteArray samples[] = {kEntry, "211 Found inexact matches\r\nrock 0c025803 A / B\r\n.\r\n",
                                "HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\n200 rock"};
  QRandomGenerator random(11);
  TLookup lookup;
  for (int round = 0; round < 3000; ++round) {
    QByteArray bytes = samples[round % 3];
    for (int edits = random.bounded(1, 20); edits > 0; --edits) {
      const int at = random.bounded(int(bytes.size()) + 1);
      switch (random.bounded(3)) {
        case 0:
          bytes.insert(at, char(random.bounded(256)));
          break;
        case 1:
          bytes.remove(at, random.bounded(1, 8));
          break;
        default:
          if (at < bytes.size()) bytes[at] = char(random.bounded(256));
      }
    }
    THttpResponseParser parser;
    QByteArray body;
    QString error;
    ParseHttpResponse(bytes, parser, &body, &error);
    lookup.Answer(round % 2 ? TCddbState::QuerySent : TCddbState::ReadSent, bytes);
    EXPECT_NE(lookup.Cddb.ProtocolState(),
              round % 2 ? TCddbState::QuerySent : TCddbState::ReadSent);
    const QByteArray text = bytes.replace('\0', ' ');
    LCDDB_ENTRY entry{};
    EXPECT_NE(ParseCDDBString(&entry, text.constData()), LCDDB_BAD_ARGUMENT);
  }
}
