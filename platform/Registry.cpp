#include "platform/Registry.h"

#include <QFile>
#include <QStringDecoder>
#include <vector>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/TextDecode.h"

namespace platform {
namespace {

const QString kHeader = QStringLiteral("Windows Registry Editor Version 5.00");

bool SameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A value line of a key. Lines we cannot read as a DWORD or string value
// (other types, comments, garbage) keep their raw text and are written back
// as they were.
struct TEntry {
  bool Typed = false;
  QString Name;
  TRegValue Value;
  QStringList Raw;
};

struct TKey {
  QString Path;
  std::vector<TEntry> Entries;
};

// Regedit escapes only '\' and '"'. Line breaks and other control characters
// get escapes of their own: written raw they would end the line early and
// turn the rest of the value into lines of their own.
QString Escape(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (const QChar c : text) {
    if (c == '\\' || c == '"')
      out += QLatin1Char('\\') + c;
    else if (c == '\n')
      out += QLatin1String("\\n");
    else if (c == '\r')
      out += QLatin1String("\\r");
    else if (c == '\t')
      out += QLatin1String("\\t");
    else if (c.category() == QChar::Other_Control)
      out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
    else
      out += c;
  }
  return out;
}

// The character an escape stands for; text[pos] is the character after the
// '\', and pos ends on the escape's last character.
QChar Unescape(const QString& text, int& pos) {
  const QChar c = text[pos];
  if (c == 'n') return QLatin1Char('\n');
  if (c == 'r') return QLatin1Char('\r');
  if (c == 't') return QLatin1Char('\t');
  if (c == 'x' && pos + 2 < text.size()) {
    bool ok = false;
    const uint code = text.mid(pos + 1, 2).toUInt(&ok, 16);
    if (ok) {
      pos += 2;
      return QChar(code);
    }
  }
  return c;
}

// Reads a quoted string starting at text[pos] == '"'; returns false when it
// is not closed. pos ends after the closing quote.
bool ReadQuoted(const QString& text, int& pos, QString& out) {
  out.clear();
  for (++pos; pos < text.size(); ++pos) {
    const QChar c = text[pos];
    if (c == '\\' && pos + 1 < text.size()) {
      ++pos;
      out += Unescape(text, pos);
    } else if (c == '"') {
      ++pos;
      return true;
    } else {
      out += c;
    }
  }
  return false;
}

// Parses "Name"=dword:0000001f or "Name"="text".
bool ParseValueLine(const QString& line, QString& name, TRegValue& value) {
  int pos = 0;
  if (!line.startsWith(QLatin1Char('"')) || !ReadQuoted(line, pos, name)) return false;
  if (pos >= line.size() || line[pos] != '=') return false;
  const QString rest = line.mid(pos + 1).trimmed();
  if (rest.startsWith(QLatin1Char('"'))) {
    int p = 0;
    QString text;
    if (!ReadQuoted(rest, p, text) || p != rest.size()) return false;
    value = TRegValue::FromString(text);
    return true;
  }
  if (rest.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
    const QString hex = rest.mid(6);
    bool ok = false;
    const uint number = hex.toUInt(&ok, 16);
    if (!ok || hex.size() > 8) return false;
    value = TRegValue::FromDword(number);
    return true;
  }
  return false;
}

bool IsKeyLine(const QString& line) {
  const QString trimmed = line.trimmed();
  return trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'));
}

bool EndsContinued(const QString& line) { return line.trimmed().endsWith(QLatin1Char('\\')); }

QString DecodeRegFile(const QByteArray& bytes) {
  if (bytes.startsWith("\xFF\xFE")) {  // what regedit itself exports
    QStringDecoder utf16(QStringDecoder::Utf16LE);
    return utf16.decode(QByteArrayView(bytes).sliced(2));
  }
  return DecodeLines(bytes);
}

}  // namespace

struct TRegistryStore::TData {
  QString Path;
  QStringList Preamble;  // lines before the first key, header included
  std::vector<TKey> Keys;
  int BatchDepth = 0;
  bool Dirty = false;

  TKey* FindKey(const QString& path) {
    for (TKey& key : Keys)
      if (SameName(key.Path, path)) return &key;
    return nullptr;
  }

  static TEntry* FindEntry(TKey& key, const QString& name) {
    for (TEntry& entry : key.Entries)
      if (entry.Typed && SameName(entry.Name, name)) return &entry;
    return nullptr;
  }

