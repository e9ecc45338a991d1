// FLAC and Opus through the conversion session and its encoder workers, over
// the real ripping component, judged by independent tools: flac(1) decodes
// the image's PCM byte for byte, opusdec(1) the track's exact length,
// metaflac(1) and ffprobe(1) read the tags, ffmpeg's loudness meter agrees
// with the ReplayGain values. Also the tag writer on its own.
#include <FLAC/stream_decoder.h>
#include <dlfcn.h>
#include <sys/types.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tpropertymap.h>
#include <taglib/xiphcomment.h>
#include <unistd.h>
#include <zlib.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QScopeGuard>
#include <atomic>
#include <map>

#include "common/DiscImage.h"
#include "common/QuietView.h"
#include "common/SessionTestUtil.h"
#include "common/TestServer.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "encode/Encoder.h"
#include "encode/LameCoder.h"
#include "encode/MPGTools.h"
#include "encode/Tags.h"
#include "platform/MessageBox.h"
#include "rip/ConvSession.h"
#include "settings/config.h"

using testutil::ProbeTags;
using testutil::ReadFile;
using testutil::RunProgram;

// libFLAC's verify mode decodes each frame it wrote through a stream decoder
// of its own. This test program stands between that decoder and its input:
// while gCorruptVerify is set, one bit of the frames it reads is flipped, so
// the library's own check fails as it would on a faulty encode.
namespace {
std::atomic<bool> gCorruptVerify{false};
FLAC__StreamDecoderReadCallback gVerifyRead = nullptr;
FLAC__StreamDecoderReadStatus CorruptingRead(const FLAC__StreamDecoder* decoder,
                                             FLAC__byte buffer[], size_t* bytes, void* data) {
  const FLAC__StreamDecoderReadStatus status = gVerifyRead(decoder, buffer, bytes, data);
  // Frames, not the stream's header: those are the large reads.
  if (gCorruptVerify && *bytes > 1000) buffer[*bytes / 2] ^= 0x10;
  return status;
}
}  // namespace

extern "C" FLAC__StreamDecoderInitStatus FLAC__stream_decoder_init_stream(
    FLAC__StreamDecoder* decoder, FLAC__StreamDecoderReadCallback read,
    FLAC__StreamDecoderSeekCallback seek, FLAC__StreamDecoderTellCallback tell,
    FLAC__StreamDecoderLengthCallback length, FLAC__StreamDecoderEofCallback eof,
    FLAC__StreamDecoderWriteCallback write, FLAC__StreamDecoderMetadataCallback metadata,
    FLAC__StreamDecoderErrorCallback error, void* client) {
  using TInit = decltype(&FLAC__stream_decoder_init_stream);
  static const auto real = reinterpret_cast<TInit>(dlsym(RTLD_NEXT, __func__));
  gVerifyRead = read;
  return real(decoder, CorruptingRead, seek, tell, length, eof, write, metadata, error, client);
}

namespace {

// Three tracks of 2 to 4 seconds, each of whole sectors.
const std::vector<int> kTrackSectors = {150, 300, 225};

// Integrated loudness by ffmpeg's own EBU R 128 meter.
double FfmpegLoudness(const QString& path) {
  QByteArray err;
  EXPECT_EQ(
      RunProgram("ffmpeg",
                 {"-nostdin", "-hide_banner", "-i", path, "-af", "ebur128", "-f", "null", "-"},
                 nullptr, &err),
      0);
  const auto match = QRegularExpression("Summary:[\\s\\S]*?I:\\s+(-?[0-9.]+) LUFS").match(err);
  EXPECT_TRUE(match.hasMatch()) << err.toStdString();
  return match.captured(1).toDouble();
}

double GainValue(const QString& text) { return text.section(' ', 0, 0).toDouble(); }

class Formats : public ::testing::Test {
 protected:
  void SetUp() override {
    Config = &Settings;
    Image = testutil::MakeDiscImage(Temp.Path(), "disc", kTrackSectors);
    testutil::WriteCdripIni(Temp.File("cdrip.ini"), {Image.CuePath});
    ASSERT_EQ(CR_Init(Temp.File("cdrip.ini").toUtf8().constData()), CDRIP_OK);
    CDRIP.SetCDRomNum(CR_GetNumCDROM() - 1);
    CDRIP.SetCoder(&Coder);
    Settings.EncoderThreads = 2;
    Settings.OverwritePrompt = false;
  }
  void TearDown() override { Config = nullptr; }

