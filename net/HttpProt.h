// THttpCli: an asynchronous HTTP/1.0 client over TWSocket. One request at a
// time; every started request ends with exactly one OnRequestDone, posted
// through the event loop after the client is ready again. THttpResponseParser
// is its response reader, usable on its own for recorded bytes. The CDDB
// client owns one THttpCli; user-interface thread only.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

#include "net/WSocket.h"
#include "platform/Exception.h"

class QIODevice;

class EHttpException : public Exception {
 public:
  EHttpException(const QString& message, int code) : Exception(message), ErrorCode(code) {}
  int ErrorCode;
};

enum THttpRequest { httpGET = 1, httpPOST = 2, httpHEAD = 3 };

enum THttpState {
  httpReady,
  httpNotConnected,
  httpConnected,
  httpDnsLookup,
  httpDnsLookupDone,
  httpWaitingHeader,
  httpWaitingBody,
  httpAborting
};

// Completion codes beyond the socket layer's, for failures the client itself
// detects.
enum : int {
  httperrLineTooLong = 4,
  httperrTooManyRedirects = 5,
  httperrResponseTooLarge = 6,
  httperrIncomplete = 7,  // the connection closed before the announced length
};

// The parts of an address the client needs. Missing scheme "http", missing
// port "80", missing path "/".
struct THttpUrl {
  QString Proto, User, Pass, Host, Port, Path;
  bool HasPort = false;
};
THttpUrl ParseHttpUrl(const QString& url);

// Reads a response: header lines cut at LF (a CR before it dropped) in a
// buffer of 8192 bytes, then the body. Feed throws EHttpException "HTTP line
// too long" (4) when a header line fills the buffer.
class THttpResponseParser {
 public:
  enum TResult {
    NeedMore,     // keep reading
    StopReading,  // status 400 or more: close at once, no body
    Complete,     // header ended with Content-Length 0
    Redirect,     // header ended after a Location header
  };
  static constexpr int LineBufferSize = 8192;
  static constexpr int MaxHeaderLines = 100;

  TResult Feed(QByteArrayView bytes);
  bool HeaderEnded() const { return FHeaderEnded; }

  int StatusCode = 0;
  QString StatusText;
  qint64 ContentLength = -1;
  QString ContentType;
  QStringList ResponseHeaders;
  QStringList AuthenticateHeaders;
  QString Location;  // empty without a Location header
  bool HasLocation = false;
  QString ContentRangeBegin, ContentRangeEnd, AcceptRanges;

  std::function<void(const QString& line)> OnHeaderLine;  // after each line is taken in
  std::function<void(const QString& cookie)> OnCookie;
  std::function<void(QByteArrayView data)> OnBody;

 private:
  TResult HeaderLine(const QByteArray& raw, qsizetype rawLength);

  QByteArray FBuffer;
  bool FHeaderEnded = false;
};

// Reads a whole recorded response at once (status, headers and body);
// false with the reason in error when the parser rejected it.
bool ParseHttpResponse(QByteArrayView bytes, THttpResponseParser& parser, QByteArray* body,
                       QString* error);

class THttpCli : public QObject {
 public:
  explicit THttpCli(QObject* parent = nullptr);
  ~THttpCli() override;

  // Begin a request for URL and return at once. Throw EHttpException "HTTP
  // component is busy" (1) when a request runs; StartPost "HTTP component
  // has nothing to post" (2) without PostStream.
  void StartGet();
  void StartPost();
  void StartHead();
  // Ends a running request now; OnRequestDone still follows once.
  void Abort();
  // Ends a response whose body the caller knows to be whole (a protocol
  // with its own end marker on a connection the server keeps open).
  void EndOfBody();

  THttpState State() const { return FState; }

  // Settings.
  QString Proxy;
  QString ProxyPort = "80";
  QString ProxyUsername, ProxyPassword;
  QString Username, Password;
  QString Agent = "Mozilla/3.0 (compatible)";
  QString Accept = "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*";
  QString Sender;
  QString Reference;
  bool NoCache = false;
  QDateTime ModifiedSince;  // invalid = none
  QString Cookie;
  QString ContentTypePost = "application/x-www-form-urlencoded";
  QString ContentRangeBegin, ContentRangeEnd;
  QString AcceptRanges;
  QString LocalAddr = "0.0.0.0";
  // Limits that keep a broken or hostile server from holding the client.
  int MaxRedirects = 5;
  int ConnectTimeoutMs = 10000;
  int ReceiveTimeoutMs = 20000;
  qint64 MaxResponseBytes = 1024 * 1024;  // header and body
  int RequestTimeoutMs = 0;               // the whole request, redirections included; 0 for none

  // Per request.
  QString URL;
  QIODevice* ResponseStream = nullptr;  // caller-owned; the body is appended
  QIODevice* PostStream = nullptr;      // caller-owned
  int StatusCode = 0;
  QString StatusText;
  qint64 ContentLength = -1;
  QString ContentType;
  QStringList ResponseHeaders;
  QString LocationURL;
  int RequestDoneError = 0;

  std::function<void(QString& line)> OnCommand;
  std::function<void(THttpRequest request, int error)> OnRequestDone;
  std::function<void(QByteArrayView data)> OnDocData;
  std::function<void(const QString& cookie, bool& accept)> OnCookie;
  std::function<void()> OnSessionConnected, OnHeaderBegin, OnHeaderData, OnHeaderEnd,
      OnRequestHeaderBegin, OnRequestHeaderEnd, OnDocBegin, OnDocEnd, OnSendBegin, OnSendData,
      OnSendEnd, OnStateChange, OnLocationChange;

 private:
  void Start(THttpRequest request);
  void SetState(THttpState state);
  void TargetFromUrl();
  void BeginConnect();
  void DnsLookupDone(int error);
  void SessionConnected(int error);
  void SendRequest();
  void DataAvailable();
  void SessionClosed(int error);
  void ApplyRedirect();
  void HeaderEnded();
  void TakeBody(QByteArrayView data);
  void Fail(const QString& text, int error);
  void Finish(int error);
  void ArmReceiveTimer();

  std::unique_ptr<TWSocket> FSocket;
  std::unique_ptr<THttpResponseParser> FParser;
  QTimer FTimer;
  QTimer FDeadline;
  qint64 FReceivedBytes = 0;
  THttpState FState = httpReady;
  THttpRequest FRequest = httpGET;
  THttpUrl FTarget;
  QString FConnectHost, FConnectPort;
  int FRedirects = 0;
  qint64 FBodyBytes = 0;
  bool FHeaderBegun = false;
  bool FDocBegun = false;
  bool FFinishing = false;
  quint64 FSerial = 0;
};
