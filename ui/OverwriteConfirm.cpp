#include "ui/OverwriteConfirm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include "rip/ConvSession.h"

TConfirmOvwrtForm::TConfirmOvwrtForm(QWidget* parent) : QDialog(parent) {
  setObjectName("ConfirmOvwrtForm");
  setWindowTitle(QStringLiteral("Confirm overwrite existing file(s)"));
  imgQuestion = new QLabel(this);
  imgQuestion->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32, 32));
  lblQuestion = new QLabel(QStringLiteral("Do you wish overwrite this file?"), this);
  stxtFileName = new QLabel(this);
  stxtFileName->setObjectName("stxtFileName");
  stxtFileName->setWordWrap(true);
  stxtFileName->setTextFormat(Qt::PlainText);

  auto addButton = [this](const char* name, const QString& caption, int result) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(name);
    connect(button, &QPushButton::clicked, this, [this, result] { done(result); });
    return button;
  };
  btnYes = addButton("btnYes", QStringLiteral("&Yes"), orYes);
  btnYestoAll = addButton("btnYestoAll", QStringLiteral("Yes to &All"), orYesToAll);
  btnNo = addButton("btnNo", QStringLiteral("&Skip"), orNo);
  btnNotoAll = addButton("btnNotoAll", QStringLiteral("Sk&ip All"), orNoToAll);
  btnCancel = addButton("btnCancel", QStringLiteral("&Cancel"), orCancel);
  btnYes->setDefault(true);
  chkbAlwaysOverwrite =
      new QCheckBox(QStringLiteral("Always overwrite. Never ask this question again."), this);
  chkbAlwaysOverwrite->setObjectName("chkbAlwaysOverwrite");

  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {btnYes, btnYestoAll, btnNo, btnNotoAll, btnCancel})
    buttons->addWidget(button);
  auto* layout = new QGridLayout(this);
  layout->addWidget(imgQuestion, 0, 0, 2, 1, Qt::AlignTop);
  layout->addWidget(lblQuestion, 0, 1);
  layout->addWidget(stxtFileName, 1, 1);
  layout->addLayout(buttons, 2, 0, 1, 2);
  layout->addWidget(chkbAlwaysOverwrite, 3, 0, 1, 2);
  // The texts take the width the buttons leave, not the icon.
  layout->setColumnStretch(1, 1);
}

void TConfirmOvwrtForm::reject() { done(orCancel); }
