#include "ui/StatusPanels.h"

#include <QLabel>

#include "cddb/CDInfo.h"
#include "rip/ExtractJobs.h"
#include "ui/StatusBarEx.h"
#include "ui/TrackListView.h"

void TStatusPanels::Create(TStatusBarEx* bar) {
  const int widths[] = {160, 200, 200};
  for (int i = 0; i < 3; ++i)
    FLabels[i] = bar->AddPanel(QString("StatusPanel%1").arg(i), widths[i]);
}

void TStatusPanels::ShowDisc(const TMyCDInfo& info) {
  FLabels[1]->setText(QString("%1 Track(s) - %2 - %3")
                          .arg(QString::number(info.TrackCount), info.DiscLengthText(),
                               SectorsSizeText(info.LeadOutSector())));
}

void TStatusPanels::ShowSelection(const TTrackListView& list) {
  if (list.topLevelItemCount() == 0) {
    FLabels[2]->clear();
    return;
  }
  int64_t sectors = 0;
  const int count = list.CheckedCount(sectors);
  FLabels[2]->setText(
      QString("%1 Track(s) selected - %2 - %3")
          .arg(QString::number(count), SectorsText(int32_t(sectors)), SectorsSizeText(sectors)));
}

void TStatusPanels::ClearDisc() {
  FLabels[1]->clear();
  FLabels[2]->clear();
}
