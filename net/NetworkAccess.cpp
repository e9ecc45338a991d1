#include "net/NetworkAccess.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>

QNetworkAccessManager& ProgramNetwork() {
  static QPointer<QNetworkAccessManager> network;
  if (!network) network = new QNetworkAccessManager(QCoreApplication::instance());
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