  void Run(int32_t format, bool onTheFly, const QString& folder) {
    Settings.OutputFormat = format;
    Settings.OnTheFly = onTheFly;
    ASSERT_TRUE(QDir().mkpath(folder));
    Jobs.clear();
    for (int i = 0; i < int(kTrackSectors.size()); ++i) {
      TFileParam job;
      job.TrackInfo.TrackIndex = i;
      job.TrackInfo.Title = job.Title = QString("Song %1").arg(i + 1);
      job.TrackInfo.Artist = "The Artist";
      job.TrackInfo.Album = "The Album";
      job.TrackInfo.Year = "2001";
      job.TrackInfo.Category = "rock";
      job.TrackInfo.Isrc = QString("GBAYE010000%1").arg(i);
      job.TrackInfo.MBRecordingID = QString("rec-%1").arg(i);
      job.TrackInfo.MBReleaseID = ReleaseId;
      if (i == 2) {  // a guest's track, titled the xmcd way
        job.TrackInfo.TrackArtist = "Guest";
        job.TrackInfo.Title = "Guest / " + job.Title;
      }
      job.OutputPath = BuildOutputPathFor(folder, job.Title, format);
      Jobs.push_back(job);
    }
    ASSERT_TRUE(Start());
    for (const TFileParam& job : Jobs)
      ASSERT_EQ(job.State, jsDone) << View.Messages.join("\n").toStdString();
  }
  static QString BuildOutputPathFor(const QString& folder, const QString& name, int32_t format) {
    return folder + "/" + name + FileFormat(format).Extension;
  }

  testutil::TTempFolder Temp;
  TConfig Settings;
  testutil::TDiscImage Image;
  TLameCoder Coder;
  TCDRIP CDRIP;
  TQuietView View;
  TConvSession Engine{CDRIP, Coder, View};
  TRipPlan Plan;
  TJobList& Jobs = Plan.Jobs;
  bool Start() {
    testutil::MakePlan(Plan, CDRIP, Settings);
    return Engine.StartSession(Plan);
  }
  platform::TScriptedMessageBoxes Boxes;
  QString ReleaseId = "release-1";  // no MBID: no cover is fetched
};

// The front cover embedded in the file, read by TagLib; empty for none.
QByteArray EmbeddedCover(const QString& path, int32_t format) {
  const QByteArray name = QFile::encodeName(path);
  TagLib::ByteVector data;
  if (format == ofFLAC) {
    TagLib::FLAC::File file(name.constData());
    for (const TagLib::FLAC::Picture* picture : file.pictureList())
      if (picture->type() == TagLib::FLAC::Picture::FrontCover) data = picture->data();
  } else if (format == ofOpus) {
    TagLib::Ogg::Opus::File file(name.constData());
    for (const TagLib::FLAC::Picture* picture : file.tag()->pictureList())
      if (picture->type() == TagLib::FLAC::Picture::FrontCover) data = picture->data();
  } else {
    TagLib::MPEG::File file(name.constData());
    if (file.hasID3v2Tag())
      for (TagLib::ID3v2::Frame* frame : file.ID3v2Tag()->frameList("APIC")) {
        auto* picture = static_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover)
          data = picture->picture();
      }
  }
  return QByteArray(data.data(), int(data.size()));
}

}  // namespace

