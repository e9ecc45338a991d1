// TCddb: looks a disc up on a CDDB server through its HTTP gateway (one CDDB
// command per GET request): query, choice among matches, read of the chosen
// entry, the server list and the category list. Reports every step as a
// status text. Owns its HTTP client; probes the drive for a table of contents
// of its own when created. User-interface thread only.
#pragma once

#include <QBuffer>
#include <QObject>
#include <QStringList>
#include <array>
#include <functional>

#include "net/HttpProt.h"
#include "cddb/LocalCDDB.h"

enum TServerType { CDDBP, HTTP };

enum class TCddbState {
  Idle,
  QuerySent,
  ExactMatch,  // exact match chosen
  ListMatch,   // match chosen from a list
  NoMatch,     // query ended without a usable match
  ReadSent,
  EntryRead,
  ReadFailed,
  TransferFailed,
  SitesSent,
  SitesReceived,
  CategoriesSent,
  CategoriesReceived,
};

using TMatchArray = std::array<QString, 100>;

struct TServer {
  QString Address;
  QString Path;
  TServerType Type = CDDBP;
  int32_t Port = 0;
  QString Latitude, Longitude, Description;
};

class TCddb : public QObject {
 public:
  static constexpr int MaxEntryLines = 512;
  static constexpr int MaxServers = 100;

  // Probes the drive interfaces and reads the first drive's TOC unless told
  // not to (a caller that brings its own disc ID).
  explicit TCddb(QObject* parent = nullptr, bool probeDrive = true);

  QString ServerAddr;  // host, optionally ":port"
  QString ServerAdditionalAddr = "/~cddb/cddb.cgi";
  QString ServerPort;
  TServerType ServerType = CDDBP;
  QString EmailUser;
  QString ClientName, ClientVersion, ClientComments;
  QString LocalCDDBPath = "liblocalcddb.so";
  int ProtocolLevel = 6;  // 6: names arrive in UTF-8
  bool InternalTOCRetrieve = false;
  // When not empty, the complete URL of the next request.
  QString RequestURL;

  const QString& NoteToUser() const { return FNoteToUser; }
  void SetNoteToUser(const QString& note) { FNoteToUser = note.left(70); }

  // 0 when started, -1 when refused (with a status saying why).
  int StartQuery();
  int StartRead();
  int StartSites();
  int StartCategoryList();

  TCddbState ProtocolState() const { return FState; }
  QString EntryLine(int i) const;
  QString SelectedDiscID() const { return FEntry.SelectedDiscID; }
  QString SelectedCategory() const { return FEntry.SelectedCategory; }
  const TMatchArray& Matches() const { return FMatches; }
  const std::array<TServer, MaxServers>& Servers() const { return FServers; }
  const QStringList& Categories() const { return FCategories; }
  // Every line of the last response, as received.
  const QStringList& ResponseLines() const { return FResponseLines; }
  const TCddbEntry& Entry() const { return FEntry; }
  void SetInternalTOC(const TCDInfo& toc) { FEntry.InternalTOC = toc; }
  uint32_t InternalDiscID() const;
  THttpCli& Http() { return FHttp; }

  // The user and host words of the hello from an e-mail address, joined by
  // a blank; empty without "@".
  static QString HelloWords(const QString& email);
  // A blank becomes "+", ASCII letters and digits stay, every other byte %XX.
  static QString UrlEncode(const QString& text);
  // Lines of a response body: breaks at CR, LF or CR LF; a last line without
  // a break is kept.
  static QStringList SplitResponse(const QString& body);
  // Whether a CDDB answer is whole: a one-line answer at its line end, a
  // multi-line one (x1x) at its "." line.
  static bool AnswerComplete(const QByteArray& body);
  // The status of a line that starts with three digits; empty otherwise.
  QString ClassifyLine(const QString& line);

  // Handles a whole response body (any bytes) as the answer to a request of
  // the given kind: QuerySent, ReadSent, SitesSent or CategoriesSent.
  void HandleResponse(TCddbState request, const QByteArray& body);

  std::function<void(const QString& status)> OnStatusMessage;
  std::function<void(const QString& text)> OnDataExchange;
  std::function<void(const TMatchArray& matches, int& rightOne)> OnMatch;
  // After each request's answer (or failure) has been handled.
  std::function<void()> OnRequestEnd;

 private:
  int StartRequest(const QString& url, const QString& status, TCddbState state);
  QString ComposeUrl(const QString& command) const;
  void RequestDone(int error);
  void QueryLine(const QString& line);
  void ReadLine(const QString& line);
  void SitesLine(const QString& line);
  void CategoriesLine(const QString& line);
  void ParseEntry();
  void Status(const QString& text);
  bool ChooseMatch();

  THttpCli FHttp;
  QBuffer FResponse;
  TCddbState FState = TCddbState::Idle;
  TMatchArray FMatches;
  std::array<QString, MaxEntryLines> FEntryLines;
  bool FEntryCut = false;  // the entry had more lines than the slots hold
  std::array<TServer, MaxServers> FServers;
  QStringList FCategories;
  QStringList FResponseLines;
  TCddbEntry FEntry;
  QString FNoteToUser;
};
