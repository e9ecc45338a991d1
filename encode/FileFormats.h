// The output formats, one row each: what the settings, cadenzo-rip's options,
// the options dialog, the output names, the CUE sheet, the tags, the encoders
// and the rip log know of a format. A new format is one row here plus its
// encoder unit. Constant data; any thread.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "encode/Encoder.h"

class TLameCoder;

// The rows' indexes, which the OutputFormat setting stores.
enum : int32_t { ofWAV = 0, ofMP3 = 1, ofFLAC = 2, ofOpus = 3 };

// How a format's files carry their tags.
enum class TTagKind {
  None,
  Id3,     // ID3v2.4 at the front (names, loudness, cover), ID3v1.1 at the end
  Flac,    // Vorbis comments and a picture block
  OggOpus  // Vorbis comments with R128 gains and the picture inside them
};

// Which of the encoder settings a format uses (its group in the options dialog).
enum class TFormatOptions { None, Lame, Flac, Opus };

struct TFileFormat {
  int32_t Index;
  const char* Name;            // the word cadenzo-rip's --format takes
  const char* Caption;         // in the options dialog's list
  const char* Extension;       // lower case, with its dot
  const char* OlderExtension;  // as earlier rips spelled it ("MP3"), or null
  const char* CueFileType;     // the FILE type a CUE sheet gives its files
  bool Encoded;                // made by an encoder; else the ripping component writes it
  TTagKind Tags;
  TFormatOptions Options;
  // The format's encoder; MP3 copies the LAME settings of `mp3`.
  std::unique_ptr<TEncoder> (*MakeEncoder)(const TEncoderSettings& settings, const TLameCoder& mp3);
  // The format and its settings in words, for the rip log.
  QString (*Describe)(const TEncoderSettings& settings, const TLameCoder& mp3);
};

// Every row, in the order of their indexes.
const std::vector<TFileFormat>& FileFormats();
// The row of the index; WAV's for an index outside the table.
const TFileFormat& FileFormat(int32_t index);
// The row of that name in any letter case; null for none.
const TFileFormat* FileFormatNamed(const QString& name);
// "mp3, wav, flac or opus": the names, for a usage text.
QString FileFormatNames();
