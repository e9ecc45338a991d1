// What a view of the conversion session shows and answers: the stages and
// their display names, the answers to the overwrite question, and
// TConvSessionView, which the progress dialog and the console implement and
// tests implement with scripted answers.
#pragma once

#include <QString>
#include <cstdint>

#include "encode/FileParam.h"

enum : uint8_t {
  stInitialization = 1,
  stExtracting = 2,
  stScanPeak = 3,
  stNormalizing = 4,
  stEncoding = 5,
  stRead = 6,  // the track's audio is read; an encoder makes the file
  stDone = 7,
  stRepairing = 8,  // a CTDB repair of the rip
};

inline QString StageName(uint8_t stage) {
  switch (stage) {
    case stInitialization:
      return QStringLiteral("Initialization");
    case stExtracting:
      return QStringLiteral("Extracting Audio Track(s)");
    case stScanPeak:
      return QStringLiteral("Scan Peak Level");
    case stNormalizing:
      return QStringLiteral("Normalizing");
    case stEncoding:
      return QStringLiteral("Encoding");
    case stRead:
      return QStringLiteral("Read");
    case stDone:
      return QStringLiteral("Done");
    case stRepairing:
      return QStringLiteral("Repairing from the CTDB");
    default:
      return QString();
  }
}

// Results of the overwrite question (dialog result codes).
enum : int {
  orCancel = 2,
  orYes = 6,
  orNo = 7,
  orNoToAll = 9,
  orYesToAll = 10,
};

class TConvSessionView {
 public:
  virtual ~TConvSessionView() = default;
  // The stage's display name over the progress bar.
  virtual void ShowStage(const QString& name) = 0;
  virtual void ShowProgress(int percent) = 0;
  // The job in hand: source and destination labels and the window caption.
  virtual void ShowJob(const QString& source, const QString& destination,
                       const QString& caption) = 0;
  // Asks whether to overwrite the file (its path in double quotes); returns
  // the answer and whether "Always overwrite" was ticked, after which the
  // session asks no more.
  virtual int ConfirmOverwrite(const QString& quotedPath, bool& alwaysOverwrite) = 0;
  // One line of the error summary.
  virtual void AddMessage(const QString& line) = 0;
  // A line about the run that is no error: its tracks are whole (a cover
  // left out, an album gain not written). Views without notes count it as
  // an error line.
  virtual void AddNote(const QString& line) { AddMessage(line); }
  // The tracks on the encoders with their stages and percentages (empty when
  // none), and the progress of the whole session.
  virtual void ShowEncoders(const QString& /*line*/, int /*overallPercent*/) {}
  // A job of an encoded format is settled, its encoder done: its file is
  // encoded and placed when its State is jsDone.
  virtual void ShowJobEncoded(const TFileParam& /*job*/) {}
};
