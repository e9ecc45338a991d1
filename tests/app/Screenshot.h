// Screenshots of windows for reviewing their look: rendered at a fixed size
// into the build's screenshots folder, which tests/app/screenshot prints.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QWidget>

#include "common/TestUtil.h"

namespace testutil {

inline void SaveScreenshot(QWidget& window, const QString& name) {
  window.resize(760, 520);
  QCoreApplication::processEvents();
  const QString folder = ProgramDir() + "/../screenshots";
  ASSERT_TRUE(QDir().mkpath(folder));
  const QImage image = window.grab().toImage();
  EXPECT_EQ(image.size(), QSize(760, 520) * image.devicePixelRatio());
  ASSERT_TRUE(image.save(folder + "/" + name + ".png"));
}

}  // namespace testutil
