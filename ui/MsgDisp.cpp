#include "ui/MsgDisp.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/config.h"

TDispForm::TDispForm(QWidget* parent) : QDialog(parent) {
  setObjectName("DispForm");
  setSizeGripEnabled(true);
  lblMessages = new QLabel(QStringLiteral("Error Messages:"), this);
  MessageMemo = new QPlainTextEdit(this);
  MessageMemo->setObjectName("MessageMemo");
  MessageMemo->setReadOnly(true);
  MessageMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
  MessageMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MessageMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  chkPromptOption =
      new QCheckBox(QStringLiteral("Don't show this error message dialog again"), this);
  chkPromptOption->setObjectName("chkPromptOption");
  chkPromptOption->hide();
  btnOK = new QPushButton(QStringLiteral("OK"), this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(chkPromptOption);
  buttons->addStretch();
  buttons->addWidget(btnOK);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblMessages);
  layout->addWidget(MessageMemo, 1);
  layout->addLayout(buttons);
  resize(480, 300);
}

void TDispForm::AddMessage(const QString& text) {
  MessageMemo->appendPlainText(text);
  ++ErrorCount;
}

void TDispForm::AddNote(const QString& text) {
  MessageMemo->appendPlainText("Note: " + text);
  ++NoteCount;
}

void TDispForm::ClearMessages() {
  MessageMemo->clear();
  ErrorCount = 0;
  NoteCount = 0;
}

void TDispForm::showEvent(QShowEvent* event) {
  chkPromptOption->setChecked(false);
  setWindowTitle(
      ErrorCount > 0 || NoteCount == 0
          ? QString::asprintf("%d Error(s) occured during conversion session.", ErrorCount)
          : QStringLiteral("Notes of the conversion session."));
  // Show the lines from their beginning, not where the last one ended.
  MessageMemo->moveCursor(QTextCursor::Start);
  QDialog::showEvent(event);
}

void TDispForm::done(int result) {
  Config->ShowErrorMessage = !chkPromptOption->isChecked();
  QDialog::done(result);
}
