#include "encode/CoverImage.h"

#include <csetjmp>
#include <cstdio>

// clang-format off: jpeglib.h needs stdio.h before it, jerror.h it.
#include <jerror.h>
#include <jpeglib.h>
// clang-format on
#include <png.h>

namespace {

bool WithinBounds(qint64 width, qint64 height) {
  return width > 0 && height > 0 && width <= kMaxCoverSide && height <= kMaxCoverSide &&
         width * height <= kMaxCoverPixels;
}

struct TJpegErrors {
  jpeg_error_mgr Manager;
  std::jmp_buf Jump;
  bool Cut;
};

void JpegFail(j_common_ptr info) {
  std::longjmp(reinterpret_cast<TJpegErrors*>(info->err)->Jump, 1);
}

// Warnings that mean the data ended before the picture did.
void JpegMessage(j_common_ptr info, int level) {
  auto* errors = reinterpret_cast<TJpegErrors*>(info->err);
  const int code = errors->Manager.msg_code;
  if (level < 0 && (code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER)) errors->Cut = true;
}

// Plain C data only between setjmp and its longjmp: no destructor is skipped.
const char* DecodeJpeg(const QByteArray& bytes, TCoverImage& image) {
  jpeg_decompress_struct info;
  TJpegErrors errors;
  info.err = jpeg_std_error(&errors.Manager);
  errors.Manager.error_exit = JpegFail;
  errors.Manager.emit_message = JpegMessage;
  errors.Cut = false;
  const char* problem = nullptr;
  jpeg_create_decompress(&info);
  if (setjmp(errors.Jump)) {
    jpeg_destroy_decompress(&info);
    return errors.Cut ? "a cut JPEG image" : "a JPEG image that cannot be read";
  }
  // A progressive picture keeps all its coefficients: bounded here too.
  info.mem->max_memory_to_use = 256L << 20;
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  if (!WithinBounds(info.image_width, info.image_height)) {
    problem = "a JPEG image of outsized dimensions";
  } else {
    jpeg_start_decompress(&info);
    const JDIMENSION stride = info.output_width * JDIMENSION(info.output_components);
    JSAMPARRAY row =
        (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE, stride, 1);
    while (info.output_scanline < info.output_height && !errors.Cut)
      jpeg_read_scanlines(&info, row, 1);
    if (!errors.Cut) jpeg_finish_decompress(&info);
    if (errors.Cut) problem = "a cut JPEG image";
    image.Width = int(info.image_width);
    image.Height = int(info.image_height);
    image.Depth = 8 * info.num_components;
  }
  jpeg_destroy_decompress(&info);
  return problem;
}

// The first chunk is IHDR: width and height big-endian, then bit depth
// and colour type.
uint32_t HeaderWord(const QByteArray& bytes, int at) {
  const auto* b = reinterpret_cast<const uint8_t*>(bytes.constData()) + at;
  return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
}

const char* DecodePng(const QByteArray& bytes, TCoverImage& image) {
  // Refused before libpng reads further than the header.
  if (bytes.mid(12, 4) == "IHDR" && !WithinBounds(HeaderWord(bytes, 16), HeaderWord(bytes, 20)))
    return "a PNG image of outsized dimensions";
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&png, bytes.constData(), size_t(bytes.size())))
    return "a PNG image that cannot be read";
  // The header was read: its bit depth and colour type are the file's.
  const int bitDepth = uint8_t(bytes[24]);
  const int colorType = uint8_t(bytes[25]);
  const bool indexed = colorType == PNG_COLOR_TYPE_PALETTE;
  // Every pixel, one byte each, so that a cut or corrupt stream shows.
  png.format = PNG_FORMAT_GRAY;
  QByteArray pixels(qsizetype(PNG_IMAGE_SIZE(png)), Qt::Uninitialized);
  const int colors = indexed ? int(png.colormap_entries) : 0;
  if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&png);
    return "a cut or corrupt PNG image";
  }
  image.Width = int(png.width);
  image.Height = int(png.height);
  const int samples = colorType == PNG_COLOR_TYPE_RGB          ? 3
                      : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                      : colorType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                                                               : 1;
  // An indexed picture's palette holds 8-bit RGB whatever the index size.
  image.Depth = indexed ? 24 : bitDepth * samples;
  image.Colors = colors;
  return nullptr;
}

}  // namespace

std::optional<TCoverImage> ReadCoverImage(const QByteArray& bytes, QString* why) {
  TCoverImage image;
  const char* problem = "no JPEG or PNG image";
  if (bytes.startsWith("\xFF\xD8\xFF")) {
    image.Mime = QStringLiteral("image/jpeg");
    problem = DecodeJpeg(bytes, image);
  } else if (bytes.startsWith("\x89PNG\r\n\x1A\n") && bytes.size() > 33) {
    image.Mime = QStringLiteral("image/png");
    problem = DecodePng(bytes, image);
  }
  if (!problem) return image;
  if (why) *why = QString::fromLatin1(problem);
  return std::nullopt;
}
