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
  auto disc = [](const char* album, TRipSummary tracks, bool unknown = false, bool hidden = false) {
    TBatchDisc d;
    d.Drive = 1;
    d.Artist = "Band";
    d.Album = album;
    d.DiscId = "0a0b0c0d";
    d.Unknown = unknown;
    d.SubmissionUrl = unknown ? "http://mb.test/cdtoc/attach?id=x" : "";
    d.Folder = "/out/" + QString(album);
    d.Tracks = tracks;
    d.HiddenTrack = hidden;
    return d;
  };
  const struct {
    const char* name;
    TBatchDisc disc;
    const char* verdict;
    const char* counts;  // accurate, not verified, with errors, unknown
  } rows[] = {
      {"all accurate", disc("A", {.Accurate = 3}), "Accurately ripped", "1 0 0 0"},
      // The audio before track 1 is unknown to the database.
      {"hidden track", disc("H", {.Accurate = 2, .NotVerified = 1}, false, true),
       "Accurately ripped", "1 0 0 0"},
      {"partly verified", disc("P", {.Accurate = 2, .NotVerified = 1}), "Not verified", "0 1 0 0"},
      {"unknown, none verified", disc("U", {.NotVerified = 2}, true), "Not verified", "0 1 0 1"},
      {"disagreeing database", disc("D", {.Accurate = 1, .NotAccurate = 1}), "With errors",
       "0 0 1 0"},
      {"lost audio", disc("L", {.Accurate = 1, .LostAudio = 1}), "With errors", "0 0 1 0"},
      {"stopped", disc("S", {.Accurate = 1, .NotRipped = 2, .Aborted = true}), "With errors",
       "0 0 1 0"},
  };
  TBatchSummary all;
  for (const auto& row : rows) {
    EXPECT_EQ(row.disc.Verdict(), row.verdict) << row.name;
    const TBatchSummary one{{row.disc}};
    EXPECT_EQ(QString("%1 %2 %3 %4")
                  .arg(one.Accurate())
                  .arg(one.NotVerified())
                  .arg(one.WithErrors())
                  .arg(one.Unknown()),
              row.counts)
        << row.name;
    all.Discs.push_back(row.disc);
  }
  all.Stopped = true;
  const QString text = all.Text();
  EXPECT_TRUE(
      text.startsWith("Discs ripped: 7\nAccurately ripped: 2\nNot verified: 2\n"
                      "With errors: 3\nUnknown: 1\nStopped before the last disc.\n"))
      << text.toStdString();
  EXPECT_TRUE(
      text.contains("\nUnknown disc 0a0b0c0d (drive 1)\n  /out/U\n  2 tracks not verified\n"
                    "  Not known to MusicBrainz; add it at http://mb.test/cdtoc/attach?id=x\n"))
      << text.toStdString();
  EXPECT_EQ(text.count("add it at"), 1);
}
