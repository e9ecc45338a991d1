#include "encode/FileFormats.h"

#include <QStringList>

#include "encode/FlacEncoder.h"
#include "encode/LameCoder.h"
#include "encode/Mp3Encoder.h"
#include "encode/OpusEncoder.h"
#include "encode/WavEncoder.h"

namespace {

std::unique_ptr<TEncoder> MakeWav(const TEncoderSettings&, const TLameCoder&) {
  return std::make_unique<TWavEncoder>();
}
std::unique_ptr<TEncoder> MakeMp3(const TEncoderSettings&, const TLameCoder& mp3) {
  return std::make_unique<TMp3Encoder>(mp3);
}
std::unique_ptr<TEncoder> MakeFlac(const TEncoderSettings& settings, const TLameCoder&) {
  return std::make_unique<TFlacEncoder>(settings.FlacLevel);
}
std::unique_ptr<TEncoder> MakeOpus(const TEncoderSettings& settings, const TLameCoder&) {
  return std::make_unique<TOpusEncoder>(settings.OpusBitRate);
}

QString DescribeWav(const TEncoderSettings&, const TLameCoder&) {
  return QStringLiteral("WAV, 44100 Hz, 16-bit, stereo");
}
QString DescribeMp3(const TEncoderSettings&, const TLameCoder& mp3) {
  return QString("MP3, %1 kbit/s%2, quality %3")
      .arg(mp3.Bitrate())
      .arg(mp3.EnableVBR() ? QString(", VBR quality %1").arg(mp3.VBRQuality()) : QString())
      .arg(int(mp3.Quality()));
}
QString DescribeFlac(const TEncoderSettings& settings, const TLameCoder&) {
  return QString("FLAC, level %1, verified").arg(settings.FlacLevel);
}
QString DescribeOpus(const TEncoderSettings& settings, const TLameCoder&) {
  return QString("Opus, %1 kbit/s VBR").arg(settings.OpusBitRate);
}

}  // namespace

const std::vector<TFileFormat>& FileFormats() {
  // Cue readers take FLAC and Opus files as WAVE, the audio's own kind.
  static const std::vector<TFileFormat> formats = {
      {ofWAV, "wav", "WAVE Files(PCM WAV, *.wav)", ".wav", "WAV", "WAVE", false, TTagKind::None,
       TFormatOptions::None, MakeWav, DescribeWav},
      {ofMP3, "mp3", "MP3  Files(MPEG Layer 3, *.mp3)", ".mp3", "MP3", "MP3", true, TTagKind::Id3,
       TFormatOptions::Lame, MakeMp3, DescribeMp3},
      {ofFLAC, "flac", "FLAC Files(Free Lossless Audio Codec, *.flac)", ".flac", nullptr, "WAVE",
       true, TTagKind::Flac, TFormatOptions::Flac, MakeFlac, DescribeFlac},
      {ofOpus, "opus", "Opus Files(Ogg Opus, *.opus)", ".opus", nullptr, "WAVE", true,
       TTagKind::OggOpus, TFormatOptions::Opus, MakeOpus, DescribeOpus},
  };
  return formats;
}

const TFileFormat& FileFormat(int32_t index) {
  const std::vector<TFileFormat>& formats = FileFormats();
  return index >= 0 && size_t(index) < formats.size() ? formats[size_t(index)] : formats[ofWAV];
}

const TFileFormat* FileFormatNamed(const QString& name) {
  for (const TFileFormat& format : FileFormats())
    if (name.compare(QLatin1String(format.Name), Qt::CaseInsensitive) == 0) return &format;
  return nullptr;
}

QString FileFormatNames() {
  QStringList names;
  for (const TFileFormat& format : FileFormats()) names << QString::fromLatin1(format.Name);
  const QString last = names.takeLast();
  return names.join(", ") + " or " + last;
}
