// TWSocket: the asynchronous TCP socket under the HTTP client, over
// QTcpSocket and QHostInfo. Name lookup, connect, send, receive and close
// report through events on the thread that owns the socket (the user-interface
// thread); nothing blocks. Owned by THttpCli.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class QTcpSocket;

enum TSocketState {
  wsInvalidState,
  wsOpened,
  wsBound,
  wsConnecting,
  wsConnected,
  wsAccepting,
  wsListening,
  wsClosed
};

// Socket error codes, numbered as the Winsock codes the texts describe.
enum : int {
  WSAECONNABORTED = 10053,
  WSAECONNRESET = 10054,
  WSAENETUNREACH = 10051,
  WSAETIMEDOUT = 10060,
  WSAECONNREFUSED = 10061,
  WSAEHOSTUNREACH = 10065,
  WSAEINVAL = 10022,
  WSAEACCES = 10013,
  WSAHOST_NOT_FOUND = 11001,
};

// The text of a socket error code: "No Error" for 0, the Winsock description
// for the codes it knows, "Not a WinSock error" for any other.
QString WSocketErrorDesc(int errorCode);

class TWSocket : public QObject {
 public:
  explicit TWSocket(QObject* parent = nullptr);
  ~TWSocket() override;

  TSocketState State() const { return FState; }

  // Resolves the name asynchronously; OnDnsLookupDone(error) follows, with
  // DnsResult() holding the first IPv4 address (else the first address).
  void DnsLookup(const QString& hostName);
  void CancelDnsLookup();
  QHostAddress DnsResult() const { return FDnsResult; }

  // Connects asynchronously; OnSessionConnected(error) follows. Requires: the
  // socket is not connected.
  void Connect(const QHostAddress& address, quint16 port, const QHostAddress& localAddr);
  // Queues bytes for sending; OnDataSent fires as pieces leave.
  void Send(const QByteArray& bytes);
  // Everything received so far, removed from the socket.
  QByteArray ReceiveAll();
  // Closes the connection; OnSessionClosed follows when one was open or opening.
  void Close();
  // Drops the connection without any further event.
  void Abort();

  std::function<void(int error)> OnDnsLookupDone;
  std::function<void(int error)> OnSessionConnected;
  std::function<void()> OnDataAvailable;
  std::function<void(qint64 bytes)> OnDataSent;
  std::function<void(int error)> OnSessionClosed;

 private:
  void SocketError();
  void SocketClosed();
  // Qt reports a reset as the peer's orderly close; a second descriptor of
  // the connection keeps it open long enough for the kernel to say which.
  bool PeerReset() const;
  void ReleaseWatch();

  std::unique_ptr<QTcpSocket> FSocket;
  TSocketState FState = wsClosed;
  int FLookupId = -1;
  uint64_t FLookupGeneration = 0;  // a cancel or a new lookup drops the answers of older ones
  int FError = 0;
  int FWatch = -1;  // a duplicate of the socket's descriptor while connected
  QHostAddress FDnsResult;
};