TEST_F(Formats, FlacGivesBackTheImageByteForByteWithItsTagsAndLoudness) {
  for (const bool onTheFly : {true, false}) {
    const QString folder = Temp.File(QString("flac%1").arg(onTheFly));
    Run(ofFLAC, onTheFly, folder);
    QString albumGain;
    for (size_t i = 0; i < Jobs.size(); ++i) {
      const QString path = Jobs[i].OutputPath;
      QByteArray pcm;
      ASSERT_EQ(RunProgram("flac",
                           {"-d", "-s", "-c", "--force-raw-format", "--endian=little",
                            "--sign=signed", path},
                           &pcm),
                0);
      EXPECT_TRUE(pcm == Image.TrackPcm(int(i) + 1)) << "on the fly " << onTheFly << ", " << i;
      // flac -t checks every frame against the MD5 of the audio in STREAMINFO.
      EXPECT_EQ(RunProgram("flac", {"-t", "-s", path}), 0);
      QByteArray blocks;
      RunProgram("metaflac", {"--list", "--block-type=SEEKTABLE", path}, &blocks);
      EXPECT_TRUE(blocks.contains("SEEKTABLE")) << path.toStdString();

      QByteArray tags;
      ASSERT_EQ(RunProgram("metaflac", {"--export-tags-to=-", path}, &tags), 0);
      const QStringList lines = QString::fromUtf8(tags).split('\n', Qt::SkipEmptyParts);
      for (const QString& line :
           {QString("TITLE=Song %1").arg(i + 1), QString("TRACKNUMBER=%1").arg(i + 1),
            QString("TRACKTOTAL=3"), QString("ARTIST=") + (i == 2 ? "Guest" : "The Artist"),
            QString("ALBUMARTIST=The Artist"), QString("ALBUM=The Album"), QString("DATE=2001"),
            QString("GENRE=Rock"), QString("ISRC=GBAYE010000%1").arg(i),
            QString("MUSICBRAINZ_TRACKID=rec-%1").arg(i), QString("MUSICBRAINZ_ALBUMID=release-1")})
        EXPECT_TRUE(lines.contains(line)) << line.toStdString() << " in\n" << tags.toStdString();
      const auto value = [&lines](const QString& name) {
        const QStringList found = lines.filter(QRegularExpression("^" + name + "="));
        return found.isEmpty() ? QString() : found[0].section('=', 1);
      };
      // ReplayGain 2.0: -18 LUFS by another meter, within 0.1 dB.
      EXPECT_NEAR(GainValue(value("REPLAYGAIN_TRACK_GAIN")), -18 - FfmpegLoudness(path), 0.1);
      EXPECT_GT(value("REPLAYGAIN_TRACK_PEAK").toDouble(), 0.05);
      EXPECT_LE(value("REPLAYGAIN_TRACK_PEAK").toDouble(), 1.0);
      // Every track carries the one album value, written after the last encoder finished.
      if (i == 0) albumGain = value("REPLAYGAIN_ALBUM_GAIN");
      EXPECT_FALSE(albumGain.isEmpty());
      EXPECT_EQ(value("REPLAYGAIN_ALBUM_GAIN"), albumGain);
    }
    // The album measured as one programme: the tracks' PCM end to end.
    const QString whole = Temp.File("album.wav");
    QByteArray pcm;
    for (int i = 1; i <= int(Jobs.size()); ++i) pcm += Image.TrackPcm(i);
    testutil::WriteFile(whole + ".raw", pcm);
    ASSERT_EQ(RunProgram("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "s16le", "-ar", "44100",
                                    "-ac", "2", "-i", whole + ".raw", whole}),
              0);
    EXPECT_NEAR(GainValue(albumGain), -18 - FfmpegLoudness(whole), 0.1);
  }
}

// "Enable ID3Tag" is MP3's setting: FLAC and Opus files keep their tags.
TEST_F(Formats, TheId3TagSettingLeavesFlacAndOpusTagged) {
  Settings.EnableID3Tag = false;
  for (const int32_t format : {ofFLAC, ofOpus}) {
    Run(format, true, Temp.File(QString("untagged%1").arg(format)));
    const auto tags = ProbeTags(Jobs[0].OutputPath);
    EXPECT_EQ(tags.count("TITLE") ? tags.at("TITLE") : "", "Song 1") << format;
    EXPECT_EQ(tags.count("ALBUM") ? tags.at("ALBUM") : "", "The Album") << format;
  }
}

TEST_F(Formats, OpusDecodesToTheTracksExactLengthWithR128Gains) {
  for (const bool onTheFly : {true, false}) {
    Run(ofOpus, onTheFly, Temp.File(QString("opus%1").arg(onTheFly)));
    for (size_t i = 0; i < Jobs.size(); ++i) {
      const QString path = Jobs[i].OutputPath;
      const QString raw = path + ".raw";
      ASSERT_EQ(RunProgram("opusdec", {"--quiet", "--rate", "48000", path, raw}), 0);
      // 588 frames a sector at 44.1 kHz are 640 at 48 kHz.
      EXPECT_EQ(QFileInfo(raw).size(), qint64(kTrackSectors[i]) * 640 * 4)
          << "on the fly " << onTheFly << ", track " << i + 1;
      const auto tags = ProbeTags(path);
      EXPECT_EQ(tags.count("TITLE") ? tags.at("TITLE") : "", QString("Song %1").arg(i + 1));
      EXPECT_EQ(tags.count("TRACKTOTAL") ? tags.at("TRACKTOTAL") : "", "3");
      ASSERT_TRUE(tags.count("R128_TRACK_GAIN") && tags.count("R128_ALBUM_GAIN"));
      EXPECT_FALSE(tags.count("REPLAYGAIN_TRACK_GAIN"));
      // Q7.8 relative to -23 LUFS, measured on the track's PCM by another meter.
      const QString wav = path + ".wav";
      testutil::WriteFile(wav + ".raw", Image.TrackPcm(int(i) + 1));
      ASSERT_EQ(RunProgram("ffmpeg", {"-nostdin", "-v", "error", "-y", "-f", "s16le", "-ar",
                                      "44100", "-ac", "2", "-i", wav + ".raw", wav}),
                0);
      EXPECT_NEAR(tags.at("R128_TRACK_GAIN").toInt() / 256.0, -23 - FfmpegLoudness(wav), 0.1);
    }
  }
}

