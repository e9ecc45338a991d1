#include "ui/QryCDDB.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "cddb/CddbLookup.h"
#include "ui/SelCategory.h"

TQueryCDDBForm::TQueryCDDBForm(TMyCDInfo& info, const TConfig& config, TMode mode, QWidget* parent)
    : QDialog(parent), FMode(mode), FLookup(std::make_unique<TCddbLookup>(info, config)) {
  setObjectName("QueryCDDBForm");
  setWindowTitle("Accessing CDDB(FreeDB)");
  auto* label = new QLabel("Message", this);
  memoRtnMsg = new QPlainTextEdit(this);
  memoRtnMsg->setObjectName("memoRtnMsg");
  memoRtnMsg->setReadOnly(true);
  memoRtnMsg->setLineWrapMode(QPlainTextEdit::NoWrap);
  memoRtnMsg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memoRtnMsg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  label->setBuddy(memoRtnMsg);
  btnOK = new QPushButton("&Save", this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  btnCancel = new QPushButton("&Cancel", this);
  btnCancel->setObjectName("btnCancel");
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(memoRtnMsg);
  layout->addLayout(buttons);
  setFixedSize(560, 360);

  Timer1.setSingleShot(true);
  Timer1.setInterval(1000);
  connect(&Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });

  FLookup->OnLog = [this](const QString& line) { CddbDataExchange(line); };
  FLookup->OnChoose = [this](const QStringList& matches) { return CddbMatch(matches); };
  FLookup->OnEntryRead = [this] { btnOK->setEnabled(true); };
  FLookup->OnFinished = [this](bool success) {
    if (FMode != mdQuery) btnOK->setEnabled(success);
  };
}

TQueryCDDBForm::~TQueryCDDBForm() = default;

void TQueryCDDBForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  memoRtnMsg->clear();
  btnOK->setEnabled(false);
  Timer1.start();
}

void TQueryCDDBForm::Timer1Timer() {
  switch (FMode) {
    case mdQuery:
      FLookup->StartQuery();
      break;
    case mdServerList:
      FLookup->StartServerList();
      break;
    case mdCategoryList:
      FLookup->StartCategoryList();
      break;
  }
}

void TQueryCDDBForm::CddbDataExchange(const QString& text) {
  // A request URL arrives with its line break; the log shows lines.
  const QString line = QString(text).remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
  memoRtnMsg->appendPlainText(line);
}

int TQueryCDDBForm::CddbMatch(const QStringList& matches) {
  TSelCategoryForm select(this);
  select.SetItems(matches);
  return select.exec() == QDialog::Accepted ? select.ChosenIndex() : -1;
}
