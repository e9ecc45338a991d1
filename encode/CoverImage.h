// What a cover image is, known by decoding it whole: a JPEG (libjpeg) or a
// PNG (libpng) of bounded size whose every pixel decodes, with its width,
// height and colour depth as a FLAC picture block states them. A cut or
// corrupt file, or one whose header claims an outsized picture, is none.
// Pure functions; any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

struct TCoverImage {
  QString Mime;  // image/jpeg or image/png
  int Width = 0;
  int Height = 0;
  int Depth = 0;   // bits per pixel
  int Colors = 0;  // palette entries of an indexed image, else 0
};

// Pictures beyond these are refused before their pixels are decoded.
inline constexpr int kMaxCoverSide = 10000;
inline constexpr qint64 kMaxCoverPixels = 40'000'000;

// The image, or none with what it is in *why ("no JPEG or PNG image",
// "a cut JPEG image", ...).
std::optional<TCoverImage> ReadCoverImage(const QByteArray& bytes, QString* why = nullptr);
