// TRegSetEx: reads and writes single values under
// HKEY_CURRENT_USER\SOFTWARE\<company>\<product>\<section> of the registry
// store. Every call opens and closes the key by itself.
#pragma once

#include <QString>
#include <cstdint>

#include "platform/Registry.h"

class TRegSetEx {
 public:
  explicit TRegSetEx(platform::TRegistryStore* store);

  void SetRootKind(int kind);  // 1 HKEY_CURRENT_USER, 2 HKEY_USERS, else HKEY_LOCAL_MACHINE
  void SetCompany(const QString& company);
  void SetProduct(const QString& product);
  void SetUseCompany(bool useCompany);
  bool CreateOnWrite = true;
  const QString& BasePath() const { return FBasePath; }
  // The full key of a section, root included.
  QString KeyPath(const QString& section) const;

  void WriteStringValue(const QString& section, const QString& name, const QString& value);
  void WriteIntegerValue(const QString& section, const QString& name, int32_t value);
  void WriteBoolValue(const QString& section, const QString& name, bool value);
  // A missing key or value, or one of another type, gives the default.
  QString ReadStringValue(const QString& section, const QString& name, const QString& def) const;
  int32_t ReadIntegerValue(const QString& section, const QString& name, int32_t def) const;
  bool ReadBoolValue(const QString& section, const QString& name, bool def) const;

  platform::TRegistryStore* Store() const { return FStore; }

 private:
  void RebuildBasePath();

  platform::TRegistryStore* FStore;
  int FRootKind = 1;
  QString FCompany;
  QString FProduct;
  bool FUseCompany = true;
  QString FBasePath;
};
