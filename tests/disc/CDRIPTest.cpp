// TCDRIP through the real CD-reading library on generated disc images: drive
// selection, the track list, playback helpers, and rips to PCM, WAV and MP3
// judged against the image's PCM and by mpg123 and ffprobe.
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <climits>
#include <cmath>

#include "common/DiscImage.h"
#include "common/TestUtil.h"
#include "disc/CDRIP.h"
#include "encode/LameCoder.h"

using namespace testutil;

namespace {

constexpr int kSectorBytes = 2352;
constexpr int kMp3FrameSamples = 1152;

QByteArray WavHeader(int channels, int rate, uint32_t dataSize) {
  QByteArray header;
  QDataStream out(&header, QIODevice::WriteOnly);
  out.setByteOrder(QDataStream::LittleEndian);
  out.writeRawData("RIFF", 4);
  out << quint32(dataSize + 36);
  out.writeRawData("WAVEfmt ", 8);
  out << quint32(16) << quint16(1) << quint16(channels) << quint32(rate)
      << quint32(channels * rate * 2) << quint16(channels * 2) << quint16(16);
  out.writeRawData("data", 4);
  out << quint32(dataSize);
  return header;
}

// Decoded 16-bit PCM of an MP3 file, empty when mpg123 cannot decode it.
QByteArray DecodeMp3(const QString& path) {
  QByteArray pcm;
  EXPECT_EQ(RunProgram("mpg123", {"-q", "-s", path}, &pcm), 0) << path.toStdString();
  return pcm;
}

// ffprobe's stream and format fields, such as bit_rate, channels, duration.
QMap<QString, QString> Probe(const QString& path) {
  QByteArray out;
  EXPECT_EQ(RunProgram("ffprobe",
                       {"-v", "error", "-show_entries",
                        "stream=bit_rate,channels,sample_rate:format=duration", "-of",
                        "default=nw=1", path},
                       &out),
            0);
  QMap<QString, QString> fields;
  for (const QString& line : QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts))
    fields.insert(line.section('=', 0, 0), line.section('=', 1));
  return fields;
}

// Signal-to-noise ratio in dB of decoded against original 16-bit PCM.
double SnrDb(const QByteArray& original, const QByteArray& decoded) {
  const auto* a = reinterpret_cast<const int16_t*>(original.constData());
  const auto* b = reinterpret_cast<const int16_t*>(decoded.constData());
  const qsizetype n = std::min(original.size(), decoded.size()) / 2;
  double signal = 0, noise = 0;
  for (qsizetype i = 0; i < n; ++i) {
    signal += double(a[i]) * a[i];
    noise += double(a[i] - b[i]) * (a[i] - b[i]);
  }
  return 10 * std::log10(signal / std::max(noise, 1.0));
}

class CDRIPTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Image = MakeDiscImage(Folder.File("discs"), "disc", {100, 160, 75});
    IniPath = Folder.File("cdrip.ini");
  }

  // Starts the library on an ini listing the images and selects the first image.
  void Start(const QString& faults = QString(), const QStringList& images = {}) {
    const QStringList listed = images.isEmpty() ? QStringList{Image.CuePath} : images;
    WriteCdripIni(IniPath, listed, faults);
    ASSERT_EQ(CR_Init(IniPath.toUtf8().constData()), CDRIP_OK);
    FirstImage = CR_GetNumCDROM() - int(listed.size());
    Rip.SetCDRomNum(FirstImage);
    ASSERT_EQ(Rip.CDRomNum(), FirstImage);
  }

  void SetFaults(const QString& faults) { WriteCdripIni(IniPath, {Image.CuePath}, faults); }

  TTempFolder Folder;
  TDiscImage Image;
  QString IniPath;
  int FirstImage = 0;
  TCDRIP Rip;
};

