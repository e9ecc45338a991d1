#include "net/WSocket.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QHostInfo>
#include <QTcpSocket>
#include <map>

QString WSocketErrorDesc(int errorCode) {
  static const std::map<int, const char*> kTexts = {
      {0, "No Error"},
      {10004, "Interrupted system call"},
      {10009, "Bad file number"},
      {10013, "Permission denied"},
      {10014, "Bad address"},
      {10022, "Invalid argument"},
      {10024, "Too many open files"},
      {10035, "Operation would block"},
      {10036, "Operation now in progress"},
      {10037, "Operation already in progress"},
      {10038, "Socket operation on non-socket"},
      {10039, "Destination address required"},
      {10040, "Message too long"},
      {10041, "Protocol wrong type for socket"},
      {10042, "Protocol not available"},
      {10043, "Protocol not supported"},
      {10044, "Socket type not supported"},
      {10045, "Operation not supported on socket"},
      {10046, "Protocol family not supported"},
      {10047, "Address family not supported by protocol family"},
      {10048, "Address already in use"},
      {10049, "Address not available"},
      {10050, "Network is down"},
      {10051, "Network is unreachable"},
      {10052, "Network dropped connection on reset"},
      {10053, "Connection aborted"},
      {10054, "Connection reset by peer"},
      {10055, "No buffer space available"},
      {10056, "Socket is already connected"},
      {10057, "Socket is not connected"},
      {10058, "Can't send after socket shutdown"},
      {10059, "Too many references: can't splice"},
      {10060, "Connection timed out"},
      {10061, "Connection refused"},
      {10062, "Too many levels of symbolic links"},
      {10063, "File name too long"},
      {10064, "Host is down"},
      {10065, "No route to host"},
      {10066, "Directory not empty"},
      {10067, "Too many processes"},
      {10068, "Too many users"},
      {10069, "Disc quota exceeded"},
      {10070, "Stale NFS file handle"},
      {10071, "Too many levels of remote in path"},
      {10091, "Network sub-system is unusable"},
      {10092, "WinSock DLL cannot support this application"},
      {10093, "WinSock not initialized"},
      {11001, "Host not found"},
      {11002, "Non-authoritative host not found"},
      {11003, "Non-recoverable error"},
      {11004, "No Data"},
  };
  const auto it = kTexts.find(errorCode);
  return QString::fromLatin1(it == kTexts.end() ? "Not a WinSock error" : it->second);
}

namespace {

int WinsockCode(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
      return WSAECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError:
      return 0;
    case QAbstractSocket::HostNotFoundError:
      return WSAHOST_NOT_FOUND;
    case QAbstractSocket::SocketAccessError:
      return WSAEACCES;
    case QAbstractSocket::SocketTimeoutError:
      return WSAETIMEDOUT;
    case QAbstractSocket::NetworkError:
      return WSAENETUNREACH;
    case QAbstractSocket::AddressInUseError:
      return 10048;
    case QAbstractSocket::SocketAddressNotAvailableError:
      return 10049;
    case QAbstractSocket::UnsupportedSocketOperationError:
      return 10045;
    case QAbstractSocket::SocketResourceError:
      return 10055;
    default:
      return WSAECONNRESET;
  }
}

}  // namespace

TWSocket::TWSocket(QObject* parent) : QObject(parent) {}

TWSocket::~TWSocket() {
  CancelDnsLookup();
  Abort();
}

