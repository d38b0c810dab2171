// The sending side of a C-MOVE sub-operation: which encoding an object gets on the context the
// destination accepted, and which result WriteStoreRQ gives when it cannot be sent. The
// association is not connected, so every object that could be encoded ends at -4 (not written)
// with its data set already in the encoding it would have gone out in.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dicom/DcmObj.h"
#include "net/PDU_Service.h"
#include "net/server/Services.h"

namespace {
constexpr const char* kImplicit = "1.2.840.10008.1.2";
constexpr const char* kExplicit = "1.2.840.10008.1.2.1";
constexpr const char* kBigEndian = "1.2.840.10008.1.2.2";
constexpr const char* kJpegLossless = "1.2.840.10008.1.2.4.70";
constexpr const char* kEcgClass = "1.2.840.10008.5.1.4.1.1.9.1.1";
constexpr const char* kCtClass = "1.2.840.10008.5.1.4.1.1.2";

// An unconnected association whose data context (ID 1) was accepted with `contextSyntax`.
struct AcceptedAssociation {
  PDU_Service pdu;
  explicit AcceptedAssociation(const std::string& contextSyntax, uint8_t dataContextId = 1) {
    auto accepted = std::make_unique<PresentationContextAccept>();
    accepted->PresentationContextID = 1;
    accepted->SetTransferSyntax(contextSyntax);
    pdu.AcceptedContexts.push_back(accepted.get());
    pdu.assocAC.PresContextAccepts.push_back(std::move(accepted));
    pdu.pdata.PresentationContextID = dataContextId;
  }
};

// A 2 x 2 8-bit monochrome image (native pixels) or a waveform-class object without pixels.
void FillObject(DcmObj& object, const std::string& sopClass, const std::string& syntax) {
  object.transferSyntax = syntax;
  object.explicitVR = syntax != kImplicit;
  object.Add(new DcmTag(0x0008, 0x0016, sopClass, "UI"));
  object.Add(new DcmTag(0x0008, 0x0018, std::string("1.2.3.4"), "UI"));
  if (sopClass != kCtClass) return;
  object.Add(new DcmTag(0x0028, 0x0002, static_cast<uint16_t>(1), "US"));
  object.Add(new DcmTag(0x0028, 0x0004, std::string("MONOCHROME2"), "CS"));
  object.Add(new DcmTag(0x0028, 0x0010, static_cast<uint16_t>(2), "US"));
  object.Add(new DcmTag(0x0028, 0x0011, static_cast<uint16_t>(2), "US"));
  object.Add(new DcmTag(0x0028, 0x0100, static_cast<uint16_t>(8), "US"));
  object.Add(new DcmTag(0x0028, 0x0101, static_cast<uint16_t>(8), "US"));
  object.Add(new DcmTag(0x0028, 0x0102, static_cast<uint16_t>(7), "US"));
  object.Add(new DcmTag(0x0028, 0x0103, static_cast<uint16_t>(0), "US"));
  const uint8_t pixels[4] = {1, 2, 3, 4};
  object.Add(new DcmTag(0x7FE0, 0x0010, 4u, pixels, "OB"));
}

struct EncodingCase {
  const char* dataSetSyntax;
  const char* contextSyntax;
  const char* sopClass;
  int32_t result;
  const char* sentSyntax;  // the data set's syntax afterwards
  bool sentExplicit;
};

TEST(WriteStoreRQ, EncodingFollowsTheAcceptedContextOrRefuses) {
  const EncodingCase cases[] = {
      // The same syntax goes out as it is.
      {kExplicit, kExplicit, kEcgClass, -4, kExplicit, true},
      {kBigEndian, kBigEndian, kEcgClass, -4, kBigEndian, true},
      {kImplicit, kImplicit, kCtClass, -4, kImplicit, false},
      // A non-image object is only re-labelled explicit to implicit VR little endian, also when
      // its file had no transfer syntax (read as explicit VR little endian).
      {kExplicit, kImplicit, kEcgClass, -4, kImplicit, false},
      {"", kImplicit, kEcgClass, -4, kImplicit, false},
      // Every other non-image pairing would put wrongly encoded values on the wire.
      {kBigEndian, kImplicit, kEcgClass, -3, kBigEndian, true},
      {kImplicit, kExplicit, kEcgClass, -3, kImplicit, false},
      {kExplicit, kJpegLossless, kEcgClass, -3, kExplicit, true},
      // An image is converted; a conversion that cannot be done fails the sub-operation.
      {kExplicit, kImplicit, kCtClass, -4, kImplicit, false},
      {kExplicit, "1.2.3.4.5", kCtClass, -3, kExplicit, true},
  };
  for (const EncodingCase& c : cases) {
    AcceptedAssociation out(c.contextSyntax);
    DcmObj object;
    FillObject(object, c.sopClass, c.dataSetSyntax);
    const std::string label =
        std::string(c.dataSetSyntax) + " on " + c.contextSyntax + " " + c.sopClass;
    EXPECT_EQ(WriteStoreRQ(out.pdu, object, c.sopClass), c.result) << label;
    EXPECT_EQ(object.transferSyntax, c.sentSyntax) << label;
    EXPECT_EQ(object.explicitVR, c.sentExplicit) << label;
  }
}

TEST(WriteStoreRQ, MissingContextOrSyntaxIsReported) {
  DcmObj object;
  FillObject(object, kEcgClass, kExplicit);
  AcceptedAssociation noDataContext(kExplicit, 0);
  EXPECT_EQ(WriteStoreRQ(noDataContext.pdu, object, kEcgClass), -1);
  AcceptedAssociation unknownContext(kExplicit, 3);
  EXPECT_EQ(WriteStoreRQ(unknownContext.pdu, object, kEcgClass), -2);
}

TEST(WriteStoreRQ, NoResponseOnAnUnconnectedAssociation) {
  AcceptedAssociation out(kExplicit);
  EXPECT_EQ(ReadStoreRSP(out.pdu), -1);
}
}  // namespace