TEST_F(Formats, AFullDiskFailsTheFlacOrOpusTrackAloneAndNamesTheReason) {
  for (const int32_t format : {ofFLAC, ofOpus}) {
    const QString folder = Temp.File(QString("full%1").arg(format));
    // The second track goes to a file system with no room for it.
    const QString full = folder + "/full";
    ASSERT_TRUE(QDir().mkpath(full));
    if (geteuid() != 0 ||
        testutil::RunProgram("mount", {"-t", "tmpfs", "-o", "size=4k", "t", full}))
      GTEST_SKIP() << "a tmpfs can be mounted only as root";
    const auto unmount = qScopeGuard([&full] { testutil::RunProgram("umount", {full}); });
    Settings.OutputFormat = format;
    Settings.OnTheFly = true;
    Jobs.clear();
    for (int i = 0; i < 3; ++i) {
      TFileParam job;
      job.TrackInfo.TrackIndex = i;
      job.Title = QString("Song %1").arg(i + 1);
      job.OutputPath = BuildOutputPathFor(i == 1 ? full : folder, job.Title, format);
      Jobs.push_back(job);
    }
    ASSERT_TRUE(Start());
    EXPECT_EQ(Jobs[0].State, jsDone);
    EXPECT_EQ(Jobs[1].State, jsError);
    EXPECT_EQ(Jobs[2].State, jsDone);
    EXPECT_TRUE(
        QDir(full).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty())
        << "a cut file stays, format " << format;
    // The encoder's own error says why.
    QFile devFull("/dev/full");
    ASSERT_TRUE(devFull.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    TEncoderSettings settings;
    settings.Format = format;
    auto encoder = MakeEncoder(settings, Coder);
    const std::vector<int16_t> frames(2 * 44100, 1000);
    try {
      encoder->Begin(devFull, 44100);
      encoder->Write(frames.data(), 44100);
      encoder->End();
      ADD_FAILURE() << "no error on a full disk, format " << format;
    } catch (const EEncoderError& error) {
      EXPECT_TRUE(error.Message().contains("No space left on device")) << error.what();
    }
  }
}

TEST_F(Formats, AFlacVerifyFailureIsAnErrorAndLeavesNoFile) {
  Settings.OutputFormat = ofFLAC;
  Settings.EncoderThreads = 1;  // the flag is the whole process's
  const QString folder = Temp.File("verify");
  ASSERT_TRUE(QDir().mkpath(folder));
  for (const bool onTheFly : {true, false}) {
    Settings.OnTheFly = onTheFly;
    Jobs.clear();
    TFileParam job;
    job.TrackInfo.TrackIndex = 1;
    job.Title = "Song";
    job.OutputPath = folder + "/Song.flac";
    Jobs.push_back(job);
    View.Messages.clear();
    gCorruptVerify = true;
    Start();
    gCorruptVerify = false;
    EXPECT_EQ(Jobs[0].State, jsError) << "on the fly " << onTheFly;
    EXPECT_TRUE(View.Messages.join("\n").contains("FLAC verification failed"))
        << View.Messages.join("\n").toStdString();
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty())
        << QDir(folder).entryList(QDir::Files | QDir::Hidden).join(" ").toStdString();
  }
}

// A real picture of 64 x 48 made by a peer.
QByteArray PeerJpeg(const QString& path) {
  EXPECT_EQ(RunProgram("ffmpeg", {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                  "color=c=red:s=64x48", "-frames:v", "1", path}),
            0);
  return ReadFile(path);
}

