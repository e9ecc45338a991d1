// File helpers every store uses: saves that never leave a half-written
// file, and line handling. Decoding is in platform/TextDecode.h.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <utility>

namespace platform {

// Creates the folder with all missing levels. Empty when it exists
// afterwards, else why not in the system's words; the levels it made are
// removed again then, so a failure leaves nothing behind.
QString CreateFolder(const QString& path);

// The path and the system's reason of a file that could not be created or
// written. Thrown mixed into a component's exception (EFileFailure), so the
// component's fixed message stays and a summary can still name the cause.
class TFileFailure {
 public:
  TFileFailure(QString path, QString reason) : Path(std::move(path)), Reason(std::move(reason)) {}
  virtual ~TFileFailure() = default;
  QString Path;
  QString Reason;
};

template <class TError>
class EFileFailure : public TError, public TFileFailure {
 public:
  EFileFailure(const QString& message, const QString& path, const QString& reason)
      : TError(message), TFileFailure(path, reason) {}
};

// The reason of a write to the file that just failed, given errno as it was
// right after the write: QFile reports a short write (a full disk met in the
// middle of a buffer) without an error of its own.
QString WriteFailureReason(const QFile& file, int code);

// Writes the whole file through a temporary file renamed into place, creating
// the folder when needed: the previous content stays intact on any failure.
bool WriteFileAtomic(const QString& path, const QByteArray& bytes);
// "path: reason" of this thread's last failed WriteFileAtomic, for the
// message that names what could not be saved.
QString LastWriteError();

// The path with the extension of its last component (from the last dot on)
// replaced by ext; a name without a dot gets ext appended.
QString ChangeFileExt(const QString& path, const QString& ext);

// Splits text at CR LF, LF or lone CR.
QStringList SplitLines(const QString& text);

// The text on one line: every line break (CR LF, LF or lone CR) becomes a
// blank, so a value cannot end its line early in a line-based file.
QString SingleLine(QString text);

}  // namespace platform
