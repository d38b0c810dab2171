// The link buffer: the byte stream under every PDU and item. Incoming bytes arrive from the
// socket in large reads and wait in one block until they are read, so reading a few header bytes
// costs no system call while the block holds them; outgoing bytes wait in chunks of 32,600 bytes
// until Flush, so the PDU writer decides where sends fall (every PDU of this program is flushed
// once, whole).
//
// The same incoming block assembles a message in P-DATA-TF's message buffer: fragments are
// appended as they arrive (AppendFrom) and the whole message is then handed on without a copy
// (TakeIncoming). A block of a message's size is a mapping of its own (mmap), grown by remapping
// its pages instead of copying them, and unmapped when freed, so the memory of a burst of large
// messages goes back to the system as soon as they are stored. A block handed on comes back for
// the next message once nothing refers to it any more, so a burst of messages reuses memory that
// is already mapped. A small message (a command set) is copied out instead, so the data set that
// follows it is assembled in a block already grown to the last one's size.
//
// Below: a Socket (net/Socket.h), the embedded `dsocket` unless another one is put in with
// UseSocket. Above: the items, the PDUs and P-DATA-TF. A Buffer whose socket is not connected
// is a pure in-memory stream: the PDU readers parse item bodies from such buffers.
//
// A failed read is sticky: once a read fails, every later read fails at once and the typed
// reads yield 0, so a parse loop driven by lengths always comes to an end.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "net/Socket.h"

// One outgoing chunk: bytes [start, index) of its `size` are written and not yet sent.
struct BufferSpace {
  BufferSpace(int capacity, std::unique_ptr<uint8_t[]> bytes)
      : size(capacity), data(std::move(bytes)) {}
  int size;       // capacity
  int index = 0;  // fill
  int start = 0;  // bytes before it were moved on by TransferTo
  std::unique_ptr<uint8_t[]> data;
};

class Buffer {
 public:
  static constexpr int kBreakSize = 32600;  // outgoing chunk capacity
  // The incoming block of a socket link: one socket read takes as much as fits, up to this.
  static constexpr uint32_t kReceiveBlockSize = 256 * 1024;
  // A block handed on by TakeIncoming is kept for reuse only up to this size, and sent chunks
  // are kept for reuse up to this many bytes.
  static constexpr uint64_t kReuseBlockAtMost = 8u << 20;
  // TakeIncoming copies a message of at most this many bytes and keeps the block.
  static constexpr uint64_t kCopyOutAtMost = 4096;

  Buffer();
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;
  virtual ~Buffer();

  bool SetIncomingEndian(int endian);  // 1 little endian, anything else big endian
  bool SetOutgoingEndian(int endian);

  Buffer& ReadByte(uint8_t& value);
  Buffer& ReadU16(uint16_t& value);
  Buffer& ReadU32(uint32_t& value);
  Buffer& WriteByte(uint8_t value);
  Buffer& WriteU16(uint16_t value);
  Buffer& WriteU32(uint32_t value);

  bool Read(void* bytes, uint32_t n);
  bool Write(const void* bytes, uint32_t n);
  bool Skip(uint32_t n);
  // One socket read into the free end of the incoming block.
  bool ReadBlock();
  bool Flush();
  // Reads n bytes from source and appends them to the incoming bytes (in pieces, as they
  // arrive, so a declared length is never allocated before its bytes are there).
  bool AppendFrom(Buffer& source, uint32_t n);
  bool TransferTo(Buffer& target, uint32_t n);
  // Appends raw bytes to the incoming bytes, as if they had been received (in-memory parsing).
  void Feed(const void* bytes, uint32_t n);
  // Hands every unread incoming byte over without copying and leaves this buffer with none:
  // `size` bytes at the pointer returned, which keeps them alive (null when there are none).
  std::shared_ptr<const uint8_t> TakeIncoming(uint64_t& size);
  // Drops every outgoing byte not yet sent (after a failed send).
  void DiscardOutgoing();
  void DiscardIncoming();
  // Every outgoing byte not yet flushed, in order (tests and in-memory writers).
  std::vector<uint8_t> PendingBytes() const;

  // Puts another socket under this buffer (not owned); null restores `dsocket`.
  void UseSocket(Socket* other) { sock = other ? other : &dsocket; }
  Socket& socket() { return *sock; }
  bool Failed() const { return failed; }
  void ClearFailure() { failed = false; }

  int breakSize = kBreakSize;
  int inEndian = 1;
  int outEndian = 1;
  std::deque<BufferSpace> outgoing;
  Socket dsocket;
  int64_t available = 0;  // incoming bytes not yet read
  int64_t pending = 0;    // outgoing bytes not yet flushed or transferred

 private:
  // Incoming bytes: [head, tail) of `capacity` bytes at `bytes` are received and not yet read.
  struct Block {
    Block() = default;
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    ~Block();
    // Grows or shrinks the block to hold at least `wanted` bytes, keeping its bytes: from the
    // heap while it is small, otherwise mapped (whole pages); false, with the block unchanged,
    // when memory is short.
    bool Resize(uint64_t wanted);
    uint8_t* bytes = nullptr;  // `capacity` bytes, mapped or from the heap
    uint64_t capacity = 0;
    bool mapped = false;
  };
  // Room for `wanted` bytes from the block's start; false when memory is short.
  bool ReserveIncoming(uint64_t wanted);
  void Consume(uint64_t n);
  // A new last outgoing chunk of `breakSize` bytes, from the spare ones when there are any.
  void AddOutgoingChunk();
  // Removes the first outgoing chunk, keeping its array as a spare when there is room.
  void DropFirstOutgoingChunk();

  Socket* sock = &dsocket;
  bool failed = false;
  std::shared_ptr<Block> block;
  uint64_t head = 0;
  uint64_t tail = 0;
  // The block last handed on, to be taken back once nothing else refers to it.
  std::shared_ptr<Block> handedOn;
  // Arrays of sent chunks, each of `spareSize` bytes, to be written again.
  std::vector<std::unique_ptr<uint8_t[]>> spareChunks;
  int spareSize = 0;
};