TEST_F(CDRIPTest, StartsUnselectedAndSelectsADriveWithItsToc) {
  EXPECT_EQ(Rip.CDRomNum(), -1);
  EXPECT_EQ(Rip.CDRomName(), "UNKNOWN");
  EXPECT_EQ(Rip.InitFile(), ".\\cdrip.ini");
  EXPECT_EQ(Rip.Version(), "115");
  EXPECT_EQ(Rip.OutputFormat(), TOutputFormat::STEREO44100);

  std::vector<int> lengths = {4600, 80, 20, 30, 40, 50, 60, 70, 75, 76, 150, 151};
  const TDiscImage twelve = MakeDiscImage(Folder.File("discs"), "twelve", lengths);
  Start({}, {Image.CuePath, twelve.CuePath});
  EXPECT_EQ(Rip.CDRomName(), "disc.cue (image)");
  EXPECT_EQ(Rip.TrackCount(), 3);

  Rip.SetCDRomNum(FirstImage + 1);
  EXPECT_EQ(Rip.CDRomName(), "twelve.cue (image)");
  ASSERT_EQ(Rip.TrackCount(), 12);
  ASSERT_EQ(Rip.TrackList().size(), 12u);
  EXPECT_EQ(Rip.TrackList()[0].Text, "Track01");
  EXPECT_EQ(Rip.TrackList()[11].Text, "Track12");
  const TTrack& first = Rip.TrackList()[0].Track;
  EXPECT_EQ(first.TrackNum, 1);
  EXPECT_EQ(first.StartSector, 0);
  EXPECT_EQ(first.EndSector, 4600);
  EXPECT_EQ(first.LengthMin, 1);
  EXPECT_EQ(first.LengthSec, 1);
  EXPECT_EQ(first.LengthFrame, 25);
  EXPECT_EQ(first.LengthSeconds, 61);
  EXPECT_EQ(first.LengthBytes, 4600 * kSectorBytes);
  EXPECT_EQ(first.TrackType, "Audio");
  const TTrack& last = Rip.TrackList()[11].Track;
  EXPECT_EQ(last.StartSector, twelve.Starts[11]);
  EXPECT_EQ(last.EndSector, twelve.Starts[12]) << "the last track ends at the lead-out";
  EXPECT_EQ(last.StartMin, twelve.Starts[11] / 4500);
  EXPECT_EQ(last.StartSec, twelve.Starts[11] % 4500 / 75);
  EXPECT_EQ(last.StartFrame, twelve.Starts[11] % 75);
  EXPECT_EQ(last.LengthSeconds, 2);
}

TEST_F(CDRIPTest, DataTracksAreNamedData) {
  // libcdio finds an image's .bin by the cue sheet's name.
  ASSERT_TRUE(QFile::copy(Image.BinPath, Folder.File("discs/mixed.bin")));
  WriteFile(Folder.File("discs/mixed.cue"),
            "FILE \"mixed.bin\" BINARY\r\n  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
            "  TRACK 02 MODE1/2352\r\n    INDEX 01 00:02:00\r\n");
  Start({}, {Folder.File("discs/mixed.cue")});
  ASSERT_EQ(Rip.TrackCount(), 2);
  EXPECT_EQ(Rip.TrackList()[0].Track.TrackType, "Audio");
  EXPECT_EQ(Rip.TrackList()[1].Track.TrackType, "Data");
}

TEST_F(CDRIPTest, ReselectingTheActiveDriveAndRefusedIndexesChangeNothing) {
  Start();
  SetFaults("[Image0]\r\nNotReady=1\r\n");
  Rip.SetCDRomNum(FirstImage);
  EXPECT_EQ(Rip.TrackCount(), 3) << "no TOC was read again";
  Rip.SetCDRomNum(FirstImage + 5);
  EXPECT_EQ(Rip.CDRomNum(), FirstImage);
  EXPECT_FALSE(Rip.IsUnitReady());
  EXPECT_EQ(Rip.ReadToc(), 0);
  EXPECT_TRUE(Rip.TrackList().empty());
  SetFaults({});
  EXPECT_TRUE(Rip.IsUnitReady());
  EXPECT_EQ(Rip.ReadToc(), 3);
}

