#include "net/HttpProt.h"

#include <QIODevice>
#include <QLocale>

#include "platform/TextDecode.h"

namespace {

constexpr int kPostChunk = 8192;

QString HttpDate(const QDateTime& when) {
  static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const QDate d = when.date();
  const QTime t = when.time();
  return QString::fromLatin1(kDays[d.dayOfWeek() - 1]) + ", " +
         QString::asprintf("%2.2d %s %4.4d %2.2d:%2.2d:%2.2d", d.day(), kMonths[d.month() - 1],
                           d.year(), t.hour(), t.minute(), t.second()) +
         " GMT";
}

QString Base64(const QString& text) { return QString::fromLatin1(text.toUtf8().toBase64()); }

QString SocketFailure(int error) {
  return WSocketErrorDesc(error) + QString(" (Error #%1)").arg(error);
}

}  // namespace

THttpUrl ParseHttpUrl(const QString& url) {
  THttpUrl result;
  QString rest = url.trimmed();
  const qsizetype scheme = rest.indexOf(QLatin1String("://"));
  const qsizetype firstPathChar = [&] {
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    const qsizetype query = rest.indexOf(QLatin1Char('?'));
    return slash < 0 ? query : (query < 0 ? slash : std::min(slash, query));
  }();
  if (scheme > 0 && (firstPathChar < 0 || scheme < firstPathChar)) {
    result.Proto = rest.left(scheme).toLower();
    rest = rest.mid(scheme + 3);
  } else {
    result.Proto = "http";
  }
  qsizetype pathStart = rest.size();
  for (qsizetype i = 0; i < rest.size(); ++i)
    if (rest[i] == QLatin1Char('/') || rest[i] == QLatin1Char('?')) {
      pathStart = i;
      break;
    }
  QString authority = rest.left(pathStart);
  result.Path = rest.mid(pathStart);
  if (result.Path.isEmpty()) result.Path = "/";
  if (result.Path.startsWith(QLatin1Char('?'))) result.Path.prepend(QLatin1Char('/'));
  const qsizetype at = authority.lastIndexOf(QLatin1Char('@'));
  if (at >= 0) {
    const QString user = authority.left(at);
    authority = authority.mid(at + 1);
    const qsizetype colon = user.indexOf(QLatin1Char(':'));
    result.User = colon < 0 ? user : user.left(colon);
    result.Pass = colon < 0 ? QString() : user.mid(colon + 1);
  }
  const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
  if (colon >= 0) {
    result.Host = authority.left(colon);
    result.Port = authority.mid(colon + 1);
    result.HasPort = true;
  } else {
    result.Host = authority;
  }
  if (result.Port.isEmpty()) result.Port = "80";
  return result;
}

THttpResponseParser::TResult THttpResponseParser::Feed(QByteArrayView bytes) {
  if (FHeaderEnded) {
    if (OnBody && !bytes.isEmpty()) OnBody(bytes);
    return NeedMore;
  }
  FBuffer.append(bytes);
  while (!FHeaderEnded) {
    const qsizetype lf = FBuffer.indexOf('\n');
    const qsizetype lineLength = lf < 0 ? FBuffer.size() : lf;
    if (lineLength >= LineBufferSize) throw EHttpException("HTTP line too long", 4);
    if (lf < 0) return NeedMore;
    QByteArray line = FBuffer.left(lf);
    if (line.endsWith('\r')) line.chop(1);
    const TResult result = HeaderLine(line, lf + 1);
    if (result != NeedMore) return result;
  }
  return NeedMore;
}