TEST_F(Formats, TheFoldersCoverIsEmbeddedByteForByteAndANonImageIsOneSummaryLine) {
  const QByteArray jpeg = PeerJpeg(Temp.File("red.jpg"));
  const QString folder = Temp.File("covered");
  ASSERT_TRUE(QDir().mkpath(folder));
  testutil::WriteFile(folder + "/cover.jpg", jpeg);
  Run(ofFLAC, true, folder);
  for (const TFileParam& job : Jobs) {
    const QString exported = job.OutputPath + ".jpg";
    ASSERT_EQ(RunProgram("metaflac", {"--export-picture-to=" + exported, job.OutputPath}), 0);
    EXPECT_TRUE(ReadFile(exported) == jpeg) << job.OutputPath.toStdString();
  }
  // The picture block states what the image is.
  QByteArray blocks;
  RunProgram("metaflac", {"--list", "--block-type=PICTURE", Jobs[0].OutputPath}, &blocks);
  EXPECT_TRUE(blocks.contains("width: 64\n  height: 48\n  depth: 24\n  colors: 0"))
      << blocks.constData();
  EXPECT_TRUE(View.Messages.isEmpty()) << View.Messages.join("\n").toStdString();

  const QString other = Temp.File("notcovered");
  ASSERT_TRUE(QDir().mkpath(other));
  testutil::WriteFile(other + "/cover.jpg", "\xFF\xD8\xFF<html>not found</html>");
  Run(ofOpus, true, other);
  // The tracks are whole: a note, not an error.
  EXPECT_TRUE(View.Messages.isEmpty());
  EXPECT_EQ(View.Notes, QStringList{"No cover embedded: \"" + other +
                                    "/cover.jpg\" holds a JPEG image that cannot be read."});
  EXPECT_FALSE(ProbeTags(Jobs[0].OutputPath).count("METADATA_BLOCK_PICTURE"));
}