TEST_F(CDRIPTest, WavRipsHoldTheImagePcmBehindAnExactHeader) {
  Start();
  Rip.SetWriteWAV(true);
  for (int jitterCorrection : {-1, 0}) {
    Rip.Params().jitterCorrection = jitterCorrection;
    const QString wav = Folder.File(QString("j%1.wav").arg(jitterCorrection));
    Rip.RipTrack(2, wav);
    const QByteArray file = ReadFile(wav);
    EXPECT_EQ(file.left(44), WavHeader(2, 44100, 160 * kSectorBytes));
    EXPECT_EQ(file.mid(44), Image.TrackPcm(2)) << "jitter correction " << jitterCorrection;
  }

  Rip.RipSection(50, 50, Folder.File("empty.wav"));
  EXPECT_EQ(ReadFile(Folder.File("empty.wav")), WavHeader(2, 44100, 0));

  Rip.SetWriteWAV(false);
  Rip.RipSection(20, 130, Folder.File("raw.pcm"));
  EXPECT_EQ(ReadFile(Folder.File("raw.pcm")), Image.SectorPcm(20, 130));
}

TEST_F(CDRIPTest, ReportsProgressAndTrackEvents) {
  Start();
  std::vector<int> progress;
  std::vector<QString> events;
  Rip.OnProgress = [&](TCDRIP* sender, uint16_t percent) {
    EXPECT_EQ(sender, &Rip);
    progress.push_back(percent);
  };
  Rip.OnBeginTrack = [&](TCDRIP*, uint16_t track) {
    events.push_back(QString("begin %1").arg(track));
  };
  Rip.OnEndTrack = [&](TCDRIP*, uint16_t track) { events.push_back(QString("end %1").arg(track)); };
  Rip.RipTrack(1, Folder.File("t1.raw"));
  EXPECT_EQ(events, (std::vector<QString>{"begin 1", "end 1"}));
  ASSERT_FALSE(progress.empty());
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(progress.back(), 100);

  events.clear();
  EXPECT_THROW(Rip.RipTrack(3, "/dev/full"), ECDRIPError);
  EXPECT_EQ(events, std::vector<QString>{"begin 3"}) << "no end event after a failure";
}

TEST_F(CDRIPTest, AnAbortedRipLeavesAWavWhoseHeaderMatchesItsSamples) {
  Start();
  Rip.SetWriteWAV(true);
  int chunks = 0;
  Rip.OnProgress = [&](TCDRIP* sender, uint16_t) {
    if (++chunks == 2) sender->AbortRip();
  };
  const QString wav = Folder.File("aborted.wav");
  Rip.RipSection(0, 335, wav);
  const QByteArray file = ReadFile(wav);
  const auto dataSize = uint32_t(file.size() - 44);
  ASSERT_GT(dataSize, 0u);
  EXPECT_LT(dataSize, 335u * kSectorBytes);
  EXPECT_EQ(chunks, 2);
  EXPECT_EQ(file.left(44), WavHeader(2, 44100, dataSize));
  EXPECT_EQ(file.mid(44), Image.SectorPcm(0, int(dataSize / kSectorBytes)));

  // The flag is cleared for the next rip, and a rip started from inside one is refused.
  bool refused = false;
  Rip.OnProgress = [&](TCDRIP* sender, uint16_t) {
    try {
      sender->RipSection(0, 10, Folder.File("nested.wav"));
    } catch (const ECDRIPError&) {
      refused = true;
    }
  };
  Rip.RipSection(0, 100, wav);
  EXPECT_TRUE(refused);
  EXPECT_FALSE(QFile::exists(Folder.File("nested.wav")));
  EXPECT_EQ(ReadFile(wav).mid(44), Image.SectorPcm(0, 100));
}

