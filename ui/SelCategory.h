// TSelCategoryForm: the list of a query's matches; a click on one chooses it
// and closes the dialog. Created by the lookup dialog for each choice.
#pragma once

#include <QDialog>

class QTreeWidget;

class TSelCategoryForm : public QDialog {
 public:
  explicit TSelCategoryForm(QWidget* parent = nullptr);

  void SetItems(const QStringList& items);
  int ChosenIndex() const { return FChosenIndex; }  // -1 when none
  QString ChosenText() const { return FChosenText; }

  QTreeWidget* lvCategory;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void lvCategoryClick();

  int FChosenIndex = -1;
  QString FChosenText;
};
