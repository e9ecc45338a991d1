// TConfirmOvwrtForm: the question whether to overwrite an existing output
// file. Created once with the main window and shown by the conversion
// dialog; exec() returns the answer as a dialog result code (Yes 6, Yes to
// all 10, Skip 7, Skip all 9, Cancel 2, also for Escape and the close box).
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

class TConfirmOvwrtForm : public QDialog {
  Q_OBJECT
 public:
  explicit TConfirmOvwrtForm(QWidget* parent = nullptr);

  QLabel* imgQuestion;
  QLabel* lblQuestion;
  QLabel* stxtFileName;
  QPushButton* btnYes;
  QPushButton* btnYestoAll;
  QPushButton* btnNo;
  QPushButton* btnNotoAll;
  QPushButton* btnCancel;
  QCheckBox* chkbAlwaysOverwrite;

 public slots:
  void reject() override;
};
