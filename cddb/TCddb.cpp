#include "cddb/TCddb.h"

#include <QRegularExpression>
#include <algorithm>

#include "cddb/SptiCD.h"
#include "platform/Files.h"
#include "platform/TextDecode.h"

namespace {

// A status line: three digits, then a blank or the end. A site line that
// starts with a numeric address ("141.101.67.1 http ...") is none.
bool StartsWithDigits(const QString& line) {
  if (line.size() < 3 || (line.size() > 3 && line[3] != QLatin1Char(' '))) return false;
  for (int i = 0; i < 3; ++i)
    if (line[i] < QLatin1Char('0') || line[i] > QLatin1Char('9')) return false;
  return true;
}

bool IsHexId(const QString& text) {
  static const QRegularExpression kHex("^[0-9a-fA-F]{8}$");
  return kHex.match(text).hasMatch();
}

const char* const kEmailHint =
    "The server refused the request. Set your e-mail address in the options dialog "
    "(CDDB page, E-mail address): servers answer registered addresses only.";

}  // namespace

TCddb::TCddb(QObject* parent, bool probeDrive) : QObject(parent) {
  FNoteToUser = "TCddb component of Cadenzo; report faults to the program's maker.";
  FResponse.open(QIODevice::ReadWrite);
  if (probeDrive) InternalTOCRetrieve = ReadFirstDriveTOC(FEntry.InternalTOC);
  FHttp.ResponseStream = &FResponse;
  FHttp.OnRequestDone = [this](THttpRequest, int error) {
    RequestDone(error);
    if (OnRequestEnd) OnRequestEnd();
  };
  // A server that keeps the connection open has answered when the answer ends.
  FHttp.OnDocData = [this](QByteArrayView) {
    if (AnswerComplete(FResponse.data())) FHttp.EndOfBody();
  };
}

bool TCddb::AnswerComplete(const QByteArray& body) {
  const qsizetype firstEnd = body.indexOf('\n');
  if (firstEnd < 0) return false;
  // x1x codes announce lines up to a "." line; every other answer is one line.
  const bool multiLine = body.size() >= 3 && body[1] == '1';
  if (!multiLine) return true;
  return body.endsWith("\n.\r\n") || body.endsWith("\n.\n");
}

QString TCddb::EntryLine(int i) const {
  return i >= 0 && i < MaxEntryLines ? FEntryLines[size_t(i)] : QString();
}

uint32_t TCddb::InternalDiscID() const {
  const TCDInfo& toc = FEntry.InternalTOC;
  if (toc.TrackCount == 0) return 0;
  uint32_t n = 0;
  for (int i = 0; i < toc.TrackCount && i < LCDDB_MAX_TRACKS; ++i)
    for (uint32_t s = toc.Tracks[i].Min * 60u + toc.Tracks[i].Sec; s > 0; s /= 10) n += s % 10;
  const uint32_t t =
      (toc.LeadOutMin * 60u + toc.LeadOutSec) - (toc.Tracks[0].Min * 60u + toc.Tracks[0].Sec);
  return ((n % 255) << 24) | (t << 8) | toc.TrackCount;
}

QString TCddb::HelloWords(const QString& email) {
  const qsizetype at = email.indexOf(QLatin1Char('@'));
  if (at < 0) return QString();
  return email.left(at) + " " + email.mid(at + 1);
}

QString TCddb::UrlEncode(const QString& text) {
  QString encoded;
  for (const char c : text.toUtf8()) {
    if (c == ' ')
      encoded += QLatin1Char('+');
    else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
      encoded += QLatin1Char(c);
    else
      encoded += QString::asprintf("%%%02X", static_cast<unsigned char>(c));
  }
  return encoded;
}

QStringList TCddb::SplitResponse(const QString& body) {
  QStringList lines;
  QString line;
  for (qsizetype i = 0; i < body.size(); ++i) {
    const QChar c = body[i];
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
      lines << line;
      line.clear();
      if (c == QLatin1Char('\r') && i + 1 < body.size() && body[i + 1] == QLatin1Char('\n')) ++i;
    } else {
      line += c;
    }
  }
  if (!line.isEmpty()) lines << line;
  return lines;
}

