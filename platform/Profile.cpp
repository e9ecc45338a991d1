#include "platform/Profile.h"

#include <QFile>
#include <QFileInfo>
#include <vector>

#include "platform/Files.h"
#include "platform/TextDecode.h"

namespace platform {
namespace {

// One line of the file. Lines that are neither a section header nor a
// key=value pair (comments, blanks, garbage) are kept verbatim.
struct TLine {
  enum TKind { Other, Section, Entry };
  TKind Kind = Other;
  QString Raw;
  QString Name;   // section or key name, trimmed
  QString Value;  // entry value, trimmed
};

TLine ParseLine(const QString& raw) {
  TLine line;
  line.Raw = raw;
  const QString trimmed = raw.trimmed();
  if (trimmed.startsWith(QLatin1Char('['))) {
    const int close = trimmed.indexOf(QLatin1Char(']'));
    if (close > 0) {
      line.Kind = TLine::Section;
      line.Name = trimmed.mid(1, close - 1).trimmed();
    }
    return line;
  }
  if (trimmed.startsWith(QLatin1Char(';'))) return line;
  const int eq = trimmed.indexOf(QLatin1Char('='));
  if (eq > 0) {
    line.Kind = TLine::Entry;
    line.Name = trimmed.left(eq).trimmed();
    line.Value = trimmed.mid(eq + 1).trimmed();
  }
  return line;
}

bool SameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Windows drops one pair of quotes around a value.
QString Unquote(const QString& value) {
  if (value.size() >= 2 &&
      ((value.front() == '"' && value.back() == '"') ||
       (value.front() == '\'' && value.back() == '\'')))
    return value.mid(1, value.size() - 2);
  return value;
}

// Reading drops the blanks and one pair of quotes around a value, as Windows
// does: a value that would lose either is written inside quotes of its own.
QString Quoted(const QString& value) {
  if (value != value.trimmed() || Unquote(value) != value)
    return QLatin1Char('"') + value + QLatin1Char('"');
  return value;
}

}  // namespace

struct TProfileFile::TData {
  QString Path;
  bool Existed = false;
  bool Dirty = false;
  std::vector<TLine> Lines;

  // Index of the first header of the section, or -1.
  int FindSection(const QString& section) const {
    for (size_t i = 0; i < Lines.size(); ++i)
      if (Lines[i].Kind == TLine::Section && SameName(Lines[i].Name, section)) return int(i);
    return -1;
  }
  // One past the section's last line.
  int SectionEnd(int header) const {
    size_t i = header + 1;
    while (i < Lines.size() && Lines[i].Kind != TLine::Section) ++i;
    return int(i);
  }
  int FindKey(const QString& section, const QString& key) const {
    const int header = FindSection(section);
    if (header < 0) return -1;
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i)
      if (Lines[i].Kind == TLine::Entry && SameName(Lines[i].Name, key)) return i;
    return -1;
  }
};

TProfileFile::TProfileFile(const QString& path) : D(std::make_unique<TData>()) {
  D->Path = path;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return;
  D->Existed = true;
  for (const QString& raw : SplitLines(DecodeLines(file.readAll())))
    D->Lines.push_back(ParseLine(raw));
}

TProfileFile::~TProfileFile() = default;

bool TProfileFile::Exists() const { return D->Existed; }

QString TProfileFile::ReadString(const QString& section, const QString& key,
                                 const QString& defaultValue) const {
  const int i = D->FindKey(section, key);
  return i < 0 ? defaultValue : Unquote(D->Lines[i].Value);
}

int TProfileFile::ReadInt(const QString& section, const QString& key, int defaultValue) const {
  const int i = D->FindKey(section, key);
  if (i < 0) return defaultValue;
  // Like GetPrivateProfileInt: the leading digits count, garbage gives 0.
  const QString value = Unquote(D->Lines[i].Value);
  int end = 0;
  if (end < value.size() && (value[end] == '-' || value[end] == '+')) ++end;
  while (end < value.size() && value[end].isDigit()) ++end;
  bool ok = false;
  const int number = value.left(end).toInt(&ok);
  return ok ? number : 0;
}

