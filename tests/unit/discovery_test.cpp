#include "products/discovery.h"

#include <gtest/gtest.h>

#include "fixtures.h"

namespace sp {
namespace {

using test::Machine;
using test::Utf8;

class DiscoveryTest : public testing::Test {
 protected:
  DiscoveryTest() {
    m.os.model.files[kPackage] = {};
    AddProduct(u"{A}", "Alpha", "1033", "9.1.030.0");
    AddProduct(u"{B}", "Beta", "1031", "9.1.031.0");
  }

  void AddProduct(std::u16string code, const char* name, const char* language, const char* version,
                  int state = 5) {
    m.os.model.AddProduct(code, test::Utf16(name), test::Utf16(language), test::Utf16(version));
    m.os.model.products[code].state = state;
  }

  std::vector<std::string> Discover(const char* codes) {
    m.os.model.summaryText = test::Utf16(codes);
    EXPECT_TRUE(DiscoverTargetProducts(m.os, m.os.model.module, kPackage, m.process.targetProducts,
                                       m.process.log)
                    .ok());
    std::vector<std::string> found;
    for (const auto& record : m.process.targetProducts) {
      found.push_back(Utf8(record->productCode));
    }
    return found;
  }

  static constexpr char16_t kPackage[] = u"C:\\T\\MSP2";
  Machine m;
};

TEST_F(DiscoveryTest, FillsOneRecordPerPresentProductInListOrder) {
  EXPECT_EQ(Discover("{B};{A}"), (std::vector<std::string>{"{B}", "{A}"}));

  const ProductRecord& beta = *m.process.targetProducts[0];
  EXPECT_EQ(Utf8(beta.productName), "Beta");
  EXPECT_EQ(Utf8(beta.language), "1031");
  EXPECT_EQ(Utf8(beta.installedVersion), "9.1.031.0");
  for (const auto& record : m.process.targetProducts) {
    EXPECT_EQ(Utf8(record->upgradeVersion), "9.1.031.0");
    EXPECT_EQ(Utf8(record->candidateVersions), "9.1.030.0,");
    EXPECT_TRUE(record->commandLine.empty());
    EXPECT_TRUE(record->reserved3.empty());
    EXPECT_EQ(record->reserved1, 0);
  }
}

TEST_F(DiscoveryTest, AsksTheInstallerInTheStatedOrder) {
  Discover("{A};{X}");
  EXPECT_EQ(
      m.os.log.Of({"GetFullPathNameW", "MsiGetSummaryInformationW", "MsiSummaryInfoGetPropertyW",
                   "MsiCloseHandle", "MsiQueryProductStateW", "MsiGetProductInfoW"}),
      (std::vector<test::Call>{
          {"GetFullPathNameW", {"C:\\T\\MSP2", "260"}},
          {"MsiGetSummaryInformationW", {"C:\\T\\MSP2", "0"}},
          {"MsiSummaryInfoGetPropertyW", {"summary C:\\T\\MSP2", "7", "2048"}},
          {"MsiCloseHandle", {"summary C:\\T\\MSP2"}},
          {"MsiQueryProductStateW", {"{A}"}},
          {"MsiGetProductInfoW", {"{A}", "VersionString", "1024"}},
          {"MsiGetProductInfoW", {"{A}", "ProductName", "1024"}},
          {"MsiGetProductInfoW", {"{A}", "Language", "1024"}},
          {"MsiQueryProductStateW", {"{X}"}},
      }));
  // The version texts come before anything is read from the package.
  const std::vector<std::string> names = m.os.log.Names();
  const auto firstLookUp = std::find(names.begin(), names.end(), "FindResourceExW");
  const auto firstRead = std::find(names.begin(), names.end(), "GetFullPathNameW");
  EXPECT_LT(firstLookUp, firstRead);
  EXPECT_EQ(m.os.log.ArgsOf("FindResourceExW").at(0),
            (std::vector<std::string>{"module", "#6", "#44", "1033"}));
}

struct ListCase {
  const char* description;
  const char* codes;
  std::vector<std::string> records;
};

class TargetListTest : public DiscoveryTest, public testing::WithParamInterface<ListCase> {};

TEST_P(TargetListTest, WalksTheList) {
  EXPECT_EQ(Discover(GetParam().codes), GetParam().records);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, TargetListTest,
    testing::Values(ListCase{"two codes", "{A};{B}", {"{A}", "{B}"}},
                    ListCase{"a single code", "{B}", {"{B}"}},
                    ListCase{"a trailing separator", "{A};{B};", {"{A}", "{B}"}},
                    ListCase{"an empty list", "", {}},
                    ListCase{"a leading separator", ";{A};{B}", {}},
                    ListCase{"an empty entry ends the walk", "{A};;{B}", {"{A}"}},
                    ListCase{"a code listed twice", "{A};{A}", {"{A}", "{A}"}},
                    ListCase{"a code with blanks is asked as it stands", " {A};{B} ", {}},
                    ListCase{"absent codes are skipped", "{X};{B};{Y}", {"{B}"}}),
    test::DescriptionName());

TEST_F(DiscoveryTest, EmptyEntryLeavesTheRestUnasked) {
  Discover("{A};;{B}");
  EXPECT_EQ(m.os.log.ArgsOf("MsiQueryProductStateW"),
            (std::vector<std::vector<std::string>>{{"{A}"}}));
}

TEST_F(DiscoveryTest, AdvertisedProductsCountOthersDoNot) {
  AddProduct(u"{C}", "Gamma", "1036", "1.0", 1);
  AddProduct(u"{D}", "Delta", "1036", "1.0", 2);
  AddProduct(u"{E}", "Eps", "1036", "1.0", 3);
  EXPECT_EQ(Discover("{C};{D};{E}"), (std::vector<std::string>{"{C}"}));
}

TEST_F(DiscoveryTest, UnreadableAttributesLeaveEmptyFields) {
  m.os.model.products[u"{A}"].info.clear();
  Discover("{A}");
  const ProductRecord& record = *m.process.targetProducts.at(0);
  EXPECT_TRUE(record.productName.empty());
  EXPECT_TRUE(record.language.empty());
  EXPECT_TRUE(record.installedVersion.empty());
}

TEST_F(DiscoveryTest, LongListIsWalkedWhole) {
  std::string codes;
  for (int i = 0; i < 100; ++i) {
    codes += "{6D1A3C02-51B7-4E0B-9C1E-2F4D8A7B3C" + std::to_string(10 + i) + "};";
  }
  codes += "{A}";
  EXPECT_EQ(Discover(codes.c_str()), (std::vector<std::string>{"{A}"}));
  EXPECT_EQ(m.os.log.Count("MsiQueryProductStateW"), 101u);
}

struct DiscoveryFailure {
  const char* description;
  std::function<void(test::RecordingPlatform&)> arrange;
  std::uint32_t code;
};

class DiscoveryFailureTest : public DiscoveryTest,
                             public testing::WithParamInterface<DiscoveryFailure> {};

TEST_P(DiscoveryFailureTest, ReportsTheStepsCodeAndMakesNoRecord) {
  m.os.model.summaryText = u"{A}";
  GetParam().arrange(m.os);
  const Status discovered = DiscoverTargetProducts(m.os, m.os.model.module, kPackage,
                                                   m.process.targetProducts, m.process.log);
  EXPECT_EQ(discovered.code(), GetParam().code);
  EXPECT_TRUE(m.process.targetProducts.empty());
  EXPECT_EQ(m.os.log.Count("MsiQueryProductStateW"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DiscoveryFailureTest,
    testing::Values(DiscoveryFailure{"no upgrade version",
                                     [](auto& os) { os.model.strings[1033].erase(700); }, 1814},
                    DiscoveryFailure{"empty candidate list",
                                     [](auto& os) { os.model.strings[1033][900] = u""; }, 1814},
                    DiscoveryFailure{"package unreadable",
                                     [](auto& os) { os.faults.summaryOpenStatus = 1620; }, 1620},
                    DiscoveryFailure{"more data then failure",
                                     [](auto& os) {
                                       os.faults.summaryStatuses = {234, 1627};
                                     },
                                     1627}),
    test::DescriptionName());

}  // namespace
}  // namespace sp
