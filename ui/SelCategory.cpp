#include "ui/SelCategory.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QVBoxLayout>

TSelCategoryForm::TSelCategoryForm(QWidget* parent) : QDialog(parent) {
  setObjectName("SelCategoryForm");
  setWindowTitle("Select Category");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  lvCategory = new QTreeWidget(this);
  lvCategory->setObjectName("lvCategory");
  lvCategory->setHeaderLabels({"Category List"});
  lvCategory->setColumnWidth(0, 350);
  lvCategory->setRootIsDecorated(false);
  lvCategory->setSelectionBehavior(QAbstractItemView::SelectRows);
  lvCategory->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lvCategory->setMouseTracking(true);  // hot tracking
  lvCategory->viewport()->setCursor(Qt::PointingHandCursor);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(lvCategory);
  resize(380, 220);
  connect(lvCategory, &QTreeWidget::itemClicked, this, [this] { lvCategoryClick(); });
  connect(lvCategory, &QTreeWidget::itemActivated, this, [this] { lvCategoryClick(); });
}

void TSelCategoryForm::SetItems(const QStringList& items) {
  lvCategory->clear();
  for (const QString& item : items) lvCategory->addTopLevelItem(new QTreeWidgetItem({item}));
}

void TSelCategoryForm::showEvent(QShowEvent* event) {
  FChosenIndex = -1;
  FChosenText.clear();
  QDialog::showEvent(event);
}

void TSelCategoryForm::lvCategoryClick() {
  QTreeWidgetItem* item = lvCategory->currentItem();
  if (!item) return;
  FChosenText = item->text(0);
  FChosenIndex = lvCategory->indexOfTopLevelItem(item);
  accept();
}
