// Message boxes with the Windows result codes. The desktop program installs a
// handler that shows a QMessageBox; tests install TScriptedMessageBoxes, which
// answers from a script and records every question. Without a handler, and
// on any thread but the application's, the question goes to stderr and the
// default button is taken.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

namespace platform {

// Buttons (low nibble) and icons, as MessageBox flags.
enum : unsigned {
  MB_OK = 0x00,
  MB_OKCANCEL = 0x01,
  MB_ABORTRETRYIGNORE = 0x02,
  MB_YESNOCANCEL = 0x03,
  MB_YESNO = 0x04,
  MB_RETRYCANCEL = 0x05,
  MB_ICONERROR = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONWARNING = 0x30,
  MB_ICONINFORMATION = 0x40,
  MB_DEFBUTTON2 = 0x100,
};

// Results.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

using TMessageBoxHandler =
    std::function<int(const QString& text, const QString& caption, unsigned flags)>;

int MessageBox(const QString& text, const QString& caption, unsigned flags = MB_OK);

// Installs the handler for every later MessageBox call; an empty one restores
// the stderr fallback. Returns the previous handler.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler);

// The answer a box gives when nobody can be asked: the default button.
int DefaultAnswer(unsigned flags);

// Test responder: answers questions in order from a script and records them.
// When the script runs out it answers with the default button and records the
// question as unexpected. Installs itself on construction, restores on
// destruction.
class TScriptedMessageBoxes {
 public:
  struct TQuestion {
    QString Text;
    QString Caption;
    unsigned Flags;
    int Answer;
  };

  TScriptedMessageBoxes();
  ~TScriptedMessageBoxes();
  TScriptedMessageBoxes(const TScriptedMessageBoxes&) = delete;
  TScriptedMessageBoxes& operator=(const TScriptedMessageBoxes&) = delete;

  void Answer(int result) { FScript.push_back(result); }
  const std::vector<TQuestion>& Asked() const { return FAsked; }
  QStringList Texts() const;
  int Unexpected() const { return FUnexpected; }

 private:
  std::deque<int> FScript;
  std::vector<TQuestion> FAsked;
  int FUnexpected = 0;
  TMessageBoxHandler FPrevious;
};

}  // namespace platform
