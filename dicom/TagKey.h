// The (group, element) pair that names a data element, as one value. dicom/Tags.h names every
// attribute of the dictionary this way (tag::kPatientID), and the data set's look-ups by tag take
// it in place of two bare numbers.
#pragma once

#include <cstdint>

struct TagKey {
  uint16_t group;
  uint16_t element;
  bool operator==(const TagKey&) const = default;
};
