// HTTP responses from a CDDB server, read whole and fed in pieces (as a
// socket hands them over): both ways must take the same decision on the same
// bytes, and a header line that overflows the buffer is a clean error.
// The input's first byte sets the piece size.
#include "FuzzUtil.h"
#include "net/HttpProt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = data[0] % 64 + 1;
  const QByteArrayView bytes(data + 1, qsizetype(size - 1));

  THttpResponseParser whole;
  QByteArray body;
  QString error;
  const bool accepted = ParseHttpResponse(bytes, whole, &body, &error);
  FUZZ_CHECK(accepted || !error.isEmpty(), QString());

  THttpResponseParser pieces;
  QByteArray bodyInPieces;
  pieces.OnBody = [&](QByteArrayView data) { bodyInPieces += data.toByteArray(); };
  try {
    for (qsizetype at = 0; at < bytes.size(); at += qsizetype(piece)) {
      if (pieces.Feed(bytes.sliced(at, std::min<qsizetype>(qsizetype(piece), bytes.size() - at))) !=
          THttpResponseParser::NeedMore)
        break;
    }
  } catch (const EHttpException&) {
    FUZZ_CHECK(!accepted, QString("pieces threw, whole accepted"));
    return 0;
  }
  FUZZ_CHECK(pieces.StatusCode == whole.StatusCode,
             QString("%1 %2").arg(pieces.StatusCode).arg(whole.StatusCode));
  FUZZ_CHECK(pieces.ContentLength == whole.ContentLength, QString::number(pieces.ContentLength));
  FUZZ_CHECK(pieces.Location == whole.Location, pieces.Location);
  ParseHttpUrl(pieces.Location);
  return 0;
}
