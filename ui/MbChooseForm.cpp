#include "ui/MbChooseForm.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

TMbChooseForm::TMbChooseForm(const std::vector<TMbRelease>& releases, QWidget* parent)
    : QDialog(parent) {
  setObjectName("MbChooseForm");
  setWindowTitle("Choose a Release");
  auto* hint =
      new QLabel(QString("MusicBrainz knows %1 releases of this disc. Choose the one you have:")
                     .arg(releases.size()),
                 this);
  lvReleases = new QTreeWidget(this);
  lvReleases->setObjectName("lvReleases");
  lvReleases->setHeaderLabels(
      {"Release", "Date", "Country", "Label", "Catalogue number", "Format", "Barcode"});
  lvReleases->setRootIsDecorated(false);
  lvReleases->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvReleases->setEditTriggers(QAbstractItemView::NoEditTriggers);
  for (const TMbRelease& release : releases) {
    lvReleases->addTopLevelItem(
        new QTreeWidgetItem({release.Caption(), release.Date, release.Country, release.Label,
                             release.CatalogNumber, release.Format(), release.Barcode}));
  }
  lvReleases->header()->resizeSections(QHeaderView::ResizeToContents);
  if (lvReleases->topLevelItemCount() > 0) lvReleases->setCurrentItem(lvReleases->topLevelItem(0));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText("Use");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(hint);
  layout->addWidget(lvReleases);
  layout->addWidget(buttons);
  // Within a small screen; the list scrolls sideways to the barcode.
  resize(std::min(720, screen()->availableGeometry().width()), 300);
  const auto choose = [this] {
    if (!lvReleases->currentItem()) return;
    FChosen = lvReleases->indexOfTopLevelItem(lvReleases->currentItem());
    accept();
  };
  connect(lvReleases, &QTreeWidget::itemActivated, this, choose);
  connect(buttons, &QDialogButtonBox::accepted, this, choose);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int ChooseMbRelease(const std::vector<TMbRelease>& releases, QWidget* parent) {
  if (releases.size() < 2) return releases.empty() ? -1 : 0;
  TMbChooseForm form(releases, parent);
  return form.exec() == QDialog::Accepted ? form.ChosenIndex() : -1;
}
