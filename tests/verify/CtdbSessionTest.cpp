// The conversion session proving its rip against a CTDB database on loopback
// whose entry and recovery data the test computes from the clean image:
// clean rips and rips of another offset verified, damage the drive leaves
// repaired in the session's own files, too much damage and broken recovery
// files left alone and said so in the log.
#include <gtest/gtest.h>

#include <QDir>
#include <QRegularExpression>

#include "ArReference.h"
#include "CtdbReference.h"
#include "common/DiscImage.h"
#include "common/QuietView.h"
#include "common/SessionTestUtil.h"
#include "common/TestServer.h"
#include "disc/CDRIP.h"
#include "encode/LameCoder.h"
#include "libs/cdrip/cdrip.h"
#include "rip/ConvSession.h"
#include "verify/CtdbVerification.h"
#include "verify/RipLog.h"
#include "verify/RipVerification.h"

namespace {

using testutil::TTestServer;

constexpr int kNpar = 8;
// Sectors: track 2 holds 400-700.
const std::vector<int> kTracks = {400, 301, 502};

class CtdbSession : public ::testing::Test {
 protected:
  void SetUp() override {
    Config = &Settings;
    Settings.OutputFolder = Temp.File("out");
    Settings.OverwritePrompt = false;
    Settings.OutputFormat = ofWAV;
    ASSERT_TRUE(QDir().mkpath(Settings.OutputFolder));
    Image = testutil::MakeDiscImage(Temp.Path(), "disc", kTracks);
    Reference = ctdbtest::Reference(Image.Pcm, {0, 400 * 1176, 701 * 1176}, kNpar);
    Recovery = ctdbtest::RecoveryFile(Reference);
  }
  void TearDown() override { Config = nullptr; }

  // The database's lookup, its recovery file as `parity` serves it, and
  // AccurateRip's answer for the clean tracks, from one server.
  TTestServer::TAnswer Database(const TTestServer::TAnswer& parity) const {
    const QByteArray lookup =
        ctdbtest::Answer(ctdbtest::EntryXml(Reference, kNpar, 5, "0:400:701:1203", "/parity/7"));
    std::vector<uint32_t> v2;
    for (int t = 1; t <= 3; ++t) v2.push_back(artest::ArSums(Image.TrackPcm(t), t == 1, t == 3).V2);
    const TTestServer::TAnswer accurateRip = artest::DbarAnswer({v2});
    return [=](QTcpSocket* socket, const QByteArray& request) {
      if (request.contains("/lookup2.php?"))
        TTestServer::Body(lookup)(socket, request);
      else if (request.contains("/parity/7"))
        parity(socket, request);
      else
        accurateRip(socket, request);
    };
  }
  TTestServer::TAnswer Served() const {
    return [this](QTcpSocket* socket, const QByteArray& request) {
      ctdbtest::ServeRange(socket, request, Recovery);
    };
  }

