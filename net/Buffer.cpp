// The link buffer (see Buffer.h).
#include "net/Buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "dicom/util/ByteOrder.h"

namespace {
// AppendFrom copies in pieces of this size, so a declared length never becomes one allocation
// before its bytes have arrived.
constexpr uint32_t kAppendPieceSize = 64 * 1024;
// A socket read wants at least this much free room at the block's end; with less, the unread
// bytes move to the front first (they are the start of a PDU, a few bytes).
constexpr uint64_t kLeastReadRoom = Buffer::kReceiveBlockSize / 4;
// Blocks from this size on are offered huge pages. Each block is a mapping of its own, so the
// advice covers that mapping exactly, and the mapping can still grow in place.
constexpr uint64_t kHugePagesFrom = 32u << 20;
// Blocks from this size on are mappings of their own; smaller ones come from the heap. Below the
// C library's own threshold for mapping (128 KiB), so the heap never maps them either.
constexpr uint64_t kMapBlocksFrom = 64 * 1024;

// Filling a block of many megabytes page by page costs a fault per 4 KiB, which is most of the
// time a large object takes to arrive; where the kernel allows it, huge pages cost one per
// 2 MiB. The advice is only a hint: a refusal changes nothing.
void OfferHugePages(uint8_t* bytes, uint64_t size) {
  if (size < kHugePagesFrom) return;
  madvise(bytes, size, MADV_HUGEPAGE);
}

uint64_t WholePages(uint64_t size) {
  const auto page = uint64_t(sysconf(_SC_PAGESIZE));
  return (size + page - 1) / page * page;
}
}  // namespace

// A block of the size of a message is mapped from the system by itself rather than taken from
// the C library's heap: its pages go back to the system the moment it is freed, however many
// associations grew theirs at once, and the heap's own thresholds never rise to the size of a
// large message (after which the C library would keep every freed block of up to that size).
// The small blocks that parse the items of one PDU stay below the heap's threshold for mapping
// and come from the heap: a mapping each would cost every thread of the process a flush of its
// address translations when it is removed.
Buffer::Block::~Block() {
  if (!bytes) return;
  if (mapped)
    munmap(bytes, capacity);
  else
    std::free(bytes);
}

bool Buffer::Block::Resize(uint64_t wanted) {
  if (!mapped && wanted < kMapBlocksFrom) {
    void* moved = std::realloc(bytes, std::max<uint64_t>(wanted, 1));
    if (!moved) return false;
    bytes = static_cast<uint8_t*>(moved);
    capacity = wanted;
    return true;
  }
  const uint64_t size = WholePages(wanted);
  void* moved =
      mapped ? mremap(bytes, capacity, size, MREMAP_MAYMOVE)
             : mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (moved == MAP_FAILED) return false;
  if (!mapped && bytes) {
    std::memcpy(moved, bytes, std::min(capacity, size));
    std::free(bytes);
  }
  bytes = static_cast<uint8_t*>(moved);
  capacity = size;
  mapped = true;
  return true;
}

Buffer::Buffer() = default;
Buffer::~Buffer() = default;

bool Buffer::SetIncomingEndian(int endian) {
  inEndian = endian;
  return true;
}

bool Buffer::SetOutgoingEndian(int endian) {
  outEndian = endian;
  return true;
}

Buffer& Buffer::ReadByte(uint8_t& value) {
  value = 0;
  if (!Read(&value, 1)) value = 0;
  return *this;
}

Buffer& Buffer::ReadU16(uint16_t& value) {
  uint8_t bytes[2] = {0, 0};
  value = 0;
  if (!Read(bytes, 2)) return *this;
  value = DecodeU16(bytes, inEndian != 1);
  return *this;
}

Buffer& Buffer::ReadU32(uint32_t& value) {
  uint16_t first = 0, second = 0;
  ReadU16(first).ReadU16(second);
  value = inEndian == 1 ? (uint32_t(second) << 16 | first) : (uint32_t(first) << 16 | second);
  if (failed) value = 0;
  return *this;
}

