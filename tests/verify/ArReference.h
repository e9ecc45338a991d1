// Expected checksums for the verification tests, computed the plain way
// over a whole track in memory (no chunks, no carried bytes), and dBAR files
// built byte by byte as the database serves them.
#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <QtEndian>
#include <cstdint>
#include <cstring>
#include <vector>

#include "common/TestServer.h"
#include "common/DiscImage.h"
#include "common/TestUtil.h"

namespace artest {

// CRC-32 bit by bit (reflected polynomial 0xEDB88320).
inline uint32_t Crc32(const QByteArray& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= uint8_t(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

struct TArSums {
  uint32_t V1 = 0;
  uint32_t V2 = 0;
};

// The track's words in 64-bit arithmetic; the edges of the disc are cut from
// the index range instead of being tested sample by sample.
inline TArSums ArSums(const QByteArray& pcm, bool first, bool last) {
  const uint64_t count = uint64_t(pcm.size()) / 4;
  const uint64_t from = first ? 2939 : 0;  // index of the first counted word
  const uint64_t to = last ? (count > 2940 ? count - 2940 : 0) : count;  // one past the last
  uint64_t low = 0, high = 0;
  for (uint64_t i = from; i < to; ++i) {
    uint32_t word;
    std::memcpy(&word, pcm.constData() + i * 4, 4);
    const uint64_t product = uint64_t(qFromLittleEndian(word)) * (i + 1);
    low += product & 0xFFFFFFFFu;
    high += product >> 32;
  }
  return {uint32_t(low), uint32_t(low + high)};
}

struct TBlockTrack {
  uint8_t Confidence;
  uint32_t Crc;
};

// One pressing: the header, then nine bytes per track.
inline QByteArray DbarBlock(uint8_t tracks, uint32_t id1, uint32_t id2, uint32_t id3,
                            const std::vector<TBlockTrack>& entries) {
  QByteArray block(1, char(tracks));
  auto put32 = [&block](uint32_t value) {
    for (int i = 0; i < 4; ++i) block += char(value >> (8 * i) & 0xFF);
  };
  put32(id1);
  put32(id2);
  put32(id3);
  for (const TBlockTrack& entry : entries) {
    block += char(entry.Confidence);
    put32(entry.Crc);
    put32(0x12345678);  // the offset-finding CRC, not used
  }
  return block;
}

// A server's answer: the dBAR file of the disc the request names, one
// pressing (six rips each) per list of CRCs, less its last `chop` bytes.
inline testutil::TTestServer::TAnswer DbarAnswer(
    const std::vector<std::vector<uint32_t>>& pressings, int chop = 0) {
  return [pressings, chop](QTcpSocket* socket, const QByteArray& request) {
    static const QRegularExpression name(
        "dBAR-(\\d{3})-([0-9a-f]{8})-([0-9a-f]{8})-([0-9a-f]{8})\\.bin");
    const QRegularExpressionMatch m = name.match(QString::fromLatin1(request));
    QByteArray file;
    for (const auto& crcs : pressings) {
      std::vector<TBlockTrack> entries;
      for (const uint32_t crc : crcs) entries.push_back({6, crc});
      file +=
          DbarBlock(uint8_t(m.captured(1).toUInt()), m.captured(2).toUInt(nullptr, 16),
                    m.captured(3).toUInt(nullptr, 16), m.captured(4).toUInt(nullptr, 16), entries);
    }
    socket->write("HTTP/1.0 200 OK\r\n\r\n" + file.chopped(chop));
    socket->disconnectFromHost();
  };
}

// Track `track` as a drive read with offset correction `offset` gives it: the
// disc's audio `offset` samples later, silence beyond the disc.
inline QByteArray ShiftedTrack(const testutil::TDiscImage& image, int track, int offset) {
  const int64_t first = int64_t(image.Starts[size_t(track - 1)]) * 588;
  QByteArray pcm((image.Starts[size_t(track)] - image.Starts[size_t(track - 1)]) * 2352, '\0');
  for (int64_t i = 0; i < pcm.size() / 4; ++i) {
    const int64_t at = first + i + offset;
    if (at >= 0 && at < image.Pcm.size() / 4)
      std::memcpy(pcm.data() + i * 4, image.Pcm.constData() + at * 4, 4);
  }
  return pcm;
}

inline QByteArray DecodeFlac(const QString& path) {
  QByteArray pcm;
  testutil::RunProgram(
      "flac", {"-d", "-s", "-c", "--force-raw-format", "--endian=little", "--sign=signed", path},
      &pcm);
  return pcm;
}

}  // namespace artest
