// cadenzo-rip run as a program on a generated disc image whose names lie in
// the local CDDB folder of the settings: files, tags, playlists, exit status
// and the error summary.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <csignal>

#include "cddb/CDInfo.h"
#include "common/DiscImage.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "encode/TempFiles.h"
#include "libs/cdrip/cdrip.h"
#include "rip/DiscLoad.h"
#include "settings/config.h"

using namespace testutil;

namespace {

struct TRun {
  int ExitCode = -1;
  QString Out;
  QString Err;
};

class CadenzoRipTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Folder = new TTempFolder;
    Image = new TDiscImage(MakeDiscImage(Folder->File("disc"), "rip", {225, 300, 150}));
    WriteCdripIni(Folder->File("cdrip.ini"), {Image->CuePath});
    ASSERT_NE(CR_Init(Folder->File("cdrip.ini").toLocal8Bit().constData()), CDRIP_ERROR);

    // The disc's names, stored as the desktop program stores them at exit.
    TCDRIP cdrip;
    cdrip.SetCDRomNum(CR_GetNumCDROM() - 1);
    TMyCDInfo info;
    ASSERT_TRUE(info.LoadFromTOC(ReadDisc(cdrip)));
    info.SetDefaultNames();
    info.Artist = "Test Artist";
    info.Album = "Test Album";
    info.Category = "jazz";
    info.SetTrackTitle(0, "Opening");
    info.SetTrackTitle(1, "Second");
    info.SetTrackTitle(2, "Last/One");
    info.LocalFolder = Folder->File("localCDDB");
    ASSERT_TRUE(info.WriteLocalCDDB());
    DiscID = info.DiscID;

    TConfig settings;
    settings.LocalCDDBFolder = info.LocalFolder;
    settings.OutputFolder = Folder->File("default-out");
    settings.AccurateRipServer.clear();  // no test reaches the public server
    ASSERT_TRUE(settings.Save());
  }
  static void TearDownTestSuite() {
    delete Image;
    delete Folder;
  }

  TRun Rip(QStringList arguments) {
    arguments.prepend(Image->CuePath);
    arguments.prepend("--image");
    return Run(ProgramDir() + "/cadenzo-rip", arguments);
  }

  static TRun Run(const QString& program, const QStringList& arguments) {
    QByteArray out, err;
    TRun run;
    run.ExitCode = RunProgram(program, arguments, &out, &err);
    run.Out = QString::fromUtf8(out);
    run.Err = QString::fromUtf8(err);
    return run;
  }

  // cadenzo-rip over the test image with a terminal for its input and
  // output (script(1) provides one); everything it prints lands in Out.
  TRun RipOnTerminal(const QStringList& arguments) {
    QString command = "'" + ProgramDir() + "/cadenzo-rip' --image '" + Image->CuePath + "'";
    for (const QString& argument : arguments) command += " '" + argument + "'";
    return Run("script", {"-qec", command, "/dev/null"});
  }

  static double Duration(const QString& file) {
    QByteArray out;
    RunProgram("ffprobe",
               {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", file}, &out);
    return out.trimmed().toDouble();
  }

  static TTempFolder* Folder;
  static TDiscImage* Image;
  static uint32_t DiscID;
  TTempFolder FOut;
};

TTempFolder* CadenzoRipTest::Folder = nullptr;
TDiscImage* CadenzoRipTest::Image = nullptr;
uint32_t CadenzoRipTest::DiscID = 0;

TEST_F(CadenzoRipTest, ListShowsTheDriveTheDiscIdAndTheStoredNames) {
  const TRun run = Rip({"--list"});
  ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
  EXPECT_TRUE(run.Out.contains("* 0: rip.cue (image)")) << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains(QString::asprintf("Disc ID: %08x\n", DiscID)))
      << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains("Artist: Test Artist\nAlbum: Test Album\n"));
  EXPECT_TRUE(run.Out.contains(" 01  00:00:00  00:03:00  Opening\n"));
  EXPECT_TRUE(run.Out.contains(" 02  00:03:00  00:04:00  Second\n"));
  EXPECT_TRUE(run.Out.contains(" 03  00:07:00  00:02:00  Last/One\n"));
}

TEST_F(CadenzoRipTest, ExtractsTickedTracksToTaggedMp3sWithAPlaylist) {
  const QString out = FOut.File("music");  // created by the run
  const TRun run = Rip({"--tracks", "1,3", "--output-folder", out, "--naming",
                        "<artist>\\<number> - <title>", "--playlist", FOut.File("list.pls")});
  ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
  const QString first = out + "/Test Artist/01 - Opening.mp3";
  const QString third = out + "/Test Artist/03 - Last-One.mp3";
  EXPECT_TRUE(run.Out.contains("Done        " + first)) << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains("Done        " + third));
  EXPECT_FALSE(QFile::exists(out + "/Test Artist/02 - Second.mp3"));
  EXPECT_NEAR(Duration(first), 3.0, 0.06);
  EXPECT_NEAR(Duration(third), 2.0, 0.06);

  const QByteArray tag = ReadFile(first).right(128);
  ASSERT_TRUE(tag.startsWith("TAG"));
  EXPECT_EQ(tag.mid(3, 30), QByteArray("Opening").leftJustified(30, '\0'));
  EXPECT_EQ(tag.mid(33, 30), QByteArray("Test Artist").leftJustified(30, '\0'));
  EXPECT_EQ(tag.mid(63, 30), QByteArray("Test Album").leftJustified(30, '\0'));
  EXPECT_EQ(quint8(tag[126]), 1);  // track number
  // And an ID3v2.4 tag at the front with the full names and the loudness.
  EXPECT_TRUE(ReadFile(first).startsWith(QByteArray("ID3\x04", 4)));
  QByteArray probe;
  RunProgram("ffprobe", {"-v", "error", "-show_entries", "format_tags", first}, &probe);
  for (const char* line : {"TAG:title=Opening", "TAG:track=1/3", "TAG:album_artist=Test Artist",
                           "TAG:REPLAYGAIN_TRACK_GAIN=", "TAG:encoder=Cadenzo "})
    EXPECT_TRUE(probe.contains(line)) << line << " in " << probe.toStdString();
  // Track 2 is in no file: the album's gain is not known.
  EXPECT_FALSE(probe.contains("REPLAYGAIN_ALBUM_GAIN")) << probe.toStdString();
  EXPECT_TRUE(run.Err.contains("Note: No album gain written: track 2 is not in this rip"))
      << run.Err.toStdString();

  EXPECT_EQ(ReadFile(FOut.File("list.pls")),
            ("[playlist]\r\nFile1=" + first + "\r\nTitle1=Opening\r\nLength1=3\r\nFile2=" + third +
             "\r\nTitle2=Last/One\r\nLength2=2\r\nNumberOfEntries=2\r\nVersion=2\r\n")
                .toUtf8());
}

