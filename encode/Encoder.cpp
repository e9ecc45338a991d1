#include "encode/Encoder.h"

#include <QFile>
#include <cerrno>

#include "encode/FileFormats.h"
#include "platform/Files.h"

std::unique_ptr<TEncoder> MakeEncoder(const TEncoderSettings& settings, const TLameCoder& mp3) {
  return FileFormat(settings.Format).MakeEncoder(settings, mp3);
}

namespace {

[[noreturn]] void ThrowWriteFailure(const QString& path, const QString& reason) {
  throw platform::EFileFailure<EEncoderError>(QString("Cannot write \"%1\": %2").arg(path, reason),
                                              path, reason);
}

}  // namespace

void WriteOutput(QFile& output, const void* data, int64_t bytes) {
  if (bytes > 0 && output.write(static_cast<const char*>(data), bytes) != bytes) {
    const int code = errno;
    ThrowWriteFailure(output.fileName(), platform::WriteFailureReason(output, code));
  }
}

void CloseOutput(QFile& output) {
  const QString name = output.fileName();
  output.close();
  if (output.error() != QFileDevice::NoError) ThrowWriteFailure(name, output.errorString());
}

bool TCallbackOutput::Write(const void* data, int64_t bytes) noexcept {
  if (!FOutput || FError) return false;
  try {
    WriteOutput(*FOutput, data, bytes);
    return true;
  } catch (...) {
    FError = std::current_exception();
    return false;
  }
}

void TCallbackOutput::RethrowFailure() const {
  if (FError) std::rethrow_exception(FError);
}
