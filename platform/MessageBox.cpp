#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QThread>
#include <cstdio>

namespace platform {
namespace {

TMessageBoxHandler& Handler() {
  static TMessageBoxHandler handler;
  return handler;
}

}  // namespace

int DefaultAnswer(unsigned flags) {
  const bool second = flags & MB_DEFBUTTON2;
  switch (flags & 0x0F) {
    case MB_OKCANCEL: return second ? IDCANCEL : IDOK;
    case MB_ABORTRETRYIGNORE: return second ? IDRETRY : IDABORT;
    case MB_YESNOCANCEL: return second ? IDNO : IDYES;
    case MB_YESNO: return second ? IDNO : IDYES;
    case MB_RETRYCANCEL: return second ? IDCANCEL : IDRETRY;
    default: return IDOK;
  }
}

int MessageBox(const QString& text, const QString& caption, unsigned flags) {
  // Boxes are windows of the user-interface thread; a worker's question
  // (a drive's rip) takes the default button.
  const QCoreApplication* app = QCoreApplication::instance();
  const bool interfaceThread = !app || QThread::currentThread() == app->thread();
  if (interfaceThread && Handler()) return Handler()(text, caption, flags);
  std::fprintf(stderr, "%s: %s\n", caption.toLocal8Bit().constData(),
               text.toLocal8Bit().constData());
  return DefaultAnswer(flags);
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler handler) {
  TMessageBoxHandler previous = std::move(Handler());
  Handler() = std::move(handler);
  return previous;
}

TScriptedMessageBoxes::TScriptedMessageBoxes() {
  FPrevious = SetMessageBoxHandler([this](const QString& text, const QString& caption,
                                          unsigned flags) {
    int answer;
    if (FScript.empty()) {
      ++FUnexpected;
      answer = DefaultAnswer(flags);
    } else {
      answer = FScript.front();
      FScript.pop_front();
    }
    FAsked.push_back({text, caption, flags, answer});
    return answer;
  });
}

TScriptedMessageBoxes::~TScriptedMessageBoxes() { SetMessageBoxHandler(std::move(FPrevious)); }

QStringList TScriptedMessageBoxes::Texts() const {
  QStringList texts;
  for (const TQuestion& q : FAsked) texts << q.Text;
  return texts;
}

}  // namespace platform