THttpResponseParser::TResult THttpResponseParser::HeaderLine(const QByteArray& raw,
                                                             qsizetype rawLength) {
  const QString line = QString::fromLatin1(raw);
  if (line.left(6).toUpper() == QLatin1String("<HTML>")) {
    // A response without header: this line is the first of the body.
    if (ContentType.isEmpty()) ContentType = "text/html";
    FHeaderEnded = true;
    const QByteArray body = std::exchange(FBuffer, {});
    if (OnBody) OnBody(body);
    return NeedMore;
  }
  FBuffer.remove(0, rawLength);
  if (line.isEmpty()) {
    FHeaderEnded = true;
    // A redirection often carries Content-Length 0; it is followed all the same.
    if (HasLocation) return Redirect;
    if (ContentLength == 0) return Complete;
    const QByteArray body = std::exchange(FBuffer, {});
    if (OnBody && !body.isEmpty()) OnBody(body);
    return NeedMore;
  }
  if (ResponseHeaders.size() >= MaxHeaderLines)
    throw EHttpException("Too many HTTP header lines", httperrResponseTooLarge);
  ResponseHeaders << line;
  if (line.startsWith(QLatin1String("HTTP/1.0")) || line.startsWith(QLatin1String("HTTP/1.1"))) {
    StatusCode = line.mid(9, 3).toInt();
    // The server's words reach logs and terminals: no control character
    // of theirs may retitle a terminal or start a line of its own.
    StatusText = platform::EscapeControls(line.mid(13));
  } else if (const qsizetype colon = line.indexOf(QLatin1Char(':')); colon >= 0) {
    const QString name = line.left(colon).toLower();
    qsizetype start = colon + 1;
    while (start < line.size() && line[start] == QLatin1Char(' ')) ++start;
    const QString value = line.mid(start);
    if (name == QLatin1String("location")) {
      Location = value.trimmed();
      HasLocation = true;
    } else if (name == QLatin1String("content-length")) {
      bool ok = false;
      const qint64 length = value.trimmed().toLongLong(&ok);
      if (ok && length >= 0) ContentLength = length;
    } else if (name == QLatin1String("content-range")) {
      const qsizetype dash = value.indexOf(QLatin1Char('-'));
      const qsizetype slash = value.indexOf(QLatin1Char('/'));
      if (dash >= 6) {
        ContentRangeBegin = value.mid(6, dash - 6);
        ContentRangeEnd =
            slash > dash ? value.mid(dash + 1, slash - dash - 1) : value.mid(dash + 1);
      }
    } else if (name == QLatin1String("accept-ranges")) {
      AcceptRanges = value;
    } else if (name == QLatin1String("content-type")) {
      ContentType = value.toLower();
    } else if (name == QLatin1String("www-authenticate")) {
      AuthenticateHeaders << value;
    } else if (name == QLatin1String("set-cookie")) {
      if (OnCookie) OnCookie(value);
    }
  }
  if (OnHeaderLine) OnHeaderLine(line);
  return StatusCode >= 400 ? StopReading : NeedMore;
}

bool ParseHttpResponse(QByteArrayView bytes, THttpResponseParser& parser, QByteArray* body,
                       QString* error) {
  parser.OnBody = [body](QByteArrayView data) {
    if (body) body->append(data);
  };
  try {
    parser.Feed(bytes);
  } catch (const EHttpException& e) {
    if (error) *error = e.Message();
    return false;
  }
  return true;
}

THttpCli::THttpCli(QObject* parent) : QObject(parent), FSocket(std::make_unique<TWSocket>()) {
  FTimer.setSingleShot(true);
  connect(&FTimer, &QTimer::timeout, this, [this] {
    if (FState == httpDnsLookup || FState == httpDnsLookupDone || FState == httpNotConnected)
      Fail(SocketFailure(WSAETIMEDOUT), WSAETIMEDOUT);
    else
      Fail(QString("No answer from the server for %1 seconds").arg(ReceiveTimeoutMs / 1000.0),
           WSAETIMEDOUT);
  });
  FDeadline.setSingleShot(true);
  connect(&FDeadline, &QTimer::timeout, this, [this] {
    Fail(QString("No complete answer from the server within %1 seconds")
             .arg(RequestTimeoutMs / 1000.0),
         WSAETIMEDOUT);
  });
  FSocket->OnDnsLookupDone = [this](int error) { DnsLookupDone(error); };
  FSocket->OnSessionConnected = [this](int error) { SessionConnected(error); };
  FSocket->OnDataAvailable = [this] { DataAvailable(); };
  FSocket->OnSessionClosed = [this](int error) { SessionClosed(error); };
  FSocket->OnDataSent = [this](qint64) {
    if (FRequest != httpPOST || !PostStream || FState != httpWaitingHeader) return;
    const QByteArray piece = PostStream->read(kPostChunk);
    if (piece.isEmpty()) {
      if (OnSendEnd) OnSendEnd();
      return;
    }
    FSocket->Send(piece);
    if (OnSendData) OnSendData();
  };
}

THttpCli::~THttpCli() = default;

void THttpCli::StartGet() { Start(httpGET); }
void THttpCli::StartHead() { Start(httpHEAD); }
void THttpCli::StartPost() {
  if (FState == httpReady && !PostStream)
    throw EHttpException("HTTP component has nothing to post", 2);
  Start(httpPOST);
}

