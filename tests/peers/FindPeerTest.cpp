// findscu -S at STUDY, SERIES and IMAGE level against the objects stored by storescu.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/peers/PeerFixture.h"

namespace {
constexpr const char* kStudy = "1.2.826.0.1.3680043.8.498.7.1";
constexpr const char* kSeriesA = "1.2.826.0.1.3680043.8.498.7.1.1";

class FindPeer : public PeerFixture {
 protected:
  void SetUp() override {
    PeerFixture::SetUp();
    if (HasFatalFailure()) return;
    for (const char* file : {"ecg_12lead.dcm", "ecg_12lead_b.dcm", "ecg_series_b.dcm"}) {
      ASSERT_EQ(StoreFiles(Fixture(file)).exitCode, 0);
    }
    ASSERT_EQ(StoreFiles(Fixture("ct_jpeg_lossless.dcm"), "-xs ").exitCode, 0);
  }
  ToolResult Find(const std::string& keys) { return RunTool("findscu -d -S" + Peer() + keys); }
};

struct FindCase {
  std::string keys;
  size_t matches;
  const char* finalStatus;
  const char* expectedText;  // in the output, or null
};

TEST_F(FindPeer, KeysAtThreeLevels) {
  const std::string study = "-k QueryRetrieveLevel=STUDY -k StudyInstanceUID ";
  const FindCase cases[] = {
      {study + "-k \"PatientName=DOE*\"", 1, "0x0000", kStudy},
      {study + "-k \"PatientName=doe*\"", 1, "0x0000", nullptr},
      {study + "-k PatientName", 2, "0x0000", nullptr},
      {study + "-k StudyDate=20240103-", 1, "0x0000", "1.2.826.0.1.3680043.8.498.7.6"},
      {study + "-k StudyDate=20240101-20240102", 1, "0x0000", kStudy},
      {study + "-k StudyDate=-20231231", 0, "0x0000", nullptr},
      // A quote is a value, not SQL: nothing matches instead of everything.
      {study + "-k \"PatientName=x' OR '1'='1\"", 0, "0x0000", nullptr},
      {"-k QueryRetrieveLevel=SERIES -k SeriesInstanceUID -k StudyInstanceUID=" +
           std::string(kStudy), 2, "0x0000", kSeriesA},
      {"-k QueryRetrieveLevel=IMAGE -k SOPInstanceUID -k StudyInstanceUID=" + std::string(kStudy) +
           " -k SeriesInstanceUID=" + kSeriesA, 2, "0x0000", "1.2.826.0.1.3680043.8.498.7.2.2"},
      {"-k QueryRetrieveLevel=study -k StudyInstanceUID", 0, "0xc000", nullptr},
  };
  for (const FindCase& c : cases) {
    const ToolResult find = Find(c.keys);
    const auto statuses = DebugValues(find.output, "DIMSE Status");
    ASSERT_FALSE(statuses.empty()) << c.keys << "\n" << find.output;
    EXPECT_EQ(statuses.back(), c.finalStatus) << c.keys;
    EXPECT_EQ(static_cast<size_t>(std::count(statuses.begin(), statuses.end(), "0xff00")),
              c.matches)
        << c.keys << "\n" << find.output;
    if (c.expectedText) {
      EXPECT_NE(find.output.find(c.expectedText), std::string::npos) << c.keys;
    }
  }
  EXPECT_TRUE(Echo());
}

TEST_F(FindPeer, RequestWithoutLevelGetsNoAnswerAndTheServerStaysUp) {
  const ToolResult find = Find("-k StudyInstanceUID");
  EXPECT_TRUE(DebugValues(find.output, "DIMSE Status").empty()) << find.output;
  EXPECT_NE(LogText().find("ERROR, QueryLevel length=0"), std::string::npos);
  EXPECT_TRUE(Echo());
}

TEST_F(FindPeer, CancelIsReadAfterTheFinalResponse) {
  const ToolResult find = RunTool("findscu -S --cancel 1" + Peer() +
                                  "-k QueryRetrieveLevel=STUDY -k PatientName");
  (void)find;
  EXPECT_TRUE(Echo());
}
}  // namespace