Buffer& Buffer::WriteByte(uint8_t value) {
  Write(&value, 1);
  return *this;
}

Buffer& Buffer::WriteU16(uint16_t value) {
  uint8_t bytes[2];
  if (outEndian == 1) {
    bytes[0] = uint8_t(value);
    bytes[1] = uint8_t(value >> 8);
  } else {
    bytes[0] = uint8_t(value >> 8);
    bytes[1] = uint8_t(value);
  }
  Write(bytes, 2);
  return *this;
}

Buffer& Buffer::WriteU32(uint32_t value) {
  if (outEndian == 1)
    WriteU16(uint16_t(value)).WriteU16(uint16_t(value >> 16));
  else
    WriteU16(uint16_t(value >> 16)).WriteU16(uint16_t(value));
  return *this;
}

// The bytes are served from the block as far as it holds them, and the block is refilled by
// socket reads as it runs empty; a read larger than the block never makes it grow.
bool Buffer::Read(void* bytes, uint32_t n) {
  if (n == 0) return !failed;
  if (failed) return false;
  auto* out = static_cast<uint8_t*>(bytes);
  while (n > 0) {
    if (available == 0) {
      if (!ReadBlock()) {
        failed = true;
        return false;
      }
      continue;
    }
    const uint32_t take = uint32_t(std::min<uint64_t>(n, uint64_t(available)));
    if (out) {
      std::memcpy(out, block->bytes + head, take);
      out += take;
    }
    Consume(take);
    n -= take;
  }
  return true;
}

void Buffer::Consume(uint64_t n) {
  head += n;
  available -= int64_t(n);
  if (head == tail) head = tail = 0;  // empty: the next bytes go to the block's start
}

bool Buffer::ReserveIncoming(uint64_t wanted) {
  if (!block) {
    if (handedOn && handedOn.use_count() == 1)
      block = std::move(handedOn);
    else
      block = std::make_shared<Block>();
    handedOn.reset();
  }
  if (wanted <= block->capacity) return true;
  // Doubling keeps the number of moves small; a move only remaps the pages.
  if (!block->Resize(std::max(wanted, block->capacity * 2))) return false;
  OfferHugePages(block->bytes, block->capacity);
  return true;
}

void Buffer::AddOutgoingChunk() {
  if (spareSize != breakSize) spareChunks.clear();
  if (spareChunks.empty()) {
    outgoing.emplace_back(breakSize, std::make_unique_for_overwrite<uint8_t[]>(size_t(breakSize)));
    return;
  }
  outgoing.emplace_back(breakSize, std::move(spareChunks.back()));
  spareChunks.pop_back();
}

void Buffer::DropFirstOutgoingChunk() {
  BufferSpace& first = outgoing.front();
  if (first.size == breakSize &&
      (spareChunks.size() + 1) * uint64_t(breakSize) <= kReuseBlockAtMost) {
    if (spareSize != breakSize) spareChunks.clear();
    spareSize = breakSize;
    spareChunks.push_back(std::move(first.data));
  }
  outgoing.pop_front();
}

bool Buffer::Write(const void* bytes, uint32_t n) {
  const auto* in = static_cast<const uint8_t*>(bytes);
  if (outgoing.empty()) AddOutgoingChunk();
  while (n > 0) {
    BufferSpace& last = outgoing.back();
    if (last.index == last.size) {
      AddOutgoingChunk();
      continue;
    }
    uint32_t take = std::min<uint32_t>(n, uint32_t(last.size - last.index));
    std::memcpy(last.data.get() + last.index, in, take);
    last.index += int(take);
    pending += take;
    in += take;
    n -= take;
  }
  return true;
}

bool Buffer::Skip(uint32_t n) {
  if (failed) return false;
  // Skipping never allocates: bytes are dropped as they are read.
  return Read(nullptr, n);
}

