#include "settings/RegSetEx.h"

namespace {

QString RootName(int kind) {
  switch (kind) {
    case 1: return QStringLiteral("HKEY_CURRENT_USER");
    case 2: return QStringLiteral("HKEY_USERS");
    default: return QStringLiteral("HKEY_LOCAL_MACHINE");
  }
}

}  // namespace

TRegSetEx::TRegSetEx(platform::TRegistryStore* store) : FStore(store) { RebuildBasePath(); }

void TRegSetEx::SetRootKind(int kind) {
  FRootKind = kind;
  RebuildBasePath();
}

void TRegSetEx::SetCompany(const QString& company) {
  FCompany = company;
  RebuildBasePath();
}

void TRegSetEx::SetProduct(const QString& product) {
  FProduct = product;
  RebuildBasePath();
}

void TRegSetEx::SetUseCompany(bool useCompany) {
  FUseCompany = useCompany;
  RebuildBasePath();
}

void TRegSetEx::RebuildBasePath() {
  FBasePath = QStringLiteral("SOFTWARE\\");
  if (FUseCompany) FBasePath += FCompany + QLatin1Char('\\');
  FBasePath += FProduct + QLatin1Char('\\');
}

QString TRegSetEx::KeyPath(const QString& section) const {
  return RootName(FRootKind) + QLatin1Char('\\') + FBasePath + section;
}

void TRegSetEx::WriteStringValue(const QString& section, const QString& name,
                                 const QString& value) {
  const QString key = KeyPath(section);
  if (!CreateOnWrite && !FStore->KeyExists(key)) return;
  FStore->WriteValue(key, name, platform::TRegValue::FromString(value));
}

void TRegSetEx::WriteIntegerValue(const QString& section, const QString& name, int32_t value) {
  const QString key = KeyPath(section);
  if (!CreateOnWrite && !FStore->KeyExists(key)) return;
  FStore->WriteValue(key, name, platform::TRegValue::FromDword(static_cast<uint32_t>(value)));
}

void TRegSetEx::WriteBoolValue(const QString& section, const QString& name, bool value) {
  WriteIntegerValue(section, name, value ? 1 : 0);
}

QString TRegSetEx::ReadStringValue(const QString& section, const QString& name,
                                   const QString& def) const {
  const auto value = FStore->ReadValue(KeyPath(section), name);
  return value && value->Kind == platform::TRegValue::String ? value->Text : def;
}

int32_t TRegSetEx::ReadIntegerValue(const QString& section, const QString& name,
                                    int32_t def) const {
  const auto value = FStore->ReadValue(KeyPath(section), name);
  return value && value->Kind == platform::TRegValue::Dword ? static_cast<int32_t>(value->Number)
                                                             : def;
}

bool TRegSetEx::ReadBoolValue(const QString& section, const QString& name, bool def) const {
  return ReadIntegerValue(section, name, def ? 1 : 0) != 0;
}