void TWSocket::DnsLookup(const QString& hostName) {
  CancelDnsLookup();
  FDnsResult = QHostAddress();
  // An address needs no resolver, and no lookup thread whose answer could
  // outlive the program's last event loop; it is still answered later.
  if (QHostAddress address; address.setAddress(hostName)) {
    QMetaObject::invokeMethod(
        this,
        [this, address, generation = FLookupGeneration] {
          if (generation != FLookupGeneration) return;
          FDnsResult = address;
          if (OnDnsLookupDone) OnDnsLookupDone(0);
        },
        Qt::QueuedConnection);
    return;
  }
  FLookupId = QHostInfo::lookupHost(hostName, this, [this](const QHostInfo& info) {
    FLookupId = -1;
    int error = 0;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
      error = WSAHOST_NOT_FOUND;
    } else {
      FDnsResult = info.addresses().first();
      for (const QHostAddress& address : info.addresses())
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
          FDnsResult = address;
          break;
        }
    }
    if (OnDnsLookupDone) OnDnsLookupDone(error);
  });
}

void TWSocket::CancelDnsLookup() {
  ++FLookupGeneration;
  if (FLookupId >= 0) QHostInfo::abortHostLookup(FLookupId);
  FLookupId = -1;
}

void TWSocket::Connect(const QHostAddress& address, quint16 port, const QHostAddress& localAddr) {
  Abort();
  FSocket = std::make_unique<QTcpSocket>();
  FError = 0;
  QTcpSocket* socket = FSocket.get();
  connect(socket, &QTcpSocket::connected, this, [this] {
    FState = wsConnected;
    FWatch = ::dup(int(FSocket->socketDescriptor()));
    if (OnSessionConnected) OnSessionConnected(0);
  });
  connect(socket, &QTcpSocket::readyRead, this, [this] {
    if (OnDataAvailable) OnDataAvailable();
  });
  connect(socket, &QTcpSocket::bytesWritten, this, [this](qint64 bytes) {
    if (OnDataSent) OnDataSent(bytes);
  });
  connect(socket, &QTcpSocket::errorOccurred, this, [this] { SocketError(); });
  connect(socket, &QTcpSocket::disconnected, this, [this] { SocketClosed(); });
  if (!localAddr.isNull() && localAddr != QHostAddress::AnyIPv4) socket->bind(localAddr);
  FState = wsConnecting;
  socket->connectToHost(address, port);
}

void TWSocket::SocketError() {
  const int code = WinsockCode(FSocket->error());
  if (FState == wsConnecting) {
    // A failed attempt never connected: report it as the connect result.
    FState = wsClosed;
    if (OnSessionConnected) OnSessionConnected(code ? code : WSAECONNRESET);
    return;
  }
  FError = code == 0 && PeerReset() ? WSAECONNRESET : code;
  // A reset arrives without a disconnected signal when the socket never
  // reached the connected state's clean shutdown; close it ourselves.
  if (FSocket->state() == QAbstractSocket::UnconnectedState) SocketClosed();
}

bool TWSocket::PeerReset() const {
  tcp_info info{};
  socklen_t size = sizeof info;
  // After an orderly close the peer's side waits for ours (CLOSE_WAIT); a
  // reset leaves nothing (CLOSE).
  return FWatch >= 0 && ::getsockopt(FWatch, IPPROTO_TCP, TCP_INFO, &info, &size) == 0 &&
         info.tcpi_state == TCP_CLOSE;
}

void TWSocket::ReleaseWatch() {
  if (FWatch >= 0) ::close(FWatch);
  FWatch = -1;
}

void TWSocket::SocketClosed() {
  ReleaseWatch();
  if (FState == wsClosed) return;
  FState = wsClosed;
  if (OnSessionClosed) OnSessionClosed(FError);
}

void TWSocket::Send(const QByteArray& bytes) {
  if (FSocket) FSocket->write(bytes);
}

QByteArray TWSocket::ReceiveAll() { return FSocket ? FSocket->readAll() : QByteArray(); }

void TWSocket::Close() {
  if (FSocket && FState != wsClosed) FSocket->disconnectFromHost();
}

void TWSocket::Abort() {
  if (!FSocket) return;
  QTcpSocket* socket = FSocket.release();
  socket->disconnect(this);
  FState = wsClosed;
  socket->abort();
  ReleaseWatch();
  socket->deleteLater();
}
