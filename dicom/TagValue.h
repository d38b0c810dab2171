// The value bytes of one data element.
//
// Usually the element owns its bytes. An element parsed from a block that the codec lends (a
// received message, see MemoryStream::Lend) may instead refer to its bytes inside that block, so a
// large value is never copied out of the block it arrived in; the block lives as long as the last
// value that refers to it.
//
// A lent value is read-only: every operation that may change the bytes (the non-const accessors,
// assign, resize) first takes a private copy. Copying a TagValue always copies the bytes, so a
// copy of one element never keeps a whole message alive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

class TagValue {
 public:
  TagValue() = default;
  TagValue(std::vector<uint8_t> bytes) : own_(std::move(bytes)) {}  // NOLINT: implicit on purpose
  TagValue(const TagValue& other) : own_(other.begin(), other.end()) {}
  TagValue(TagValue&& other) noexcept;
  TagValue& operator=(const TagValue& other);
  TagValue& operator=(TagValue&& other) noexcept;
  TagValue& operator=(std::vector<uint8_t> bytes);

  // Refers to `count` bytes starting at `first`, which lies in a block kept alive by `keep`.
  void Share(std::shared_ptr<const uint8_t> keep, const uint8_t* first, size_t count);
  bool IsShared() const { return keep_ != nullptr; }

  size_t size() const { return keep_ ? lentSize_ : own_.size(); }
  bool empty() const { return size() == 0; }
  const uint8_t* data() const { return keep_ ? lent_ : own_.data(); }
  const uint8_t* begin() const { return data(); }
  const uint8_t* end() const { return data() + size(); }
  uint8_t operator[](size_t i) const { return data()[i]; }
  uint8_t back() const { return data()[size() - 1]; }

  uint8_t* data() { return Own().data(); }
  uint8_t& operator[](size_t i) { return Own()[i]; }
  uint8_t& back() { return Own().back(); }

  template <class Iterator>
  requires(!std::is_integral_v<Iterator>) void assign(Iterator first, Iterator last) {
    // `first` may point into the lent block: copy before letting go of it.
    std::vector<uint8_t> bytes(first, last);
    *this = std::move(bytes);
  }
  void assign(size_t count, uint8_t value);
  void resize(size_t count) { Own().resize(count); }
  void clear();
  void shrink_to_fit() { own_.shrink_to_fit(); }

  operator std::vector<uint8_t>() const { return {begin(), end()}; }  // NOLINT: a copy
  friend bool operator==(const TagValue& a, const TagValue& b);

 private:
  std::vector<uint8_t>& Own();  // a lent value becomes an owned copy first

  std::vector<uint8_t> own_;
  std::shared_ptr<const uint8_t> keep_;  // set while the bytes are lent
  const uint8_t* lent_ = nullptr;
  size_t lentSize_ = 0;
};