// A cover beside the tracks is embedded where the folder is the album's: the
// naming rule gives each album its own, or no other album's tracks lie there.
// In a folder that albums share, an earlier album's cover is not this one's,
// and the archive's cover of this one is embedded but not saved there.
TEST_F(Formats, AFolderCoverIsEmbeddedAndSavedOnlyWhereTheFolderIsTheAlbums) {
  const QByteArray jpeg = PeerJpeg(Temp.File("red.jpg"));
  const struct {
    QString Rule;
    QStringList Beside;
    bool Embedded;
  } cases[] = {{"<title>", {"Song 1.flac", "Song 2 (suspect 2).FLAC", "The Album.log"}, true},
               {"<title>", {"Other Song.mp3"}, false},
               {"<album> <title>", {"Other Song.mp3"}, false},
               {"<artist>/<album>/<title>", {"Other Song.mp3"}, true}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const QString folder = Temp.File(QString("shared%1").arg(i));
    testutil::WriteFile(folder + "/cover.jpg", jpeg);
    for (const QString& name : cases[i].Beside) testutil::WriteFile(folder + "/" + name, "audio");
    Settings.NamingString = cases[i].Rule;
    View.Notes.clear();
    Run(ofFLAC, true, folder);
    const bool embedded = cases[i].Embedded;
    for (const TFileParam& job : Jobs)
      EXPECT_EQ(EmbeddedCover(job.OutputPath, ofFLAC) == jpeg, embedded) << i;
    EXPECT_EQ(View.Notes, embedded ? QStringList()
                                   : QStringList{"No cover embedded: the cover in \"" + folder +
                                                 "\" may be another album's, whose tracks lie "
                                                 "there."});
  }

  testutil::TTestServer archive([&jpeg](QTcpSocket* socket, const QByteArray&) {
    socket->write("HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + jpeg);
    socket->disconnectFromHost();
  });
  Settings.CoverArtServer = archive.Url("/");
  ReleaseId = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";
  Settings.NamingString = "<title>";
  const QString shared = Temp.File("sharedwithout");
  testutil::WriteFile(shared + "/Other Song.mp3", "audio");
  Run(ofFLAC, true, shared);
  EXPECT_TRUE(EmbeddedCover(Jobs[0].OutputPath, ofFLAC) == jpeg);
  EXPECT_FALSE(QFileInfo::exists(shared + "/cover.jpg"));
}

// The archive answers with a redirect to its image host, as the public one
// does; the image is a real JPEG. Each format embeds it byte for byte, the
// folder gets it as cover.jpg unless it has one, and an answer that is no
// image or too large leaves the tracks done without a cover and says so once.
TEST_F(Formats, TheArchivesCoverIsEmbeddedSavedOnceAndABadOneIsOneSummaryLine) {
  const QByteArray jpeg = PeerJpeg(Temp.File("red.jpg"));
  ASSERT_TRUE(jpeg.startsWith("\xFF\xD8\xFF"));
  QByteArray served;
  testutil::TTestServer images([&served](QTcpSocket* socket, const QByteArray&) {
    socket->write("HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + served);
    socket->disconnectFromHost();
  });
  testutil::TTestServer archive(testutil::TTestServer::Reply(
      "HTTP/1.0 307 Temporary Redirect\r\nLocation: " + images.Url("/img/1.jpg").toUtf8() +
      "\r\nContent-Length: 9\r\n\r\nSee there"));
  Settings.CoverArtServer = archive.Url("/");
  ReleaseId = "0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d";

  served = jpeg;
  const QString kept = Temp.File("kept");
  ASSERT_TRUE(QDir().mkpath(kept));
  // Not an image: no line, since the archive's cover is the one embedded.
  const QByteArray own("the user's own");
  testutil::WriteFile(kept + "/cover.jpg", own);
  for (const int32_t format : {ofFLAC, ofOpus, ofMP3}) {
    const QString folder = format == ofOpus ? kept : Temp.File(QString("art%1").arg(format));
    Run(format, true, folder);
    for (const TFileParam& job : Jobs)
      EXPECT_TRUE(EmbeddedCover(job.OutputPath, format) == jpeg) << job.OutputPath.toStdString();
    EXPECT_TRUE(ReadFile(folder + "/cover.jpg") == (format == ofOpus ? own : jpeg)) << format;
    EXPECT_TRUE(View.Messages.isEmpty()) << View.Messages.join("\n").toStdString();
  }
  EXPECT_EQ(archive.RequestLine(0), "GET /release/" + ReleaseId + "/front-500 HTTP/1.1");
  // Independent readers of the FLAC picture and the MP3 APIC frame.
  const QString flac = Temp.File(QString("art%1/Song 1.flac").arg(ofFLAC));
  ASSERT_EQ(RunProgram("metaflac", {"--export-picture-to=" + flac + ".jpg", flac}), 0);
  EXPECT_TRUE(ReadFile(flac + ".jpg") == jpeg);
  const QString mp3 = Temp.File(QString("art%1/Song 1.mp3").arg(ofMP3));
  ASSERT_EQ(RunProgram("ffmpeg", {"-nostdin", "-v", "error", "-i", mp3, "-an", "-c:v", "copy", "-f",
                                  "image2", mp3 + ".jpg"}),
            0);
  EXPECT_TRUE(ReadFile(mp3 + ".jpg") == jpeg);

  // A PNG whose header claims 100000 x 100000 pixels, its checksum right.
  QByteArray header = QByteArray::fromHex("000186a0000186a00802000000");
  header.prepend("IHDR");
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(header.constData()), header.size());
  const QByteArray huge =
      "\x89PNG\r\n\x1A\n" + QByteArray::fromHex("0000000d") + header +
      QByteArray::fromHex(QByteArray::number(qulonglong(crc), 16).rightJustified(8, '0'));
  const std::pair<QByteArray, QString> bad[] = {
      {"<html>Not an image</html>", "sent no JPEG or PNG image."},
      {"\xFF\xD8\xFF<html>Not an image</html>", "sent a JPEG image that cannot be read."},
      // No length, and the connection ends halfway, as a reset does.
      {jpeg.left(jpeg.size() / 2), "sent a cut JPEG image."},
      {huge + QByteArray(64, '\0'), "sent a PNG image of outsized dimensions."},
      {"\xFF\xD8\xFF" + QByteArray(kMaxCoverBytes, 'x'), "sent an image larger than 10 MB."}};
  for (const auto& [body, line] : bad) {
    served = body;
    View.Notes.clear();
    const QString folder = Temp.File(QString("bad%1").arg(body.size()));
    Run(ofFLAC, true, folder);
    EXPECT_TRUE(View.Messages.isEmpty());
    EXPECT_EQ(View.Notes, QStringList{"No cover embedded: the Cover Art Archive " + line});
    EXPECT_TRUE(EmbeddedCover(Jobs[0].OutputPath, ofFLAC).isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folder + "/cover.jpg"));
  }
}

TEST(WavEncoder, WritesTheFramesUnderAHeaderThatSoxReadsAsTheirLength) {
  testutil::TTempFolder temp;
  const QString path = temp.File("t.wav");
  std::vector<int16_t> frames(2 * 1000);
  for (size_t i = 0; i < frames.size(); ++i) frames[i] = int16_t(i * 31);
  {
    QFile output(path);
    ASSERT_TRUE(output.open(QIODevice::WriteOnly));
    auto encoder = MakeEncoder(TEncoderSettings{ofWAV}, TLameCoder());
    encoder->Begin(output, 0);
    encoder->Write(frames.data(), 600);
    encoder->Write(frames.data() + 1200, 400);
    encoder->End();
  }
  QByteArray samples;
  ASSERT_EQ(RunProgram("soxi", {"-s", path}, &samples), 0);
  EXPECT_EQ(samples.trimmed(), "1000");
  EXPECT_TRUE(ReadFile(path).mid(44) ==
              QByteArray(reinterpret_cast<const char*>(frames.data()), 4000));
}

