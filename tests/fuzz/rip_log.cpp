// Rip logs a user hands to cadenzo-rip --check-log: any bytes get an answer,
// the input's text signed as a rip signs its log passes, and with one byte
// changed it fails.
#include "FuzzUtil.h"
#include "verify/RipLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes = fuzz::Bytes(data, size);
  if (CheckRipLog(bytes) == TLogCheck::Intact)
    FUZZ_CHECK(bytes.endsWith('\n') && bytes.contains("Log checksum (SHA-256): "), QString());
  // A log's text ends its last line.
  if (!bytes.isEmpty() && !bytes.endsWith('\n')) return 0;
  const QByteArray log = bytes + LogChecksumLine(bytes).toUtf8();
  FUZZ_CHECK(CheckRipLog(log) == TLogCheck::Intact, QString::fromUtf8(log));
  for (const qsizetype at : {qsizetype(0), log.size() / 2, log.size() - 2}) {
    QByteArray edited = log;
    edited[at] = char(edited[at] ^ 0x20);
    FUZZ_CHECK(CheckRipLog(edited) != TLogCheck::Intact, QString::number(at));
  }
  return 0;
}