TEST_F(CDRIPTest, UnreadableSectorsAreSilenceInPlaceAndReported) {
  Start("[Image0]\r\nUnreadableSectors=30,60-61\r\n");
  Rip.SetWriteWAV(true);
  const QString wav = Folder.File("holes.wav");
  EXPECT_TRUE(Rip.RipSection(0, 100, wav));
  const QByteArray file = ReadFile(wav);
  EXPECT_EQ(file.left(44), WavHeader(2, 44100, 100 * kSectorBytes));
  // Every other sector, including those of the same chunks, keeps its place.
  const QByteArray silence(kSectorBytes, '\0');
  EXPECT_EQ(file.mid(44), Image.SectorPcm(0, 30) + silence + Image.SectorPcm(31, 60) + silence +
                              silence + Image.SectorPcm(62, 100));
  EXPECT_EQ(Rip.LostSectors(), 3);
  EXPECT_EQ(Rip.JitterList(), (QStringList{"30 30", "60 61"}));
  EXPECT_EQ(ReadFile(Folder.File("holesjitt")), "30 30\r\n60 61\r\n");
  EXPECT_EQ(Rip.CreatedFile(), wav);

  // On the fly too: the MP3 decodes to the full length.
  TLameCoder coder;
  Rip.SetCoder(&coder);
  Rip.SetEncode(true);
  EXPECT_TRUE(Rip.RipSection(0, 100, Folder.File("holes.mp3")));
  EXPECT_EQ(DecodeMp3(Folder.File("holes.mp3")).size(), 100 * kSectorBytes);
  EXPECT_EQ(Rip.LostSectors(), 3);
}

TEST_F(CDRIPTest, JitterErrorsAreListedAndReportedBesideTheRip) {
  Start("[Image0]\r\nJitterSectors=5-6,250\r\n");
  Rip.SetWriteWAV(true);
  const QString wav = Folder.File("Track01.wav");
  Rip.RipSection(0, 335, wav);
  EXPECT_EQ(Rip.JitterList(), (QStringList{"5 6", "250 250"}));
  EXPECT_EQ(Rip.JitterErrors(), 2);
  EXPECT_EQ(ReadFile(Folder.File("Track01jitt")), "5 6\r\n250 250\r\n");
  EXPECT_EQ(ReadFile(wav).mid(44), Image.Pcm) << "the data of jittery chunks is kept";

  SetFaults({});
  Rip.RipSection(0, 100, Folder.File("clean.wav"));
  EXPECT_TRUE(Rip.JitterList().isEmpty());
  EXPECT_EQ(Rip.JitterErrors(), 0);
  EXPECT_FALSE(QFile::exists(Folder.File("cleanjitt")));
}

TEST_F(CDRIPTest, FailuresRaiseAndLeaveTheLibraryReadyForTheNextRip) {
  Start();
  Rip.SetWriteWAV(true);
  try {
    Rip.RipSection(0, 100, "/dev/full");
    ADD_FAILURE() << "a full disk must raise";
  } catch (const ECDRIPError& error) {
    EXPECT_EQ(error.Message(), "Write error");
  }
  EXPECT_THROW(Rip.RipSection(0, 100, Folder.File("no/such/folder/x.wav")), ECDRIPError);

  // A range the library refuses: no file and no error.
  EXPECT_FALSE(Rip.RipSection(0, 400, Folder.File("refused.wav")));
  EXPECT_FALSE(QFile::exists(Folder.File("refused.wav")));
  EXPECT_TRUE(Rip.CreatedFile().isEmpty());

  Rip.RipSection(0, 100, Folder.File("after.wav"));
  EXPECT_EQ(ReadFile(Folder.File("after.wav")).mid(44), Image.SectorPcm(0, 100));
}

