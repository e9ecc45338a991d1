// The registry stand-in: keys and typed values kept in a regedit-format text
// file ("Windows Registry Editor Version 5.00"). Value names compare without
// case and a write keeps the stored spelling of an existing name. Keys and
// lines this program does not understand are kept through every save, and
// saves are atomic. The default file is $XDG_CONFIG_HOME/cadenzo/registry.reg.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

struct TRegValue {
  enum TKind { Dword, String };
  TKind Kind = String;
  uint32_t Number = 0;
  QString Text;

  static TRegValue FromDword(uint32_t value) { return {Dword, value, {}}; }
  static TRegValue FromString(const QString& value) { return {String, 0, value}; }
};

class TRegistryStore {
 public:
  // Uses the given file, or the default registry file when empty.
  explicit TRegistryStore(const QString& path = QString());
  ~TRegistryStore();
  TRegistryStore(const TRegistryStore&) = delete;
  TRegistryStore& operator=(const TRegistryStore&) = delete;

  static QString DefaultPath();
  QString Path() const;

  // Keys are full paths such as "HKEY_CURRENT_USER\SOFTWARE\Maker\Product\1.06",
  // compared without case.
  bool KeyExists(const QString& key) const;
  std::optional<TRegValue> ReadValue(const QString& key, const QString& name) const;
  // Writes one value, creating the key. Outside a batch the file is saved at
  // once; returns false when it could not be.
  bool WriteValue(const QString& key, const QString& name, const TRegValue& value);
  bool DeleteValue(const QString& key, const QString& name);

  // While a batch is open, writes stay in memory; EndBatch saves them all at once.
  void BeginBatch();
  bool EndBatch();

  // Re-reads the file (reads always see the file as last loaded or written).
  void Reload();

 private:
  struct TData;
  std::unique_ptr<TData> D;
};

}  // namespace platform
