// Cover images as an archive or a folder might hold them: the reader takes
// only a JPEG or PNG that decodes whole, within the bounds, and says what it
// is; anything else is refused with a reason.
#include "FuzzUtil.h"
#include "encode/CoverImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes = fuzz::Bytes(data, size);
  QString why;
  const auto image = ReadCoverImage(bytes, &why);
  if (!image) {
    FUZZ_CHECK(!why.isEmpty(), QString());
    return 0;
  }
  const bool jpeg = bytes.startsWith("\xFF\xD8\xFF");
  FUZZ_CHECK(image->Mime == (jpeg ? "image/jpeg" : "image/png"), image->Mime);
  FUZZ_CHECK(image->Width > 0 && image->Width <= kMaxCoverSide && image->Height > 0 &&
                 image->Height <= kMaxCoverSide &&
                 qint64(image->Width) * image->Height <= kMaxCoverPixels,
             QString("%1 x %2").arg(image->Width).arg(image->Height));
  FUZZ_CHECK(image->Depth > 0 && image->Depth <= 64 && image->Colors >= 0 && image->Colors <= 256,
             QString::number(image->Depth));
  return 0;
}