TEST_F(CDRIPTest, EncodingNeedsAnEncoder) {
  Start();
  Rip.SetEncode(true);
  try {
    Rip.RipSection(0, 10, Folder.File("x.wav"));
    ADD_FAILURE() << "no encoder, no rip";
  } catch (const ECDRIPError& error) {
    EXPECT_EQ(error.Message(), "No MP3 encoder assigned");
  }
  EXPECT_FALSE(QFile::exists(Folder.File("x.mp3")));
  EXPECT_FALSE(QFile::exists(Folder.File("x.wav")));
}

TEST_F(CDRIPTest, EncodesOnTheFlyIntoAnMp3OfTheTracksLength) {
  Start();
  TLameCoder coder;
  coder.SetBitrate(192);
  Rip.SetCoder(&coder);
  Rip.SetEncode(true);
  Rip.SetWriteWAV(true);
  Rip.RipTrack(2, Folder.File("Track02.wav"));
  EXPECT_FALSE(QFile::exists(Folder.File("Track02.wav")));
  const QString mp3 = Folder.File("Track02.mp3");
  ASSERT_TRUE(QFile::exists(mp3));

  const auto fields = Probe(mp3);
  EXPECT_EQ(fields.value("bit_rate"), "192000");
  EXPECT_EQ(fields.value("channels"), "2");
  EXPECT_EQ(fields.value("sample_rate"), "44100");
  // The info frame lets the decoder trim the encoder's delay and padding, and
  // the track's last partial block is encoded too: every sample, no more.
  const QByteArray decoded = DecodeMp3(mp3);
  EXPECT_EQ(decoded.size(), 160 * kSectorBytes);
  EXPECT_GT(SnrDb(Image.TrackPcm(2), decoded), 20.0);
  EXPECT_GT(SnrDb(Image.TrackPcm(2).right(1000 * 4), decoded.right(1000 * 4)), 20.0)
      << "the tail holds the track's own last samples";

  // A name that already ends in .mp3, in any case, is kept as it is.
  Rip.RipSection(0, 75, Folder.File("Upper.MP3"));
  EXPECT_TRUE(QFile::exists(Folder.File("Upper.MP3")));
  EXPECT_FALSE(QFile::exists(Folder.File("Upper.mp3")));
}

TEST_F(CDRIPTest, VbrRipWithHeaderDecodesToTheTrackWithEveryBlockInOrder) {
  Start();
  TLameCoder coder;
  coder.SetEnableVBR(true);
  Rip.SetCoder(&coder);
  Rip.SetEncode(true);
  Rip.RipSection(0, 335, Folder.File("all.wav"));
  const QString mp3 = Folder.File("all.mp3");

  const double seconds = Probe(mp3).value("duration").toDouble();
  // ffprobe counts whole frames; mpg123 below trims to the exact length.
  EXPECT_NEAR(seconds, 335.0 / 75, 2.0 * kMp3FrameSamples / 44100);
  const QByteArray decoded = DecodeMp3(mp3);
  EXPECT_EQ(decoded.size(), 335 * kSectorBytes);
  // Lost, repeated or reordered blocks would ruin the match with the disc.
  EXPECT_GT(SnrDb(Image.Pcm, decoded), 20.0);
}

TEST_F(CDRIPTest, AnAbortedEncodingLeavesADecodableShorterMp3) {
  Start();
  TLameCoder coder;
  coder.SetEnableVBR(true);
  Rip.SetCoder(&coder);
  Rip.SetEncode(true);
  int chunks = 0;
  Rip.OnProgress = [&](TCDRIP* sender, uint16_t) {
    if (++chunks == 3) sender->AbortRip();
  };
  Rip.RipSection(0, 335, Folder.File("cut.mp3"));
  const QByteArray decoded = DecodeMp3(Folder.File("cut.mp3"));
  EXPECT_GT(decoded.size(), 0);
  EXPECT_LT(decoded.size(), 335 * kSectorBytes / 2);
  EXPECT_GT(SnrDb(Image.Pcm.left(decoded.size()), decoded), 20.0);
}

