// Values parsed from a lent block: large ones refer into it instead of being copied, and nothing
// that changes or copies them can reach the block or keep it alive.
#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "dicom/BufData.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/TagValue.h"
#include "tests/dicom/TestSupport.h"

namespace {

// An explicit-VR little-endian data set in a block of its own, lent to a codec that parses it.
struct LentParse {
  explicit LentParse(const Bytes& encoded) {
    auto owned = std::make_shared<Bytes>(encoded);
    block = std::shared_ptr<const uint8_t>(owned, owned->data());
    size = owned->size();
    BufData codec(false);
    codec.MS.Lend(block, size);
    obj.explicitVR = true;
    ok = codec.ReadOjb(obj);
  }
  bool Inside(const uint8_t* p) const { return p >= block.get() && p < block.get() + size; }
  std::shared_ptr<const uint8_t> block;
  size_t size = 0;
  DcmObj obj;
  bool ok = false;
};

TEST(LentValueTest, LargeValuesReferIntoTheBlockAndSmallOnesAreCopied) {
  struct Case {
    uint32_t length;
    bool shared;
  };
  const Case cases[] = {{2, false}, {1022, false}, {1024, true}, {300000, true}};
  for (const Case& c : cases) {
    Bytes value(c.length);
    for (size_t i = 0; i < value.size(); ++i) value[i] = uint8_t(i * 13);
    LentParse parse(Explicit(0x5400, 0x1010, "OW", value));
    ASSERT_TRUE(parse.ok) << c.length;
    const DcmTag* tag = parse.obj.TagAt(0);
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->data, value) << c.length;
    EXPECT_EQ(tag->data.IsShared(), c.shared) << c.length;
    EXPECT_EQ(parse.Inside(tag->data.data()), c.shared) << c.length;
  }
}

TEST(LentValueTest, ValuesInsideNestedItemsReferIntoTheBlockToo) {
  const Bytes value(4096, 0x77);
  Bytes item = Implicit(0xFFFE, 0xE000, Explicit(0x0040, 0xA160, "UT", value));
  LentParse parse(Explicit(0x0040, 0xA730, "SQ", item));
  ASSERT_TRUE(parse.ok);
  const DcmObj* sequence = parse.obj.ObjAt(0);
  ASSERT_NE(sequence, nullptr);
  const DcmObj* nested = sequence->ObjAt(0);
  ASSERT_NE(nested, nullptr);
  const DcmTag* text = nested->TagAt(0);
  ASSERT_NE(text, nullptr);
  EXPECT_TRUE(parse.Inside(text->data.data()));
  EXPECT_EQ(text->data, value);
}

TEST(LentValueTest, ChangingALentValueCopiesItAndLeavesTheBlockAlone) {
  const Bytes value(2048, 0x11);
  LentParse parse(Explicit(0x7FE0, 0x0010, "OB", value));
  ASSERT_TRUE(parse.ok);
  const Bytes before(parse.block.get(), parse.block.get() + parse.size);
  DcmTag& tag = *parse.obj.TagAt(0);
  tag.data[0] = 0x99;  // through the non-const accessor
  tag.data.back() = 0x98;
  EXPECT_FALSE(tag.data.IsShared());
  EXPECT_FALSE(parse.Inside(tag.data.data()));
  EXPECT_EQ(tag.data[0], 0x99);
  EXPECT_EQ(tag.data.size(), value.size());
  EXPECT_EQ(Bytes(parse.block.get(), parse.block.get() + parse.size), before);
}

TEST(LentValueTest, ACopiedElementOwnsItsBytesAndDoesNotKeepTheBlockAlive) {
  const Bytes value(5000, 0x42);
  std::weak_ptr<const uint8_t> watch;
  DcmTag copy;
  {
    LentParse parse(Explicit(0x5400, 0x1010, "OW", value));
    ASSERT_TRUE(parse.ok);
    watch = parse.block;
    copy.data = parse.obj.TagAt(0)->data;
    EXPECT_FALSE(copy.data.IsShared());
    DcmTag moved;
    moved.data = std::move(parse.obj.TagAt(0)->data);
    EXPECT_TRUE(moved.data.IsShared());  // a move hands the reference on
  }
  EXPECT_TRUE(watch.expired());
  EXPECT_EQ(copy.data, value);
}

TEST(LentValueTest, WritingToALentStreamCopiesTheBlockFirst) {
  const Bytes original{1, 2, 3, 4, 5, 6};
  auto owned = std::make_shared<Bytes>(original);
  MemoryStream stream;
  stream.Lend(std::shared_ptr<const uint8_t>(owned, owned->data()), owned->size());
  uint8_t two[2];
  ASSERT_EQ(stream.Read(two, 2), 2u);
  stream.Write("xy", 2);
  EXPECT_EQ(*owned, original);
  EXPECT_EQ(stream.Bytes(), (Bytes{1, 2, 'x', 'y', 5, 6}));
  EXPECT_EQ(stream.Lent(), nullptr);
}

// Small values are held inside the TagValue: every way of copying, moving, changing or
// reassigning one must keep exactly its bytes, on both sides of the size that is held.
TEST(HeldValueTest, SmallAndLargerValuesKeepTheirBytesThroughEveryOperation) {
  for (size_t length : {1, 2, 8, 15, 16, 17, 64}) {
    Bytes value(length);
    for (size_t i = 0; i < length; ++i) value[i] = uint8_t(0xA0 + i);
    TagValue held;
    const uint8_t* bytes = std::as_const(value).data();
    held.assign(bytes, bytes + value.size());
    EXPECT_EQ(held, value) << length;

    TagValue copy(held);
    TagValue assigned;
    assigned = held;
    TagValue moved(std::move(copy));
    EXPECT_EQ(moved, value) << length;
    EXPECT_EQ(assigned, value) << length;
    EXPECT_TRUE(copy.empty()) << length;  // NOLINT: the moved-from value is checked on purpose

    const uint8_t* own = std::as_const(held).data();
    held.assign(own + 1, own + held.size());  // from its own bytes
    EXPECT_EQ(held, Bytes(value.begin() + 1, value.end())) << length;

    assigned[0] = 0x01;  // changing it makes it an owned vector with the same bytes
    Bytes changed = value;
    changed[0] = 0x01;
    EXPECT_EQ(assigned, changed) << length;
    assigned.resize(length + 1);
    changed.push_back(0);
    EXPECT_EQ(assigned, changed) << length;
  }
}

TEST(HeldValueTest, ASmallValueTakenFromALentBlockOutlivesTheBlock) {
  const Bytes big(2048, 0x33);
  TagValue small;
  {
    LentParse parse(Explicit(0x7FE0, 0x0010, "OB", big));
    ASSERT_TRUE(parse.ok);
    TagValue& lent = parse.obj.TagAt(0)->data;
    ASSERT_TRUE(lent.IsShared());
    // The lent value is the block's last holder once the parse goes: assigning part of it to
    // itself must copy the bytes before letting go of the block.
    parse.block.reset();
    const uint8_t* bytes = std::as_const(lent).data();
    lent.assign(bytes + 10, bytes + 20);
    EXPECT_FALSE(lent.IsShared());
    small = lent;
  }
  EXPECT_EQ(small, Bytes(10, 0x33));
}

}  // namespace
