#include "cddb/CddbLookup.h"

#include <QHostInfo>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>

#include "cddb/CDInfo.h"
#include "platform/AppInfo.h"
#include "platform/Files.h"
#include "platform/Folders.h"
#include "settings/config.h"

namespace {

const char* const kHelloUser = "Velmora";

bool IsEmailAddress(const QString& text) {
  static const QRegularExpression kAddress("^[^@\\s]+@[^@\\s]+$");
  return kAddress.match(text.trimmed()).hasMatch();
}

// A word of a query string: unreserved characters stay, others become %XX.
QString UrlWord(const QString& word) {
  return QString::fromLatin1(QUrl::toPercentEncoding(word.trimmed()));
}

bool SaveLines(const QString& name, const QStringList& lines) {
  if (lines.isEmpty()) return false;
  return platform::WriteFileAtomic(platform::ConfigFolder() + name,
                                   (lines.join("\r\n") + "\r\n").toUtf8());
}

QString Capitalised(const QString& word) {
  QString text = word.trimmed().toLower();
  for (qsizetype i = 0; i < text.size(); ++i)
    if (i == 0 || text[i - 1] == QLatin1Char(' ')) text[i] = text[i].toUpper();
  return text;
}

}  // namespace

TCddbLookup::TCddbLookup(TMyCDInfo& info, const TConfig& config, QObject* parent)
    : QObject(parent),
      FInfo(info),
      FServerName(config.ServerName.trimmed()),
      FQueryScript(config.QueryScript.trimmed()),
      FEmailAddress(config.EmailAddress.trimmed()),
      FCddb(this, /*probeDrive=*/false) {
  FCddb.ClientName = kProgramName;
  FCddb.ClientVersion = kProgramVersion;
  FCddb.ServerAddr = FServerName;
  FCddb.ServerAdditionalAddr = FQueryScript;
  FCddb.ServerType = HTTP;
  FCddb.ServerPort = "80";
  FCddb.LocalCDDBPath = platform::ProgramFolder() + "liblocalcddb.so";
  if (config.EnableProxy && !config.ProxyServer.trimmed().isEmpty()) {
    FCddb.Http().Proxy = config.ProxyServer.trimmed();
    FCddb.Http().ProxyPort = QString::number(config.ProxyPort);
  }
  FCddb.Http().RequestTimeoutMs = config.CDDBTimeOut * 1000;
  FCddb.OnStatusMessage = [this](const QString& status) { StatusMessage(status); };
  FCddb.OnDataExchange = [this](const QString& text) { Log(text); };
  FCddb.OnMatch = [this](const TMatchArray& matches, int& rightOne) { Match(matches, rightOne); };
  FCddb.OnRequestEnd = [this] { RequestEnded(); };
}

QString TCddbLookup::LocalAddress() {
  const QHostInfo host = QHostInfo::fromName(QHostInfo::localHostName());
  QString address = "127.0.0.1";
  for (const QHostAddress& candidate : host.addresses())
    if (candidate.protocol() == QAbstractSocket::IPv4Protocol) address = candidate.toString();
  return address;
}

QString TCddbLookup::ReadFilePath() { return platform::CacheFolder() + "cddbread.tmp"; }

QString TCddbLookup::Hello() const {
  const QStringList words = IsEmailAddress(FEmailAddress)
                                ? TCddb::HelloWords(FEmailAddress).split(QLatin1Char(' '))
                                : QStringList{kHelloUser, LocalAddress()};
  return UrlWord(words.value(0)) + "+" + UrlWord(words.value(1)) + "+" + kProgramName + "+" +
         kProgramVersion;
}

QString TCddbLookup::QueryUrl() const {
  QString url = "http://" + FServerName + FQueryScript + "?cmd=cddb+query+" +
                QString::asprintf("%8.8x", FInfo.DiscID) + "+" + QString::number(FInfo.TrackCount);
  for (int i = 0; i < FInfo.TrackCount; ++i)
    url += "+" + QString::number(FInfo.Tracks[size_t(i)].StartSector + 150);
  return url + "+" + QString::number(FInfo.DiscSeconds) + "+&hello=" + Hello() +
         "&proto=" + QString::number(FCddb.ProtocolLevel);
}

QString TCddbLookup::ReadUrl() const {
  QString discId = FCddb.SelectedDiscID().trimmed();
  if (discId == "00000000" || discId == "00000001")
    discId = QString::asprintf("%8.8x", FInfo.DiscID);
  return "http://" + FServerName + FQueryScript + "?cmd=cddb+read+" +
         UrlWord(FCddb.SelectedCategory()) + "+" + UrlWord(discId) + "&hello=" + Hello() +
         "&proto=" + QString::number(FCddb.ProtocolLevel);
}

QString TCddbLookup::ListUrl(const QString& command) const {
  return "http://" + FServerName + FQueryScript + "?cmd=" + command + "&hello=" + Hello() +
         "&proto=" + QString::number(FCddb.ProtocolLevel);
}

void TCddbLookup::Log(const QString& line) {
  if (OnLog) OnLog(line);
}