TEST_F(CDRIPTest, ARefusedEncoderFailsTheRip) {
  Start();
  TLameCoder coder;
  coder.SetBitrate(100);
  Rip.SetCoder(&coder);
  Rip.SetEncode(true);
  EXPECT_THROW(Rip.RipSection(0, 100, Folder.File("bad.mp3")), ECDRIPError);
  // The ripper was closed: the next rip runs.
  coder.SetBitrate(128);
  Rip.RipSection(0, 100, Folder.File("good.mp3"));
  EXPECT_GT(DecodeMp3(Folder.File("good.mp3")).size(), 0);
}

TEST_F(CDRIPTest, OtherOutputFormatsWriteWhatTheirHeaderStates) {
  Start();
  TLameCoder coder;
  Rip.SetCoder(&coder);
  EXPECT_EQ(coder.Mode(), TLameMode::STEREO);
  Rip.SetOutputFormat(TOutputFormat::MONO22050);
  EXPECT_EQ(coder.Mode(), TLameMode::MONO);
  EXPECT_EQ(coder.SampleRate(), 22050u);

  Rip.SetWriteWAV(true);
  Rip.RipSection(0, 100, Folder.File("mono.wav"));
  const QByteArray file = ReadFile(Folder.File("mono.wav"));
  EXPECT_EQ(file.left(44), WavHeader(1, 22050, 100 * 588));
  EXPECT_EQ(file.size(), 44 + 100 * 588);
  // Each sample averages two frames of both channels.
  const auto* source = reinterpret_cast<const int16_t*>(Image.Pcm.constData());
  const auto* mono = reinterpret_cast<const int16_t*>(file.constData() + 44);
  for (int i : {0, 1, 777, 29399})
    EXPECT_EQ(mono[i],
              (source[4 * i] + source[4 * i + 1] + source[4 * i + 2] + source[4 * i + 3]) / 4)
        << "sample " << i;

  Rip.SetEncode(true);
  Rip.RipSection(0, 150, Folder.File("mono.mp3"));
  const auto fields = Probe(Folder.File("mono.mp3"));
  EXPECT_EQ(fields.value("channels"), "1");
  EXPECT_EQ(fields.value("sample_rate"), "22050");
  EXPECT_EQ(DecodeMp3(Folder.File("mono.mp3")).size() / 2, 150 * 294);
}

TEST_F(CDRIPTest, PlaybackStepsStayWithinTheDisc) {
  Start();
  Rip.PlayTrack(1);
  EXPECT_EQ(Rip.CurrentTrack(), 1);
  EXPECT_EQ(Rip.AudioStatus() & 0xff, 0x11);
  EXPECT_TRUE(Rip.PrevTrack());
  EXPECT_EQ(Rip.CurrentTrack(), 1);
  EXPECT_TRUE(Rip.NextTrack());
  EXPECT_TRUE(Rip.NextTrack());
  EXPECT_TRUE(Rip.NextTrack());
  EXPECT_EQ(Rip.CurrentTrack(), 3);
  int32_t relative = -1, absolute = -1;
  Rip.GetPlayPosition(relative, absolute);
  EXPECT_GE(absolute, Image.Starts[2]);

  Rip.PauseResume();
  EXPECT_EQ(Rip.AudioStatus() & 0xff, 0x12);
  Rip.PauseResume();
  EXPECT_EQ(Rip.AudioStatus() & 0xff, 0x11);
  Rip.StopPlay();
  EXPECT_EQ(Rip.AudioStatus() & 0xff, 0x15);

  Rip.PlaySection(10, 14);
  EXPECT_TRUE(WaitFor([&] { return (Rip.AudioStatus() & 0xff) == 0x13; }));

  EXPECT_TRUE(Rip.EjectTray(true));
  EXPECT_FALSE(Rip.IsUnitReady());
  EXPECT_TRUE(Rip.EjectTray(false));
  EXPECT_TRUE(Rip.IsUnitReady());
  SetFaults("[Image0]\r\nEjectFails=1\r\n");
  EXPECT_FALSE(Rip.EjectTray(true));
}

