// The web-service client against a server on 127.0.0.1 that answers as the
// service does, or as it does on a bad day: unknown IDs, 503, garbage,
// silence and answers too large to keep.
#include <gtest/gtest.h>

#include <QSslSocket>

#include "cddb/CDInfo.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "musicbrainz/MbFixtures.h"
#include "musicbrainz/MbLookup.h"
#include "settings/config.h"

using namespace testutil;

namespace {

class MbLookupTest : public ::testing::Test {
 protected:
  MbLookupTest() {
    Info.TrackCount = 3;
    for (int i = 0; i < 3; ++i) {
      Info.Tracks[size_t(i)].StartSector = i * 225;
      Info.Tracks[size_t(i)].EndSector = (i + 1) * 225;
    }
    DiscId = ComputeMbDiscId(MbTocOf(Info)).Id;
  }

  // Runs one lookup against the server; the statuses in order.
  TMbResult Run(TTestServer& server, TMbLookup* lookup = nullptr) {
    TConfig config;
    config.MusicBrainzServer = "http://" + server.HostPort() + "/";
    config.EmailAddress = "joe@example.org";
    TMbLookup own(config);
    if (!lookup) lookup = &own;
    lookup->TimeoutMs = TimeoutMs;
    bool done = false;
    TMbResult result = TMbResult::Failed;
    lookup->OnStatus = [this](const QString& status) { Statuses << status; };
    lookup->OnFinished = [&](TMbResult r) {
      result = r;
      done = true;
    };
    lookup->Start(Info);
    EXPECT_TRUE(WaitFor([&] { return done; }, 30000));
    if (lookup == &own) Releases = own.Releases();
    return result;
  }

  QByteArray OneRelease() const {
    return MbAnswer(
        {MbReleaseXml("r1", "Группа крови", "Кино",
                      MbMediumXml(1, {DiscId}, {{"Группа крови"}, {"Война"}, {"Звезда"}}))},
        DiscId);
  }

  TMyCDInfo Info;
  QString DiscId;
  int TimeoutMs = 15000;
  QStringList Statuses;
  std::vector<TMbRelease> Releases;
};

}  // namespace

TEST_F(MbLookupTest, OneReleaseIsAskedForAsTheServiceWants) {
  const QByteArray answer = OneRelease();
  TTestServer server(TTestServer::Reply(XmlResponse(answer)));
  ASSERT_EQ(Run(server), TMbResult::Found);
  ASSERT_EQ(Releases.size(), 1u);
  EXPECT_EQ(Releases[0].Media[0].Tracks[1].Title, "Война");
  const QString request = QString::fromUtf8(server.Requests.value(0));
  EXPECT_TRUE(request.startsWith("GET /ws/2/discid/" + DiscId +
                                 "?inc=artist-credits+labels+recordings+release-groups+isrcs "))
      << request.toStdString();
  EXPECT_TRUE(request.contains("User-Agent: Cadenzo/1.06 ( joe@example.org )\r\n"));
  EXPECT_EQ(Statuses,
            QStringList({"Looking up disc " + DiscId + " on MusicBrainz", "Found 1 release"}));
}

TEST_F(MbLookupTest, UnknownIdIsRetriedOnceByTocThenSeveralReleasesAreKept) {
  // A release without a medium of three tracks would name the disc and keep
  // its old track names: it is not offered.
  const auto media = [](int tracks) {
    QList<TMbFixtureTrack> titles;
    for (int i = 1; i <= tracks; ++i) titles << TMbFixtureTrack("t");
    return MbMediumXml(1, {"OTHER"}, titles);
  };
  const QByteArray fuzzy =
      MbAnswer({MbReleaseXml("a", "A", "X", media(3)), MbReleaseXml("b", "B", "Y", media(3)),
                MbReleaseXml("other", "O", "W", media(4)), MbReleaseXml("c", "C", "Z", media(3))});
  TTestServer server([&](QTcpSocket* socket, const QByteArray& request) {
    const bool byToc = request.contains("toc=");
    TTestServer::Reply(byToc ? XmlResponse(fuzzy)
                             : XmlResponse("<?xml version=\"1.0\"?><error><text>Not Found</text>"
                                           "</error>",
                                           "404 Not Found"))(socket, request);
  });
  ASSERT_EQ(Run(server), TMbResult::Found);
  EXPECT_EQ(Releases.size(), 3u);
  ASSERT_EQ(server.Requests.size(), 2);
  EXPECT_TRUE(server.RequestLine(1).contains("&toc=1+3+825+150+375+600&cdstubs=no"))
      << server.RequestLine(1).toStdString();
  EXPECT_TRUE(Statuses.contains("Found 3 releases"));

  // Not found by TOC either: no third request.
  Statuses.clear();
  TTestServer nothing(TTestServer::Reply(XmlResponse("<error/>", "404 Not Found")));
  EXPECT_EQ(Run(nothing), TMbResult::NoRelease);
  EXPECT_EQ(nothing.Requests.size(), 2);
  EXPECT_EQ(Statuses.last(), "MusicBrainz has no release for this disc");
}

