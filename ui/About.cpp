#include "ui/About.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "platform/AppInfo.h"
#include "ui/splash.h"

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("About Cadenzo");
  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(64, 64));
  auto* text = new QLabel(this);
  text->setObjectName("lblAbout");
  text->setTextFormat(Qt::RichText);
  text->setOpenExternalLinks(true);
  text->setText(
      QString("<h2>%1</h2><p>Version %2</p><p>Audio CD extractor: digital audio to WAV, "
              "MP3, FLAC and Opus files.</p><p>Copyright &copy; %3</p><p><a href=\"%4\">%4</a></p>")
          .arg(kProgramName, kProgramVersion, kMakerName, kHomepageUrl));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->setObjectName("btnOK");
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addWidget(text, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
  setFixedSize(sizeHint());
}