  void Load() {
    Preamble.clear();
    Keys.clear();
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QStringList lines = SplitLines(DecodeRegFile(file.readAll()));
    TKey* current = nullptr;
    for (int i = 0; i < lines.size(); ++i) {
      const QString trimmed = lines[i].trimmed();
      if (IsKeyLine(trimmed)) {
        Keys.push_back({trimmed.mid(1, trimmed.size() - 2), {}});
        current = &Keys.back();
        continue;
      }
      if (!current) {
        Preamble << lines[i];
        continue;
      }
      if (trimmed.isEmpty()) continue;  // blank lines are rewritten between keys
      TEntry entry;
      if (ParseValueLine(trimmed, entry.Name, entry.Value)) {
        entry.Typed = true;
      } else {
        // Keep the line and its continuation lines (hex values end in '\'). A
        // blank line or a key ends a value whose last line still asks for more.
        entry.Raw << lines[i];
        while (EndsContinued(lines[i]) && i + 1 < lines.size() &&
               !lines[i + 1].trimmed().isEmpty() && !IsKeyLine(lines[i + 1]))
          entry.Raw << lines[++i];
      }
      current->Entries.push_back(entry);
    }
  }

  bool Save() {
    QString text;
    QStringList preamble = Preamble;
    while (!preamble.isEmpty() && preamble.last().trimmed().isEmpty()) preamble.removeLast();
    if (preamble.isEmpty() || preamble.first().trimmed() != kHeader) preamble.prepend(kHeader);
    for (const QString& line : preamble) text += line + QLatin1String("\r\n");
    for (const TKey& key : Keys) {
      text += QLatin1String("\r\n[") + key.Path + QLatin1String("]\r\n");
      for (const TEntry& entry : key.Entries) {
        if (!entry.Typed) {
          for (const QString& line : entry.Raw) text += line + QLatin1String("\r\n");
          // A value left asking for another line must not take the next one.
          if (EndsContinued(entry.Raw.last())) text += QLatin1String("\r\n");
          continue;
        }
        text += QLatin1Char('"') + Escape(entry.Name) + QLatin1String("\"=");
        if (entry.Value.Kind == TRegValue::Dword)
          text += QStringLiteral("dword:%1").arg(entry.Value.Number, 8, 16, QLatin1Char('0'));
        else
          text += QLatin1Char('"') + Escape(entry.Value.Text) + QLatin1Char('"');
        text += QLatin1String("\r\n");
      }
    }
    if (!WriteFileAtomic(Path, text.toUtf8())) return false;
    Dirty = false;
    return true;
  }

  bool Changed() {
    Dirty = true;
    return BatchDepth > 0 ? true : Save();
  }
};

TRegistryStore::TRegistryStore(const QString& path) : D(std::make_unique<TData>()) {
  D->Path = path.isEmpty() ? DefaultPath() : path;
  D->Load();
}

TRegistryStore::~TRegistryStore() = default;

QString TRegistryStore::DefaultPath() { return ConfigFolder() + QStringLiteral("registry.reg"); }

QString TRegistryStore::Path() const { return D->Path; }

bool TRegistryStore::KeyExists(const QString& key) const { return D->FindKey(key) != nullptr; }

std::optional<TRegValue> TRegistryStore::ReadValue(const QString& key, const QString& name) const {
  TKey* found = D->FindKey(key);
  if (!found) return std::nullopt;
  TEntry* entry = TData::FindEntry(*found, name);
  if (!entry) return std::nullopt;
  return entry->Value;
}

bool TRegistryStore::WriteValue(const QString& key, const QString& name, const TRegValue& value) {
  TKey* found = D->FindKey(key);
  if (!found) {
    D->Keys.push_back({key, {}});
    found = &D->Keys.back();
  }
  if (TEntry* entry = TData::FindEntry(*found, name)) {
    entry->Value = value;  // keeps the stored spelling of the name
  } else {
    TEntry fresh;
    fresh.Typed = true;
    fresh.Name = name;
    fresh.Value = value;
    found->Entries.push_back(fresh);
  }
  return D->Changed();
}

bool TRegistryStore::DeleteValue(const QString& key, const QString& name) {
  TKey* found = D->FindKey(key);
  if (!found) return true;
  auto& entries = found->Entries;
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (it->Typed && SameName(it->Name, name)) {
      entries.erase(it);
      return D->Changed();
    }
  }
  return true;
}

void TRegistryStore::BeginBatch() { ++D->BatchDepth; }

bool TRegistryStore::EndBatch() {
  if (D->BatchDepth > 0) --D->BatchDepth;
  if (D->BatchDepth == 0 && D->Dirty) return D->Save();
  return true;
}

void TRegistryStore::Reload() { D->Load(); }

}  // namespace platform
