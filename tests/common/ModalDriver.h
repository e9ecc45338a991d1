// Drives the modal dialogs of a widget test: each expected dialog, named by
// objectName, is handed to its handler in order; any other dialog is rejected
// and counted as a failure, so a failing test cannot hang.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

namespace testutil {

// Acts on the modal dialogs that open while it lives: each expected dialog,
// named by objectName, in order. A dialog that is not the next expected one
// is rejected and counted, so a failing test cannot hang.
class TModalDriver {
 public:
  TModalDriver() {
    FTimer.setInterval(20);
    QObject::connect(&FTimer, &QTimer::timeout, [this] { Tick(); });
    FTimer.start();
  }
  void Then(const QString& name, std::function<void(QWidget*)> handler) {
    FExpected.push_back({name, std::move(handler)});
  }
  int Unexpected() const { return FUnexpected; }
  bool AllSeen() const { return FExpected.empty(); }

 private:
  void Tick() {
    // A dialog that closed may open again later as a new one.
    std::erase_if(FOpen, [](const QPointer<QWidget>& w) { return !w || !w->isVisible(); });
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || std::find(FOpen.begin(), FOpen.end(), modal) != FOpen.end()) return;
    FOpen.push_back(modal);
    if (FExpected.empty() || FExpected.front().first != modal->objectName()) {
      ++FUnexpected;
      ADD_FAILURE() << "unexpected dialog " << modal->objectName().toStdString();
      if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
      else
        modal->close();
      return;
    }
    auto handler = std::move(FExpected.front().second);
    FExpected.pop_front();
    handler(modal);
  }

  QTimer FTimer;
  std::deque<std::pair<QString, std::function<void(QWidget*)>>> FExpected;
  std::vector<QPointer<QWidget>> FOpen;
  int FUnexpected = 0;
};

}  // namespace testutil