bool TProfileFile::HasKey(const QString& section, const QString& key) const {
  return D->FindKey(section, key) >= 0;
}

QStringList TProfileFile::Sections() const {
  QStringList names;
  for (const TLine& line : D->Lines)
    if (line.Kind == TLine::Section) names << line.Name;
  return names;
}

QStringList TProfileFile::Keys(const QString& section) const {
  QStringList names;
  const int header = D->FindSection(section);
  if (header < 0) return names;
  const int end = D->SectionEnd(header);
  for (int i = header + 1; i < end; ++i)
    if (D->Lines[i].Kind == TLine::Entry) names << D->Lines[i].Name;
  return names;
}

void TProfileFile::WriteString(const QString& section, const QString& key, const QString& value) {
  const QString name = key.trimmed();
  // A line break would end the entry early and turn the rest into lines of
  // their own, a section header among them.
  const QString text = Quoted(SingleLine(value));
  const int i = D->FindKey(section, name);
  if (i >= 0) {
    TLine& line = D->Lines[i];
    if (line.Value == text) return;
    line = ParseLine(line.Name + QLatin1Char('=') + text);
    D->Dirty = true;
    return;
  }
  int header = D->FindSection(section);
  if (header < 0) {
    D->Lines.push_back(ParseLine(QLatin1Char('[') + section + QLatin1Char(']')));
    header = int(D->Lines.size()) - 1;
  }
  // After the section's last entry, so blank lines between sections stay put.
  int at = D->SectionEnd(header);
  while (at > header + 1 && D->Lines[at - 1].Kind == TLine::Other &&
         D->Lines[at - 1].Raw.trimmed().isEmpty())
    --at;
  D->Lines.insert(D->Lines.begin() + at, ParseLine(name + QLatin1Char('=') + text));
  D->Dirty = true;
}

void TProfileFile::DeleteKey(const QString& section, const QString& key) {
  const int i = D->FindKey(section, key);
  if (i < 0) return;
  D->Lines.erase(D->Lines.begin() + i);
  D->Dirty = true;
}

void TProfileFile::DeleteSection(const QString& section) {
  const int header = D->FindSection(section);
  if (header < 0) return;
  D->Lines.erase(D->Lines.begin() + header, D->Lines.begin() + D->SectionEnd(header));
  D->Dirty = true;
}

bool TProfileFile::Save() {
  if (!D->Dirty) return true;
  QString text;
  for (const TLine& line : D->Lines) text += line.Raw + QLatin1String("\r\n");
  if (!WriteFileAtomic(D->Path, text.toUtf8())) return false;
  D->Dirty = false;
  D->Existed = true;
  return true;
}

QString GetProfileString(const QString& file, const QString& section, const QString& key,
                         const QString& defaultValue) {
  return TProfileFile(file).ReadString(section, key, defaultValue);
}

int GetProfileInt(const QString& file, const QString& section, const QString& key,
                  int defaultValue) {
  return TProfileFile(file).ReadInt(section, key, defaultValue);
}

QStringList GetProfileSections(const QString& file) { return TProfileFile(file).Sections(); }

QStringList GetProfileKeys(const QString& file, const QString& section) {
  return TProfileFile(file).Keys(section);
}

bool WriteProfileString(const QString& file, const QString& section, const QString& key,
                        const QString& value) {
  TProfileFile profile(file);
  profile.WriteString(section, key, value);
  return profile.Save();
}

bool DeleteProfileKey(const QString& file, const QString& section, const QString& key) {
  TProfileFile profile(file);
  profile.DeleteKey(section, key);
  return profile.Save();
}

bool DeleteProfileSection(const QString& file, const QString& section) {
  TProfileFile profile(file);
  profile.DeleteSection(section);
  return profile.Save();
}

}  // namespace platform
