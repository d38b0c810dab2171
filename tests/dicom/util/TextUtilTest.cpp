// GetField, ReplaceAll and the trims over tables of texts the program really splits and rewrites.
#include <gtest/gtest.h>

#include <string>

#include "dicom/util/TextUtil.h"

namespace {

struct FieldCase {
  int n;
  const char* separator;
  const char* text;
  const char* expected;
};

const FieldCase kFieldCases[] = {
    {1, ";", "a;b;c", "a"},
    {2, ";", "a;b;c", "b"},
    {3, ";", "a;b;c", "c"},
    {4, ";", "a;b;c", ""},  // beyond the last field
    {0, ";", "a;b;c", ""},  // fields count from 1
    {-1, ";", "a;b;c", ""},
    {2, ";", "a;;c", ""},  // an empty field in the middle
    {3, ";", "a;;c", "c"},
    {1, ";", "abc", "abc"},  // no separator: the whole text is field 1
    {2, ";", "abc", ""},
    {3, ";", "a;b;", ""},  // the text after a final separator is an empty field
    {4, ";", "a;b;", ""},
    {1, ";", "", ""},
    {1, ";", ";b", ""},
    {2, ";", ";b", "b"},
    {1, "", "a;b", ""},  // an empty separator finds nothing to split on
    {2, "/", "imagebox/20240101/1.2.3", "20240101"},
    {3, "/", "imagebox/20240101/1.2.3", "1.2.3"},
    {2, "||", "x||y||z", "y"},  // a separator of several characters
    {3, "||", "x||y||z", "z"},
    {2, ",", "1,,2", ""},
    {1, "|", "ECG|1.2.840", "ECG"},
};

TEST(GetField, Table) {
  for (const FieldCase& c : kFieldCases) {
    EXPECT_EQ(GetField(c.n, c.separator, c.text), c.expected)
        << "n=" << c.n << " separator=\"" << c.separator << "\" text=\"" << c.text << "\"";
  }
}

struct ReplaceCase {
  const char* text;
  const char* from;
  const char* to;
  const char* expected;
};

const ReplaceCase kReplaceCases[] = {
    {"Doe^John^^Dr", "^", " ", "Doe John  Dr"},  // the person-name use: every caret
    {"no carets", "^", " ", "no carets"},
    {"", "^", " ", ""},
    {"abc", "", "x", "abc"},       // an empty `from` finds nothing
    {"aaa", "a", "aa", "aaaaaa"},  // `to` contains `from`: must still end
    {"abab", "ab", "xaby", "xabyxaby"},
    {"aaaa", "aa", "b", "bb"},  // non-overlapping, left to right
    {"a.b.c", ".", "", "abc"},  // replacing by nothing
    {"^^", "^", "^^", "^^^^"},
    {"x\\y\\z", "\\", "/", "x/y/z"},
};

TEST(ReplaceAll, Table) {
  for (const ReplaceCase& c : kReplaceCases) {
    EXPECT_EQ(ReplaceAll(c.text, c.from, c.to), c.expected)
        << "text=\"" << c.text << "\" from=\"" << c.from << "\" to=\"" << c.to << "\"";
  }
}

// Blanks only go from the side asked for; tabs, NULs and inner blanks stay; the control-and-blank
// trim takes every byte up to 0x20 and keeps bytes from 0x80.
TEST(Trims, Table) {
  struct Case {
    std::string text, leading, trailing, both, controlAndBlanks;
  };
  const Case cases[] = {
      {"", "", "", "", ""},
      {"   ", "", "", "", ""},
      {" 20240101 ", "20240101 ", " 20240101", "20240101", "20240101"},
      {" \tA B\t ", "\tA B\t ", " \tA B\t", "\tA B\t", "A B"},
      {std::string("\0 NODE1 \x80", 9), std::string("\0 NODE1 \x80", 9),
       std::string("\0 NODE1 \x80", 9), std::string("\0 NODE1 \x80", 9), "NODE1 \x80"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TrimLeadingBlanks(c.text), c.leading) << c.text;
    EXPECT_EQ(TrimTrailingBlanks(c.text), c.trailing) << c.text;
    EXPECT_EQ(TrimBlanks(c.text), c.both) << c.text;
    EXPECT_EQ(TrimControlAndBlanks(c.text), c.controlAndBlanks) << c.text;
  }
}
}  // namespace