void THttpCli::SetState(THttpState state) {
  FState = state;
  if (OnStateChange) OnStateChange();
}

void THttpCli::Start(THttpRequest request) {
  if (FState != httpReady) throw EHttpException("HTTP component is busy", 1);
  ++FSerial;
  FFinishing = false;
  SetState(httpNotConnected);
  FRequest = request;
  ResponseHeaders.clear();
  StatusCode = 0;
  StatusText.clear();
  ContentType.clear();
  ContentLength = -1;
  RequestDoneError = 0;
  FRedirects = 0;
  LocationURL = URL;
  FReceivedBytes = 0;
  if (RequestTimeoutMs > 0) FDeadline.start(RequestTimeoutMs);
  FTarget = ParseHttpUrl(URL);
  if (!FTarget.User.isEmpty()) {
    Username = FTarget.User;
    Password = FTarget.Pass;
  }
  // The connection starts from the event loop, so the caller finishes its
  // own bookkeeping first.
  QMetaObject::invokeMethod(
      this,
      [this, serial = FSerial] {
        if (serial == FSerial && !FFinishing) BeginConnect();
      },
      Qt::QueuedConnection);
}

void THttpCli::TargetFromUrl() {
  if (Proxy.isEmpty()) {
    FConnectHost = FTarget.Host;
    FConnectPort = FTarget.Port;
    return;
  }
  const qsizetype colon = Proxy.lastIndexOf(QLatin1Char(':'));
  FConnectHost = colon < 0 ? Proxy : Proxy.left(colon);
  FConnectPort = colon < 0 ? ProxyPort : Proxy.mid(colon + 1);
}

void THttpCli::BeginConnect() {
  FParser = std::make_unique<THttpResponseParser>();
  ResponseHeaders.clear();
  FParser->OnHeaderLine = [this](const QString& line) {
    StatusCode = FParser->StatusCode;
    StatusText = FParser->StatusText;
    // One line at a time: copying the whole list each time grows as its square.
    ResponseHeaders << line;
    if (OnHeaderData) OnHeaderData();
  };
  FParser->OnCookie = [this](const QString& cookie) {
    bool accept = true;
    if (OnCookie) OnCookie(cookie, accept);
  };
  FParser->OnBody = [this](QByteArrayView data) {
    HeaderEnded();
    TakeBody(data);
  };
  FBodyBytes = 0;
  FHeaderBegun = FDocBegun = false;
  TargetFromUrl();
  SetState(httpDnsLookup);
  FTimer.start(ConnectTimeoutMs);
  FSocket->DnsLookup(FConnectHost);
}

void THttpCli::DnsLookupDone(int error) {
  if (FState != httpDnsLookup) return;
  if (error) {
    Fail("can't resolve hostname to IP address", error);
    return;
  }
  SetState(httpDnsLookupDone);
  bool ok = false;
  const uint port = FConnectPort.trimmed().toUInt(&ok);
  if (!ok || port == 0 || port > 65535) {
    Fail("can't connect: " + SocketFailure(WSAEINVAL), WSAEINVAL);
    return;
  }
  FSocket->Connect(FSocket->DnsResult(), quint16(port), QHostAddress(LocalAddr));
}

void THttpCli::SessionConnected(int error) {
  if (FState != httpDnsLookupDone) return;
  if (error) {
    Fail(SocketFailure(error), error);
    return;
  }
  SetState(httpConnected);
  if (OnSessionConnected) OnSessionConnected();
  SendRequest();
}

