// The link buffer (see Buffer.h).
#include "net/Buffer.h"

#include <algorithm>
#include <cstring>

namespace {
// AppendFrom copies in pieces of this size, so a declared length never becomes one allocation
// before its bytes have arrived.
constexpr uint32_t kAppendPieceSize = 64 * 1024;
}  // namespace

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
  value = inEndian == 1 ? uint16_t(bytes[0] | bytes[1] << 8) : uint16_t(bytes[0] << 8 | bytes[1]);
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

bool Buffer::Read(void* bytes, uint32_t n) {
  if (n == 0) return !failed;
  if (failed) return false;
  while (available < n) {
    if (!ReadBlock()) {
      failed = true;
      return false;
    }
  }
  auto* out = static_cast<uint8_t*>(bytes);
  uint32_t copied = 0;
  while (copied < n) {
    if (incoming.front().index == incoming.front().size) {
      incoming.pop_front();
      continue;
    }
    BufferSpace& chunk = incoming.front();
    uint32_t take = std::min<uint32_t>(n - copied, uint32_t(chunk.size - chunk.index));
    if (out) std::memcpy(out + copied, chunk.data.data() + chunk.index, take);
    chunk.index += int(take);
    copied += take;
  }
  available -= n;
  return true;
}

bool Buffer::Write(const void* bytes, uint32_t n) {
  const auto* in = static_cast<const uint8_t*>(bytes);
  if (outgoing.empty()) outgoing.emplace_back(breakSize);
  while (n > 0) {
    BufferSpace& last = outgoing.back();
    if (last.index == last.size) {
      outgoing.emplace_back(breakSize);
      continue;
    }
    uint32_t take = std::min<uint32_t>(n, uint32_t(last.size - last.index));
    std::memcpy(last.data.data() + last.index, in, take);
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
  uint8_t area[kReadBlockSize];
  int count = sock->ReadBinary(area, uint32_t(std::min(breakSize, kReadBlockSize)));
  if (count < 0) return false;
  if (count == 0) return true;  // nothing this time; the caller asks again
  Feed(area, uint32_t(count));
  return true;
}

bool Buffer::Flush() {
  while (!outgoing.empty()) {
    BufferSpace& chunk = outgoing.front();
    if (chunk.index != 0 && !sock->SendBinary(chunk.data.data(), uint32_t(chunk.index))) {
      // A half-sent message must never reach the wire ahead of a later one.
      DiscardOutgoing();
      return false;
    }
    outgoing.pop_front();
  }
  pending = 0;
  return true;
}

bool Buffer::AppendFrom(Buffer& source, uint32_t n) {
  while (n > 0) {
    uint32_t piece = std::min(n, kAppendPieceSize);
    BufferSpace chunk{int(piece)};
    if (!source.Read(chunk.data.data(), piece)) return false;
    incoming.push_back(std::move(chunk));
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
    uint32_t take = std::min<uint32_t>(n, uint32_t(chunk.index));
    target.Write(chunk.data.data(), take);
    if (take == uint32_t(chunk.index)) {
      outgoing.pop_front();
    } else {
      std::memmove(chunk.data.data(), chunk.data.data() + take, size_t(chunk.index) - take);
      chunk.index -= int(take);
    }
    n -= take;
  }
  return true;
}

void Buffer::Feed(const void* bytes, uint32_t n) {
  if (n == 0) return;
  BufferSpace chunk{int(n)};
  std::memcpy(chunk.data.data(), bytes, n);
  incoming.push_back(std::move(chunk));
  available += n;
}

void Buffer::DiscardOutgoing() {
  outgoing.clear();
  pending = 0;
}

void Buffer::DiscardIncoming() {
  incoming.clear();
  available = 0;
}

std::vector<uint8_t> Buffer::PendingBytes() const {
  std::vector<uint8_t> bytes;
  for (const BufferSpace& chunk : outgoing)
    bytes.insert(bytes.end(), chunk.data.begin(), chunk.data.begin() + chunk.index);
  return bytes;
}
