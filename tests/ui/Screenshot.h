// Screenshots of windows for reviewing their look: rendered at a fixed size
// into the build's screenshots folder, which tests/ui/screenshot prints.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPalette>
#include <QWidget>

#include "common/TestUtil.h"

namespace testutil {

// A dark palette as desktop themes give one, for the dark screenshots.
inline QPalette DarkPalette() {
  QPalette dark(QColor(53, 53, 53));
  dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
  dark.setColor(QPalette::HighlightedText, Qt::white);
  dark.setColor(QPalette::Base, QColor(35, 35, 35));
  dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
  return dark;
}

inline void SaveScreenshot(QWidget& window, const QString& name,
                           const QSize& size = QSize(760, 520)) {
  window.resize(size);
  QCoreApplication::processEvents();
  const QString folder = ProgramDir() + "/../screenshots";
  ASSERT_TRUE(QDir().mkpath(folder));
  const QImage image = window.grab().toImage();
  EXPECT_EQ(image.size(), size * image.devicePixelRatio());
  ASSERT_TRUE(image.save(folder + "/" + name + ".png"));
}

}  // namespace testutil
