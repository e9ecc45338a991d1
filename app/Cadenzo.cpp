// The desktop program: starts the CD-reading library, refuses to run without
// it or without a drive, shows the splash while the windows are created and
// runs the event loop. Message boxes become QMessageBoxes, and an exception
// that escapes an event handler is shown in one.
#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <exception>
#include <memory>

#include "libs/cdrip/cdrip.h"
#include "platform/AppInfo.h"
#include "platform/Folders.h"
#include "platform/MessageBox.h"
#include "platform/Platform.h"
#include "ui/MainForm.h"
#include "ui/splash.h"

using namespace platform;

namespace {

int ShowQtMessageBox(const QString& text, const QString& caption, unsigned flags) {
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(caption);
  box.setText(QString(text).replace("\r\n", "\n"));
  switch (flags & 0xF0) {
    case MB_ICONERROR:
      box.setIcon(QMessageBox::Critical);
      break;
    case MB_ICONQUESTION:
      box.setIcon(QMessageBox::Question);
      break;
    case MB_ICONWARNING:
      box.setIcon(QMessageBox::Warning);
      break;
    case MB_ICONINFORMATION:
      box.setIcon(QMessageBox::Information);
      break;
  }
  struct TButton {
    const char* Caption;
    int Result;
    QMessageBox::ButtonRole Role;
  };
  std::vector<TButton> buttons;
  switch (flags & 0x0F) {
    case MB_OKCANCEL:
      buttons = {{"OK", IDOK, QMessageBox::AcceptRole},
                 {"Cancel", IDCANCEL, QMessageBox::RejectRole}};
      break;
    case MB_ABORTRETRYIGNORE:
      buttons = {{"&Abort", IDABORT, QMessageBox::RejectRole},
                 {"&Retry", IDRETRY, QMessageBox::AcceptRole},
                 {"&Ignore", IDIGNORE, QMessageBox::AcceptRole}};
      break;
    case MB_YESNOCANCEL:
      buttons = {{"&Yes", IDYES, QMessageBox::YesRole},
                 {"&No", IDNO, QMessageBox::NoRole},
                 {"Cancel", IDCANCEL, QMessageBox::RejectRole}};
      break;
    case MB_YESNO:
      buttons = {{"&Yes", IDYES, QMessageBox::YesRole}, {"&No", IDNO, QMessageBox::NoRole}};
      break;
    case MB_RETRYCANCEL:
      buttons = {{"&Retry", IDRETRY, QMessageBox::AcceptRole},
                 {"Cancel", IDCANCEL, QMessageBox::RejectRole}};
      break;
    default:
      buttons = {{"OK", IDOK, QMessageBox::AcceptRole}};
  }
  std::vector<QPushButton*> pushButtons;
  for (const TButton& button : buttons)
    pushButtons.push_back(box.addButton(button.Caption, button.Role));
  const size_t defaultIndex = (flags & MB_DEFBUTTON2) && buttons.size() > 1 ? 1 : 0;
  box.setDefaultButton(pushButtons[defaultIndex]);
  box.exec();
  for (size_t i = 0; i < buttons.size(); ++i)
    if (box.clickedButton() == pushButtons[i]) return buttons[i].Result;
  // Closed without a button: the Cancel (or only) button's answer.
  return (flags & 0x0F) == MB_YESNO ? IDNO : buttons.back().Result;
}

// Every event runs inside this handler, so an exception a handler lets
// through is shown instead of ending the program.
class TCadenzoApplication : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
      MessageBox(QString::fromStdString(e.what()), kProgramName, MB_OK | MB_ICONERROR);
    }
    return false;
  }
};

const char* const kAspiText =
    "The ASPI(Advenced SCSI Program Interface) may not been set up property.\r\n";

}  // namespace

int main(int argc, char** argv) {
  TCadenzoApplication app(argc, argv);
  QApplication::setApplicationName(kProgramName);
  QApplication::setApplicationVersion(kProgramVersion);
  QApplication::setWindowIcon(ProgramIcon());
  SetMessageBoxHandler(ShowQtMessageBox);

  const QString folder = ProgramFolder();
  if (CR_Init(CdripIniPath().toLocal8Bit().constData()) == CDRIP_ERROR) {
    const QString installer = folder + "aspi.exe";
    if (QFileInfo::exists(installer)) {
      MessageBox(QString(kAspiText) + "Click OK will install the ASPI driver!", "Error", MB_OK);
      StartProgram(installer, {});
    } else {
      MessageBox(QString(kAspiText) + "The program can't run!", "Error", MB_OK);
    }
    return 1;
  }
  const int driveCount = CR_GetNumCDROM();
  if (driveCount < 1) {
    MessageBox(
        "Cadenzo has detected not CD-ROM device installed on your system. \r\n"
        "The program can't be run!",
        "Error", MB_OK);
    return 1;
  }

  auto splash = std::make_unique<TSplashForm>();
  splash->show();
  splash->repaint();
  QApplication::processEvents();
  TMainForm mainForm(driveCount);
  splash.reset();
  mainForm.show();
  return QApplication::exec();
}
