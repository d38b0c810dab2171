// A test fixture whose log goes to a file in a temporary folder of its own, read back by Log().
// Base is the GoogleTest fixture to build on (::testing::TestWithParam<T> for a table of rows).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "dicom/util/Log.h"
#include "tests/net/PeerSupport.h"

template <class Base = ::testing::Test>
class LoggedTestBase : public Base {
 protected:
  void SetUp() override {
    folder = TempFolder("net");
    LogInit(folder + "/test.log", "", "");
    LogLevel = 1;
  }
  void TearDown() override {
    LogFree();
    std::filesystem::remove_all(folder);
  }
  std::string Log() { return ReadFileText(folder + "/test.log"); }
  std::string folder;
};

using LoggedTest = LoggedTestBase<>;
