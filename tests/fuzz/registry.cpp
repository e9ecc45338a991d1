// The registry store over a hostile file: loaded, one value written beside
// a known one, saved and loaded again. Input: name \0 value \0 file (last,
// since regedit's own files are UTF-16); a value starting with '#' is written
// as a DWORD made from its bytes.
#include "platform/Registry.h"

#include "FuzzUtil.h"

using platform::TRegistryStore;
using platform::TRegValue;

namespace {

const QString kKey =
    QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\Velmora Computing\\Cadenzo\\1.06");

bool Same(const std::optional<TRegValue>& a, const TRegValue& b) {
  return a && a->Kind == b.Kind &&
         (b.Kind == TRegValue::Dword ? a->Number == b.Number : a->Text == b.Text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QList<QByteArray> fields = fuzz::Fields(fuzz::Bytes(data, size), 3);
  const QString name = QString::fromUtf8(fields[0]);
  TRegValue value = TRegValue::FromString(QString::fromUtf8(fields[1]));
  const QString path = fuzz::WriteInput("registry.reg", fields[2]);
  if (fields[1].startsWith('#')) {
    uint32_t sum = 0;
    for (char c : fields[1]) sum = sum * 31 + uint8_t(c);
    value = TRegValue::FromDword(sum);
  }
  const TRegValue known = TRegValue::FromString(QStringLiteral("C:\\My Music \"x\""));
  const QString knownName = name.compare("Probe", Qt::CaseInsensitive) ? "Probe" : "Probe2";
  {
    TRegistryStore store(path);
    store.BeginBatch();
    store.WriteValue(kKey, knownName, known);
    store.WriteValue(kKey, name, value);
    FUZZ_CHECK(store.EndBatch(), path);
    FUZZ_CHECK(Same(store.ReadValue(kKey, name), value), name);
  }
  TRegistryStore reloaded(path);
  FUZZ_CHECK(Same(reloaded.ReadValue(kKey, knownName), known),
             QString::fromUtf8(fuzz::ReadAll(path)));
  FUZZ_CHECK(Same(reloaded.ReadValue(kKey, name), value), QString::fromUtf8(fuzz::ReadAll(path)));
  return 0;
}