TEST_F(CadenzoRipTest, OneAndTwoEncodersWriteTheSameFilesAndShowTheirProgress) {
  QList<QByteArray> files[2];
  for (const int jobs : {1, 2}) {
    const QString out = FOut.File(QString("jobs%1").arg(jobs));
    const TRun run = Rip({"--output-folder", out, "--jobs", QString::number(jobs)});
    ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    // Not a terminal: a line when the encoders change, and the total at the end.
    EXPECT_TRUE(run.Err.contains("  Total 100%")) << run.Err.toStdString();
    // A track is "Read" once the drive is done with it, "Done" once its file is encoded.
    for (int track = 1; track <= 3; ++track) {
      const qsizetype start = run.Err.indexOf(QString("Track %1 of 3: ").arg(track));
      const qsizetype read = run.Err.indexOf("\n  Read\n", start);
      const qsizetype done = run.Err.indexOf(QString::asprintf("\nTrack %.2d: Done\n", track));
      EXPECT_TRUE(start >= 0 && read > start && done > read) << track << run.Err.toStdString();
    }
    const QDir folder(out);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot))
      // The disc's log (dated) and CUE sheet beside the tracks are not counted.
      if (!name.endsWith(".log") && !name.endsWith(".cue"))
        files[jobs - 1] << ReadFile(folder.filePath(name));
  }
  ASSERT_EQ(files[0].size(), 3);
  EXPECT_TRUE(files[0] == files[1]);
}

// An Enhanced CD: a plain run extracts its audio tracks alone, every file
// counts them alone, and the log lists no file of the data track.
TEST_F(CadenzoRipTest, AnEnhancedCdGivesItsAudioTracksCountedWithoutTheDataTrack) {
  const QString cue = MakeEnhancedCd(FOut.File("disc"), "enhanced");
  const QString out = FOut.File("out");
  const TRun run =
      Run(ProgramDir() + "/cadenzo-rip",
          {"--image", cue, "--format", "flac", "--naming", "<number>", "--output-folder", out});
  ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString() << run.Out.toStdString();
  EXPECT_EQ(QDir(out).entryList({"*.flac"}), (QStringList{"01.flac", "02.flac"}));
  for (const QString& name : QDir(out).entryList({"*.flac"})) {
    QByteArray tags;
    ASSERT_EQ(RunProgram("metaflac", {"--show-tag=TRACKTOTAL", QDir(out).filePath(name)}, &tags),
              0);
    EXPECT_EQ(tags, "TRACKTOTAL=2\n") << name.toStdString();
  }
  const QStringList logs = QDir(out).entryList({"*.log"});
  ASSERT_EQ(logs.size(), 1);
  const QByteArray log = ReadFile(QDir(out).filePath(logs[0]));
  EXPECT_TRUE(log.contains("\nTrack 02\n    File: 02.flac\n")) << log.toStdString();
  EXPECT_FALSE(log.contains("\nTrack 03\n")) << log.toStdString();
}

TEST_F(CadenzoRipTest, WavOutputHoldsTheDiscsSamplesAndNormalizingLeavesNoTemporaryWav) {
  const TRun wav = Rip({"--tracks", "2", "--format", "wav", "--output-folder", FOut.Path()});
  ASSERT_EQ(wav.ExitCode, 0) << wav.Err.toStdString();
  const QByteArray bytes = ReadFile(FOut.File("Second.wav"));
  ASSERT_EQ(bytes.size(), 44 + 300 * 2352);
  EXPECT_TRUE(bytes.startsWith("RIFF"));
  EXPECT_TRUE(bytes.mid(44) == Image->TrackPcm(2));

  const TRun normalized =
      Rip({"--tracks", "2", "--normalize", "90", "--output-folder", FOut.Path()});
  ASSERT_EQ(normalized.ExitCode, 0) << normalized.Err.toStdString();
  EXPECT_NEAR(Duration(FOut.File("Second.mp3")), 4.0, 0.06);
  // No temporary WAV is left, and the earlier output is left alone.
  QStringList names;
  for (const QString& name : QDir(FOut.Path()).entryList(QDir::Files | QDir::Hidden))
    if (!name.endsWith(".log") && !name.endsWith(".cue")) names << name;
  EXPECT_EQ(names, (QStringList{"Second.mp3", "Second.wav"}));
  EXPECT_TRUE(ReadFile(FOut.File("Second.wav")) == bytes);
}

