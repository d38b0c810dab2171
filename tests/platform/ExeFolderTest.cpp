// The executable's folder: the folder this test program was built into, with a trailing "/".
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/ExeFolder.h"

TEST(ExecutableFolder, IsTheFolderOfTheRunningProgram) {
  std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(folder.front(), '/');
  std::string binaryDir = std::filesystem::canonical(TREVALIND_BINARY_DIR).string();
  EXPECT_EQ(folder.compare(0, binaryDir.size(), binaryDir), 0) << folder;
  EXPECT_TRUE(std::filesystem::exists(folder + "platform_tests"));
}