void THttpCli::SendRequest() {
  static const char* const kVerbs[] = {"", "GET", "POST", "HEAD"};
  QString path = FTarget.Path;
  if (!Proxy.isEmpty())
    path = FTarget.Proto + "://" + FTarget.Host + (FTarget.HasPort ? ":" + FTarget.Port : "") +
           FTarget.Path;
  QStringList lines;
  lines << QString("%1 %2 HTTP/1.0").arg(kVerbs[FRequest], path);
  if (!Sender.isEmpty()) lines << "From: " + Sender;
  if (!Accept.isEmpty()) lines << "Accept: " + Accept;
  if (!Reference.isEmpty()) lines << "Referer: " + Reference;
  if (FRequest == httpPOST && !ContentTypePost.isEmpty())
    lines << "Content-Type: " + ContentTypePost;
  if (!Agent.isEmpty()) lines << "User-Agent: " + Agent;
  lines << "Host: " + FTarget.Host;
  if (NoCache) lines << "Pragma: no-cache";
  if (FRequest == httpPOST)
    lines << QString("Content-Length: %1").arg(PostStream->size() - PostStream->pos());
  if (ModifiedSince.isValid()) lines << "If-Modified-Since: " + HttpDate(ModifiedSince);
  if (!Username.isEmpty()) lines << "Authorization: Basic " + Base64(Username + ":" + Password);
  if (!Proxy.isEmpty() && !ProxyUsername.isEmpty())
    lines << "Proxy-Authorization: Basic " + Base64(ProxyUsername + ":" + ProxyPassword);
  if (!Cookie.isEmpty()) lines << "Cookie: " + Cookie;
  if (!ContentRangeBegin.isEmpty() || !ContentRangeEnd.isEmpty()) {
    lines << "Range: bytes=" + ContentRangeBegin + "-" + ContentRangeEnd;
    ContentRangeBegin.clear();
    ContentRangeEnd.clear();
  }
  AcceptRanges.clear();
  lines << QString();
  if (OnRequestHeaderBegin) OnRequestHeaderBegin();
  QByteArray header;
  for (QString& line : lines) {
    if (OnCommand) OnCommand(line);
    // A line break inside a value would smuggle in a header line of its own.
    line.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
    header += line.toUtf8() + "\r\n";
  }
  if (OnRequestHeaderEnd) OnRequestHeaderEnd();
  SetState(httpWaitingHeader);
  if (OnSendBegin) OnSendBegin();
  FSocket->Send(header);
  FTimer.start(ReceiveTimeoutMs);
}

void THttpCli::DataAvailable() {
  const QByteArray bytes = FSocket->ReceiveAll();
  if (bytes.isEmpty() || FFinishing || !FParser) return;
  FReceivedBytes += bytes.size();
  if (FReceivedBytes > MaxResponseBytes) {
    Fail(QString("Response larger than %1 bytes; the rest was not read").arg(MaxResponseBytes),
         httperrResponseTooLarge);
    return;
  }
  FTimer.start(ReceiveTimeoutMs);
  if (!FHeaderBegun) {
    FHeaderBegun = true;
    if (OnHeaderBegin) OnHeaderBegin();
  }
  THttpResponseParser::TResult result;
  try {
    result = FParser->Feed(bytes);
  } catch (const EHttpException& e) {
    Fail(e.Message(), e.ErrorCode);
    return;
  }
  if (FFinishing) return;
  ContentLength = FParser->ContentLength;
  ContentType = FParser->ContentType;
  if (FParser->HeaderEnded()) HeaderEnded();
  switch (result) {
    case THttpResponseParser::NeedMore:
      break;
    case THttpResponseParser::StopReading:
    case THttpResponseParser::Complete:
      Finish(0);
      break;
    case THttpResponseParser::Redirect:
      ApplyRedirect();
      break;
  }
}

void THttpCli::HeaderEnded() {
  if (FState != httpWaitingHeader) return;
  ContentType = FParser->ContentType;
  ContentLength = FParser->ContentLength;
  AcceptRanges = FParser->AcceptRanges;
  if (!FParser->ContentRangeBegin.isEmpty() || !FParser->ContentRangeEnd.isEmpty()) {
    ContentRangeBegin = FParser->ContentRangeBegin;
    ContentRangeEnd = FParser->ContentRangeEnd;
  }
  SetState(httpWaitingBody);
  if (OnHeaderEnd) OnHeaderEnd();
}

void THttpCli::TakeBody(QByteArrayView data) {
  if (FFinishing) return;
  if (FBodyBytes + data.size() > MaxResponseBytes) {
    Fail(QString("Response larger than %1 bytes; the rest was not read").arg(MaxResponseBytes),
         httperrResponseTooLarge);
    return;
  }
  // A body of announced length is whole at that length, whether or not the
  // server closes the connection.
  const qint64 length = FParser ? FParser->ContentLength : -1;
  if (length >= 0 && FBodyBytes + data.size() > length) data = data.first(length - FBodyBytes);
  FBodyBytes += data.size();
  if (!FDocBegun) {
    FDocBegun = true;
    if (OnDocBegin) OnDocBegin();
  }
  if (ResponseStream) ResponseStream->write(data.data(), data.size());
  if (OnDocData) OnDocData(data);
  if (length >= 0 && FBodyBytes == length) EndOfBody();
}

