#include "rip/JobEncoder.h"

#include <QFile>
#include <cstring>
#include <stdexcept>

#include "disc/Disc.h"
#include "encode/EncodePool.h"
#include "encode/LameCoder.h"
#include "encode/MPGTools.h"
#include "encode/TaggedEncoder.h"
#include "encode/TempFiles.h"
#include "encode/WaveNormalize.h"
#include "platform/AppInfo.h"
#include "rip/RipPlan.h"
#include "rip/SessionView.h"
#include "settings/config.h"

namespace {

// Fails for an index outside its table, so a corrupt setting is reported
// instead of reading past the table.
template <size_t N>
int TableEntry(const int (&table)[N], int32_t index) {
  if (index < 0 || size_t(index) >= N) throw std::out_of_range("encoder setting index");
  return table[index];
}

template <typename TEnum>
TEnum Ordinal(int32_t value, int32_t count) {
  if (value < 0 || value >= count) throw std::out_of_range("encoder setting ordinal");
  return TEnum(value);
}

void EncodeWaveFile(const QString& wavPath, TEncoder& encoder, const QString& outputPath,
                    TEncodeContext& context) {
  constexpr qint64 kHeaderBytes = 44;
  QFile input(wavPath);
  if (!input.open(QIODevice::ReadOnly))
    throw EEncoderError(QString("Cannot open file \"%1\". %2").arg(wavPath, input.errorString()));
  // The WAV is the ripping component's: its one header, then the samples.
  char header[kHeaderBytes];
  if (input.read(header, kHeaderBytes) != kHeaderBytes || std::memcmp(header + 8, "WAVE", 4) != 0)
    throw EEncoderError(QString("\"%1\" is not a WAV file").arg(wavPath));
  // Unbuffered, so that a full disk shows in the write of the chunk at hand.
  QFile output(outputPath);
  if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
    throw EEncoderError(
        QString("Cannot create file \"%1\". %2").arg(outputPath, output.errorString()));
  const TPcmSource read = [&](uint8_t* data, int64_t bytes) -> int64_t {
    if (context.Stopped()) return 0;
    const qint64 got = input.read(reinterpret_cast<char*>(data), bytes);
    if (got < 0) throw EEncoderError(QString("Cannot read \"%1\"").arg(wavPath));
    return got;
  };
  RunEncoder(encoder, output, read, input.size() - kHeaderBytes, context);
}

}  // namespace

void ApplyMp3Settings(TLameCoder& coder, const TMp3Settings& settings) {
  coder.SetSampleRate(uint32_t(TableEntry(kSampleRates, settings.SampleRate)));
  coder.SetBitrate(uint32_t(TableEntry(kBitRates, settings.BitRate)));
  coder.SetMaxBitrate(uint32_t(TableEntry(kBitRates, settings.MaxBitRate)));
  coder.SetMode(Ordinal<TLameMode>(settings.Mode, 4));
  coder.SetQuality(Ordinal<MPEG_QUALITY>(settings.Quality, 4));
  coder.SetVBRQuality(settings.VBRQuality);
  coder.SetEnableVBR(settings.VBR);
  // Without its header a VBR file's length is a guess and no player can trim
  // its padding: a VBR file always gets it.
  coder.SetWriteVBRHeader(settings.VBR || settings.WriteVBRHeader);
  coder.SetCopyright(settings.Copyright);
  coder.SetCRC(settings.CRC);
  coder.SetOriginal(settings.Original);
  coder.SetPrivate(settings.Private);
}

TTrackTags TrackTags(const TDisc& disc, const TRipSettings& settings, int32_t trackNum,
                     const QString& title) {
  const TDiscNames& names = disc.Names;
  TTrackTags tags;
  tags.Album = RealName(names.Album);
  tags.AlbumArtist = RealName(names.AlbumArtist);
  tags.AlbumArtistSort = names.AlbumArtistSort;
  tags.Date = names.Date;
  tags.OriginalDate = names.OriginalDate;
  tags.Genre = GenreName(names.Genre);
  tags.Comment = settings.Comment;
  tags.Encoder = QStringLiteral("%1 %2").arg(kProgramName, kProgramVersion);
  tags.DiscNumber = names.DiscNumber;
  tags.DiscTotal = names.DiscTotal;
  tags.Compilation = names.IsCompilation();
  tags.Label = names.Label;
  tags.CatalogNumber = names.CatalogNumber;
  tags.Barcode = names.Barcode;
  tags.ReleaseCountry = names.Country;
  tags.MusicBrainzAlbumId = names.MBReleaseID;
  tags.MusicBrainzReleaseGroupId = names.MBReleaseGroupID;
  tags.MusicBrainzAlbumArtistIds = names.MBAlbumArtistIDs;
  // The disc ID the release was found by.
  if (!names.MBReleaseID.isEmpty()) tags.MusicBrainzDiscId = disc.Ids.MusicBrainz;
  tags.Artist = tags.AlbumArtist;
  tags.ArtistSort = tags.AlbumArtistSort;
  tags.MusicBrainzArtistIds = tags.MusicBrainzAlbumArtistIds;
  // The audio before track 1 is none of the disc's numbered tracks.
  tags.Title = RealName(title);
  const TDiscTrack* track = disc.Track(trackNum);
  if (!track) return tags;
  tags.TrackNumber = trackNum;
  tags.TrackTotal = disc.AudioTrackCount();
  tags.Title = RealName(track->Title, trackNum);
  if (!track->Artist.isEmpty()) {
    tags.Artist = RealName(track->Artist);
    tags.ArtistSort = track->ArtistSort;
    tags.MusicBrainzArtistIds = track->MBArtistIDs;
  }
  tags.Isrc = track->Isrc;
  tags.MusicBrainzTrackId = track->MBRecordingID;
  tags.MusicBrainzReleaseTrackId = track->MBReleaseTrackID;
  return tags;
}

