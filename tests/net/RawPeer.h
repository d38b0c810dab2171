// A scripted peer that sends raw bytes to an acceptor and records the PDUs it gets back: an
// A-ASSOCIATE-AC is answered with an A-RELEASE-RQ, everything else is only recorded, until the
// acceptor closes (every wait bounded).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RawReply {
  std::vector<uint8_t> types;              // PDU types in arrival order
  std::vector<std::vector<uint8_t>> pdus;  // each whole, header included
};

enum class SendMode { Whole, ByteByByte, ResetMidway };

RawReply SendRaw(int port, const std::vector<uint8_t>& script, SendMode mode);
