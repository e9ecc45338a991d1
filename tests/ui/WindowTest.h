// What every main-window test starts from: folders of its own, with no
// settings or names another test left, and the window closed at the end.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <memory>

#include "cddb/CDInfo.h"
#include "common/TestUtil.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "ui/MainForm.h"

class TWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QFile::remove(platform::TRegistryStore::DefaultPath());
    QFile::remove(TMyCDInfo::CDPlayerIniPath());
    platform::SetProgramFolder(FTemp.Path());
  }
  void TearDown() override {
    FForm.reset();
    platform::SetProgramFolder(QString());
  }

  testutil::TTempFolder FTemp;
  std::unique_ptr<TMainForm> FForm;
  uint32_t FTick = 100000;  // the window's clock, in ms
};
