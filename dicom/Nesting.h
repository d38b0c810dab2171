// Tells the top-level entries of a data set's list from those inside flat structures: sequences
// and items of undefined length (up to their delimiter) and encapsulated pixel data (up to its
// sequence delimiter). Used by insertion, lookup and writing; internal to the dicom library.
#pragma once

#include "dicom/DcmEntry.h"
#include "dicom/DcmTag.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"

// (7FE0,0010) of undefined length: the fragments that follow stay flat up to (FFFE,E0DD).
inline bool IsEncapsulatedPixelOpener(const DcmTag& t) {
  return IsTag(t, tag::kPixelData) && t.length == kUndefinedLength;
}

// A sequence or item of undefined length. An undefined-length "UN" is a sequence too (it holds
// items in implicit VR), so its delimiter keeps the nesting balanced.
inline bool IsFlatOpener(const DcmTag& t) {
  if (t.length != kUndefinedLength) return false;
  return IsTag(t, tag::kItem) || t.HasVR("SQ") || t.HasVR("UN");
}

inline bool IsDelimiter(const DcmTag& t) {
  return IsTag(t, tag::kItemDelimitationItem) || IsTag(t, tag::kSequenceDelimitationItem);
}

// The VR of the header of a nested data set standing for (group, element): "SQ" for a sequence,
// none for an item.
inline const char* NestedHeaderVR(uint16_t group, uint16_t element) {
  return group == 0xFFFE || element == 0xE000 ? nullptr : "SQ";
}

class NestingState {
 public:
  bool TopLevel() const { return open_ == 0 && !inPixel_; }
  int OpenStructures() const { return open_; }

  // Says whether `entry` is top-level, then moves past it. An opener is top-level; its closing
  // delimiter is not. A stray delimiter never drives the depth below zero.
  bool Advance(const DcmEntry& entry) {
    const bool top = TopLevel();
    if (entry.kind() != DcmEntry::Kind::Tag) return top;
    const DcmTag& t = static_cast<const DcmTag&>(entry);
    if (inPixel_) {
      if (IsTag(t, tag::kSequenceDelimitationItem)) inPixel_ = false;
    } else if (IsEncapsulatedPixelOpener(t)) {
      inPixel_ = true;
    } else if (IsFlatOpener(t)) {
      ++open_;
    } else if (IsDelimiter(t) && open_ > 0) {
      --open_;
    }
    return top;
  }

 private:
  int open_ = 0;
  bool inPixel_ = false;
};