TEST_F(CadenzoRipTest, AFailingJobGivesANonZeroExitAndTheSummaryLine) {
  // A folder where the output file should go: it cannot be written.
  ASSERT_TRUE(QDir().mkpath(FOut.File("Second.mp3")));
  const QString playlist = FOut.File("list.m3u");
  const TRun run =
      Rip({"--output-folder", FOut.Path(), "--overwrite", "all", "--playlist", playlist});
  EXPECT_EQ(run.ExitCode, 1);
  // The playlist lists only the files written.
  EXPECT_EQ(ReadFile(playlist).count(".mp3\r\n"), 2);
  EXPECT_FALSE(ReadFile(playlist).contains("Second.mp3"));
  EXPECT_TRUE(run.Out.contains("Done        " + FOut.File("Opening.mp3"))) << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains("Error       " + FOut.File("Second.mp3")));
  EXPECT_TRUE(run.Out.contains("Done        " + FOut.File("Last-One.mp3")));
  EXPECT_TRUE(run.Err.contains("1 Error(s) occured during conversion session.\n '" +
                               FOut.File("Second.mp3") +
                               "' can not be create, please checks whether the file was open by "
                               "other applications!\n"))
      << run.Err.toStdString();
}

TEST_F(CadenzoRipTest, ExistingFilesAndPlaylistsAreKeptWithOverwriteNone) {
  WriteFile(FOut.File("Opening.mp3"), "keep me");
  WriteFile(FOut.File("list.m3u"), "keep me too");
  const TRun run = Rip({"--tracks", "1-2", "--output-folder", FOut.Path(), "--overwrite", "none",
                        "--playlist", FOut.File("list.m3u")});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_TRUE(run.Out.contains("Skipped     " + FOut.File("Opening.mp3"))) << run.Out.toStdString();
  EXPECT_EQ(ReadFile(FOut.File("Opening.mp3")), "keep me");
  EXPECT_EQ(ReadFile(FOut.File("list.m3u")), "keep me too");
  EXPECT_TRUE(run.Err.contains("the playlist '" + FOut.File("list.m3u") +
                               "' exists and is kept; --overwrite all replaces it"))
      << run.Err.toStdString();

  const TRun all = Rip({"--tracks", "1", "--output-folder", FOut.Path(), "--overwrite", "all"});
  EXPECT_EQ(all.ExitCode, 0);
  EXPECT_NEAR(Duration(FOut.File("Opening.mp3")), 3.0, 0.06);
}

TEST_F(CadenzoRipTest, FlacHoldsTheDiscsSamplesAndOpusItsLengthTaggedWithOrWithoutLoudness) {
  const TRun flac = Rip({"--tracks", "2", "--format", "flac", "--output-folder", FOut.Path()});
  ASSERT_EQ(flac.ExitCode, 0) << flac.Err.toStdString();
  QByteArray pcm, tags;
  ASSERT_EQ(RunProgram("flac",
                       {"-d", "-s", "-c", "--force-raw-format", "--endian=little", "--sign=signed",
                        FOut.File("Second.flac")},
                       &pcm),
            0);
  EXPECT_TRUE(pcm == Image->TrackPcm(2));
  RunProgram("metaflac", {"--export-tags-to=-", FOut.File("Second.flac")}, &tags);
  EXPECT_TRUE(tags.contains("TITLE=Second\n")) << tags.toStdString();
  EXPECT_TRUE(tags.contains("ARTIST=Test Artist\n")) << tags.toStdString();
  EXPECT_TRUE(tags.contains("REPLAYGAIN_TRACK_GAIN=")) << tags.toStdString();
  EXPECT_FALSE(tags.contains("REPLAYGAIN_ALBUM_GAIN=")) << tags.toStdString();

  const TRun opus =
      Rip({"--tracks", "1", "--format", "opus", "--no-replaygain", "--output-folder", FOut.Path()});
  ASSERT_EQ(opus.ExitCode, 0) << opus.Err.toStdString();
  // ffprobe counts the decoder's pre-skip (6.5 ms) in; the exact length is
  // the formats test's, by opusdec.
  EXPECT_NEAR(Duration(FOut.File("Opening.opus")), 3.0, 0.01);
  QByteArray probe;
  RunProgram("ffprobe", {"-v", "error", "-show_entries", "stream_tags", FOut.File("Opening.opus")},
             &probe);
  EXPECT_TRUE(probe.contains("TAG:TITLE=Opening")) << probe.toStdString();
  EXPECT_FALSE(probe.contains("R128")) << probe.toStdString();
}

TEST_F(CadenzoRipTest, BadOptionsAreUsageErrors) {
  const struct {
    QStringList Arguments;
    const char* Message;
  } cases[] = {
      {{"--tracks", "4"}, "track 4 is not on the disc (it has 3 tracks)"},
      {{"--tracks", "2-x"}, "invalid track list '2-x'"},
      {{"--format", "ogg"}, "--format takes wav, mp3, flac or opus"},
      {{"--normalize", "50"}, "--normalize takes 80 to 100"},
      {{"--overwrite", "maybe"}, "--overwrite takes ask, all or none"},
      {{"--drive", "5"}, "--drive takes 0 to 0"},
      {{"--bogus"}, "Unknown option 'bogus'"},
      {{"--format"}, "Missing value after '--format'"},
      {{"--jobs", "-1"}, "--jobs takes 0 to 64"},
  };
  for (const auto& c : cases) {
    const TRun run = Rip(c.Arguments);
    EXPECT_EQ(run.ExitCode, 2) << c.Message;
    EXPECT_TRUE(run.Err.contains(c.Message)) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.endsWith("Try 'cadenzo-rip --help' for more information.\n"))
        << run.Err.toStdString();
  }
  QByteArray out;
  EXPECT_EQ(RunProgram(ProgramDir() + "/cadenzo-rip", {"--help"}, &out), 0);
  EXPECT_TRUE(out.startsWith("Usage: cadenzo-rip [options]\n")) << out.left(80).toStdString();
  EXPECT_FALSE(out.contains("--help-all"));
  for (const char* option :
       {"--drive", "--image", "--tracks", "--format", "--output-folder", "--naming", "--normalize",
        "--playlist", "--overwrite", "--list", "--jobs"})
    EXPECT_TRUE(out.contains(option)) << option;
}

