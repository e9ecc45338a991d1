// TQueryCDDBForm: the modal lookup dialog. One second after it is shown it
// runs the lookup of the loaded disc (or one of the list commands) on the
// server of the settings, shows every URL, status and exchanged line in its
// log, asks for a choice among several matches, and enables Save once the
// entry has been read into the disc information. Created for each lookup.
#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>

class QPlainTextEdit;
class QPushButton;
class TCddbLookup;
class TConfig;
class TMyCDInfo;

class TQueryCDDBForm : public QDialog {
 public:
  enum TMode { mdQuery, mdServerList, mdCategoryList };

  // Probes the drive (through its CDDB client) as it is created.
  TQueryCDDBForm(TMyCDInfo& info, const TConfig& config, TMode mode = mdQuery,
                 QWidget* parent = nullptr);
  ~TQueryCDDBForm() override;

  TCddbLookup& Lookup() { return *FLookup; }

  QPlainTextEdit* memoRtnMsg;
  QPushButton* btnOK;
  QPushButton* btnCancel;
  QTimer Timer1;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Timer1Timer();
  int CddbMatch(const QStringList& matches);
  void CddbDataExchange(const QString& text);

  TMode FMode;
  std::unique_ptr<TCddbLookup> FLookup;
};
