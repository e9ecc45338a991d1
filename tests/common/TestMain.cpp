// Test main shared by every test executable. Before Qt starts, HOME and the
// XDG folders point into a fresh temporary folder, so settings, cdplayer.ini
// and output files of a test never reach the user's.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>

#include "settings/config.h"

#ifdef CADENZO_TEST_WIDGETS
#include <QApplication>
using TApplication = QApplication;
#else
#include <QCoreApplication>
using TApplication = QCoreApplication;
#endif

int main(int argc, char** argv) {
  QTemporaryDir home(QDir::tempPath() + "/cadenzo-test-XXXXXX");
  if (!home.isValid()) return 2;
  const QByteArray root = home.path().toUtf8();
  setenv("HOME", root.constData(), 1);
  setenv("XDG_CONFIG_HOME", (root + "/config").constData(), 1);
  setenv("XDG_MUSIC_DIR", (root + "/Music").constData(), 1);
  setenv("XDG_CACHE_HOME", (root + "/cache").constData(), 1);
  setenv("XDG_DATA_HOME", (root + "/data").constData(), 1);
#ifdef CADENZO_TEST_WIDGETS
  if (!getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
#endif
  TApplication app(argc, argv);
  // Nothing listens on port 1: settings a test makes never reach the public service.
  TConfig::PublicMusicBrainzServer = "http://127.0.0.1:1";
  TConfig::PublicCoverArtServer = "http://127.0.0.1:1";
  TConfig::PublicCtdbServer = "http://127.0.0.1:1";
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
