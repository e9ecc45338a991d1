#include "cddb/LocalCDDB.h"

#include <memory>

#include "platform/AppInfo.h"

namespace {

// The exchange record with a buffer behind every text pointer.
struct TExchange {
  LCDDB_ENTRY Entry{};
  std::unique_ptr<char[]> Buffers;

  TExchange() {
    constexpr int count = LCDDB_DISC_FIELDS + 2 * LCDDB_MAX_TRACKS + 1;
    Buffers = std::make_unique<char[]>(size_t(count) * LCDDB_TEXT_SIZE);
    char* next = Buffers.get();
    auto take = [&next] { return std::exchange(next, next + LCDDB_TEXT_SIZE); };
    for (char*& field : Entry.Disc) field = take();
    for (char*& field : Entry.Titles) field = take();
    for (char*& field : Entry.ExtData) field = take();
    Entry.Category = take();
  }
};

QString Text(const char* buffer) { return QString::fromUtf8(buffer); }

}  // namespace

TLocalCDDB::TLocalCDDB(const QString& path) : FLibrary(path) {
  if (!FLibrary.load()) throw ELocalCDDBError("Dll not found");
  FSetVersion = reinterpret_cast<decltype(FSetVersion)>(FLibrary.resolve("SetVersion"));
  FParseCDDBString =
      reinterpret_cast<decltype(FParseCDDBString)>(FLibrary.resolve("ParseCDDBString"));
  const bool complete = FSetVersion && FParseCDDBString && FLibrary.resolve("WriteCDData") &&
                        FLibrary.resolve("ReadCDData") && FLibrary.resolve("CreateCDDBString") &&
                        FLibrary.resolve("FindMatches");
  if (!complete) {
    FLibrary.unload();
    throw ELocalCDDBError("Dll is invalid. Maybe a wrong version?");
  }
  const QByteArray banner = QByteArray("TCddb for ") + kProgramName + " " + kProgramVersion;
  FSetVersion(banner.constData(), 512);
}

TLocalCDDB::~TLocalCDDB() { FLibrary.unload(); }

int32_t TLocalCDDB::ParseEntry(const QStringList& entryLines, TCddbEntry& record) {
  QByteArray text;
  for (const QString& line : entryLines) {
    if (line.isEmpty()) break;
    text += line.toUtf8() + "\r\n";
  }
  TExchange exchange;
  const int32_t result = FParseCDDBString(&exchange.Entry, text.constData());
  record.SelectedDiscID = Text(exchange.Entry.Disc[LCDDB_DISCID]);
  for (int i = 1; i < LCDDB_DISC_FIELDS; ++i) record.DiscInfo[i - 1] = Text(exchange.Entry.Disc[i]);
  for (int i = 0; i < LCDDB_MAX_TRACKS; ++i) {
    record.Titles[i] = Text(exchange.Entry.Titles[i]);
    record.ExtData[i] = Text(exchange.Entry.ExtData[i]);
  }
  record.SelectedCategory = Text(exchange.Entry.Category);
  record.Revision = exchange.Entry.Revision;
  record.InternalTOC = exchange.Entry.Toc;
  return result;
}
