// TCddbLookup: one lookup of the loaded disc on the CDDB server of the
// settings, as the lookup dialog and cadenzo-rip --query run it: the query
// URL from the disc information, the choice among several matches, the read
// posted after the query's handling, the entry saved to cddbread.tmp in the
// cache folder and read into the disc information. Also the server and
// category list commands. Owns its TCddb; user-interface thread only.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

#include "cddb/TCddb.h"

class TMyCDInfo;
class TConfig;

class TCddbLookup : public QObject {
 public:
  // The disc information is not owned and must outlive the lookup.
  // The lookup opens no drive: the TOC it sends is the one the program read
  // from the selected drive or image.
  TCddbLookup(TMyCDInfo& info, const TConfig& config, QObject* parent = nullptr);

  // Runs the query; the read follows by itself. OnFinished reports the end.
  void StartQuery();
  // cmd=sites and cmd=cddb lscat; OnFinished reports the end.
  void StartServerList();
  void StartCategoryList();

  // The URLs the lookup sends.
  QString QueryUrl() const;
  QString ReadUrl() const;
  QString ListUrl(const QString& command) const;
  // "user+host+Cadenzo+1.06" from the e-mail address when it is one, else
  // "Velmora+<local address>+Cadenzo+1.06".
  QString Hello() const;
  // The last IPv4 address of this machine's host name, else 127.0.0.1.
  static QString LocalAddress();
  static QString ReadFilePath();
  // The disc information's TOC as the CDDB client keeps it (absolute MSF).
  static TCDInfo TocOf(const TMyCDInfo& info);

  // The server list's lines without the first and last; the category list
  // capitalised. Empty when the answer was not usable.
  QStringList ServerListLines() const;
  QStringList CategoryNames() const;

  // Save the lists in the user's config folder; false when the answer was
  // not usable or the file could not be written.
  bool SaveServerList() const;
  bool SaveCategoryList() const;

  bool EntryWasRead() const { return FEntryRead; }
  TCddb& Cddb() { return FCddb; }

  std::function<void(const QString& line)> OnLog;
  // Several matches: returns the chosen index, -1 for none (the first then
  // stands), or DeclineMatch to end the lookup without reading.
  static constexpr int DeclineMatch = -2;
  std::function<int(const QStringList& matches)> OnChoose;
  // Asks OnChoose about a single match too (a caller that checks its count).
  bool ChooseEvenOne = false;
  std::function<void()> OnEntryRead;
  std::function<void(bool success)> OnFinished;

 private:
  void Log(const QString& line);
  void Match(const TMatchArray& matches, int& rightOne);
  void Read();
  void StatusMessage(const QString& status);
  void RequestEnded();
  void Finish(bool success);
  void Send(const QString& url, int (TCddb::*start)());

  TMyCDInfo& FInfo;
  QString FServerName, FQueryScript, FEmailAddress;
  TCddb FCddb;
  bool FEntryRead = false;
  bool FRunning = false;
};
