#include <gtest/gtest.h>

#include <clocale>

#include "net/server/rules/WorklistMatching.h"
#include "tests/support/CommaLocale.h"

namespace {
struct MatchCase {
  const char* key;
  const char* value;
  bool mismatch;
};

const MatchCase kTextCases[] = {
    {"", "", false},  // zero-length key matches everything
    {"", "Smith", false},
    {"smi*", "Smith", false},
    {"SMI*", "smithers", false},
    {"smi*", "Jones", true},
    {"smi*", "Sm", true},
    {"*", "x", false},
    {"*", "", true},  // "*" does not match an empty value
    {"DOE", "", true},
    {"DOE", "doe", false},
    {" DOE ", "DOE", false},  // the key is trimmed
    {"DOE", "DOE ", true},    // the value is not
    {"D?E", "DOE", true},     // "?" is never a wildcard
    {" ", "Smith", true},     // a blank key is not a zero-length one: it matches nothing
    {" ", "", true},
    {"\xC9LISE", "\xE9lise", false},  // Windows-1252 fold
    {"\xD7", "\xF7", true},           // multiplication and division signs are not letters
    {"\x8A", "\x9A", false},
    {"\x9F", "\xFF", false},
};

const MatchCase kRangeCases[] = {
    {"", "20240102", false},
    {"20240102", "", false},  // an empty value always matches
    {"20240102", "20240102", false},
    {"20240102", "20240103", true},
    {"-20240102", "20240101", false},
    {"-20240102", "20240102", false},
    {"-20240102", "20240103", true},
    {"- 20240102", "20240103", true},
    {"20240102-", "20240102", false},
    {"20240102-", "20240101", true},
    {"20240101-20240131", "20240115", false},
    {"20240101-20240131", "20240101", false},
    {"20240101-20240131", "20240131", false},
    {"20240101-20240131", "20240201", true},
    {"20240101 - 20240131", "20240115", false},
    {"20240101-20240131-20240301", "20240215", true},  // d2 ends at the next "-"
    {"0800-1200", "083000", true},                     // numbers: 83000 is past 1200
    {"0800-1200", "0930", false},
};

void ExpectCases(const MatchCase* begin, const MatchCase* end,
                 bool (*match)(std::string_view, std::string_view)) {
  for (const MatchCase* c = begin; c != end; ++c) {
    EXPECT_EQ(match(c->key, c->value), c->mismatch)
        << "key '" << c->key << "' value '" << c->value << "'";
  }
}

TEST(WorklistMatching, TextKeys) {
  ExpectCases(std::begin(kTextCases), std::end(kTextCases), MatchString);
}

TEST(WorklistMatching, RangeKeys) {
  ExpectCases(std::begin(kRangeCases), std::end(kRangeCases), MatchDateRange);
}

TEST(WorklistMatching, ResultsDoNotDependOnTheLocale) {
  ASSERT_TRUE(UseCommaLocale());
  ExpectCases(std::begin(kTextCases), std::end(kTextCases), MatchString);
  ExpectCases(std::begin(kRangeCases), std::end(kRangeCases), MatchDateRange);
  EXPECT_TRUE(MatchDateRange("1.5-2", "1.2"));  // a "," locale would read 1.5 as 1
  std::setlocale(LC_ALL, "C");
}
}  // namespace