void TCddbLookup::Send(const QString& url, int (TCddb::*start)()) {
  FRunning = true;
  Log(url);
  FCddb.RequestURL = url;
  const int result = (FCddb.*start)();
  FCddb.RequestURL.clear();
  if (result != 0) Finish(false);
}

TCDInfo TCddbLookup::TocOf(const TMyCDInfo& info) {
  TCDInfo toc{};
  const auto msf = [](int32_t sector, uint8_t& min, uint8_t& sec, uint8_t& frame) {
    const int32_t frames = std::max(0, sector) + 150;
    min = uint8_t(std::min(frames / 4500, 255));
    sec = uint8_t(frames / 75 % 60);
    frame = uint8_t(frames % 75);
  };
  toc.TrackCount = uint8_t(std::clamp(info.TrackCount, 0, int(LCDDB_MAX_TRACKS)));
  for (int i = 0; i < toc.TrackCount; ++i) {
    const TCDTrack& track = info.Tracks[size_t(i)];
    msf(track.StartSector, toc.Tracks[i].Min, toc.Tracks[i].Sec, toc.Tracks[i].Frame);
    toc.Tracks[i].Audio = track.Kind == TTrackKind::Audio ? -1 : 0;
  }
  msf(info.LeadOutSector(), toc.LeadOutMin, toc.LeadOutSec, toc.LeadOutFrame);
  return toc;
}

void TCddbLookup::StartQuery() {
  FEntryRead = false;
  FCddb.SetInternalTOC(TocOf(FInfo));
  FCddb.InternalTOCRetrieve = FInfo.TrackCount > 0;
  Send(QueryUrl(), &TCddb::StartQuery);
}

void TCddbLookup::StartServerList() { Send(ListUrl("sites"), &TCddb::StartSites); }

void TCddbLookup::StartCategoryList() { Send(ListUrl("cddb+lscat"), &TCddb::StartCategoryList); }

void TCddbLookup::Match(const TMatchArray& matches, int& rightOne) {
  rightOne = 0;
  QStringList items;
  for (const QString& match : matches)
    if (!match.isEmpty()) items << match;
  if ((items.size() > 1 || (ChooseEvenOne && !items.isEmpty())) && OnChoose) {
    const int chosen = OnChoose(items);
    if (chosen >= 0 && chosen < items.size()) rightOne = chosen;
    if (chosen == DeclineMatch) rightOne = -1;
  }
}

void TCddbLookup::RequestEnded() {
  switch (FCddb.ProtocolState()) {
    case TCddbState::ExactMatch:
    case TCddbState::ListMatch:
      // The read starts once the query's completion handling has returned.
      QMetaObject::invokeMethod(
          this, [this] { Read(); }, Qt::QueuedConnection);
      break;
    case TCddbState::EntryRead:
      Finish(FEntryRead);
      break;
    case TCddbState::SitesReceived:
    case TCddbState::CategoriesReceived:
      Finish(true);
      break;
    default:
      Finish(false);
  }
}

void TCddbLookup::Read() {
  const TCddbState state = FCddb.ProtocolState();
  if (state != TCddbState::ExactMatch && state != TCddbState::ListMatch) return Finish(false);
  Send(ReadUrl(), &TCddb::StartRead);
}

void TCddbLookup::StatusMessage(const QString& status) {
  Log(status);
  if (status.trimmed() != QLatin1String("Entry read")) return;
  QByteArray text;
  for (int i = 0; i < TCddb::MaxEntryLines; ++i) text += FCddb.EntryLine(i).toUtf8() + "\r\n";
  const QString path = ReadFilePath();
  if (!platform::WriteFileAtomic(path, text)) {
    Log("Can't write " + path);
    return;
  }
  // An entry without names is no answer: its placeholders would be saved.
  TMyCDInfo names = FInfo;
  names.SetDefaultNames();
  if (!names.ReadXmcdFile(path) || !names.NamesSomething()) {
    Log("The server's entry names nothing");
    return;
  }
  FInfo.ClearReleaseNames();
  FInfo.ReadXmcdFile(path);
  FEntryRead = true;
  if (OnEntryRead) OnEntryRead();
}

void TCddbLookup::Finish(bool success) {
  if (!FRunning) return;
  FRunning = false;
  if (OnFinished) OnFinished(success);
}

QStringList TCddbLookup::ServerListLines() const {
  const QStringList& lines = FCddb.ResponseLines();
  if (FCddb.ProtocolState() != TCddbState::SitesReceived || lines.size() < 2) return {};
  return lines.mid(1, lines.size() - 2);
}

QStringList TCddbLookup::CategoryNames() const {
  if (FCddb.ProtocolState() != TCddbState::CategoriesReceived) return {};
  QStringList names;
  for (const QString& category : FCddb.Categories()) names << Capitalised(category);
  return names;
}

bool TCddbLookup::SaveServerList() const { return SaveLines("server.txt", ServerListLines()); }

bool TCddbLookup::SaveCategoryList() const { return SaveLines("Genre.txt", CategoryNames()); }