QString TCddb::ComposeUrl(const QString& command) const {
  // Concatenated: the encoded words hold "%XX", which arg() would take for markers.
  return "http://" + ServerAddr + ServerAdditionalAddr + "?cmd=" + UrlEncode(command) +
         "&hello=" + UrlEncode(HelloWords(EmailUser)) + "+" + UrlEncode(ClientName) + "+" +
         UrlEncode(ClientVersion) + "&proto=" + QString::number(ProtocolLevel);
}

void TCddb::Status(const QString& text) {
  if (OnStatusMessage) OnStatusMessage(text);
}

int TCddb::StartRequest(const QString& url, const QString& status, TCddbState state) {
  if (ServerType != HTTP) {
    Status("Selected server not an HTTP server");
    return -1;
  }
  FResponse.buffer().clear();
  FResponse.seek(0);
  const QString request = RequestURL.isEmpty() ? url : RequestURL;
  Status(status);
  if (OnDataExchange) OnDataExchange(request + "\r\n");
  FHttp.URL = request;
  try {
    FHttp.StartGet();
  } catch (const EHttpException& e) {
    FState = TCddbState::TransferFailed;
    Status("\"" + e.Message() + "\"");
    return -1;
  }
  FState = state;
  return 0;
}

int TCddb::StartQuery() {
  const TCDInfo& toc = FEntry.InternalTOC;
  QString command = QString::asprintf("cddb query %8.8x %d", InternalDiscID(), toc.TrackCount);
  for (int i = 0; i < toc.TrackCount && i < LCDDB_MAX_TRACKS; ++i)
    command +=
        QString(" %1").arg(toc.Tracks[i].Min * 4500 + toc.Tracks[i].Sec * 75 + toc.Tracks[i].Frame);
  command += QString(" %1").arg(toc.LeadOutMin * 60 + toc.LeadOutSec);
  return StartRequest(ComposeUrl(command), "Querying CD", TCddbState::QuerySent);
}

int TCddb::StartRead() {
  if (FState == TCddbState::NoMatch) {
    Status("Can't perform a CDDB READ without a successful CDDB QUERY!");
    return -1;
  }
  const QString command =
      QString("cddb read %1 %2")
          .arg(FEntry.SelectedCategory.trimmed(), FEntry.SelectedDiscID.trimmed());
  return StartRequest(ComposeUrl(command), "Reading CD info", TCddbState::ReadSent);
}

int TCddb::StartSites() {
  return StartRequest(ComposeUrl("sites"), "Getting server list", TCddbState::SitesSent);
}

int TCddb::StartCategoryList() {
  return StartRequest(ComposeUrl("cddb lscat"), "Getting category list",
                      TCddbState::CategoriesSent);
}

void TCddb::RequestDone(int error) {
  if (error) {
    FState = TCddbState::TransferFailed;
    Status("\"" + FHttp.StatusText + "\"");
    return;
  }
  // An HTTP failure status carries no CDDB answer; say so instead of
  // going silent.
  if (FHttp.StatusCode < 200 || FHttp.StatusCode > 299) {
    FState = TCddbState::TransferFailed;
    Status(FHttp.StatusCode == 0
               ? QString("\"No HTTP answer from the server\"")
               : QString("\"%1 %2\"").arg(FHttp.StatusCode).arg(FHttp.StatusText));
    return;
  }
  HandleResponse(FState, FResponse.data());
}