TEST_F(CDRIPTest, ParametersGoToTheLibraryBeforeEveryRipAndAreSaved) {
  Start();
  Rip.Params().swapChannels = -1;
  Rip.Params().startOffset = 3;
  Rip.RipSection(0, 10, Folder.File("swapped.raw"));
  QByteArray expected = Image.SectorPcm(3, 10);
  auto* samples = reinterpret_cast<int16_t*>(expected.data());
  for (qsizetype i = 0; i + 1 < expected.size() / 2; i += 2) std::swap(samples[i], samples[i + 1]);
  EXPECT_EQ(ReadFile(Folder.File("swapped.raw")), expected);
  EXPECT_EQ(Rip.LeftOutSectors(), 3);

  Rip.SaveSettings();
  EXPECT_TRUE(ReadFile(IniPath).contains("OffsetStart=3"));
  TCDRIP again;
  ASSERT_EQ(CR_Init(IniPath.toUtf8().constData()), CDRIP_OK);
  ASSERT_TRUE(again.ReadParameters());
  EXPECT_EQ(again.CDRomNum(), FirstImage);
  EXPECT_EQ(again.Params().startOffset, 3);
  EXPECT_EQ(again.CDRomName(), "disc.cue (image)");
}

}  // namespace

namespace {

// A cue sheet over a .bin of `sectors` silent sectors with the given track
// lines ("TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n..."); returns the cue path.
QString WriteCue(const TTempFolder& folder, const QString& name, int sectors,
                 const QString& tracks) {
  QFile bin(folder.File(name + ".bin"));
  EXPECT_TRUE(bin.open(QIODevice::WriteOnly) && bin.resize(qint64(sectors) * kSectorBytes));
  WriteFile(folder.File(name + ".cue"),
            "FILE \"" + (name + ".bin").toUtf8() + "\" BINARY\r\n" + tracks.toUtf8());
  return folder.File(name + ".cue");
}

}  // namespace

TEST_F(CDRIPTest, TheLastAudioTrackBeforeADataSessionEndsWithItsAudio) {
  const QString cue = WriteCue(Folder, "enhanced", 11700,
                               "  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                               "  TRACK 02 AUDIO\r\n    INDEX 01 00:01:00\r\n"
                               "  TRACK 03 MODE1/2352\r\n    INDEX 01 02:35:00\r\n");
  Start({}, {cue});
  ASSERT_EQ(Rip.TrackCount(), 3);
  const TTrack& audio = Rip.TrackList()[1].Track;
  // The TOC's end stays for the disc ID; the audio ends a session gap earlier.
  EXPECT_EQ(audio.EndSector, 155 * 75);
  EXPECT_EQ(audio.AudioEndSector, 155 * 75 - 11400);
  EXPECT_EQ(audio.LengthBytes, (155 * 75 - 11400 - 75) * kSectorBytes);
  EXPECT_EQ(Rip.TrackList()[0].Track.AudioEndSector, 75) << "audio before audio ends at the next";
  Rip.SetWriteWAV(true);
  EXPECT_TRUE(Rip.RipTrack(2, Folder.File("last.wav")));
  EXPECT_EQ(QFileInfo(Folder.File("last.wav")).size(), 44 + (155 * 75 - 11400 - 75) * kSectorBytes);
  EXPECT_EQ(Rip.LostSectors(), 0);
}

