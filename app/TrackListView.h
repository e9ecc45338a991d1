// Helpers for the main window's track list: grid lines drawn over the style's
// own item painting (so selection keeps the palette's colours, light or dark)
// and committing a title editor that is still open. User-interface thread only.
#pragma once

#include <QStyledItemDelegate>

class QAbstractItemView;

// The style's item, then a one-pixel line on its right and bottom edges in the
// palette's mid colour, as the grid of a report list.
class TGridItemDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

// Takes the text of the view's open editor into the model and closes it, as
// Enter would; nothing when no editor is open.
void CommitOpenEditor(QAbstractItemView* view);