void TCddb::HandleResponse(TCddbState request, const QByteArray& body) {
  FState = request;
  FResponseLines = SplitResponse(platform::DecodeLines(body));
  const TCddbState requested = request;
  for (const QString& line : FResponseLines) {
    if (OnDataExchange) OnDataExchange(line);
    switch (FState) {
      case TCddbState::QuerySent:
        QueryLine(line);
        break;
      case TCddbState::ReadSent:
        ReadLine(line);
        break;
      case TCddbState::SitesSent:
        SitesLine(line);
        break;
      case TCddbState::CategoriesSent:
        CategoriesLine(line);
        break;
      default:
        break;
    }
  }
  // An answer cut off before its end marker leaves the request open.
  if (FState == requested) {
    Status("The server's answer ended early");
    FState = requested == TCddbState::QuerySent  ? TCddbState::NoMatch
             : requested == TCddbState::ReadSent ? TCddbState::ReadFailed
                                                 : TCddbState::TransferFailed;
  }
  if (FState == TCddbState::EntryRead) ParseEntry();
}

QString TCddb::ClassifyLine(const QString& line) {
  if (!StartsWithDigits(line)) return QString();
  const int code = line.left(3).toInt();
  QString text;
  switch (code) {
    case 402:
      text = "Server error";
      break;
    case 408:
      text = "CGI environment error";
      break;
    case 500:
      text = "Command syntax error, command unknown, command unimplemented";
      break;
    case 530:
      text = "Server error, server timeout";
      FState = TCddbState::Idle;
      break;
    default: {
      static const char* const kKinds[] = {"",
                                           "Informative message",
                                           "Command OK",
                                           "Command OK so far",
                                           "Command OK, but cannot be performed",
                                           "Command unimplemented, incorrect, or program error"};
      const int kind = code / 100;
      if (kind >= 1 && kind <= 5) text = kKinds[kind];
      switch (code % 100) {
        case 0:
          text += ", ready for further commands";
          break;
        case 10:
          text += ", more server-to-client output follows";
          break;
        case 20:
          text += ", more client-to-server input follows";
          break;
        case 30:
          text += ", connection will close";
          FState = TCddbState::Idle;
          break;
        default:
          break;
      }
    }
  }
  Status(text);
  // Servers that refuse unregistered clients answer 500 or 501 before any command.
  if (code == 500 || code == 501) Status(kEmailHint);
  return text;
}

bool TCddb::ChooseMatch() {
  int rightOne = 0;
  if (OnMatch) OnMatch(FMatches, rightOne);
  if (rightOne < 0 || rightOne >= int(FMatches.size()) || FMatches[size_t(rightOne)].isEmpty())
    return false;
  const QString match = FMatches[size_t(rightOne)];
  const qsizetype blank = match.indexOf(QLatin1Char(' '));
  if (FState == TCddbState::ExactMatch) {
    FEntry.SelectedCategory = match.section(QLatin1Char(' '), 0, 0).trimmed();
    // The disc ID the server matched; the drive's own only when the line
    // lacks one.
    const QString id = match.section(QLatin1Char(' '), 1, 1);
    FEntry.SelectedDiscID =
        IsHexId(id) ? id.toLower() : QString::asprintf("%8.8x", InternalDiscID());
  } else {
    FEntry.SelectedCategory = blank < 0 ? match : match.left(blank + 1);
    FEntry.SelectedDiscID = blank < 0 ? QString() : match.mid(blank + 1, 8);
  }
  return true;
}

void TCddb::QueryLine(const QString& line) {
  const QString code = line.left(3);
  if (code == "200" && StartsWithDigits(line)) {
    Status("Found exact match");
    FState = TCddbState::ExactMatch;
    FMatches.fill(QString());
    FMatches[0] = line.mid(4).trimmed();
    if (!ChooseMatch()) FState = TCddbState::NoMatch;
  } else if (code == "202") {
    Status("No match found");
    FState = TCddbState::NoMatch;
  } else if (code == "210" || code == "211") {
    Status(code == "210" ? "Found exact matches" : "Found inexact matches");
    Status("OK, receiving matches");
    FMatches.fill(QString());
  } else if (code == "403") {
    Status("Database entry is corrupt");
    FState = TCddbState::NoMatch;
  } else if (code == "409") {
    Status("No handshake");
    FState = TCddbState::NoMatch;
  } else if (StartsWithDigits(line)) {
    ClassifyLine(line);
    if (code.toInt() >= 400 && FState == TCddbState::QuerySent) FState = TCddbState::NoMatch;
  } else if (line.startsWith(QLatin1Char('.'))) {
    Status("Received matches");
    FState = TCddbState::ListMatch;
    if (!ChooseMatch()) FState = TCddbState::NoMatch;
  } else if (!line.trimmed().isEmpty()) {
    for (QString& slot : FMatches)
      if (slot.isEmpty()) {
        slot = line.trimmed();
        break;
      }
  }
}