TEST_F(MbLookupTest, BusyServerIsAskedAgainTwiceThenGivenUp) {
  int calls = 0;
  const QByteArray answer = OneRelease();
  TTestServer server([&](QTcpSocket* socket, const QByteArray& request) {
    TTestServer::Reply(++calls == 1 ? XmlResponse("busy", "503 Service Unavailable")
                                    : XmlResponse(answer))(socket, request);
  });
  EXPECT_EQ(Run(server), TMbResult::Found);
  EXPECT_EQ(calls, 2);

  TTestServer busy(TTestServer::Reply(XmlResponse("busy", "503 Service Unavailable")));
  EXPECT_EQ(Run(busy), TMbResult::Failed);
  EXPECT_EQ(busy.Requests.size(), 3);
  EXPECT_EQ(Statuses.last(), "MusicBrainz is busy (HTTP 503); try again later");

  // A wait beyond a request's time is not waited out: the user is told when.
  TTestServer later(TTestServer::Reply(
      "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 30\r\nContent-Length: 0\r\n\r\n"));
  EXPECT_EQ(Run(later), TMbResult::Failed);
  EXPECT_EQ(later.Requests.size(), 1);
  EXPECT_EQ(Statuses.last(), "MusicBrainz is busy (HTTP 503); try again in 30 s");
}

TEST_F(MbLookupTest, GarbageSilenceFloodsAndLiesFailOrAreLeftOut) {
  TTestServer garbage(TTestServer::Reply(XmlResponse("<metadata><release id=\"x\"><title>")));
  EXPECT_EQ(Run(garbage), TMbResult::Failed);
  EXPECT_TRUE(Statuses.last().startsWith("MusicBrainz sent an answer that can't be read"))
      << Statuses.last().toStdString();

  // Accepts the request and never answers: the whole-request bound ends it.
  TimeoutMs = 300;
  TTestServer silent([](QTcpSocket*, const QByteArray&) {});
  EXPECT_EQ(Run(silent), TMbResult::Failed);
  EXPECT_EQ(Statuses.last(), "MusicBrainz did not answer: no answer within 0.3 s");

  TimeoutMs = 15000;
  TTestServer flood([](QTcpSocket* socket, const QByteArray&) {
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/xml\r\n\r\n<metadata>");
    socket->write(QByteArray(3 * 1024 * 1024, ' '));
  });
  EXPECT_EQ(Run(flood), TMbResult::Failed);
  EXPECT_EQ(Statuses.last(), "MusicBrainz did not answer: the answer is larger than 2 MB");

  // 80,000 nested lists, well under the size cap: read without recursion.
  QByteArray deep = "<metadata>";
  for (int i = 0; i < 40000; ++i) deep += "<disc><release-list>";
  for (int i = 0; i < 40000; ++i) deep += "</release-list></disc>";
  TTestServer nested(TTestServer::Reply(XmlResponse(deep + "</metadata>")));
  EXPECT_EQ(Run(nested), TMbResult::NoRelease);

  // IDs that are no MBIDs, and ISRCs of another form, are left out; a
  // release that names nothing is none.
  TTestServer lying(TTestServer::Reply(XmlResponse(MbAnswer(
      {"<release id=\"" + QByteArray(1900000, 'a') +
           "\"><title>T</title><release-group id=\"../../../evil\"/><medium-list><medium>"
           "<track-list><track><position>1</position><recording id=\"REC-1\"><title>A</title>"
           "<isrc-list><isrc id=\"x/../y\"/></isrc-list></recording></track><track/><track/>"
           "</track-list></medium></medium-list></release>",
       "<release id=\"" + MbId("only").toUtf8() + "\"/>"}))));
  ASSERT_EQ(Run(lying), TMbResult::Found);
  ASSERT_EQ(Releases.size(), 1u);
  EXPECT_EQ(Releases[0].ID, "");
  EXPECT_EQ(Releases[0].ReleaseGroupID, "");
  EXPECT_EQ(Releases[0].Media[0].Tracks[0].RecordingID, "");
  EXPECT_TRUE(Releases[0].Media[0].Tracks[0].ISRCs.isEmpty());

  TTestServer cut([](QTcpSocket* socket, const QByteArray&) {
    socket->write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n<metadata>");
    socket->disconnectFromHost();
  });
  EXPECT_EQ(Run(cut), TMbResult::Failed);
  EXPECT_TRUE(Statuses.last().startsWith("MusicBrainz did not answer: "));

  const QString closed = QString("http://127.0.0.1:%1").arg(ClosedPort());
  TConfig config;
  config.MusicBrainzServer = closed;
  TMbLookup lookup(config);
  bool done = false;
  lookup.OnStatus = [this](const QString& status) { Statuses << status; };
  lookup.OnFinished = [&](TMbResult) { done = true; };
  lookup.Start(Info);
  ASSERT_TRUE(WaitFor([&] { return done; }));
  EXPECT_EQ(Statuses.last(), "MusicBrainz did not answer: Connection refused");
}

TEST(MbLookup, TheServiceCanBeReachedOverHttps) {
  // The public service is an https:// address: Qt must have a TLS back end.
  EXPECT_TRUE(QSslSocket::supportsSsl()) << QSslSocket::activeBackend().toStdString();
}
