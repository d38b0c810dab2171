#include "net/server/rules/StorePath.h"

#include <gtest/gtest.h>

#include <string>

namespace {
struct LocationCase {
  std::string date;
  std::string uid;
  bool accepted;
};

const LocationCase kLocations[] = {
    {"20240102", "1.2.826.0.1.3680043.8.498.1", true},
    {"../../x", "1.2.3", false},
    {"20240102", "../../x", false},
    {"a/b", "1.2.3", false},
    {"a\\b", "1.2.3", false},
    {"..", "1.2.3", false},
    {".", "1.2.3", false},
    {"", "1.2.3", false},
    {std::string("2024\0x", 6), "1.2.3", false},
    {"20240102", std::string(65, '1'), false},
    {"20240102", std::string(64, '1'), true},
    {"20240102", "1.2.3a", false},
    {"20240102", "", false},
    {"20240102", "1.2/3", false},
};

TEST(StorePath, RefusesComponentsThatWouldLeaveTheStore) {
  for (const auto& c : kLocations) {
    const auto location = BuildStoreLocation("/store/", c.date, "0A1B2C3D", "4E5F6071", c.uid);
    EXPECT_EQ(location.has_value(), c.accepted) << c.date << " / " << c.uid;
  }
}

TEST(StorePath, ConformingObjectGetsTheStoreLayout) {
  const auto location = BuildStoreLocation("/store/", "20240102", "0A1B2C3D", "4E5F6071", "1.2.3");
  ASSERT_TRUE(location);
  EXPECT_EQ(location->folder, "/store/20240102/0A1B2C3D/4E5F6071/");
  EXPECT_EQ(location->file, "/store/20240102/0A1B2C3D/4E5F6071/1.2.3.dcm");
}

TEST(StorePath, RefusesUnsafeFolderNames) {
  EXPECT_FALSE(BuildStoreLocation("/s/", "20240102", "..", "4E5F6071", "1.2"));
  EXPECT_FALSE(BuildStoreLocation("/s/", "20240102", "0A1B2C3D", "a/b", "1.2"));
}

TEST(StorePath, RecordedSeriesPathsAreCheckedPerComponent) {
  const struct {
    const char* path;
    const char* expected;  // null: refused
  } cases[] = {
      {"20240102/0A1B2C3D/4E5F6071/", "20240102/0A1B2C3D/4E5F6071/"},
      {"20240102/0A1B2C3D/4E5F6071", "20240102/0A1B2C3D/4E5F6071/"},
      {"../../../etc/", nullptr},
      {"20240102/../x/", nullptr},
      {"/etc/", nullptr},
      {"a//b/", nullptr},
      {"", nullptr},
      {"a\\..\\b/", nullptr},
  };
  for (const auto& c : cases) {
    const auto safe = SafeSeriesPath(c.path);
    if (c.expected) {
      ASSERT_TRUE(safe) << c.path;
      EXPECT_EQ(*safe, c.expected);
    } else {
      EXPECT_FALSE(safe) << c.path;
    }
  }
}
}  // namespace