// A disc whose second and third tracks take a while, so a signal sent once
// the second has begun finds it in hand.
// Settings for a program run under configHome that name no AccurateRip
// server, so no rip of a test reaches the public one.
void WriteOfflineSettings(const QString& configHome) {
  const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
  qputenv("XDG_CONFIG_HOME", configHome.toUtf8());
  TConfig settings;
  settings.AccurateRipServer.clear();
  EXPECT_TRUE(settings.Save());
  qputenv("XDG_CONFIG_HOME", saved);
}

class CadenzoRipStop : public ::testing::Test {
 protected:
  void SetUp() override { WriteOfflineSettings(FOut.File("config")); }
  static void SetUpTestSuite() {
    Folder = new TTempFolder;
    Image = new TDiscImage(MakeDiscImage(Folder->File("disc"), "long", {150, 6000, 6000}));
  }
  static void TearDownTestSuite() {
    delete Image;
    delete Folder;
  }

  // Starts a rip of the whole disc into FOut, sends `signal` once the second
  // track has begun and the first is finished, and waits for the end.
  TRun RipAndStop(int signal, const QStringList& extra) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", FOut.File("config"));
    process.setProcessEnvironment(environment);
    process.start(ProgramDir() + "/cadenzo-rip",
                  QStringList{"--image", Image->CuePath, "--output-folder", FOut.Path()} + extra);
    EXPECT_TRUE(process.waitForStarted(30000));
    QByteArray err;
    QElapsedTimer elapsed;
    elapsed.start();
    // The first track is finished once its tag is written: the encoders run
    // behind the drive, so the second track's start alone does not say so.
    auto firstTagged = [this] {
      QFile mp3(FOut.File("Track01.mp3"));
      return mp3.open(QIODevice::ReadOnly) && mp3.size() > 128 && mp3.seek(mp3.size() - 128) &&
             mp3.read(3) == "TAG";
    };
    while (!(err.contains("Track 2 of 3") && firstTagged()) &&
           process.state() == QProcess::Running && elapsed.elapsed() < 60000) {
      process.waitForReadyRead(100);
      err += process.readAllStandardError();
    }
    EXPECT_TRUE(err.contains("Track 2 of 3")) << err.toStdString();
    EXPECT_TRUE(testutil::SignalProcess(process, signal)) << err.toStdString();
    EXPECT_TRUE(process.waitForFinished(60000));
    TRun run;
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(err + process.readAllStandardError());
    return run;
  }

  // The files in FOut, hidden ones included.
  QStringList Files() const {
    return QDir(FOut.Path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
  }

  static TTempFolder* Folder;
  static TDiscImage* Image;
  TTempFolder FOut;
};

TTempFolder* CadenzoRipStop::Folder = nullptr;
TDiscImage* CadenzoRipStop::Image = nullptr;

TEST_F(CadenzoRipStop, CtrlCKeepsTheFinishedTrackAndDeletesTheOneInHand) {
  const TRun run = RipAndStop(SIGINT, {});
  EXPECT_EQ(run.ExitCode, 130) << run.Err.toStdString();
  EXPECT_EQ(Files(), QStringList{"Track01.mp3"});
  EXPECT_TRUE(run.Err.contains("cadenzo-rip: stopped by SIGINT; kept 1 finished track(s):\n  " +
                               FOut.File("Track01.mp3") + "\n"))
      << run.Err.toStdString();
  QByteArray pcm;
  ASSERT_EQ(RunProgram("mpg123", {"-q", "-s", FOut.File("Track01.mp3")}, &pcm), 0);
  EXPECT_EQ(pcm.size(), 150 * 2352) << "the kept track is whole";
}

TEST_F(CadenzoRipStop, SigtermLeavesNoTemporaryFileAndKeepsTheUsersOwn) {
  WriteFile(FOut.File("Track02.wav"), "mine");
  WriteFile(FOut.File("Track02.tmp"), "mine too");
  WriteFile(FOut.File("Track02.mp3"), "an earlier rip");
  const TRun run = RipAndStop(SIGTERM, {"--normalize", "98", "--overwrite", "all"});
  EXPECT_EQ(run.ExitCode, 143) << run.Err.toStdString();
  // Stopped in the rip or the normalisation, the earlier MP3 was never
  // touched; stopped in the encoder, the session's partial MP3 is gone.
  QStringList files = Files();
  if (files.removeAll("Track02.mp3") > 0) {
    EXPECT_EQ(ReadFile(FOut.File("Track02.mp3")), "an earlier rip");
  }
  EXPECT_EQ(files, (QStringList{"Track01.mp3", "Track02.tmp", "Track02.wav"}));
  EXPECT_EQ(ReadFile(FOut.File("Track02.wav")), "mine");
  EXPECT_EQ(ReadFile(FOut.File("Track02.tmp")), "mine too");
  EXPECT_TRUE(run.Err.contains("stopped by SIGTERM; kept 1 finished track(s)"))
      << run.Err.toStdString();
}

TEST_F(CadenzoRipStop, AKilledRunsTemporaryFilesGoWithTheNextRunAndALiveRunsStay) {
  QProcess process;
  process.start(ProgramDir() + "/cadenzo-rip",
                {"--image", Image->CuePath, "--output-folder", FOut.Path(), "--overwrite", "all"});
  ASSERT_TRUE(process.waitForStarted(30000));
  // Killed while the second track's MP3 is being written.
  const auto writing = [this] {
    for (const QFileInfo& file :
         QDir(FOut.Path()).entryInfoList({".cadenzo-*"}, QDir::Files | QDir::Hidden))
      if (file.size() > 0 && QFile::exists(FOut.File("Track01.mp3"))) return true;
    return false;
  };
  EXPECT_TRUE(WaitFor(writing, 60000));
  EXPECT_TRUE(testutil::SignalProcess(process, SIGKILL));
  ASSERT_TRUE(process.waitForFinished(30000));
  QStringList left = Files();
  ASSERT_TRUE(left.removeAll("Track01.mp3"));
  EXPECT_FALSE(left.isEmpty()) << "the killed run left its temporary files";
  EXPECT_FALSE(left.contains("Track02.mp3")) << "no cut file under the track's name";

  const QString live = CreateTempFile(FOut.Path(), ".mp3");  // this process runs
  QByteArray err;
  EXPECT_EQ(RunProgram(ProgramDir() + "/cadenzo-rip",
                       {"--image", Image->CuePath, "--output-folder", FOut.Path(), "--tracks", "1",
                        "--overwrite", "none"},
                       nullptr, &err),
            1)
      << err.toStdString();
  EXPECT_EQ(Files(), (QStringList{QFileInfo(live).fileName(), "Track01.mp3"}));
}

