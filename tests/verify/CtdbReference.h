// What the CTDB database holds for a clean image, computed the plain way in
// the test: zlib's CRC-32 over the window, and each column's syndromes by
// Horner's rule with multiplication by 2 done bit by bit. Answers and
// recovery files built from them, served as the database serves them.
#pragma once

#include <zlib.h>

#include <QByteArray>
#include <QRegularExpression>
#include <QTcpSocket>
#include <algorithm>
#include <cstdint>
#include <vector>

namespace ctdbtest {

constexpr int64_t kColumns = 11760;

inline uint16_t Word(const QByteArray& pcm, qsizetype i) {
  return uint16_t(uint8_t(pcm[2 * i]) | uint8_t(pcm[2 * i + 1]) << 8);
}

// x · 2 modulo x^16 + x^12 + x^3 + x + 1.
inline uint16_t Times2(uint16_t a) { return uint16_t(a << 1) ^ (a & 0x8000 ? 0x100B : 0); }

struct TReference {
  uint32_t Crc = 0;
  std::vector<uint32_t> TrackCrcs;
  std::vector<uint16_t> Syndromes;  // row k's column p at k * kColumns + p
};

// trackStarts: the audio tracks' first words; pcm: the disc's audio.
inline TReference Reference(const QByteArray& pcm, const std::vector<int64_t>& trackStarts,
                            int npar) {
  const int64_t words = pcm.size() / 2;
  const int64_t first = kColumns, end = words - kColumns - words % kColumns;
  const int64_t rows = (end - first) / kColumns;
  auto crc = [&pcm](int64_t from, int64_t to) {
    const auto* bytes = reinterpret_cast<const Bytef*>(pcm.constData());
    return uint32_t(
        crc32(crc32(0, nullptr, 0), bytes + 2 * from, uInt(2 * std::max<int64_t>(0, to - from))));
  };
  TReference reference;
  reference.Crc = crc(first, end);
  for (size_t t = 0; t < trackStarts.size(); ++t) {
    const int64_t to = t + 1 < trackStarts.size() ? trackStarts[t + 1] : words;
    reference.TrackCrcs.push_back(
        crc(std::clamp(trackStarts[t], first, end), std::clamp(to, first, end)));
  }
  reference.Syndromes.assign(size_t(npar * kColumns), 0);
  for (int64_t j = 0; j < rows; ++j)
    for (int64_t p = 0; p < kColumns; ++p)
      for (int k = 0; k < npar; ++k) {
        uint16_t& s = reference.Syndromes[size_t(k * kColumns + p)];
        for (int times = 0; times < k; ++times) s = Times2(s);
        s ^= Word(pcm, first + j * kColumns + p);
      }
  return reference;
}

inline QByteArray Hex(uint32_t value) {
  return QByteArray::number(value, 16).rightJustified(8, '0');
}

// One <entry> as the database writes it, with column 0's syndromes.
inline QByteArray EntryXml(const TReference& reference, int npar, int confidence,
                           const QByteArray& toc, const QByteArray& parityPath) {
  QByteArray syndrome;
  for (int k = 0; k < npar; ++k) {
    const uint16_t s = reference.Syndromes[size_t(k * kColumns)];
    syndrome += char(s & 0xFF);
    syndrome += char(s >> 8);
  }
  QByteArray crcs;
  for (const uint32_t crc : reference.TrackCrcs) crcs += (crcs.isEmpty() ? "" : " ") + Hex(crc);
  return "<entry id=\"7\" crc32=\"" + Hex(reference.Crc) + "\" confidence=\"" +
         QByteArray::number(confidence) + "\" npar=\"" + QByteArray::number(npar) +
         "\" stride=\"5880\"" +
         (parityPath.isEmpty() ? QByteArray() : " hasparity=\"" + parityPath + "\"") +
         " syndrome=\"" + syndrome.toBase64() + "\" trackcrcs=\"" + crcs + "\" toc=\"" + toc +
         "\"/>";
}

inline QByteArray Answer(const QByteArray& entries) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<ctdb xmlns=\"http://db.cuetools.net/ns/mmd-1.0#\" "
         "xmlns:ext=\"http://db.cuetools.net/ns/ext-1.0#\">\n" +
         entries + "\n</ctdb>\n";
}

inline QByteArray RecoveryFile(const TReference& reference) {
  QByteArray file;
  for (const uint16_t s : reference.Syndromes) {
    file += char(s & 0xFF);
    file += char(s >> 8);
  }
  return file;
}

// A server's answer for the recovery file: the byte range asked for (206),
// or the whole file (200) when the request has none.
inline void ServeRange(QTcpSocket* socket, const QByteArray& request, const QByteArray& file) {
  static const QRegularExpression range("Range: bytes=(\\d+)-(\\d+)");
  const QRegularExpressionMatch m = range.match(QString::fromLatin1(request));
  if (!m.hasMatch()) {
    socket->write("HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(file.size()) +
                  "\r\n\r\n" + file);
  } else {
    const qsizetype first = m.captured(1).toLongLong(), last = m.captured(2).toLongLong();
    const QByteArray part = file.mid(first, last - first + 1);
    socket->write("HTTP/1.0 206 Partial Content\r\nContent-Range: bytes " +
                  QByteArray::number(first) + "-" + QByteArray::number(first + part.size() - 1) +
                  "/" + QByteArray::number(file.size()) +
                  "\r\nContent-Length: " + QByteArray::number(part.size()) + "\r\n\r\n" + part);
  }
  socket->disconnectFromHost();
}

}  // namespace ctdbtest
