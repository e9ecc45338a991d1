// The naming rule and the path builder with hostile names: whatever the
// rule, the replacement characters and the names, the built path lies
// inside the output folder, below it, with a name of its own.
// Input: rule \0 replacement characters \0 artist \0 album \0 title.
#include "settings/Naming.h"

#include <QDir>

#include "FuzzUtil.h"
#include "encode/FileFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QList<QByteArray> fields = fuzz::Fields(fuzz::Bytes(data, size), 5);
  const QString folder = fuzz::Dir() + "Music";
  const QString extension = QString::fromLatin1(FileFormat(int32_t(size % 3)).Extension);
  const QString name = MakeOutputName(QString::fromUtf8(fields[0]), QString::fromUtf8(fields[1]),
                                      QString::fromUtf8(fields[2]), QString::fromUtf8(fields[3]),
                                      QString::fromUtf8(fields[4]), int(size % 100) + 1);
  const QString path = BuildOutputPath(folder, name, extension);

  const QString inside = QDir::cleanPath(folder) + QLatin1Char('/');
  const QString clean = QDir::cleanPath(path);
  FUZZ_CHECK(clean.startsWith(inside), path);
  FUZZ_CHECK(clean.endsWith(extension), path);
  // Every level between the folder and the file is a real name.
  for (const QString& level : clean.mid(inside.size()).split(QLatin1Char('/')))
    FUZZ_CHECK(!level.isEmpty() && level != "." && level != "..", path);
  return 0;
}
