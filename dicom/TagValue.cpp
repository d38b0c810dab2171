// The value bytes of one data element, owned or lent (see TagValue.h).
#include "dicom/TagValue.h"

#include <algorithm>
#include <utility>

TagValue::TagValue(TagValue&& other) noexcept
    : own_(std::move(other.own_)),
      keep_(std::move(other.keep_)),
      lent_(std::exchange(other.lent_, nullptr)),
      lentSize_(std::exchange(other.lentSize_, 0)) {
  other.own_.clear();
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
    lent_ = std::exchange(other.lent_, nullptr);
    lentSize_ = std::exchange(other.lentSize_, 0);
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
  keep_ = std::move(keep);
  lent_ = first;
  lentSize_ = count;
}

void TagValue::assign(size_t count, uint8_t value) {
  clear();
  own_.assign(count, value);
}

void TagValue::clear() {
  own_.clear();
  keep_.reset();
  lent_ = nullptr;
  lentSize_ = 0;
}

std::vector<uint8_t>& TagValue::Own() {
  if (keep_) {
    std::vector<uint8_t> copy(lent_, lent_ + lentSize_);
    clear();
    own_ = std::move(copy);
  }
  return own_;
}

bool operator==(const TagValue& a, const TagValue& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}
