#include "net/NetworkAccess.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QThread>
#include <memory>

QNetworkAccessManager& ProgramNetwork() {
  QCoreApplication* app = QCoreApplication::instance();
  if (app && QThread::currentThread() != app->thread()) {
    thread_local std::unique_ptr<QNetworkAccessManager> own;
    if (!own) own = std::make_unique<QNetworkAccessManager>();
    return *own;
  }
  static QPointer<QNetworkAccessManager> network;
  if (!network) network = new QNetworkAccessManager(app);
  return *network;
}

QNetworkReply* ProgramNetworkGet(const QNetworkRequest& request, const QNetworkProxy& proxy) {
  // One setting for every request: the proxy is the program's, not a lookup's.
  QNetworkAccessManager& network = ProgramNetwork();
  if (network.proxy() != proxy) network.setProxy(proxy);
  return network.get(request);
}

void DropReply(QPointer<QNetworkReply>& reply, QObject* receiver) {
  if (QNetworkReply* dropped = reply) {
    reply = nullptr;
    dropped->disconnect(receiver);
    dropped->abort();
    dropped->deleteLater();
  }
}
