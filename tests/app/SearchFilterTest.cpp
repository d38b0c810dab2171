// Which search results the browser lists, by the study's Modalities in Study as it arrives.
#include <gtest/gtest.h>

#include "app/SearchFilter.h"

namespace {

struct ModalitiesCase {
  const char* modalities;
  bool listed;
};

// A study was listed only when the whole value was exactly "ECG" or "HD": one of two values,
// or a key the node left empty, hid it.
TEST(SearchFilter, ListsAStudyWhenAnyValueIsEcgOrHdOrNoneCameBack) {
  const ModalitiesCase cases[] = {
      {"ECG", true},
      {"HD", true},
      {"ECG\\SR", true},
      {"SR\\HD", true},
      {"CT\\MR\\ECG", true},
      {"ECG ", true},
      {" HD \\ SR", true},
      {"", true},  // the key empty or left out: nothing says the study holds no ECG
      {"  ", true},
      {"ECG-HD", true},  // the program's own store joins a study's modalities so
      {"-ECG", true},
      {"CT", false},
      {"CT\\MR", false},
      {"SR\\", false},
      {"ecg", false},
      {"ECGX", false},
      {"XECG\\HDX", false},
      {"EC", false},
  };
  for (const ModalitiesCase& c : cases)
    EXPECT_EQ(ListedInSearch(c.modalities), c.listed) << '"' << c.modalities << '"';
}

}  // namespace
