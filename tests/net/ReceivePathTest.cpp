// The receive path: socket reads in large blocks served from what the link holds, messages
// assembled once and handed to the parser whole, and the reuse of assembly blocks.
#include <gtest/gtest.h>

#include <memory>

#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "net/Buffer.h"
#include "net/PDU_Service.h"
#include "net/PDataTF.h"
#include "tests/net/Fixtures.h"
#include "tests/net/MemorySocket.h"

namespace {

constexpr uint32_t kWholeScript = 1u << 30;  // a socket that delivers all it has in one read

Bytes Pattern(size_t size, uint8_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = uint8_t(i * 31 + seed);
  return bytes;
}

// A link over a scripted socket, big endian as PDU_Service sets it.
struct ScriptedLink {
  explicit ScriptedLink(const Bytes& script, uint32_t piece = kWholeScript)
      : socket(script, piece) {
    link.UseSocket(&socket);
    link.SetIncomingEndian(2);
  }
  MemorySocket socket;
  Buffer link;
};

// Reads one whole message from `link` into `pdata`, PDU by PDU as PDU_Service does.
bool ReadMessage(Buffer& link, PDataTF& pdata) {
  do {
    if (pdata.Length == 0) {
      uint8_t type = 0;
      link.ReadByte(type);
      if (type != 0x04) return false;
    }
    if (!pdata.ReadDynamic(link)) return false;
  } while (!pdata.MessageComplete);
  return true;
}

Bytes Taken(Buffer& buffer) {
  uint64_t size = 0;
  std::shared_ptr<const uint8_t> bytes = buffer.TakeIncoming(size);
  return bytes ? Bytes(bytes.get(), bytes.get() + size) : Bytes{};
}

TEST(ReceivePathTest, ManyPdusInOneSocketReadAreServedFromTheLink) {
  Bytes script;
  std::vector<Bytes> messages;
  for (int i = 0; i < 20; ++i) {
    messages.push_back(Pattern(1000, uint8_t(i)));
    script = Cat({script, PDataPdu(Pdv(1, 0x02, messages.back()))});
  }
  ScriptedLink s(script);
  PDataTF pdata;
  ASSERT_TRUE(ReadMessage(s.link, pdata));
  EXPECT_EQ(s.socket.position, script.size());  // one socket read took every PDU
  EXPECT_EQ(Taken(pdata.MessageBuffer), messages[0]);
  for (int i = 1; i < 20; ++i) {
    ASSERT_TRUE(ReadMessage(s.link, pdata)) << i;
    EXPECT_EQ(Taken(pdata.MessageBuffer), messages[size_t(i)]) << i;
  }
  EXPECT_EQ(s.link.available, 0);
}

TEST(ReceivePathTest, ReadsAndSkipsLargerThanTheBlockComeOutInOrder) {
  struct Case {
    const char* name;
    uint32_t piece;
  };
  // Socket reads that deliver little, exactly a block, and more than the link asks for.
  const Case cases[] = {{"small pieces", 1000},
                        {"block-sized pieces", Buffer::kReceiveBlockSize},
                        {"everything at once", kWholeScript}};
  const Bytes script = Pattern(3 * Buffer::kReceiveBlockSize + 12345, 7);
  for (const Case& c : cases) {
    ScriptedLink s(script, c.piece);
    Bytes first(Buffer::kReceiveBlockSize + 100);
    ASSERT_TRUE(s.link.Read(first.data(), uint32_t(first.size()))) << c.name;
    ASSERT_TRUE(s.link.Skip(Buffer::kReceiveBlockSize)) << c.name;
    Bytes rest(script.size() - first.size() - Buffer::kReceiveBlockSize);
    ASSERT_TRUE(s.link.Read(rest.data(), uint32_t(rest.size()))) << c.name;
    EXPECT_EQ(first, Bytes(script.begin(), script.begin() + long(first.size()))) << c.name;
    EXPECT_EQ(rest, Bytes(script.end() - long(rest.size()), script.end())) << c.name;
    uint8_t beyond = 0;
    EXPECT_FALSE(s.link.Read(&beyond, 1)) << c.name;
  }
}

TEST(ReceivePathTest, AMessageAssembledFromManyFragmentsIsHandedOverWhole) {
  // 40 MiB grows the block past the size from which it is offered huge pages.
  for (size_t size : {size_t(200000), size_t(40) << 20}) {
    const Bytes message = Pattern(size, 3);
    Bytes script;
    script.reserve(size + size / 16378 * 12 + 12);
    for (size_t at = 0; at < message.size(); at += 16378) {
      const size_t end = std::min(message.size(), at + 16378);
      const Bytes pdu =
          PDataPdu(Pdv(1, end == message.size() ? 0x02 : 0x00,
                       Bytes(message.begin() + long(at), message.begin() + long(end))));
      script.insert(script.end(), pdu.begin(), pdu.end());
    }
    ScriptedLink s(script, 5000);
    PDataTF pdata;
    ASSERT_TRUE(ReadMessage(s.link, pdata)) << size;
    EXPECT_EQ(pdata.MessageBuffer.available, int64_t(message.size())) << size;
    EXPECT_TRUE(Taken(pdata.MessageBuffer) == message) << size;
    EXPECT_EQ(pdata.MessageBuffer.available, 0) << size;
    EXPECT_EQ(Taken(pdata.MessageBuffer), Bytes{}) << size;
  }
}

TEST(ReceivePathTest, ABlockStillReferredToIsNeverReusedForTheNextMessage) {
  // An assembly block handed to a received object must not take the next message while the
  // object still refers to it, or the next message would overwrite the object's values.
  const Bytes first = Pattern(70000, 1), second = Pattern(70000, 2), third = Pattern(70000, 3);
  ScriptedLink s(Cat({PDataPdu(Pdv(1, 0x02, first)), PDataPdu(Pdv(1, 0x02, second)),
                      PDataPdu(Pdv(1, 0x02, third))}));
  PDataTF pdata;
  ASSERT_TRUE(ReadMessage(s.link, pdata));
  uint64_t size = 0;
  std::shared_ptr<const uint8_t> held = pdata.MessageBuffer.TakeIncoming(size);
  ASSERT_TRUE(ReadMessage(s.link, pdata));
  std::shared_ptr<const uint8_t> next = pdata.MessageBuffer.TakeIncoming(size);
  EXPECT_NE(next.get(), held.get());
  EXPECT_EQ(Bytes(held.get(), held.get() + first.size()), first);
  EXPECT_EQ(Bytes(next.get(), next.get() + second.size()), second);
  // Once nothing refers to a block, it serves the next message.
  const uint8_t* freed = next.get();
  next.reset();
  ASSERT_TRUE(ReadMessage(s.link, pdata));
  std::shared_ptr<const uint8_t> reused = pdata.MessageBuffer.TakeIncoming(size);
  EXPECT_EQ(reused.get(), freed);
  EXPECT_EQ(Bytes(reused.get(), reused.get() + third.size()), third);
  EXPECT_EQ(Bytes(held.get(), held.get() + first.size()), first);
}

TEST(ReceivePathTest, HeldMessagesKeepTheirBytesWhileTheNextOnesArrive) {
  // A small message is copied out of its assembly block so the block can take the data set
  // that follows; had the copy been skipped, the data set would overwrite the held command.
  struct Case {
    const char* name;
    size_t firstSize, secondSize;
  };
  const Case cases[] = {{"command set, then data set", 200, 70000},
                        {"two command sets", 200, 300},
                        {"at the copying bound, then data set", Buffer::kCopyOutAtMost, 70000},
                        {"data set, then command set", 70000, 200}};
  for (const Case& c : cases) {
    const Bytes first = Pattern(c.firstSize, 4), second = Pattern(c.secondSize, 5);
    const Bytes third = Pattern(70000, 6);
    ScriptedLink s(Cat({PDataPdu(Pdv(1, 0x02, first)), PDataPdu(Pdv(1, 0x02, second)),
                        PDataPdu(Pdv(1, 0x02, third))}));
    PDataTF pdata;
    uint64_t size = 0;
    ASSERT_TRUE(ReadMessage(s.link, pdata)) << c.name;
    std::shared_ptr<const uint8_t> heldFirst = pdata.MessageBuffer.TakeIncoming(size);
    ASSERT_EQ(size, first.size()) << c.name;
    ASSERT_TRUE(ReadMessage(s.link, pdata)) << c.name;
    std::shared_ptr<const uint8_t> heldSecond = pdata.MessageBuffer.TakeIncoming(size);
    ASSERT_EQ(size, second.size()) << c.name;
    ASSERT_TRUE(ReadMessage(s.link, pdata)) << c.name;
    EXPECT_EQ(Taken(pdata.MessageBuffer), third) << c.name;
    EXPECT_EQ(Bytes(heldFirst.get(), heldFirst.get() + first.size()), first) << c.name;
    EXPECT_EQ(Bytes(heldSecond.get(), heldSecond.get() + second.size()), second) << c.name;
  }
}

// Explicit VR little endian, as a data set travels on its context.
Bytes ExplicitElement(uint16_t group, uint16_t element, const char* vr, const Bytes& value) {
  Bytes b{uint8_t(group),        uint8_t(group >> 8), uint8_t(element),
          uint8_t(element >> 8), uint8_t(vr[0]),      uint8_t(vr[1])};
  const uint32_t n = uint32_t(value.size());
  if (vr[0] == 'O') {
    b.insert(b.end(), {0, 0, uint8_t(n), uint8_t(n >> 8), uint8_t(n >> 16), uint8_t(n >> 24)});
  } else {
    b.insert(b.end(), {uint8_t(n), uint8_t(n >> 8)});
  }
  return Cat({b, value});
}

TEST(ReceivePathTest, TheParsedDataSetKeepsItsLargeValueInTheAssembledMessage) {
  PDU_Service pdu;
  PresentationContextAccept context;
  context.PresentationContextID = 1;
  context.SetTransferSyntax("1.2.840.10008.1.2.1");
  pdu.AcceptedContexts.push_back(&context);
  const Bytes uid{'1', '.', '2', 0};
  const Bytes samples = Pattern(300000, 9);
  const Bytes message = Cat(
      {ExplicitElement(0x0008, 0x0018, "UI", uid), ExplicitElement(0x5400, 0x1010, "OW", samples)});
  pdu.pdata.MessageBuffer.Feed(message.data(), uint32_t(message.size()));
  DcmObj out;
  ASSERT_TRUE(pdu.ParseRawVRIntoDCM(pdu.pdata.MessageBuffer, &out, 1));
  EXPECT_EQ(pdu.pdata.MessageBuffer.available, 0);
  ASSERT_EQ(out.Count(), 2);
  EXPECT_EQ(out.GetString(0x0008, 0x0018), "1.2");
  const DcmTag* waveform = out.TagAt(1);
  ASSERT_NE(waveform, nullptr);
  EXPECT_TRUE(waveform->data.IsShared());
  EXPECT_EQ(waveform->data, samples);
  EXPECT_EQ(out.transferSyntax, "1.2.840.10008.1.2.1");
}

}  // namespace
