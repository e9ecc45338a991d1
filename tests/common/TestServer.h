// A scripted HTTP server on 127.0.0.1 (a free port) for the network tests:
// it collects each request up to its empty line, records it, and hands the
// socket to the test's answer function, which writes what the case needs.
#pragma once

#include <sys/socket.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <functional>

namespace testutil {

class TTestServer : public QObject {
 public:
  using TAnswer = std::function<void(QTcpSocket* socket, const QByteArray& request)>;

  explicit TTestServer(TAnswer answer) : FAnswer(std::move(answer)) {
    FServer.listen(QHostAddress::LocalHost, 0);
    connect(&FServer, &QTcpServer::newConnection, this, [this] {
      while (QTcpSocket* socket = FServer.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto reader = std::make_shared<QMetaObject::Connection>();
        *reader = connect(socket, &QTcpSocket::readyRead, socket, [this, socket, reader] {
          QByteArray& buffer = FPending[socket];
          buffer += socket->readAll();
          if (!buffer.contains("\r\n\r\n")) return;
          // The request with whatever followed its header; later bytes are
          // the answer function's to read.
          const QByteArray request = FPending.take(socket);
          disconnect(*reader);
          Requests << request;
          FAnswer(socket, request);
        });
      }
    });
  }

  quint16 Port() const { return FServer.serverPort(); }
  QString HostPort() const { return QString("127.0.0.1:%1").arg(Port()); }
  QString Url(const QString& path) const { return "http://" + HostPort() + path; }

  // The request line of request i.
  QString RequestLine(int i) const {
    return QString::fromLatin1(Requests.value(i).left(Requests.value(i).indexOf("\r\n")));
  }
  // The decoded query string of request i.
  QString Query(int i) const {
    QString target = RequestLine(i).section(QLatin1Char(' '), 1, 1);
    target = target.mid(target.indexOf(QLatin1Char('?')) + 1);
    return QUrl::fromPercentEncoding(target.replace(QLatin1Char('+'), QLatin1Char(' ')).toLatin1());
  }

  QList<QByteArray> Requests;

  // Answers: a whole response, then the connection closes.
  static TAnswer Reply(const QByteArray& response) {
    return [response](QTcpSocket* socket, const QByteArray&) {
      socket->write(response);
      socket->disconnectFromHost();
    };
  }
  // What the response holds, then a TCP reset instead of an orderly close.
  static TAnswer ResetAfter(const QByteArray& response) {
    return [response](QTcpSocket* socket, const QByteArray&) {
      socket->write(response);
      socket->flush();
      const linger hard{1, 0};
      ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
      socket->abort();
    };
  }
  // An HTTP 200 response with the body, closed by the server.
  static TAnswer Body(const QByteArray& body) {
    return Reply("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body);
  }

 private:
  QTcpServer FServer;
  TAnswer FAnswer;
  QHash<QTcpSocket*, QByteArray> FPending;
};

// A port on 127.0.0.1 where nothing listens (bound, then released).
inline quint16 ClosedPort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  const quint16 port = probe.serverPort();
  probe.close();
  return port;
}

}  // namespace testutil
