// The profile (INI) reader and writer over a hostile file: every value the
// file holds is read, one value is written into a chosen section and key,
// and after the save that value reads back equal and every other value as
// before. The format holds one value per line: line breaks are folded to
// blanks; blanks at the ends and quotes around the value survive.
// Input: section \0 key \0 value \0 file.
#include "platform/Profile.h"

#include <QMap>
#include <utility>

#include "FuzzUtil.h"
#include "platform/Files.h"

using platform::TProfileFile;

namespace {

using TValues = QMap<std::pair<QString, QString>, QString>;

// Section and key names compare without case: the first spelling stands for all.
TValues AllValues(const TProfileFile& file) {
  TValues values;
  for (const QString& section : file.Sections())
    for (const QString& key : file.Keys(section))
      values.insert({section.toLower(), key.toLower()}, file.ReadString(section, key, "\x01"));
  return values;
}

// Section and key names come from the program, never from outside: plain words.
QString Name(const QByteArray& bytes, const char* fallback) {
  QString name;
  for (char c : bytes)
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) name += c;
  return name.isEmpty() ? QString::fromLatin1(fallback) : name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QList<QByteArray> fields = fuzz::Fields(fuzz::Bytes(data, size), 4);
  const QString section = Name(fields[0], "Probe");
  const QString key = Name(fields[1], "title");
  const QString written = QString::fromUtf8(fields[2]);
  const QString value = platform::SingleLine(written);
  const QString path = fuzz::WriteInput("file.ini", fields[3]);

  TValues expected;
  {
    TProfileFile file(path);
    expected = AllValues(file);
    file.WriteString(section, key, written);
    FUZZ_CHECK(file.ReadString(section, key, "\x01") == value, value);
    FUZZ_CHECK(file.Save(), path);
  }
  expected.insert({section.toLower(), key.toLower()}, value);
  const TProfileFile reloaded(path);
  FUZZ_CHECK(reloaded.ReadString(section, key, "\x01") == value,
             value + " | " + reloaded.ReadString(section, key, "\x01"));
  const TValues after = AllValues(reloaded);
  for (auto it = expected.cbegin(); it != expected.cend(); ++it)
    FUZZ_CHECK(after.value(it.key()) == it.value(),
               it.key().first + "/" + it.key().second + ": " + it.value());
  return 0;
}
