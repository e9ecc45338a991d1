// Shared by the libFuzzer targets: a private folder for the files a target
// hands to the code under test (the program reads files, so the targets do
// too), the split of one input into fields, and a check that aborts so
// libFuzzer keeps the input that broke a promise.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstddef>
#include <cstdint>

namespace fuzz {

// The process's own temporary folder, with a trailing '/'.
QString Dir();
// Writes the bytes to Dir() + name and returns the path.
QString WriteInput(const QString& name, const QByteArray& bytes);
QByteArray ReadAll(const QString& path);
QByteArray Bytes(const uint8_t* data, size_t size);
// The input cut at the first `count - 1` NUL bytes; missing fields are empty.
QList<QByteArray> Fields(const QByteArray& input, int count);

[[noreturn]] void Fail(const char* what, const char* file, int line, const QString& detail);

}  // namespace fuzz

#define FUZZ_CHECK(condition, detail)                                     \
  do {                                                                    \
    if (!(condition)) fuzz::Fail(#condition, __FILE__, __LINE__, detail); \
  } while (false)