  // Rips the three tracks from the image with the drive's faults; the log.
  QString Rip(const QString& faults, const TTestServer::TAnswer& parity) {
    testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Image.CuePath}, "[Image0]\r\n" + faults);
    EXPECT_EQ(CR_Init(Temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
    // A drive of its own takes the faults' drive settings.
    Session.reset();
    CDRIP = std::make_unique<TCDRIP>();
    CDRIP->SetCDRomNum(CR_GetNumCDROM() - 1);
    CDRIP->SetCoder(&Coder);
    TTestServer server(Database(parity));
    Settings.AccurateRipServer = Settings.CtdbServer = "http://" + server.HostPort();
    Plan = TRipPlan();
    for (int i = 0; i < 3; ++i) {
      TFileParam job;
      job.RowIndex = i;
      job.TrackInfo.TrackIndex = i;
      job.Title = QString("Song %1").arg(i + 1);
      job.OutputPath =
          Settings.OutputFolder +
          QString("/%1.%2").arg(i + 1).arg(Settings.OutputFormat == ofFLAC ? "flac" : "wav");
      Plan.Jobs.push_back(job);
    }
    Session = std::make_unique<TConvSession>(*CDRIP, Coder, View);
    testutil::MakePlan(Plan, *CDRIP, Settings, true);
    EXPECT_TRUE(Session->StartSession(Plan));
    return QString::fromUtf8(
        testutil::ReadFile(RipLogPath(Settings.OutputFolder, "", "", Settings.ReplaceStr)));
  }

  // Track t's audio as its file holds it.
  QByteArray Audio(int t) const {
    const QString& path = Plan.Jobs[size_t(t - 1)].OutputPath;
    return Settings.OutputFormat == ofFLAC ? artest::DecodeFlac(path)
                                           : testutil::ReadFile(path).mid(44);
  }

  testutil::TTempFolder Temp;
  TConfig Settings;
  testutil::TDiscImage Image;
  ctdbtest::TReference Reference;
  QByteArray Recovery;
  std::unique_ptr<TCDRIP> CDRIP;
  TLameCoder Coder;
  TQuietView View;
  TRipPlan Plan;
  std::unique_ptr<TConvSession> Session;
};

TEST_F(CtdbSession, VerifiesRipsAndRepairsWhatTheRecoveryDataCanInTheSessionsFiles) {
  const struct {
    const char* What;
    QString Faults;
    int Format;
    int ReadOffset;
    const char* Disc;    // the log's verdict on the disc
    const char* Repair;  // the start of the log's repair line; empty: none
  } cases[] = {
      {"clean", "", ofWAV, 0, "Accurately ripped (confidence 5 of 5)", ""},
      {"another pressing's offset", "", ofWAV, 30,
       "Accurately ripped (confidence 5 of 5, offset +30)", ""},
      {"scratched", "JitterCorrection=0\r\nScratchedSectors=450-452\r\nSeed=3\r\n", ofWAV, 0,
       "Accurately ripped (confidence 5 of 5)",
       "Repaired from entry 7 (confidence 5, offset +0, 4 rows of recovery data): track 02 "},
      {"unreadable, encoded", "UnreadableSectors=600\r\n", ofFLAC, 0,
       "Accurately ripped (confidence 5 of 5)",
       "Repaired from entry 7 (confidence 5, offset +0, 4 rows of recovery data): track 02 588 "
       "samples at 00:02"},
      {"five errors a column", "UnreadableSectors=452,462,472,482,492\r\n", ofWAV, 0,
       "Differs from the CTDB database (5 submissions)",
       "Not repaired: more errors in column 2352 than 8 rows can repair"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    Settings.OutputFormat = c.Format;
    Settings.ReadOffset = c.ReadOffset;
    View.Messages.clear();
    const QString log = Rip(c.Faults, Served());
    EXPECT_TRUE(log.contains("\nCTDB\n    Lookup: Found (1 entries)\n    Disc: " + QString(c.Disc)))
        << log.toStdString();
    const bool repaired = QString(c.Repair).startsWith("Repaired");
    EXPECT_EQ(log.contains("\n    Repair: " + QString(c.Repair)), *c.Repair != 0)
        << log.toStdString();
    static const QRegularExpression marked("\n    Sector map: \\[[^\\]]*R");
    EXPECT_EQ(log.contains(marked), repaired);
    for (int t = 1; t <= 3 && c.ReadOffset == 0; ++t) {
      const bool damaged = t == 2 && *c.Repair && !repaired;
      EXPECT_EQ(Audio(t) == Image.TrackPcm(t), !damaged) << "track " << t;
      EXPECT_EQ(Plan.Jobs[size_t(t - 1)].State, damaged ? jsError : jsDone) << "track " << t;
      // AccurateRip was asked again of the repaired track.
      EXPECT_EQ(Session->Verification()->Track(t)->Verdict.Kind == TArVerdict::Accurate, !damaged);
    }
    EXPECT_EQ(
        View.Messages.filter("repaired from the CTDB; the file holds the disc's audio").size(),
        repaired ? 1 : 0)
        << View.Messages.join('\n').toStdString();
    EXPECT_TRUE(QDir(Settings.OutputFolder)
                    .entryList({".cadenzo-*"}, QDir::Files | QDir::Hidden)
                    .isEmpty());
  }
}

// A recovery file that is not the entry's whole data is refused; the files
// stay as the rip wrote them.
TEST_F(CtdbSession, ABrokenRecoveryFileChangesNothing) {
  const QByteArray rows4 = Recovery.left(4 * 23520);
  const struct {
    const char* What;
    TTestServer::TAnswer Parity;
  } cases[] = {
      {"garbage",
       TTestServer::Reply("HTTP/1.0 206 Partial\r\nContent-Range: bytes 0-94079/1\r\n\r\n" +
                          QByteArray(4 * 23520, 'g'))},
      {"truncated", TTestServer::Reply("HTTP/1.0 206 Partial\r\nContent-Range: bytes 0-94079/1\r\n"
                                       "Content-Length: 94080\r\n\r\n" +
                                       rows4.left(50000))},
      {"reset", TTestServer::ResetAfter("HTTP/1.0 206 Partial\r\nContent-Range: bytes 0-94079/1\r\n"
                                        "Content-Length: 94080\r\n\r\n" +
                                        rows4.left(9000))},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    const QString log = Rip("UnreadableSectors=600\r\n", c.Parity);
    EXPECT_TRUE(
        log.contains("\n    Repair: Not repaired: the recovery data of entry 7 was refused ("))
        << log.toStdString();
    const QByteArray written = Audio(2);
    EXPECT_TRUE(written != Image.TrackPcm(2));
    EXPECT_EQ(artest::Crc32(written), Session->Verification()->Track(2)->Crc);
    EXPECT_EQ(Plan.Jobs[1].State, jsError);
  }
}

}  // namespace
