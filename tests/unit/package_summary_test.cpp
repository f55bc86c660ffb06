#include "products/package_summary.h"

#include <gtest/gtest.h>

#include "fixtures.h"

namespace sp {
namespace {

using test::Machine;
using test::Utf8;

class ReadTargetProductCodesTest : public testing::Test {
 protected:
  ReadTargetProductCodesTest() { m.os.model.files[u"C:\\T\\MSP2"] = {}; }

  std::uint32_t Read(std::u16string path = u"C:\\T\\MSP2") {
    return ReadTargetProductCodes(m.os, path, codes).code();
  }

  Machine m;
  std::u16string codes = u"unchanged";
};

TEST_F(ReadTargetProductCodesTest, ReadsPropertySevenAsStored) {
  m.os.model.summaryText = u" {A};{B}; ";
  ASSERT_EQ(Read(), 0u);
  EXPECT_EQ(Utf8(codes), " {A};{B}; ");
  EXPECT_EQ(m.os.log.all(),
            (std::vector<test::Call>{
                {"GetFullPathNameW", {"C:\\T\\MSP2", "260"}},
                {"MsiGetSummaryInformationW", {"C:\\T\\MSP2", "0"}},
                {"MsiSummaryInfoGetPropertyW", {"summary C:\\T\\MSP2", "7", "2048"}},
                {"MsiCloseHandle", {"summary C:\\T\\MSP2"}},
            }));
}

TEST_F(ReadTargetProductCodesTest, RelativePathIsResolvedFirst) {
  m.os.model.files[u"C:\\W\\sp.msp"] = {};
  ASSERT_EQ(Read(u"sp.msp"), 0u);
  EXPECT_EQ(m.os.log.ArgsOf("MsiGetSummaryInformationW"),
            (std::vector<std::vector<std::string>>{{"C:\\W\\sp.msp", "0"}}));
}

TEST_F(ReadTargetProductCodesTest, LongListIsReadWholeThroughOneRetry) {
  for (std::size_t length : {2047u, 2048u, 5000u}) {
    m.os.log.clear();
    m.os.model.summaryText = std::u16string(length, u'x');
    ASSERT_EQ(Read(), 0u);
    EXPECT_EQ(codes.size(), length);
    std::vector<std::vector<std::string>> expected = {{"summary C:\\T\\MSP2", "7", "2048"}};
    if (length >= 2048) {
      expected.push_back({"summary C:\\T\\MSP2", "7", std::to_string(length + 1)});
    }
    EXPECT_EQ(m.os.log.ArgsOf("MsiSummaryInfoGetPropertyW"), expected);
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
  EXPECT_EQ(m.os.log.Count("MsiCloseHandle"), GetParam().closes);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ReadFailureTest,
    testing::Values(ReadFailure{"package missing", u"C:\\T\\MSP2",
                                [](auto& os) { os.model.files.erase(u"C:\\T\\MSP2"); }, 110, 0},
                    ReadFailure{"not a package", u"C:\\T\\MSP2",
                                [](auto& os) { os.faults.summaryOpenStatus = 1620; }, 1620, 0},
                    ReadFailure{"read fails", u"C:\\T\\MSP2",
                                [](auto& os) { os.faults.summaryStatuses = {1627}; }, 1627, 1},
                    ReadFailure{"more data, then failure", u"C:\\T\\MSP2",
                                [](auto& os) {
                                  os.faults.summaryStatuses = {234, 1627};
                                },
                                1627, 1},
                    ReadFailure{"more data twice", u"C:\\T\\MSP2",
                                [](auto& os) {
                                  os.faults.summaryStatuses = {234, 234};
                                },
                                234, 1},
                    ReadFailure{"full path too long", u"sp.msp",
                                [](auto& os) {
                                  os.model.currentDirectory = u"C:\\" + std::u16string(300, u'd');
                                },
                                206, 0}),
    test::DescriptionName());

}  // namespace
}  // namespace sp
