// The value bytes of one data element, owned or lent (see TagValue.h).
#include "dicom/TagValue.h"

#include <algorithm>
#include <cstring>
#include <utility>

TagValue::TagValue(TagValue&& other) noexcept
    : own_(std::move(other.own_)),
      keep_(std::move(other.keep_)),
      spot_(other.spot_),
      heldSize_(std::exchange(other.heldSize_, 0)) {
  other.own_.clear();
  other.spot_ = {};
}

TagValue& TagValue::operator=(const TagValue& other) {
  if (this != &other) assign(other.begin(), other.end());
  return *this;
}

TagValue& TagValue::operator=(TagValue&& other) noexcept {
  if (this != &other) {
    own_ = std::move(other.own_);
    other.own_.clear();
    keep_ = std::move(other.keep_);
    spot_ = std::exchange(other.spot_, {});
    heldSize_ = std::exchange(other.heldSize_, 0);
  }
  return *this;
}

TagValue& TagValue::operator=(std::vector<uint8_t> bytes) {
  clear();
  own_ = std::move(bytes);
  return *this;
}

void TagValue::Share(std::shared_ptr<const uint8_t> keep, const uint8_t* first, size_t count) {
  own_.clear();
  own_.shrink_to_fit();
  heldSize_ = 0;
  keep_ = std::move(keep);
  spot_.lent = {first, count};
}

void TagValue::assign(const uint8_t* first, const uint8_t* last) {
  const auto count = size_t(last - first);
  if (count == 0 || count > kHeldSize) {
    std::vector<uint8_t> bytes(first, last);
    *this = std::move(bytes);
    return;
  }
  uint8_t copy[kHeldSize];
  std::memcpy(copy, first, count);  // before clear() lets go of where they are
  clear();
  std::memcpy(spot_.held, copy, count);
  heldSize_ = uint8_t(count);
}

void TagValue::assign(size_t count, uint8_t value) {
  clear();
  own_.assign(count, value);
}

void TagValue::clear() {
  own_.clear();
  keep_.reset();
  spot_ = {};
  heldSize_ = 0;
}

std::vector<uint8_t>& TagValue::Own() {
  if (keep_ || heldSize_) {
    const TagValue& self = *this;
    std::vector<uint8_t> copy(self.begin(), self.end());
    clear();
    own_ = std::move(copy);
  }
  return own_;
}

bool operator==(const TagValue& a, const TagValue& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}
