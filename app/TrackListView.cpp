#include "app/TrackListView.h"

#include <QAbstractItemView>
#include <QPainter>

void TGridItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  painter->save();
  painter->setPen(option.palette.color(QPalette::Mid));
  const QRect r = option.rect;
  painter->drawLine(r.topRight(), r.bottomRight());
  painter->drawLine(r.bottomLeft(), r.bottomRight());
  painter->restore();
}

void CommitOpenEditor(QAbstractItemView* view) {
  QWidget* editor = view->indexWidget(view->currentIndex());
  if (!editor) return;
  QAbstractItemDelegate* delegate = view->itemDelegate();
  emit delegate->commitData(editor);
  emit delegate->closeEditor(editor, QAbstractItemDelegate::NoHint);
}
