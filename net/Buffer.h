// The link buffer: the byte stream under every PDU and item. Incoming bytes arrive from the
// socket in reads of at most 1,024 bytes and wait in chunks until they are read; outgoing bytes
// wait in chunks of 32,600 bytes until Flush, so the PDU writer decides where sends fall (every
// PDU of this program is flushed once, whole).
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
#include <vector>

#include "net/Socket.h"

struct BufferSpace {
  explicit BufferSpace(int capacity) : size(capacity), data(static_cast<size_t>(capacity)) {}
  int size;   // capacity (outgoing) or bytes held (incoming)
  int index = 0;  // fill (outgoing) or read position (incoming)
  std::vector<uint8_t> data;
};

class Buffer {
 public:
  static constexpr int kBreakSize = 32600;     // outgoing chunk capacity
  static constexpr int kReadBlockSize = 1024;  // largest single socket read

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
  bool ReadBlock();
  bool Flush();
  // Reads n bytes from source and appends them to `incoming` (in pieces, as they arrive).
  bool AppendFrom(Buffer& source, uint32_t n);
  bool TransferTo(Buffer& target, uint32_t n);
  // Appends raw bytes to `incoming`, as if they had been received (in-memory parsing).
  void Feed(const void* bytes, uint32_t n);
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
  std::deque<BufferSpace> incoming;
  std::deque<BufferSpace> outgoing;
  Socket dsocket;
  int64_t available = 0;
  int64_t pending = 0;

 private:
  Socket* sock = &dsocket;
  bool failed = false;
};