// Each format's writer, read back by TagLib and by ffprobe; text goes in as
// given, long or with control characters, and an MP3 keeps its ID3v1.1 tag.
TEST(Tags, EveryFieldReadsBackExactlyInEachFormat) {
  testutil::TTempFolder temp;
  TTrackTags tags;
  tags.Title = QString::fromUtf8("Tr\xc3\xa4umerei\t\x01 (Live)");
  tags.Artist = "The Artist";
  tags.Album = "The Album";
  tags.AlbumArtist = "Various";
  tags.Date = "1999";
  tags.Genre = "Jazz";
  tags.Comment = QString(10000, 'c');
  tags.Isrc = "USABC9900001";
  tags.TrackNumber = 4;
  tags.TrackTotal = 12;
  tags.DiscNumber = 1;
  tags.DiscTotal = 2;
  tags.MusicBrainzAlbumId = "11111111-2222-3333-4444-555555555555";
  tags.MusicBrainzReleaseGroupId = "22222222-2222-3333-4444-555555555555";
  tags.MusicBrainzTrackId = "33333333-2222-3333-4444-555555555555";
  tags.MusicBrainzAlbumArtistIds = {"44444444-2222-3333-4444-555555555555"};
  tags.ArtistSort = "Artist, The";
  tags.AlbumArtistSort = "Various Sort";
  tags.OriginalDate = "1971-02";
  tags.Encoder = "Cadenzo 9.9";
  tags.Compilation = true;
  tags.Label = QString::fromUtf8("\xd0\x9c\xd0\xb5\xd0\xbb\xd0\xbe\xd0\xb4\xd0\xb8\xd1\x8f");
  tags.CatalogNumber = "CAT 1";
  tags.Barcode = "4601234567890";
  tags.ReleaseCountry = "XE";
  tags.MusicBrainzReleaseTrackId = "55555555-2222-3333-4444-555555555555";
  tags.MusicBrainzArtistIds = {"66666666-2222-3333-4444-555555555555",
                               "77777777-2222-3333-4444-555555555555"};
  tags.MusicBrainzDiscId = "lwHl8fGzJyLXQR33ug60E8jhf4k-";
  tags.TrackGain = TReplayGain{-6.5, 0.75};
  tags.AlbumGain = TReplayGain{-7.25, 0.875};
  TLameCoder coder;
  const std::vector<int16_t> frames(2 * 44100, 0);
  for (const int32_t format : {ofMP3, ofFLAC, ofOpus}) {
    const QString path = temp.File(QString("t%1").arg(format));
    {
      QFile output(path);
      ASSERT_TRUE(output.open(QIODevice::WriteOnly));
      TEncoderSettings settings;
      settings.Format = format;
      auto encoder = MakeEncoder(settings, coder);
      encoder->Begin(output, 44100);
      encoder->Write(frames.data(), 44100);
      encoder->End();
    }
    QByteArray id3v1;
    if (format == ofMP3) {
      TMPEGAudio v1;
      v1.ResetData();
      v1.SetFileName(path);
      v1.SetTitle("Old title");
      ASSERT_EQ(v1.SaveTag(), 0);
      id3v1 = ReadFile(path).right(TMPEGAudio::kTagSize);
    }
    ASSERT_EQ(WriteTags(path, format, tags), "") << format;

    const TagLib::FileRef file(QFile::encodeName(path).constData());
    ASSERT_FALSE(file.isNull()) << format;
    const TagLib::PropertyMap properties = file.file()->properties();
    const auto property = [&properties](const char* name) {
      return properties.contains(name)
                 ? QString::fromStdString(properties[name].toString("|").to8Bit(true))
                 : QString();
    };
    EXPECT_EQ(property("TITLE"), tags.Title) << format;
    EXPECT_EQ(property("COMMENT"), tags.Comment) << format;
    EXPECT_EQ(property("ALBUMARTIST"), "Various") << format;
    EXPECT_EQ(property("ISRC"), "USABC9900001") << format;
    EXPECT_EQ(property("MUSICBRAINZ_ALBUMID"), tags.MusicBrainzAlbumId) << format;
    EXPECT_EQ(property("MUSICBRAINZ_RELEASEGROUPID"), tags.MusicBrainzReleaseGroupId) << format;
    EXPECT_EQ(property("MUSICBRAINZ_TRACKID"), tags.MusicBrainzTrackId) << format;
    EXPECT_EQ(property("MUSICBRAINZ_ALBUMARTISTID"), tags.MusicBrainzAlbumArtistIds[0]) << format;

    const auto probe = ProbeTags(path);
    const auto probed = [&probe](const char* name) {
      return probe.count(name) ? probe.at(name) : QString();
    };
    EXPECT_EQ(probed("TITLE"), tags.Title) << format;
    EXPECT_EQ(probed("ARTIST"), "The Artist") << format;
    EXPECT_EQ(probed("ALBUM"), "The Album") << format;
    EXPECT_EQ(probed("GENRE"), "Jazz") << format;
    EXPECT_EQ(probed("DATE"), "1999") << format;
    // ffprobe's names: the Vorbis comment's, or what it makes of an ID3v2.4 frame.
    const bool mp3 = format == ofMP3;
    const std::pair<const char*, QString> fields[] = {
        {mp3 ? "ARTIST-SORT" : "ARTISTSORT", tags.ArtistSort},
        {mp3 ? "TSO2" : "ALBUMARTISTSORT", tags.AlbumArtistSort},
        {mp3 ? "TDOR" : "ORIGINALDATE", tags.OriginalDate},
        {"COMPILATION", "1"},
        {mp3 ? "PUBLISHER" : "LABEL", tags.Label},
        {"CATALOGNUMBER", tags.CatalogNumber},
        {"BARCODE", tags.Barcode},
        {mp3 ? "MUSICBRAINZ ALBUM RELEASE COUNTRY" : "RELEASECOUNTRY", tags.ReleaseCountry},
        {mp3 ? "MUSICBRAINZ RELEASE TRACK ID" : "MUSICBRAINZ_RELEASETRACKID",
         tags.MusicBrainzReleaseTrackId},
        {mp3 ? "MUSICBRAINZ DISC ID" : "MUSICBRAINZ_DISCID", tags.MusicBrainzDiscId},
    };
    for (const auto& [name, value] : fields) EXPECT_EQ(probed(name), value) << name << format;
    // Every artist of the credit, and the program in its own field.
    EXPECT_EQ(property("MUSICBRAINZ_ARTISTID"), tags.MusicBrainzArtistIds.join('|')) << format;
    EXPECT_EQ(property(mp3 ? "ENCODING" : "ENCODER"), tags.Encoder) << format;
    if (!mp3)
      EXPECT_EQ(probed("MUSICBRAINZ_ARTISTID"), tags.MusicBrainzArtistIds.join(';')) << format;
    if (format == ofMP3) {
      EXPECT_EQ(probed("TRACK"), "4/12");
      EXPECT_EQ(probed("DISC"), "1/2");
      EXPECT_EQ(probed("REPLAYGAIN_TRACK_GAIN"), "-6.50 dB");
      EXPECT_EQ(probed("REPLAYGAIN_ALBUM_PEAK"), "0.875000");
      EXPECT_EQ(ReadFile(path).left(4), QByteArray("ID3\x04", 4));
      EXPECT_TRUE(ReadFile(path).right(TMPEGAudio::kTagSize) == id3v1);
    } else {
      EXPECT_EQ(probed("TRACKNUMBER").isEmpty() ? probed("TRACK") : probed("TRACKNUMBER"), "4");
      EXPECT_EQ(property("TRACKTOTAL"), "12");
      EXPECT_EQ(property("DISCNUMBER"), "1");
    }
    if (format == ofFLAC) {
      EXPECT_EQ(property("REPLAYGAIN_TRACK_GAIN"), "-6.50 dB");
      EXPECT_EQ(property("REPLAYGAIN_TRACK_PEAK"), "0.750000");
      EXPECT_EQ(property("REPLAYGAIN_ALBUM_GAIN"), "-7.25 dB");
    }
    if (format == ofOpus) {
      EXPECT_EQ(property("R128_TRACK_GAIN"), QString::number(int(-11.5 * 256)));
      EXPECT_EQ(property("R128_ALBUM_GAIN"), QString::number(int(-12.25 * 256)));
      EXPECT_EQ(property("REPLAYGAIN_TRACK_GAIN"), "");
    }
  }
}
