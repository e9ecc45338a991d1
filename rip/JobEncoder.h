// A job's encoder and tags, as the plan gives them: the LAME component set
// from the plan's MP3 settings, the tags of a track of the plan's disc, the
// encoder that measures a track's loudness and tags its finished file, the
// normalisation and encoding of a ripped WAV on a worker, and MP3's ID3v1.1
// tag. Functions; the WAV ones run on any thread, the others on the
// user-interface thread.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "encode/Tags.h"

class TEncodeContext;
class TEncoder;
class TLameCoder;
class TLoudness;
class TPendingCover;
struct TDisc;
struct TMp3Settings;
struct TNormalizeHooks;
struct TRipSettings;

// Sets the LAME component from the settings; throws std::out_of_range for an
// index or ordinal outside its table.
void ApplyMp3Settings(TLameCoder& coder, const TMp3Settings& settings);

// What the tags of track trackNum of the disc say: real names only (no
// placeholder), every track counting its album's audio tracks. The audio
// before track 1 (0) is named by the title given and carries neither track
// number nor total.
TTrackTags TrackTags(const TDisc& disc, const TRipSettings& settings, int32_t trackNum,
                     const QString& title);

// Whether the output carries the names and loudness in tags: MP3 only with
// its ID3v2 tag, which holds them.
bool CarriesTags(const TRipSettings& settings);
// Whether MP3 outputs get the ID3v1.1 tag.
bool WritesId3v1(const TRipSettings& settings);

// The encoder of the plan's format for one track: it measures the loudness
// into `loudness` (when not null) and tags the file once it is whole, with
// the cover when one comes (cover not null).
std::unique_ptr<TEncoder> MakeTrackEncoder(const TRipSettings& settings, const TLameCoder& mp3,
                                           TTrackTags tags, std::shared_ptr<TLoudness> loudness,
                                           std::shared_ptr<const TPendingCover> cover);

// What a normalisation left: the text of the box that reports a failure
// (empty when none) and its cause, and the CRC-32 of the samples it wrote in
// place of the WAV's (none when it left them as they were).
struct TNormalizeOutcome {
  QString Box;
  QString Reason;
  std::optional<uint32_t> DataCrc;
};

// The "Scan Peak Level" and "Normalizing" stages on a ripped WAV, to
// `factor` percent of full scale, on any thread: the stages go to setStage.
// The WAV is whole, old or new, at every moment.
TNormalizeOutcome NormalizeWaveFile(const QString& wavPath, int32_t factor,
                                    const TNormalizeHooks& hooks,
                                    const std::function<void(uint8_t stage)>& setStage);

// A worker's work on the ripping component's WAV: normalised first when a
// factor is given (into *normalized), then encoded into a new file at
// outputPath; a stop ends the file whole with what was read.
std::function<void(TEncodeContext& context)> WaveFileWork(
    const QString& wavPath, std::shared_ptr<TEncoder> encoder, const QString& outputPath,
    std::optional<int32_t> normalizeFactor, std::shared_ptr<TNormalizeOutcome> normalized);

// Writes the ID3v1.1 tag of the tags into the MP3 file; true when it was
// saved. Throws EMPEGAudioError when the file fails after it was opened.
bool WriteId3v1Tag(const QString& path, const TTrackTags& tags);
