// The AccurateRip drive offset list (DriveOffsets.bin): the read offset of
// each drive model as the database's users measured it. TDriveOffsetLookup
// fetches it on request through the program's HTTP client, keeps it in the
// cache folder and finds one drive in it; nothing here changes a setting,
// the user applies what it finds. User-interface thread only.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "net/BoundedGet.h"

struct TDriveOffset {
  QString Vendor;  // empty when the list names none
  QString Model;
  int Offset = 0;  // samples
  int Submissions = 0;
};

// Reads the list: 69-byte records, each a signed 16-bit little-endian
// offset, the name "VENDOR - MODEL" (or "- MODEL") NUL-padded to 32 bytes,
// a NUL, the count of submissions and bytes not used here. Records without a
// name or with an offset beyond kMaxDriveOffset are left out; none when the
// file is not whole records or no record is left.
inline constexpr int kMaxDriveOffset = 3000;
std::optional<std::vector<TDriveOffset>> ParseDriveOffsets(const QByteArray& file);
// The offset of the drive with this INQUIRY vendor and product, matched
// without regard to letter case and runs of spaces; none when not listed.
std::optional<int> FindDriveOffset(const std::vector<TDriveOffset>& list, const QString& vendor,
                                   const QString& product);
QString DriveOffsetsUrl(const QString& server);
// $XDG_CACHE_HOME/cadenzo/DriveOffsets.bin
QString DriveOffsetsCachePath();

class TDriveOffsetLookup {
 public:
  enum TResult { Pending, Found, NotListed, NoList };

  TDriveOffsetLookup();
  ~TDriveOffsetLookup();

  // Looks the drive up and returns at once; OnDone follows from the event
  // loop. A cached list younger than maxCacheDays is used as it is; else the
  // list is fetched from server (ending after timeoutMs) and cached, and a
  // cached list of any age stands in when the fetch fails.
  void Start(const QString& server, const QString& vendor, const QString& product,
             int timeoutMs = 15000, int maxCacheDays = 30);
  void Abort();

  TResult Result() const { return FResult; }
  int Offset() const { return FOffset; }
  // Why there is no list, for the user.
  const QString& Detail() const { return FDetail; }

  std::function<void()> OnDone;

 private:
  void RequestDone(int error);
  // Looks the drive up in the file; false when it is no list.
  bool Lookup(const QByteArray& file);
  void FallBack(const QString& reason);
  void Finish(TResult result, const QString& detail);

  TBoundedGet FGet;
  QString FVendor, FProduct;
  TResult FResult = Pending;
  int FOffset = 0;
  QString FDetail;
};
