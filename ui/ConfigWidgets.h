// The options dialog's control makers and limits, shared by its tab units.
// User-interface thread only.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStringList>
#include <QVBoxLayout>

#include "settings/ConfigRules.h"

namespace configform {
// What a user may type into the path edits: any path Linux takes.
inline constexpr int kMaxPathEdit = 4095;
inline constexpr int kMaxTextEdit = 255;

inline QLineEdit* MakeEdit(QWidget* parent, const char* name, int maxLength = 32767) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setMaxLength(maxLength);
  return edit;
}

inline QCheckBox* MakeCheck(QWidget* parent, const char* name, const char* text) {
  auto* check = new QCheckBox(text, parent);
  check->setObjectName(name);
  return check;
}

inline QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& items,
                           bool editable = false) {
  auto* list = new QComboBox(parent);
  list->setObjectName(name);
  list->setEditable(editable);
  list->addItems(items);
  return list;
}

inline QSlider* MakeSlider(QWidget* parent, const char* name, int maximum) {
  auto* slider = new QSlider(Qt::Horizontal, parent);
  slider->setObjectName(name);
  slider->setRange(0, maximum);
  slider->setPageStep(1);
  slider->setTickPosition(QSlider::TicksBelow);
  slider->setTickInterval(1);
  return slider;
}

inline QPushButton* MakeButton(QWidget* parent, const char* name, const char* text) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

inline QLabel* MakeLabel(QWidget* parent, const QString& text, QWidget* buddy = nullptr) {
  auto* label = new QLabel(text, parent);
  if (buddy) label->setBuddy(buddy);
  return label;
}

// A value label wide enough for its largest text, so the slider beside it
// keeps its length.
inline QLabel* MakeValueLabel(QWidget* parent, const char* name, const QString& widest) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(widest) + 4);
  return label;
}

// A tab page holding one titled group at its top; returns the group's grid.
inline QGridLayout* GroupPage(QWidget* tab, const char* title) {
  auto* layout = new QVBoxLayout(tab);
  auto* group = new QGroupBox(title, tab);
  layout->addWidget(group);
  layout->addStretch(1);
  return new QGridLayout(group);
}

inline QStringList Texts(const char* const* items, int count) {
  QStringList texts;
  for (int i = 0; i < count; ++i) texts << QString::fromUtf8(items[i]);
  return texts;
}

inline QStringList BuiltInServers() {
  return Texts(kBuiltInServers, int(std::size(kBuiltInServers)));
}

}  // namespace configform
