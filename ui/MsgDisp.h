// TDispForm: the error summary of a conversion session, one line per failed
// step, and its notes (lines that are no error). Created once with the main
// window and reused; the session appends lines, the main window shows it
// after a session with errors or notes and clears it.
#pragma once

#include <QDialog>
#include <cstdint>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

class TDispForm : public QDialog {
  Q_OBJECT
 public:
  explicit TDispForm(QWidget* parent = nullptr);

  void AddMessage(const QString& text);
  void AddNote(const QString& text);
  void ClearMessages();

  int32_t ErrorCount = 0;
  int32_t NoteCount = 0;

  QLabel* lblMessages;
  QPlainTextEdit* MessageMemo;
  QPushButton* btnOK;
  QCheckBox* chkPromptOption;  // hidden

 protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;
};
