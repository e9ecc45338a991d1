// Takes the http addresses the program would open in the browser, for as
// long as it lives.
#pragma once

#include <QDesktopServices>
#include <QObject>
#include <QStringList>
#include <QUrl>

class TUrlCatcher : public QObject {
  Q_OBJECT
 public:
  TUrlCatcher() { QDesktopServices::setUrlHandler("http", this, "Open"); }
  ~TUrlCatcher() override { QDesktopServices::unsetUrlHandler("http"); }
  QStringList Opened;
  Q_INVOKABLE void Open(const QUrl& url) { Opened << url.toString(); }
};
