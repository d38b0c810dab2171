// A test fixture whose log goes to a file in a temporary folder of its own, read back by Log().
// Base is the GoogleTest fixture to build on (::testing::TestWithParam<T> for a table of rows).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "dicom/util/Log.h"
#include "tests/net/PeerSupport.h"

template <class Base = ::testing::Test>
class LoggedTestBase : public Base {
 protected:
  void SetUp() override {
    LogInit(folder + "test.log", "", "");
    LogLevel = 1;
  }
  void TearDown() override { LogFree(); }
  std::string Log() { return ReadWholeFile(folder + "test.log"); }
  TempFolder temp_{"trevalind-net"};
  const std::string folder = temp_.path();  // with a trailing "/"
};

using LoggedTest = LoggedTestBase<>;
