// Runs a fuzz target once over every file of its committed corpus, so the
// normal and the sanitized test suites replay the seeds and every reproducer
// of a fixed finding without clang or libFuzzer.
// Usage: fuzz_replay_<target> <corpus folder>
#include <QDir>
#include <QFile>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  LLVMFuzzerInitialize(&argc, &argv);
  const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
  if (names.isEmpty()) {
    std::fprintf(stderr, "no inputs in %s\n", argv[1]);
    return 1;
  }
  for (const QString& name : names) {
    QFile file(folder + '/' + name);
    if (!file.open(QIODevice::ReadOnly)) return 1;
    const QByteArray bytes = file.readAll();
    std::printf("%s\n", qPrintable(name));
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                           size_t(bytes.size()));
  }
  return 0;
}