bool Buffer::ReadBlock() {
  if (!sock->IsConnected()) return false;  // an in-memory buffer has nothing more to read
  if (block && block->capacity - tail < kLeastReadRoom && head > 0) {
    std::memmove(block->bytes, block->bytes + head, tail - head);
    tail -= head;
    head = 0;
  }
  if ((!block || block->capacity - tail < kLeastReadRoom) &&
      !ReserveIncoming(std::max<uint64_t>(kReceiveBlockSize, tail + kLeastReadRoom)))
    return false;
  const uint64_t room = std::min<uint64_t>(block->capacity - tail, INT_MAX);
  int count = sock->ReadBinary(block->bytes + tail, uint32_t(room));
  if (count < 0) return false;
  tail += uint64_t(count);
  available += count;
  return true;  // a count of 0 is nothing this time; the caller asks again
}

bool Buffer::Flush() {
  while (!outgoing.empty()) {
    BufferSpace& chunk = outgoing.front();
    if (chunk.index != chunk.start &&
        !sock->SendBinary(chunk.data.get() + chunk.start, uint32_t(chunk.index - chunk.start))) {
      // A half-sent message must never reach the wire ahead of a later one.
      DiscardOutgoing();
      return false;
    }
    DropFirstOutgoingChunk();
  }
  pending = 0;
  return true;
}

bool Buffer::AppendFrom(Buffer& source, uint32_t n) {
  while (n > 0) {
    const uint32_t piece = std::min(n, kAppendPieceSize);
    // A message starts with a whole piece of room, so that a block doubled from it stays
    // within kReuseBlockAtMost for a message that fits.
    if (!ReserveIncoming(std::max<uint64_t>(tail + piece, kAppendPieceSize)) ||
        !source.Read(block->bytes + tail, piece))
      return false;
    tail += piece;
    available += piece;
    n -= piece;
  }
  return true;
}

bool Buffer::TransferTo(Buffer& target, uint32_t n) {
  if (pending < n) return false;
  pending -= n;
  while (n > 0) {
    BufferSpace& chunk = outgoing.front();
    uint32_t take = std::min<uint32_t>(n, uint32_t(chunk.index - chunk.start));
    target.Write(chunk.data.get() + chunk.start, take);
    chunk.start += int(take);
    if (chunk.start == chunk.index) DropFirstOutgoingChunk();
    n -= take;
  }
  return true;
}

void Buffer::Feed(const void* bytes, uint32_t n) {
  if (n == 0) return;
  if (!ReserveIncoming(tail + n)) throw std::bad_alloc();
  std::memcpy(block->bytes + tail, bytes, n);
  tail += n;
  available += n;
}

std::shared_ptr<const uint8_t> Buffer::TakeIncoming(uint64_t& size) {
  size = uint64_t(available);
  if (size == 0) {
    head = tail = 0;
    return nullptr;
  }
  if (size <= kCopyOutAtMost) {
    // A command set: copied out, so the block stays for the data set that follows it.
    std::shared_ptr<uint8_t[]> copy = std::make_shared_for_overwrite<uint8_t[]>(size_t(size));
    std::memcpy(copy.get(), block->bytes + head, size);
    head = tail = 0;
    available = 0;
    return std::shared_ptr<const uint8_t>(copy, copy.get());
  }
  if (block->capacity > kReuseBlockAtMost) {
    // Too large to keep for the next message: the spare room goes back (shrinking a block
    // never moves it).
    block->Resize(tail);
  } else {
    handedOn = block;
  }
  std::shared_ptr<const uint8_t> unread(block, block->bytes + head);
  block.reset();
  head = tail = 0;
  available = 0;
  return unread;
}

void Buffer::DiscardOutgoing() {
  outgoing.clear();
  pending = 0;
}

void Buffer::DiscardIncoming() {
  block.reset();
  handedOn.reset();
  head = tail = 0;
  available = 0;
}

std::vector<uint8_t> Buffer::PendingBytes() const {
  std::vector<uint8_t> bytes;
  for (const BufferSpace& chunk : outgoing)
    bytes.insert(bytes.end(), chunk.data.get() + chunk.start, chunk.data.get() + chunk.index);
  return bytes;
}