TEST_F(CadenzoRipStop, TwoRunsIntoOneFolderNeverWriteOneFile) {
  QProcess runs[2];
  for (QProcess& run : runs)
    run.start(ProgramDir() + "/cadenzo-rip",
              {"--image", Image->CuePath, "--output-folder", FOut.Path(), "--overwrite", "none",
               "--tracks", "1-2", "--no-verify"});
  QString out;
  for (QProcess& run : runs) {
    ASSERT_TRUE(run.waitForFinished(120000));
    out += QString::fromUtf8(run.readAllStandardOutput());
  }
  EXPECT_EQ(Files(), (QStringList{"Track01.mp3", "Track02.mp3"}));
  const int sectors[] = {150, 6000};
  for (int track = 1; track <= 2; ++track) {
    const QString path = FOut.File(QString("Track%1.mp3").arg(track, 2, 10, QChar('0')));
    EXPECT_EQ(out.count("Done        " + path + "\n"), 1) << out.toStdString();
    QByteArray pcm;
    ASSERT_EQ(RunProgram("mpg123", {"-q", "-s", path}, &pcm), 0);
    EXPECT_EQ(pcm.size(), sectors[track - 1] * 2352) << "one whole rip in " << path.toStdString();
  }
}

TEST_F(CadenzoRipTest, NamesThatCannotStandAsGivenAreMadeToFit) {
  // One name for every track, over 255 bytes, starting with dots.
  const QString accents(150, QChar(0xE9));
  const TRun run =
      Rip({"--output-folder", FOut.Path(), "--naming", "...<artist>" + accents, "--no-verify"});
  ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
  const QString name = "-..Test Artist";
  const QStringList files = {name + accents.left(116) + " (2).mp3",
                             name + accents.left(116) + " (3).mp3",
                             name + accents.left(118) + ".mp3"};
  EXPECT_EQ(QDir(FOut.Path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), files);
  EXPECT_TRUE(run.Err.contains("Track 3 'Last/One' has the name of track 1: it is saved as '" +
                               FOut.File(files[1]) + "'."))
      << run.Err.toStdString();
}

TEST_F(CadenzoRipTest, BrokenImagesAreExplainedAsUsageErrors) {
  WriteFile(FOut.File("garbage.cue"), "this is no cue sheet\nFOO BAR\n");
  WriteFile(FOut.File("lost.cue"),
            "FILE \"lost.bin\" BINARY\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n");
  const struct {
    QString Image;
    const char* Reason;
  } cases[] = {
      {FOut.File("garbage.cue"), "garbage.cue: not a cue sheet with tracks"},
      {FOut.File("lost.cue"), "lost.cue, line 1: 'lost.bin' not found"},
  };
  for (const auto& c : cases) {
    for (const QStringList& more : {QStringList{"--list"}, QStringList{}}) {
      const TRun run = Run(ProgramDir() + "/cadenzo-rip",
                           QStringList{"--image", c.Image, "--output-folder", FOut.Path()} + more);
      EXPECT_EQ(run.ExitCode, 2) << c.Reason;
      EXPECT_TRUE(run.Err.contains("the disc image '" + c.Image + "' can't be read: "))
          << run.Err.toStdString();
      EXPECT_TRUE(run.Err.contains(c.Reason)) << run.Err.toStdString();
      EXPECT_FALSE(run.Err.contains("No disc")) << run.Err.toStdString();
      EXPECT_EQ(run.Out, "");  // no empty listing with disc ID 00000000
    }
  }
}

TEST_F(CadenzoRipTest, ARelativeOutputFolderGivesAbsolutePathsInThePlaylist) {
  // Run from the test's folder: sh changes into it and starts the program.
  const TRun run = Run("sh", {"-c", "cd \"$1\" && shift && exec \"$@\"", "sh", FOut.Path(),
                              ProgramDir() + "/cadenzo-rip", "--image", Image->CuePath, "--tracks",
                              "2", "--output-folder", "rel", "--playlist", "list.m3u"});
  ASSERT_EQ(run.ExitCode, 0) << run.Err.toStdString();
  const QString second = FOut.File("rel/Second.mp3");
  EXPECT_TRUE(run.Out.contains("Done        " + second)) << run.Out.toStdString();
  EXPECT_EQ(ReadFile(FOut.File("list.m3u")),
            ("#EXTM3U\r\n#EXTINF:4, Second\r\n" + second + "\r\n").toUtf8());
}

TEST_F(CadenzoRipTest, AnOutputFolderThatCannotBeCreatedGivesTheSystemsReason) {
  WriteFile(FOut.File("file"), "in the way");
  const TRun run = Rip({"--output-folder", FOut.File("file/music")});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_TRUE(run.Err.contains("The output folder '" + FOut.File("file/music") +
                               "' can't be create! (Not a directory)"))
      << run.Err.toStdString();
}

