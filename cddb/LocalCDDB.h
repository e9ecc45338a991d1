// TLocalCDDB: loads the local CDDB library at run time by path and hands it
// an entry read from a server for parsing into the CDDB client's entry
// record. Lives for one parsing step; user-interface thread only.
#pragma once

#include <QLibrary>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>

#include "libs/localcddb/localcddb.h"
#include "platform/Exception.h"

// The table of contents exchanged with the library and read by drive probing.
using TCDInfo = LCDDB_CDINFO;
static_assert(sizeof(TCDInfo) == 812, "TCDInfo is the 812-byte record");

class ELocalCDDBError : public Exception {
 public:
  using Exception::Exception;
};

// The CDDB client's entry record, filled field by field from the library's.
struct TCddbEntry {
  QString SelectedDiscID;
  std::array<QString, LCDDB_DISC_FIELDS - 1> DiscInfo;  // artist, title, year, genre, EXTD
  std::array<QString, LCDDB_MAX_TRACKS> Titles;
  std::array<QString, LCDDB_MAX_TRACKS> ExtData;
  QString SelectedCategory;
  int32_t Revision = 0;
  TCDInfo InternalTOC{};
};

class TLocalCDDB {
 public:
  // Loads the library; raises ELocalCDDBError "Dll not found" when it does
  // not load and "Dll is invalid. Maybe a wrong version?" when one of the six
  // names is missing.
  explicit TLocalCDDB(const QString& path);
  ~TLocalCDDB();
  TLocalCDDB(const TLocalCDDB&) = delete;
  TLocalCDDB& operator=(const TLocalCDDB&) = delete;

  // Parses the used entry lines (up to the first empty one) into the record;
  // returns the library's result (-4: the entry is corrupt).
  int32_t ParseEntry(const QStringList& entryLines, TCddbEntry& record);

 private:
  QLibrary FLibrary;
  decltype(&::SetVersion) FSetVersion = nullptr;
  decltype(&::ParseCDDBString) FParseCDDBString = nullptr;
};
