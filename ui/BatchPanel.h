// TBatchPanel: the main window's rip-on-insert. While the AutoRip setting is
// on it runs a batch of discs (rip/DiscBatch) over the chosen drive or every
// drive, shows each drive's status beside the others and each finished
// disc's verdict, and offers an unknown disc to MusicBrainz. While the batch
// holds the drives the window keeps away from them (TBatchHost). User-interface
// thread only; the batch's events come on it.
#pragma once

#include <QFrame>
#include <QList>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TConfig;
class TDiscBatch;
struct TBatchDisc;
struct TDriveProgress;

// What the window lends the panel.
struct TBatchHost {
  // Actions and widgets disabled while a batch holds the drives, then back
  // as they were.
  QList<QObject*> DriveControls;
  // Before a batch takes the drives: the window's play ends.
  std::function<void()> Release;
  // A batch gave the drives back: the window looks at its drive again.
  std::function<void()> Regain;
  // Why the window's drive commands wait; empty: they no longer do.
  std::function<void(const QString& text)> ShowStatus;
};

class TBatchPanel : public QFrame {
  Q_OBJECT
 public:
  TBatchPanel(TBatchHost host, QWidget* parent);
  // Stops the batch at once; waits for its drives (at most a chunk and a lookup).
  ~TBatchPanel() override;

  // Follows the settings: with AutoRip on a batch runs over the chosen drive
  // (or every drive listed), also after the Stop button; off, the batch
  // stops after the discs in hand. A changed choice of drives starts anew
  // once they are done.
  void Follow(const TConfig& settings, int chosenDrive, const QStringList& driveNames);
  // The window closes: every drive stops its rip; the window's events are
  // served meanwhile, for at most timeoutMs.
  void StopForClose(int timeoutMs);
  // A batch holds the drives, running or stopping.
  bool HoldsDrives() const { return FBatch != nullptr; }

  // Drive rows, then a row per finished disc: drive, status or disc, percent or verdict.
  QTreeWidget* tvBatch;
  QPushButton* btnStartStop;
  QAction* actSubmitDisc;  // opens an unknown disc's MusicBrainz submission page

 private:
  void Start();
  void Ended();
  void ShowDrives(const std::vector<TDriveProgress>& drives);
  void AddDisc(const TBatchDisc& disc);
  void UpdateControls();
  QTreeWidgetItem* DriveRow(int drive);
  int DiscCount() const;

  TBatchHost FHost;
  QLabel* FCaption;
  std::unique_ptr<TConfig> FSettings;  // what the next batch starts from
  std::vector<int> FWanted;            // the drives to watch; empty: none
  std::vector<int> FWatched;           // the drives the batch watches
  QStringList FDriveNames;
  std::unique_ptr<TDiscBatch> FBatch;
  bool FStopped = false;  // by the Stop button: no new batch until Start
  QList<bool> FEnabled;   // the host's controls before the batch
};