TEST_F(CDRIPTest, ADataTrackIsRefusedAtOnceAndNoRipRunsWithoutProgress) {
  const QString cue = WriteCue(Folder, "mixed", 60,
                               "  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                               "  TRACK 02 MODE2/2352\r\n    INDEX 01 00:00:50\r\n");
  Start({}, {cue});
  ASSERT_EQ(Rip.TrackCount(), 2);
  EXPECT_EQ(Rip.TrackList()[1].Track.TrackType, "Data");
  try {
    Rip.RipTrack(2, Folder.File("data.wav"));
    ADD_FAILURE() << "a data track must be refused";
  } catch (const ECDRIPError& error) {
    EXPECT_EQ(error.Message(), "Track 2 is a data track, not audio");
  }
  EXPECT_FALSE(QFile::exists(Folder.File("data.wav")));
  // Ranges into the data track are refused by the library as well.
  EXPECT_FALSE(Rip.RipSection(50, 60, Folder.File("data.wav")));
  EXPECT_FALSE(Rip.RipSection(40, 55, Folder.File("data.wav")));
  EXPECT_FALSE(QFile::exists(Folder.File("data.wav")));
  // An offset cannot carry the audio track's rip into it.
  Rip.Params().endOffset = 5;
  EXPECT_TRUE(Rip.RipTrack(1, Folder.File("audio.raw")));
  EXPECT_EQ(QFileInfo(Folder.File("audio.raw")).size(), 50 * kSectorBytes);
}

TEST_F(CDRIPTest, HugeOffsetsAndTocsNoDiscCanHoldAreHandled) {
  Start();
  // Sums that overflow 32 bits are clipped to the disc, not wrapped.
  Rip.Params().startOffset = INT32_MAX;
  Rip.Params().endOffset = INT32_MAX;
  EXPECT_TRUE(Rip.RipSection(0, 100, Folder.File("clipped.raw")));
  EXPECT_EQ(QFileInfo(Folder.File("clipped.raw")).size(), 0);
  Rip.Params().startOffset = INT32_MIN;
  Rip.Params().endOffset = INT32_MIN;
  EXPECT_TRUE(Rip.RipSection(100, 110, Folder.File("low.raw")));
  EXPECT_EQ(QFileInfo(Folder.File("low.raw")).size(), 0);
  Rip.Params().startOffset = 0;
  Rip.Params().endOffset = 0;

  // An index hours past the end of the image, or before the one it follows.
  for (const QString& tracks : {QString("  TRACK 01 AUDIO\r\n    INDEX 01 00:00:00\r\n"
                                        "  TRACK 02 AUDIO\r\n    INDEX 01 950:00:00\r\n"),
                                QString("  TRACK 01 AUDIO\r\n    INDEX 01 00:01:00\r\n"
                                        "  TRACK 02 AUDIO\r\n    INDEX 01 00:00:10\r\n")}) {
    const QString cue = WriteCue(Folder, "hostile", 100, tracks);
    WriteCdripIni(IniPath, {cue});
    ASSERT_EQ(CR_Init(IniPath.toUtf8().constData()), CDRIP_OK);
    TCDRIP rip;
    rip.SetCDRomNum(CR_GetNumCDROM() - 1);
    EXPECT_EQ(rip.TrackCount(), 0) << tracks.toStdString();
    EXPECT_TRUE(rip.TrackList().empty());
    EXPECT_EQ(CR_ReadToc(), CDRIP_ERROR);
  }
}

TEST_F(CDRIPTest, ARipEndsWithAnErrorWhenTheLibraryStopsDelivering) {
  Start();
  Rip.SetWriteWAV(true);
  // The ripper goes away under the rip: every later chunk comes back empty.
  Rip.OnProgress = [](TCDRIP*, uint16_t) { CR_CloseRipper(); };
  try {
    Rip.RipSection(0, 335, Folder.File("stalled.wav"));
    ADD_FAILURE() << "a rip without progress must end";
  } catch (const ECDRIPError& error) {
    EXPECT_EQ(error.Message(), "Read error");
  }
  Rip.OnProgress = nullptr;
  EXPECT_TRUE(Rip.RipSection(0, 10, Folder.File("next.wav")));
}
