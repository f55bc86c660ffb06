#include "products/package_summary.h"

#include <gtest/gtest.h>

#include "fixtures.h"

namespace sp {
namespace {

using test::Machine;
using test::Utf8;

class ReadTargetProductCodesTest : public testing::Test {
 protected:
  ReadTargetProductCodesTest() { m.os.files[u"C:\\T\\MSP2"] = {}; }

  std::uint32_t Read(std::u16string path = u"C:\\T\\MSP2") {
    return ReadTargetProductCodes(m.os, path, codes).code();
  }

  Machine m;
  std::u16string codes = u"unchanged";
};

TEST_F(ReadTargetProductCodesTest, ReadsPropertySevenAsStored) {
  m.os.summaryText = u" {A};{B}; ";
  ASSERT_EQ(Read(), 0u);
  EXPECT_EQ(Utf8(codes), " {A};{B}; ");
  EXPECT_EQ(m.os.log, (std::vector<std::string>{
                          "GetFullPathNameW(C:\\T\\MSP2, 260)",
                          "MsiGetSummaryInformationW(C:\\T\\MSP2, 0)",
                          "MsiSummaryInfoGetPropertyW(0x100, 7, 2048)",
                          "MsiCloseHandle(0x100)",
                      }));
}

TEST_F(ReadTargetProductCodesTest, RelativePathIsResolvedFirst) {
  m.os.files[u"C:\\W\\sp.msp"] = {};
  ASSERT_EQ(Read(u"sp.msp"), 0u);
  EXPECT_EQ(m.os.log.at(1), "MsiGetSummaryInformationW(C:\\W\\sp.msp, 0)");
}

TEST_F(ReadTargetProductCodesTest, LongListIsReadWholeThroughOneRetry) {
  for (std::size_t length : {2047u, 2048u, 5000u}) {
    m.os.log.clear();
    m.os.summaryText = std::u16string(length, u'x');
    ASSERT_EQ(Read(), 0u);
    EXPECT_EQ(codes.size(), length);
    const auto reads = m.os.Calls({"MsiSummaryInfoGetPropertyW"});
    ASSERT_EQ(reads.size(), length < 2048 ? 1u : 2u);
    EXPECT_TRUE(reads[0].ends_with(", 7, 2048)"));
    if (length >= 2048) {
      EXPECT_TRUE(reads[1].ends_with(", 7, " + std::to_string(length + 1) + ")"));
    }
  }
}

struct ReadFailure {
  const char* description;
  const char16_t* path;
  std::function<void(test::RecordingPlatform&)> arrange;
  std::uint32_t code;
  std::size_t closes;
};

class ReadFailureTest : public ReadTargetProductCodesTest,
                        public testing::WithParamInterface<ReadFailure> {};

TEST_P(ReadFailureTest, LeavesTheCodesAndReportsTheStatus) {
  GetParam().arrange(m.os);
  EXPECT_EQ(Read(GetParam().path), GetParam().code);
  EXPECT_EQ(Utf8(codes), "unchanged");
  EXPECT_EQ(m.os.Calls({"MsiCloseHandle"}).size(), GetParam().closes);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ReadFailureTest,
    testing::Values(ReadFailure{"package missing", u"C:\\T\\MSP2",
                                [](auto& os) { os.files.erase(u"C:\\T\\MSP2"); }, 110, 0},
                    ReadFailure{"not a package", u"C:\\T\\MSP2",
                                [](auto& os) { os.summaryOpenStatus = 1620; }, 1620, 0},
                    ReadFailure{"read fails", u"C:\\T\\MSP2",
                                [](auto& os) { os.summaryStatuses = {1627}; }, 1627, 1},
                    ReadFailure{"more data, then failure", u"C:\\T\\MSP2",
                                [](auto& os) {
                                  os.summaryStatuses = {234, 1627};
                                },
                                1627, 1},
                    ReadFailure{"more data twice", u"C:\\T\\MSP2",
                                [](auto& os) {
                                  os.summaryStatuses = {234, 234};
                                },
                                234, 1},
                    ReadFailure{
                        "full path too long", u"sp.msp",
                        [](auto& os) { os.currentDirectory = u"C:\\" + std::u16string(300, u'd'); },
                        206, 0}),
    test::DescriptionName());

}  // namespace
}  // namespace sp