void THttpCli::EndOfBody() {
  if (FFinishing || FState != httpWaitingBody) return;
  if (OnDocEnd) OnDocEnd();
  Finish(0);
}

void THttpCli::SessionClosed(int error) {
  if (FFinishing || FState == httpReady) return;
  if (FState != httpWaitingHeader && FState != httpWaitingBody) {
    Fail(SocketFailure(WSAECONNRESET), WSAECONNRESET);
    return;
  }
  DataAvailable();
  if (FFinishing) return;
  // A connection lost within the body is a failure, not an answer.
  if (error) {
    Fail(SocketFailure(error), error);
    return;
  }
  if (FParser && FParser->HeaderEnded() && FParser->ContentLength > FBodyBytes) {
    Fail(QString("The connection closed after %1 of %2 bytes")
             .arg(FBodyBytes)
             .arg(FParser->ContentLength),
         httperrIncomplete);
    return;
  }
  if (FState == httpWaitingHeader) {
    if (OnHeaderEnd) OnHeaderEnd();
    if (FParser->HasLocation) {
      ApplyRedirect();
      return;
    }
  } else if (FDocBegun && OnDocEnd) {
    OnDocEnd();
  }
  Finish(0);
}

void THttpCli::ApplyRedirect() {
  FTimer.stop();
  FSocket->Abort();
  if (++FRedirects > MaxRedirects) {
    Fail(QString("Too many redirections (more than %1)").arg(MaxRedirects),
         httperrTooManyRedirects);
    return;
  }
  const QString location = FParser->Location;
  if (location.startsWith(QLatin1Char('/'))) {
    FTarget.Path = location;
  } else if (location.startsWith(QLatin1String("./")) ||
             location.startsWith(QLatin1String("../")) ||
             !location.contains(QLatin1String("://"))) {
    QString base = FTarget.Path.left(FTarget.Path.indexOf(QLatin1Char('?')) < 0
                                         ? FTarget.Path.size()
                                         : FTarget.Path.indexOf(QLatin1Char('?')));
    base = base.left(base.lastIndexOf(QLatin1Char('/')));  // the folder, without its '/'
    QString rest = location;
    for (;;) {
      if (rest.startsWith(QLatin1String("./"))) {
        rest = rest.mid(2);
      } else if (rest.startsWith(QLatin1String("../"))) {
        rest = rest.mid(3);
        base = base.left(std::max<qsizetype>(0, base.lastIndexOf(QLatin1Char('/'))));
      } else {
        break;
      }
    }
    FTarget.Path = base + "/" + rest;
  } else {
    const THttpUrl next = ParseHttpUrl(location);
    if (next.Proto != QLatin1String("http")) {
      Fail("can't follow a redirection to " + location, httperrTooManyRedirects);
      return;
    }
    FTarget.Host = next.Host;
    FTarget.Port = next.Port;
    FTarget.HasPort = next.HasPort;
    FTarget.Path = next.Path;
  }
  LocationURL = FTarget.Proto + "://" + FTarget.Host +
                (FTarget.HasPort ? ":" + FTarget.Port : QString()) + FTarget.Path;
  if (OnLocationChange) OnLocationChange();
  if (FRequest == httpPOST) FRequest = httpGET;
  ResponseHeaders.clear();
  StatusCode = 0;
  StatusText.clear();
  SetState(httpNotConnected);
  QMetaObject::invokeMethod(
      this,
      [this, serial = FSerial] {
        if (serial == FSerial && !FFinishing) BeginConnect();
      },
      Qt::QueuedConnection);
}

void THttpCli::Abort() {
  if (FState == httpReady || FFinishing) return;
  Fail(QStringLiteral("Request aborted"), WSAECONNABORTED);
}

void THttpCli::Fail(const QString& text, int error) {
  if (FFinishing) return;
  StatusCode = 404;
  StatusText = text;
  Finish(error);
}

void THttpCli::Finish(int error) {
  if (FFinishing) return;
  FFinishing = true;
  FTimer.stop();
  FDeadline.stop();
  FSocket->CancelDnsLookup();
  FSocket->Abort();
  if (FState != httpReady) SetState(httpAborting);
  RequestDoneError = error;
  QMetaObject::invokeMethod(
      this,
      [this, request = FRequest, error] {
        SetState(httpReady);
        if (OnRequestDone) OnRequestDone(request, error);
      },
      Qt::QueuedConnection);
}