bool CarriesTags(const TRipSettings& settings) {
  return settings.Format().Tags != TTagKind::Id3 || settings.WriteID3v2;
}

bool WritesId3v1(const TRipSettings& settings) {
  return settings.EnableID3Tag && settings.Format().Tags == TTagKind::Id3;
}

std::unique_ptr<TEncoder> MakeTrackEncoder(const TRipSettings& settings, const TLameCoder& mp3,
                                           TTrackTags tags, std::shared_ptr<TLoudness> loudness,
                                           std::shared_ptr<const TPendingCover> cover) {
  // "Enable ID3Tag" is MP3's setting; the other formats' tags do not hang on it.
  const bool writeTags =
      CarriesTags(settings) && (settings.Format().Tags != TTagKind::Id3 || settings.EnableID3Tag);
  return std::make_unique<TTaggedEncoder>(MakeEncoder(settings.EncoderSettings(), mp3),
                                          settings.OutputFormat, std::move(tags), writeTags,
                                          std::move(loudness), std::move(cover));
}

TNormalizeOutcome NormalizeWaveFile(const QString& wavPath, int32_t factor,
                                    const TNormalizeHooks& hooks,
                                    const std::function<void(uint8_t stage)>& setStage) {
  QString tempPath;
  // The scaled copy is the session's own file; whatever happens it does not stay.
  struct TTempRemover {
    QString& Path;
    ~TTempRemover() {
      if (!Path.isEmpty()) QFile::remove(Path);
    }
  } remover{tempPath};
  try {
    setStage(stScanPeak);
    int16_t peak = 0;
    if (!hooks.Aborted() && !ScanPeak(wavPath, peak, hooks)) return {};
    setStage(stNormalizing);
    const std::optional<double> gain = NormalizeGain(peak, factor);
    if (!gain || hooks.Aborted()) return {};
    // A scaling pass stopped by Abort holds only part of the audio.
    uint32_t crc = 0;
    if (!NormalizeWave(wavPath, tempPath, *gain, hooks, &crc) || hooks.Aborted()) return {};
    // One rename: the WAV is whole, old or new, at every moment.
    if (PlaceFile(tempPath, wavPath, true) != TPlaceResult::Placed)
      return {QStringLiteral("Normalize wav file fail."),
              QString("cannot replace '%1'").arg(wavPath),
              {}};
    tempPath.clear();
    return {{}, {}, crc};
  } catch (const std::exception& error) {
    return {QStringLiteral("Normalize wave file fail."), QString::fromUtf8(error.what()), {}};
  }
}

std::function<void(TEncodeContext& context)> WaveFileWork(
    const QString& wavPath, std::shared_ptr<TEncoder> encoder, const QString& outputPath,
    std::optional<int32_t> normalizeFactor, std::shared_ptr<TNormalizeOutcome> normalized) {
  return [=](TEncodeContext& context) {
    if (normalizeFactor) {
      const TNormalizeHooks hooks{[&context] { return context.Stopped(); },
                                  [&context](int percent) { context.SetProgress(percent); }};
      *normalized = NormalizeWaveFile(wavPath, *normalizeFactor, hooks,
                                      [&context](uint8_t stage) { context.SetStage(stage); });
    }
    if (context.Stopped()) return;
    context.SetStage(stEncoding);
    context.SetProgress(0);
    EncodeWaveFile(wavPath, *encoder, outputPath, context);
  };
}

bool WriteId3v1Tag(const QString& path, const TTrackTags& tags) {
  TMPEGAudio tag;
  tag.ResetData();
  tag.SetFileName(path);
  tag.Track = uint8_t(tags.TrackNumber);
  tag.SetTitle(tags.Title);
  tag.SetArtist(tags.Artist);
  tag.SetAlbum(tags.Album);
  tag.SetYear(tags.Date);
  // The genre byte comes from the disc's genre rather than a fixed 1
  // ("Classic Rock") on every file, which would mislabel nearly every album.
  tag.Genre = GenreCode(tags.Genre);
  // The one comment field names the program unless the user gave a comment.
  tag.SetComment(tags.Comment.isEmpty() ? tags.Encoder : tags.Comment);
  return tag.SaveTag() == 0;
}
