// A batch of discs over two image drives at once: both discs ripped exact,
// unknown ones under their disc IDs, every encoder on the one shared set of
// workers, and the summary beside the rips true of what was written.
#include <QDir>
#include <QThread>

#include "common/DiscImage.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "encode/EncodePool.h"
#include "rip/DiscBatch.h"
#include "settings/config.h"
#include "verify/ArReference.h"

using namespace testutil;

using artest::DecodeFlac;

TEST(DiscBatch, TwoDrivesAtOnceRipExactOnSharedEncoders) {
  TTempFolder folder;
  const std::vector<TDiscImage> discs = {MakeDiscImage(folder.File("disc"), "a", {300, 200}),
                                         MakeDiscImage(folder.File("disc"), "b", {250, 150, 100})};
  WriteCdripIni(folder.File("cdrip.ini"), {discs[0].CuePath, discs[1].CuePath});
  ASSERT_EQ(CR_Init(folder.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
  const int last = CR_GetNumCDROM() - 1;

  // Nobody knows the discs: the lookups fail at once.
  TConfig settings;
  settings.LocalCDDBFolder = folder.File("localCDDB");
  settings.ServerName = QString("127.0.0.1:%1").arg(ClosedPort());
  settings.MusicBrainzServer = QString("http://127.0.0.1:%1/").arg(ClosedPort());
  TRipSettings rip;
  rip.OutputFormat = ofFLAC;
  rip.OutputFolder = folder.File("out");
  rip.NamingString = "<number>";
  TDiscBatch batch(settings, rip, {last - 1, last});
  batch.SetMaxDiscs(2);
  int ejected = 0;
  batch.OnDiscDone = [&](const TBatchDisc&) { ++ejected; };
  batch.Start();
  ASSERT_TRUE(WaitFor([&] { return !batch.Running(); }, 120000));

  EXPECT_EQ(ejected, 2);
  int tracks = 0;
  for (const TBatchDisc& disc : batch.Summary().Discs) {
    ASSERT_TRUE(disc.Unknown);
    const TDiscImage& image = discs[size_t(disc.Drive - (last - 1))];
    EXPECT_TRUE(disc.SubmissionUrl.contains(
        QString("/cdtoc/attach?id=%1&tracks=%2&").arg(MbDiscIdOf(image)).arg(image.TrackCount())))
        << disc.SubmissionUrl.toStdString();
    EXPECT_EQ(disc.Folder, QDir(rip.OutputFolder).filePath(disc.DiscId));
    for (int track = 1; track <= image.TrackCount(); ++track, ++tracks)
      EXPECT_TRUE(
          DecodeFlac(QString("%1/%2.flac").arg(disc.Folder).arg(track, 2, 10, QChar('0'))) ==
          image.TrackPcm(track));
  }
  EXPECT_EQ(tracks, 5);
  // An unknown disc's tags hold no made-up names.
  QByteArray tags;
  RunProgram("metaflac", {"--export-tags-to=-", batch.Summary().Discs[0].Folder + "/01.flac"},
             &tags);
  EXPECT_TRUE(tags.contains("TRACKNUMBER=1\n")) << tags.toStdString();
  EXPECT_FALSE(tags.contains("NOARTIST") || tags.contains("NOTITLE") || tags.contains("Track"))
      << tags.toStdString();
  // Every track was encoded on the shared workers, one per core.
  EXPECT_EQ(batch.Encoders()->Threads(), QThread::idealThreadCount());
  EXPECT_EQ(batch.Encoders()->Ran(), tracks);
  EXPECT_LE(batch.Encoders()->PeakRunning(), QThread::idealThreadCount());
  const QString summary = QString::fromUtf8(ReadFile(batch.SummaryPath()));
  EXPECT_TRUE(
      summary.startsWith("Discs ripped: 2\nAccurately ripped: 0\nNot verified: 2\n"
                         "With errors: 0\nUnknown: 2\n"))
      << summary.toStdString();
}

TEST(DiscBatch, SummaryCountsEachDiscOnceByItsVerdict) {
  const struct {
    TRipSummary tracks;
    bool unknown, hidden;
    const char* verdict;
  } rows[] = {
      {{.Accurate = 3}, false, false, "Accurately ripped"},
      // The audio before track 1 is unknown to the database.
      {{.Accurate = 2, .NotVerified = 1}, false, true, "Accurately ripped"},
      {{.Accurate = 2, .NotVerified = 1}, false, false, "Not verified"},
      {{.NotVerified = 2}, true, false, "Not verified"},
      {{.Accurate = 1, .NotAccurate = 1}, false, false, "With errors"},
      {{.Accurate = 1, .LostAudio = 1}, false, false, "With errors"},
      {{.Accurate = 1, .NotRipped = 2, .Aborted = true}, false, false, "With errors"},
  };
  TBatchSummary summary;
  summary.Stopped = true;
  for (const auto& row : rows) {
    TBatchDisc& disc = summary.Discs.emplace_back();
    disc.Drive = 1;
    disc.DiscId = "0a0b0c0d";
    disc.Unknown = row.unknown;
    disc.Folder = "/out/x";
    disc.SubmissionUrl = row.unknown ? "http://mb.test/attach" : "";
    disc.Tracks = row.tracks;
    disc.HiddenTrack = row.hidden;
    EXPECT_EQ(disc.Verdict(), row.verdict) << summary.Discs.size();
  }
  const QString text = summary.Text();
  EXPECT_TRUE(
      text.startsWith("Discs ripped: 7\nAccurately ripped: 2\nNot verified: 2\n"
                      "With errors: 3\nUnknown: 1\nStopped before the last disc.\n"))
      << text.toStdString();
  EXPECT_TRUE(
      text.contains("\nUnknown disc 0a0b0c0d (drive 1)\n  /out/x\n  2 tracks not verified\n"
                    "  Not known to MusicBrainz; add it at http://mb.test/attach\n"))
      << text.toStdString();
  EXPECT_EQ(text.count("add it at"), 1);
}