TEST_F(CadenzoRipTest, SkippingWithoutATerminalTellsOnceHowToReplace) {
  WriteFile(FOut.File("Opening.mp3"), "keep me");
  WriteFile(FOut.File("Second.mp3"), "keep me too");
  const TRun run = Rip({"--tracks", "1-2", "--output-folder", FOut.Path()});
  EXPECT_EQ(run.ExitCode, 1);
  EXPECT_EQ(run.Err.count("--overwrite all replaces them"), 1) << run.Err.toStdString();
  EXPECT_EQ(ReadFile(FOut.File("Second.mp3")), "keep me too");
  // Asked for explicitly, skipping needs no notice.
  const TRun none = Rip({"--tracks", "1-2", "--output-folder", FOut.Path(), "--overwrite", "none"});
  EXPECT_FALSE(none.Err.contains("--overwrite all")) << none.Err.toStdString();
}

TEST_F(CadenzoRipTest, ListNamesTheTimeFormatAndAFinishedJobShowsAFullBar) {
  const TRun list = Rip({"--list"});
  EXPECT_TRUE(
      list.Out.contains("  #  Start     Length    Title   (times in minutes:seconds:frames"))
      << list.Out.toStdString();

  const TRun run = RipOnTerminal({"--tracks", "3", "--output-folder", FOut.Path()});
  ASSERT_EQ(run.ExitCode, 0) << run.Out.toStdString();
  EXPECT_TRUE(run.Out.contains("] 100% Done")) << run.Out.toStdString();
  EXPECT_FALSE(run.Out.contains("]   0% Done")) << run.Out.toStdString();
}

TEST_F(CadenzoRipTest, VersionNamesTheLibrariesAndTheManualPageListsEveryOption) {
  const TRun version = Run(ProgramDir() + "/cadenzo-rip", {"--version"});
  EXPECT_EQ(version.ExitCode, 0);
  EXPECT_TRUE(QRegularExpression("^cadenzo-rip 1\\.06\nlibcdio \\d+\\.\\d+[^,]*, libcdio-paranoia "
                                 "\\S+, LAME \\d+\\.\\d+\n$")
                  .match(version.Out)
                  .hasMatch())
      << version.Out.toStdString();

  const QString help = Run(ProgramDir() + "/cadenzo-rip", {"--help"}).Out;
  const QString manual = QString::fromUtf8(ReadFile(ProgramDir() + "/../man/cadenzo-rip.1"));
  ASSERT_TRUE(manual.startsWith(".\\\" DO NOT MODIFY THIS FILE!")) << manual.left(80).toStdString();
  // Every long option of the help text, with its dashes escaped for roff.
  const QRegularExpression option("--([a-z-]+)");
  int options = 0;
  for (const auto& match : option.globalMatch(help)) {
    ++options;
    const QString name = match.captured(1);
    EXPECT_TRUE(manual.contains("\\-\\-" + QString(name).replace("-", "\\-")))
        << name.toStdString();
  }
  EXPECT_GE(options, 12);
}

// The overwrite question on a pseudo-terminal of its own, as from a shell:
// the key typed at the question, then the exit status within a deadline.
int AnswerOnTerminal(const QString& cue, const QString& folder, const char* key) {
  const QByteArray program = (ProgramDir() + "/cadenzo-rip").toLocal8Bit();
  const QByteArray image = cue.toLocal8Bit(), out = folder.toLocal8Bit();
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    execl(program.constData(), "cadenzo-rip", "--image", image.constData(), "--tracks", "1",
          "--output-folder", out.constData(), "--overwrite", "ask", nullptr);
    _exit(127);
  }
  EXPECT_GT(pid, 0);
  QByteArray screen;
  int status = -1;
  bool sent = false;
  QElapsedTimer elapsed;
  elapsed.start();
  while (elapsed.elapsed() < 30000 && waitpid(pid, &status, WNOHANG) == 0) {
    pollfd fd{master, POLLIN, 0};
    char bytes[512];
    if (poll(&fd, 1, 100) > 0) {
      const ssize_t n = read(master, bytes, sizeof bytes);
      if (n > 0) screen.append(bytes, n);
    }
    if (!sent && screen.contains("Overwrite?")) sent = write(master, key, 1) == 1;
  }
  close(master);
  if (!WIFEXITED(status) && !WIFSIGNALED(status)) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "still running after the answer " << int(key[0]) << ":\n"
                  << screen.toStdString();
    return -1;
  }
  EXPECT_TRUE(sent) << screen.toStdString();
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST_F(CadenzoRipTest, CtrlCAtTheOverwriteQuestionEndsTheRunAndCtrlDCancels) {
  WriteFile(FOut.File("Opening.mp3"), "keep me");
  EXPECT_EQ(AnswerOnTerminal(Image->CuePath, FOut.Path(), "\x03"), 130);
  EXPECT_EQ(AnswerOnTerminal(Image->CuePath, FOut.Path(), "\x04"), 1);
  EXPECT_EQ(ReadFile(FOut.File("Opening.mp3")), "keep me");
}