void TCddb::ReadLine(const QString& line) {
  const QString code = line.left(3);
  if (code == "210") {
    Status("OK, CDDB database entry follows");
    FEntryLines.fill(QString());
    FEntryCut = false;
  } else if (code == "401" || code == "402" || code == "403" || code == "409") {
    Status(code == "401"   ? "Specified CDDB entry not found"
           : code == "402" ? "Server error"
           : code == "403" ? "Database entry is corrupt"
                           : "No handshake");
    FState = TCddbState::ReadFailed;
  } else if (line.startsWith(QLatin1Char('.')) && FEntryCut) {
    // The names past the last slot would be lost: a cut entry is none.
    Status(QString("The entry has more than %1 lines; it was not taken").arg(MaxEntryLines));
    FState = TCddbState::ReadFailed;
  } else if (line.startsWith(QLatin1Char('.'))) {
    Status("Entry read");
    FState = TCddbState::EntryRead;
  } else if (!line.isEmpty() && QString("#TDEP").contains(line[0])) {
    // Kept whole: a value split over two lines may have its blank at the split.
    const auto slot = std::find_if(FEntryLines.begin(), FEntryLines.end(),
                                   [](const QString& kept) { return kept.isEmpty(); });
    if (slot == FEntryLines.end())
      FEntryCut = true;
    else
      *slot = line;
  } else if (!line.trimmed().isEmpty()) {
    ClassifyLine(line);
    FState = TCddbState::ReadFailed;
  }
}

void TCddb::SitesLine(const QString& line) {
  const QString code = line.left(3);
  if (code == "210") {
    Status("OK, receiving sites");
    FServers.fill(TServer());
  } else if (code == "401") {
    Status("No site information available");
    FState = TCddbState::TransferFailed;
  } else if (line.startsWith(QLatin1Char('.'))) {
    Status("Got sites");
    FState = TCddbState::SitesReceived;
  } else if (StartsWithDigits(line)) {
    ClassifyLine(line);
  } else if (!line.trimmed().isEmpty()) {
    const QStringList words = line.simplified().split(QLatin1Char(' '));
    for (TServer& server : FServers)
      if (server.Address.isEmpty()) {
        server.Address = words.value(0);
        server.Type = words.value(1).toLower() == "http" ? HTTP : CDDBP;
        server.Port = words.value(2).toInt();
        server.Path = words.value(3);
        server.Latitude = words.value(4);
        server.Longitude = words.value(5);
        server.Description = words.mid(6).join(QLatin1Char(' '));
        break;
      }
  }
}

void TCddb::CategoriesLine(const QString& line) {
  if (line.startsWith(QLatin1String("210"))) {
    Status("OK, receiving categories");
    FCategories.clear();
  } else if (line.startsWith(QLatin1Char('.'))) {
    Status("Got categories");
    FState = TCddbState::CategoriesReceived;
  } else if (StartsWithDigits(line)) {
    ClassifyLine(line);
    if (line.left(3).toInt() >= 400) FState = TCddbState::TransferFailed;
  } else if (!line.trimmed().isEmpty() && FCategories.size() < 100) {
    FCategories << line.trimmed();
  }
}

void TCddb::ParseEntry() {
  try {
    TLocalCDDB library(LocalCDDBPath);
    const QString category = FEntry.SelectedCategory;
    const QStringList lines(FEntryLines.begin(), FEntryLines.end());
    if (library.ParseEntry(lines, FEntry) == LCDDB_CORRUPT) Status("The entry is corrupt");
    FEntry.SelectedCategory = category;
  } catch (const ELocalCDDBError&) {
    Status("LocalCDDB.dll not found or invalid");
  }
}
