// INI files with the semantics of the Windows profile functions: sections and
// keys compare without case, a missing key gives the default, and a write
// keeps every other section, key, comment and unparsable line as it was.
// Files are read line by line as UTF-8 (ISO-8859-1 for a line that is not)
// with LF or CR LF line ends, and written atomically with CR LF. A value is
// written on one line, its line breaks as blanks, and quoted when reading
// would otherwise drop its outer blanks or quotes.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

namespace platform {

QString GetProfileString(const QString& file, const QString& section, const QString& key,
                         const QString& defaultValue);
int GetProfileInt(const QString& file, const QString& section, const QString& key,
                  int defaultValue);
// Section names in file order.
QStringList GetProfileSections(const QString& file);
// Key names of one section in file order.
QStringList GetProfileKeys(const QString& file, const QString& section);

// Writes one value, creating the file and section when needed; a new key goes
// at the end of its section. Returns false when the file could not be written.
bool WriteProfileString(const QString& file, const QString& section, const QString& key,
                        const QString& value);
// Removes one key; returns false when the file could not be written.
bool DeleteProfileKey(const QString& file, const QString& section, const QString& key);
// Removes a whole section.
bool DeleteProfileSection(const QString& file, const QString& section);

// Several writes to one file in a single atomic save.
class TProfileFile {
 public:
  explicit TProfileFile(const QString& path);
  ~TProfileFile();
  TProfileFile(const TProfileFile&) = delete;
  TProfileFile& operator=(const TProfileFile&) = delete;

  bool Exists() const;
  QString ReadString(const QString& section, const QString& key, const QString& defaultValue) const;
  int ReadInt(const QString& section, const QString& key, int defaultValue) const;
  bool HasKey(const QString& section, const QString& key) const;
  QStringList Sections() const;
  QStringList Keys(const QString& section) const;

  void WriteString(const QString& section, const QString& key, const QString& value);
  void DeleteKey(const QString& section, const QString& key);
  void DeleteSection(const QString& section);
  // Writes the file if anything changed; false when it could not be written.
  bool Save();

 private:
  struct TData;
  std::unique_ptr<TData> D;
};

}  // namespace platform