// A read-only settings folder, and no cdrip.ini of its own in it yet: for root,
// whom permissions do not stop, a read-only bind mount in a mount namespace.
TEST_F(CadenzoRipTest, AReadOnlySettingsFolderStillRipsAndSaysWhatItCouldNotWrite) {
  const QString config = FOut.File("config");
  ASSERT_TRUE(QDir().mkpath(config));
  QString program = ProgramDir() + "/cadenzo-rip";
  QStringList prefix;
  if (geteuid() == 0) {
    if (RunProgram("unshare", {"-m", "--propagation", "private", "true"}) != 0)
      GTEST_SKIP() << "no mount namespace for a read-only folder";
    prefix = {"-m",      "--propagation",
              "private", "sh",
              "-c",      "mount --bind -o ro \"$0\" \"$0\" && exec \"$@\"",
              config,    program};
    program = "unshare";
  } else {
    ASSERT_TRUE(QFile::setPermissions(config, QFile::ReadOwner | QFile::ExeOwner));
  }
  auto run = [&](const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", config);
    process.setProcessEnvironment(environment);
    process.start(program, prefix + arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    return std::pair(process.exitCode(), QString::fromUtf8(process.readAllStandardOutput() +
                                                           process.readAllStandardError()));
  };
  const QString unwritten = "cannot write " + config + "/cadenzo";
  const auto [ripped, ripText] = run({"--image", Image->CuePath, "--tracks", "1", "--output-folder",
                                      FOut.File("out"), "--no-verify"});
  EXPECT_EQ(ripped, 0) << ripText.toStdString();
  EXPECT_TRUE(ripText.contains(unwritten)) << ripText.toStdString();
  EXPECT_NEAR(Duration(FOut.File("out/Track01.mp3")), 3.0, 0.06);
  // The installed drive list still counts.
  const auto [listed, listText] = run({"--list"});
  EXPECT_EQ(listed, 0) << listText.toStdString();
  EXPECT_TRUE(listText.contains("demo.cue (image)")) << listText.toStdString();
  QFile::setPermissions(config, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(CadenzoRipTest, ControlCharactersInNamesAreShownEscaped) {
  const TDiscImage image = MakeDiscImage(FOut.File("disc"), "esc", {150});
  {
    WriteCdripIni(FOut.File("cdrip.ini"), {image.CuePath});
    ASSERT_NE(CR_Init(FOut.File("cdrip.ini").toLocal8Bit().constData()), CDRIP_ERROR);
    TCDRIP cdrip;
    cdrip.SetCDRomNum(CR_GetNumCDROM() - 1);
    TMyCDInfo info;
    ASSERT_TRUE(info.LoadFromTOC(ReadDisc(cdrip)));
    info.SetDefaultNames();
    info.Artist = "Red\x1b[31m";
    info.SetTrackTitle(0, "Evil\x1b]0;pwned\x07\x1b[2J");
    info.LocalFolder = Folder->File("localCDDB");
    ASSERT_TRUE(info.WriteLocalCDDB());
  }
  const TRun list = Run(ProgramDir() + "/cadenzo-rip", {"--image", image.CuePath, "--list"});
  EXPECT_TRUE(list.Out.contains("Artist: Red\\x1b[31m\n")) << list.Out.toStdString();
  EXPECT_TRUE(list.Out.contains("  Evil\\x1b]0;pwned\\x07\\x1b[2J\n"));
  const TRun rip = Run(ProgramDir() + "/cadenzo-rip",
                       {"--image", image.CuePath, "--output-folder", FOut.File("out")});
  EXPECT_EQ(rip.ExitCode, 0) << rip.Err.toStdString();
  EXPECT_TRUE(rip.Err.contains("01 - Evil\\x1b]0;pwned\\x07\\x1b[2J")) << rip.Err.toStdString();
  for (const TRun* run : {&list, &rip}) EXPECT_FALSE((run->Out + run->Err).contains(QChar(0x1b)));
}

}  // namespace

namespace {

// Runs cadenzo-rip with `environment`, sends `signal` once stderr holds
// `trigger` after `after`, and waits for the end.
struct TStopped : TRun {
  qint64 SignalledFor = -1;  // ms from the signal to the end
};

TStopped RipUntil(const QStringList& arguments, const QProcessEnvironment& environment,
                  const QString& after, const QString& trigger, int signal) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.start(ProgramDir() + "/cadenzo-rip", arguments);
  EXPECT_TRUE(process.waitForStarted(30000));
  QByteArray err;
  QElapsedTimer elapsed;
  elapsed.start();
  auto triggered = [&] {
    const qsizetype at = err.indexOf(after.toUtf8());
    return at >= 0 && err.indexOf(trigger.toUtf8(), at) >= 0;
  };
  while (!triggered() && process.state() == QProcess::Running && elapsed.elapsed() < 60000) {
    process.waitForReadyRead(100);
    err += process.readAllStandardError();
  }
  EXPECT_TRUE(triggered()) << err.toStdString();
  TStopped run;
  EXPECT_TRUE(testutil::SignalProcess(process, signal)) << err.toStdString();
  elapsed.restart();
  EXPECT_TRUE(process.waitForFinished(120000));
  run.SignalledFor = elapsed.elapsed();
  run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.Out = QString::fromUtf8(process.readAllStandardOutput());
  run.Err = QString::fromUtf8(err + process.readAllStandardError());
  return run;
}

}  // namespace

// Images whose audio file is shorter than their sheet says, as users meet
// them: what is missing is silence in place and an error, never "Done".
class CadenzoRipLostAudio : public ::testing::Test {
 protected:
  void SetUp() override { WriteOfflineSettings(FOut.File("config")); }
  QProcessEnvironment Environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", FOut.File("config"));
    return environment;
  }

  TTempFolder FOut;
};

TEST_F(CadenzoRipLostAudio, MissingSectorsAreSilenceAndFailTheirTracks) {
  const TDiscImage image = MakeDiscImage(FOut.File("disc"), "cut", {150, 150});
  // Track 2 wants 40 sectors more than the file holds; track 3 lies past its end.
  const QString toc = WriteTocSheet(image, "cut", {{0, 150}, {150, 190}, {340, 75}});
  QProcess process;
  process.setProcessEnvironment(Environment());
  process.start(ProgramDir() + "/cadenzo-rip",
                {"--image", toc, "--format", "wav", "--tracks", "2-3", "--output-folder",
                 FOut.File("out"), "--verbose"});
  ASSERT_TRUE(process.waitForFinished(120000));
  const QString out = QString::fromUtf8(process.readAllStandardOutput());
  const QString err = QString::fromUtf8(process.readAllStandardError());
  EXPECT_EQ(process.exitCode(), 1) << err.toStdString();
  const QString second = FOut.File("out/Track02.wav"), third = FOut.File("out/Track03.wav");
  EXPECT_TRUE(out.contains("Error       " + second)) << out.toStdString();
  EXPECT_TRUE(out.contains("Error       " + third)) << out.toStdString();
  EXPECT_TRUE(err.contains("2 Error(s) occured during conversion session.")) << err.toStdString();
  EXPECT_TRUE(err.contains("Track 2 'Track02': 40 unreadable sector(s) written as silence."));
  EXPECT_TRUE(err.contains("Track 3 'Track03': 75 unreadable sector(s) written as silence."));
  EXPECT_TRUE(ReadFile(second).mid(44) == image.TrackPcm(2) + QByteArray(40 * 2352, '\0'));
  EXPECT_TRUE(ReadFile(third).mid(44) == QByteArray(75 * 2352, '\0'));
  // The sector maps after each track: track 2's sectors 150-189 lie in its
  // 48th to 60th sixtieth (sectors 148.8 to 190).
  const QRegularExpression sectorMap(
      "  Track 02 sectors \\[([^X]{47})X{13}\\] \\d+ clean, \\d+ "
      "corrected, \\d+ re-read, 40 lost\n");
  EXPECT_TRUE(err.contains(sectorMap)) << err.toStdString();
  EXPECT_TRUE(err.contains("  Track 03 sectors [" + QString(60, u'X') +
                           "] 0 clean, 0 corrected, 0 re-read, 75 lost\n"));
}

