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
//
// A value of at most kHeldSize bytes given by assign (most values of a data set: numbers, dates,
// codes, short texts) is held inside the TagValue, so reading one costs no allocation.
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
  TagValue(const TagValue& other) { assign(other.begin(), other.end()); }
  TagValue(TagValue&& other) noexcept;
  TagValue& operator=(const TagValue& other);
  TagValue& operator=(TagValue&& other) noexcept;
  TagValue& operator=(std::vector<uint8_t> bytes);

  // Refers to `count` bytes starting at `first`, which lies in a block kept alive by `keep`.
  void Share(std::shared_ptr<const uint8_t> keep, const uint8_t* first, size_t count);
  bool IsShared() const { return keep_ != nullptr; }

  size_t size() const { return keep_ ? spot_.lent.size : heldSize_ ? heldSize_ : own_.size(); }
  bool empty() const { return size() == 0; }
  const uint8_t* data() const {
    return keep_ ? spot_.lent.first : heldSize_ ? spot_.held : own_.data();
  }
  const uint8_t* begin() const { return data(); }
  const uint8_t* end() const { return data() + size(); }
  uint8_t operator[](size_t i) const { return data()[i]; }
  uint8_t back() const { return data()[size() - 1]; }

  uint8_t* data() { return Own().data(); }
  uint8_t& operator[](size_t i) { return Own()[i]; }
  uint8_t& back() { return Own().back(); }

  // Held in place when small; `first` may point into this value or its lent block.
  void assign(const uint8_t* first, const uint8_t* last);
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
  static constexpr size_t kHeldSize = 16;
  struct LentBytes {
    const uint8_t* first;
    size_t size;
  };
  // The lent bytes while `keep_` is set, else the held ones while `heldSize_` is not 0.
  union Spot {
    LentBytes lent;
    uint8_t held[kHeldSize];
  };

  std::vector<uint8_t>& Own();  // a lent or held value becomes an owned vector first

  std::vector<uint8_t> own_;
  std::shared_ptr<const uint8_t> keep_;  // set while the bytes are lent
  Spot spot_{};
  uint8_t heldSize_ = 0;
};
