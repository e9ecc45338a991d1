// cadenzo-rip --each-disc as a program: an image drive whose disc the test
// swaps each time the program ejects one and says it waits (no sleeps), a
// MusicBrainz server on 127.0.0.1 that knows one disc, has two releases for
// another and not the third, and a CDDB server that knows none.
#include <QDir>
#include <QProcess>
#include <QSaveFile>

#include "common/DiscImage.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "musicbrainz/MbFixtures.h"
#include "platform/Folders.h"
#include "settings/config.h"

using namespace testutil;

namespace {

QByteArray Release(const QString& id, const QString& title, const TDiscImage& image) {
  QList<TMbFixtureTrack> tracks;
  for (int i = 0; i < image.TrackCount(); ++i) tracks << TMbFixtureTrack("Song");
  return MbReleaseXml(id, title, "Band", MbMediumXml(1, {MbDiscIdOf(image)}, tracks));
}

void SwapImage(const QString& ini, const QString& image) {
  // Whole or not at all: the program reads the ini while it waits.
  QSaveFile file(ini);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[Images]\r\nImage0=" + image.toUtf8() + "\r\n");
  ASSERT_TRUE(file.commit());
}

class CadenzoRipBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    Discs = {MakeDiscImage(Folder.File("disc"), "known", {150, 225}),
             MakeDiscImage(Folder.File("disc"), "twice", {100, 100, 100}),
             MakeDiscImage(Folder.File("disc"), "unknown", {300})};
    TConfig settings;
    settings.LocalCDDBFolder = Folder.File("localCDDB");
    settings.ServerName = Cddb.HostPort();
    settings.AccurateRipServer.clear();
    settings.MusicBrainzServer = Mb.Url("");
    ASSERT_TRUE(settings.Save());
    Ini = platform::CdripIniPath();
    WriteCdripIni(Ini, {Discs[0].CuePath});
    ASSERT_EQ(CR_Init(Ini.toUtf8().constData()), CDRIP_OK);
    Drive = QString::number(CR_GetNumCDROM() - 1);
  }

  TTempFolder Folder;
  std::vector<TDiscImage> Discs;
  QString Ini;
  QString Drive;
  TTestServer Cddb{TTestServer::Body("202 No match found\r\n")};
  TTestServer Mb{[this](QTcpSocket* socket, const QByteArray& request) {
    QByteArray answer;
    if (request.contains(MbDiscIdOf(Discs[0]).toUtf8()))
      answer = MbAnswer({Release("k", "Known", Discs[0])}, MbDiscIdOf(Discs[0]));
    else if (request.contains(MbDiscIdOf(Discs[1]).toUtf8()))
      answer = MbAnswer({Release("t1", "First", Discs[1]), Release("t2", "Second", Discs[1])},
                        MbDiscIdOf(Discs[1]));
    TTestServer::Reply(answer.isEmpty() ? XmlResponse("<error/>", "404 Not Found")
                                        : XmlResponse(answer))(socket, request);
  }};
};

}  // namespace

TEST_F(CadenzoRipBatch, ThreeSwappedDiscsGetFoldersExactFilesAndASummary) {
  const QString out = Folder.File("out");
  QProcess process;
  process.start(ProgramDir() + "/cadenzo-rip",
                {"--each-disc", "--discs", "3", "--drive", Drive, "--format", "wav", "--naming",
                 "<number>", "--output-folder", out});
  process.closeWriteChannel();
  QString err;
  int swapped = 0;
  // Each eject ends in a wait: the next disc goes in then.
  const bool ended = WaitFor(
      [&] {
        err += QString::fromUtf8(process.readAllStandardError());
        if (swapped < 2 && err.count("waiting for a disc") > swapped)
          SwapImage(Ini, Discs[size_t(++swapped)].CuePath);
        return process.state() == QProcess::NotRunning;
      },
      120000);
  if (!ended) process.kill();
  process.waitForFinished();
  err += QString::fromUtf8(process.readAllStandardError());
  const QString stdOut = QString::fromUtf8(process.readAllStandardOutput());
  ASSERT_TRUE(ended) << err.toStdString();
  EXPECT_EQ(process.exitCode(), 0) << err.toStdString();

  const QString unknownId = CddbDiscIdOf(Discs[2]);
  const QStringList folders{"Band - Known", "Band - First", unknownId};
  QStringList made = QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
  made.sort();
  QStringList expected = folders;
  expected.sort();
  EXPECT_EQ(made, expected) << err.toStdString();
  for (size_t i = 0; i < Discs.size(); ++i) {
    const TDiscImage& disc = Discs[i];
    for (int track = 1; track <= disc.TrackCount(); ++track) {
      const QString file =
          QString("%1/%2/%3.wav").arg(out, folders[qsizetype(i)]).arg(track, 2, 10, QChar('0'));
      EXPECT_TRUE(ReadFile(file).mid(44) == disc.TrackPcm(track)) << file.toStdString();
    }
  }
  EXPECT_TRUE(err.contains("MusicBrainz found 2 answers; number 1 is taken")) << err.toStdString();
  EXPECT_TRUE(stdOut.contains("Discs ripped: 3\n")) << stdOut.toStdString();
  EXPECT_TRUE(stdOut.contains("Unknown: 1\n"));
  EXPECT_TRUE(stdOut.contains(
      "Not known to MusicBrainz; add it at http://musicbrainz.org/cdtoc/attach?id=" +
      MbDiscIdOf(Discs[2]) + "&tracks=1&"));
  const QStringList summaries = QDir(out).entryList({"*.txt"}, QDir::Files);
  ASSERT_EQ(summaries.size(), 1);
  const QString summary = QString::fromUtf8(ReadFile(QDir(out).filePath(summaries[0])));
  EXPECT_TRUE(stdOut.contains(summary)) << summary.toStdString();
}
