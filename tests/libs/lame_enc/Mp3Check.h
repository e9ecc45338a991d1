// Helpers for the encoder tests: generated PCM and WAV files, and what the
// peers (ffprobe, mpg123) and the frame headers say about an MP3 file.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace testutil {

// 16-bit little-endian PCM: a tone per channel (440 Hz left, 660 Hz right)
// with a little noise, so the encoder has real work.
QByteArray TonePcm(int sampleFrames, int channels = 2, int sampleRate = 44100);
// The canonical 44-byte header followed by the samples.
QByteArray WavFile(const QByteArray& pcm, int channels = 2, int sampleRate = 44100);

struct TMp3Probe {
  double Duration = 0;   // seconds, ffprobe
  int BitRate = 0;       // bit/s of the stream, ffprobe
  int Channels = 0;      // ffprobe
  int SampleRate = 0;    // ffprobe
  QString Mode;          // mpg123: "stereo", "j-s", "dual", "mono"
  QString RateKind;      // mpg123: "cbr128", "vbr", ...
  qint64 DecodedFrames = -1;  // sample frames mpg123 decodes
};
// Fails the test (and returns what it has) when a peer cannot read the file.
TMp3Probe ProbeMp3(const QString& path);

// The first frame header of an MP3 that starts with a frame.
struct TFrameHeader {
  bool Valid = false;
  int BitrateIndex = 0;
  int ModeBits = 0;  // 0 stereo, 1 joint stereo, 2 dual channel, 3 mono
  bool Crc = false;
  bool Private = false;
  bool Copyright = false;
  bool Original = false;
};
TFrameHeader FrameHeaderAt(const QByteArray& mp3, int offset);
// Offset of the second frame, found by the first frame's length.
int SecondFrameOffset(const QByteArray& mp3);

}  // namespace testutil
