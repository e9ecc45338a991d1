// The local CDDB library's entry parser: an entry it accepts is written
// back by CreateCDDBString, and that text parses again to the same record.
#include <algorithm>
#include <vector>

#include "FuzzUtil.h"
#include "libs/localcddb/localcddb.h"

namespace {

// An exchange record whose every text field points into its own buffer.
struct TRecord {
  std::vector<char> Texts;
  LCDDB_ENTRY Entry{};

  TRecord() : Texts(size_t(LCDDB_DISC_FIELDS + 2 * LCDDB_MAX_TRACKS + 1) * LCDDB_TEXT_SIZE, '\0') {
    char* next = Texts.data();
    const auto take = [&next]() {
      char* field = next;
      next += LCDDB_TEXT_SIZE;
      return field;
    };
    for (char*& field : Entry.Disc) field = take();
    for (char*& field : Entry.Titles) field = take();
    for (char*& field : Entry.ExtData) field = take();
    Entry.Category = take();
  }
  // The texts an entry carries: the writer lists the tracks of its table of
  // contents only.
  QList<QByteArray> Fields() const {
    QList<QByteArray> fields;
    for (const char* field : Entry.Disc) fields << field;
    const int tracks = std::min<int>(Entry.Toc.TrackCount, LCDDB_MAX_TRACKS);
    for (int i = 0; i < tracks; ++i) fields << Entry.Titles[i] << Entry.ExtData[i];
    fields << QByteArray::number(Entry.Revision)
           << QByteArray(reinterpret_cast<const char*>(&Entry.Toc), sizeof Entry.Toc);
    return fields;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray text = fuzz::Bytes(data, size);  // NUL-terminated by QByteArray
  TRecord first;
  if (ParseCDDBString(&first.Entry, text.constData()) != LCDDB_OK) return 0;

  const int32_t length = CreateCDDBString(&first.Entry, nullptr, 0);
  FUZZ_CHECK(length >= 0, QString::number(length));
  std::vector<char> written(size_t(length) + 1, '\x7f');
  FUZZ_CHECK(CreateCDDBString(&first.Entry, written.data(), length + 1) == length, QString());
  FUZZ_CHECK(written[size_t(length)] == '\0', QString());

  TRecord second;
  FUZZ_CHECK(ParseCDDBString(&second.Entry, written.data()) == LCDDB_OK,
             QString::fromUtf8(written.data()));
  const QList<QByteArray> a = first.Fields(), b = second.Fields();
  // "artist / title" has no escape: an artist holding a '/' may split
  // elsewhere when read again.
  const bool splitsOnce = !a[LCDDB_ARTIST].contains('/');
  for (qsizetype i = 0; i < a.size(); ++i)
    if (splitsOnce || (i != LCDDB_ARTIST && i != LCDDB_TITLE))
      FUZZ_CHECK(a[i] == b[i], QString("field %1: %2 | %3").arg(i).arg(a[i], b[i]));
  return 0;
}