// Found trying to break the reader: a drive's start and end offsets cut
// audio off both ends of every track, and the tracks were "Done".
TEST_F(CadenzoRipLostAudio, AudioTheDrivesOffsetsLeaveOutFailsTheTrackAndIsLogged) {
  const TDiscImage image = MakeDiscImage(FOut.File("disc"), "cut", {150, 150});
  const QString ini = FOut.File("config/cadenzo/cdrip.ini");
  WriteCdripIni(ini, {image.CuePath}, "[Image0]\r\nOffsetStart=10\r\nOffsetEnd=-5\r\n");
  ASSERT_EQ(CR_Init(ini.toUtf8().constData()), CDRIP_OK);
  QProcess process;
  process.setProcessEnvironment(Environment());
  process.start(ProgramDir() + "/cadenzo-rip",
                {"--drive", QString::number(CR_GetNumCDROM() - 1), "--format", "wav", "--tracks",
                 "2", "--output-folder", FOut.File("out")});
  ASSERT_TRUE(process.waitForFinished(120000));
  const QString out = QString::fromUtf8(process.readAllStandardOutput());
  const QString err = QString::fromUtf8(process.readAllStandardError());
  EXPECT_EQ(process.exitCode(), 1) << err.toStdString();
  EXPECT_TRUE(out.contains("Error       " + FOut.File("out/Track02.wav"))) << out.toStdString();
  EXPECT_TRUE(
      err.contains("Track 2 'Track02': 15 sector(s) of audio left out by the drive's "
                   "offsets."))
      << err.toStdString();
  EXPECT_TRUE(ReadFile(FOut.File("out/Track02.wav")).mid(44) == image.SectorPcm(160, 295));
  const QString log = QString::fromUtf8(
      ReadFile(FOut.File("out/" + QDir(FOut.File("out")).entryList({"*.log"}).value(0))));
  EXPECT_TRUE(log.contains("    Left out by the drive's offsets: 15 sectors\n"))
      << log.toStdString();
  EXPECT_TRUE(log.contains("Read mode: jitter correction on, speed maximum, drive cache none\n"));
}

TEST_F(CadenzoRipLostAudio, CtrlCStopsAReadThatFailsSlowlyAtOnce) {
  const TDiscImage image = MakeDiscImage(FOut.File("disc"), "bad", {75, 1000});
  // Every read of track 2 fails and takes a second to, as a scratched disc's do.
  WriteCdripIni(FOut.File("config/cadenzo/cdrip.ini"), {image.CuePath},
                "[Image0]\r\nUnreadableSectors=75-1074\r\nReadErrorDelay=1000\r\n");
  ASSERT_EQ(CR_Init(FOut.File("config/cadenzo/cdrip.ini").toUtf8().constData()), CDRIP_OK);
  const QString drive = QString::number(CR_GetNumCDROM() - 1);
  const TStopped run = RipUntil({"--drive", drive, "--tracks", "2", "--output-folder", FOut.Path()},
                                Environment(), "Track 1 of 1", "Extracting", SIGINT);
  EXPECT_EQ(run.ExitCode, 130) << run.Err.toStdString();
  // A chunk of such reads takes half a minute.
  EXPECT_LT(run.SignalledFor, 10000);
  EXPECT_FALSE(QFile::exists(FOut.File("Track02.mp3")));
}

TEST_F(CadenzoRipLostAudio, CtrlCWhileAFailedTracksEncoderRunsDeletesItsCutFileAndSaysWhy) {
  // A long second track, so its encoder runs well after the drive is done;
  // its last 10 sectors are missing from the file.
  const TDiscImage image = MakeDiscImage(FOut.File("disc"), "long", {150, 20000});
  const QString toc = WriteTocSheet(image, "long", {{0, 150}, {150, 20010}});
  const TStopped run = RipUntil({"--image", toc, "--jobs", "1", "--output-folder", FOut.Path()},
                                Environment(), "Track 2 of 2", "  Read\n", SIGINT);
  EXPECT_EQ(run.ExitCode, 130) << run.Err.toStdString();
  EXPECT_TRUE(run.Err.contains("Track 2 'Track02': 10 unreadable sector(s) written as silence."))
      << run.Err.toStdString();
  // Deleted when the stop cut its encoder; whole when it had just finished.
  QByteArray pcm;
  if (QFile::exists(FOut.File("Track02.mp3"))) {
    ASSERT_EQ(RunProgram("mpg123", {"-q", "-s", FOut.File("Track02.mp3")}, &pcm), 0);
    EXPECT_EQ(pcm.size(), qsizetype(20010) * 2352);
  }
  EXPECT_TRUE(QFile::exists(FOut.File("Track01.mp3")));
}
