#include "platform/system_library.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

namespace sp {
namespace {

using Load = std::pair<std::string, std::uint32_t>;  // path, flags

constexpr std::uint32_t kSearchSystem32 = 0x800;
constexpr std::uint32_t kAlteredSearchPath = 0x8;
constexpr LibraryHandle kLoaded = LibraryHandle(0x10000000);

std::string Ascii(const std::u16string& text) {
  return std::string(text.begin(), text.end());
}

// Answers each load with the next of `answers` and records what was asked.
class FakeLoader final : public LibraryLoader {
 public:
  FakeLoader(std::vector<LibraryLoadResult> answers, std::u16string systemDirectory)
      : answers_(std::move(answers)), systemDirectory_(std::move(systemDirectory)) {}

  LibraryLoadResult LoadLibraryExW(const std::u16string& path, std::uint32_t flags) override {
    loads.emplace_back(Ascii(path), flags);
    if (loads.size() > answers_.size()) {
      ADD_FAILURE() << "unexpected load of " << Ascii(path);
      return LibraryLoadResult{kNoLibrary, 126};
    }
    return answers_[loads.size() - 1];
  }

  std::u16string GetSystemDirectoryW() override { return systemDirectory_; }

  std::vector<Load> loads;

 private:
  std::vector<LibraryLoadResult> answers_;
  std::u16string systemDirectory_;
};

struct LoadCase {
  const char* description;
  std::vector<LibraryLoadResult> answers;
  std::u16string systemDirectory;
  std::vector<Load> expectedLoads;
  LibraryHandle expected;
};

class LoadSystemLibraryTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadSystemLibraryTest, SearchesSystem32ThenFallsBackToTheFullPathOnlyWhenTheFlagIsRefused) {
  const LoadCase& c = GetParam();
  FakeLoader loader(c.answers, c.systemDirectory);
  EXPECT_EQ(LoadSystemLibrary(loader, u"msi.dll"), c.expected);
  EXPECT_EQ(loader.loads, c.expectedLoads);
}

const std::u16string kSystem32 = u"C:\\Windows\\system32";
const LibraryLoadResult kFlagRefused{kNoLibrary, 87};
const LibraryLoadResult kNotFound{kNoLibrary, 126};

INSTANTIATE_TEST_SUITE_P(
    Cases, LoadSystemLibraryTest,
    testing::Values(
        LoadCase{
            "flag accepted", {{kLoaded, 0}}, kSystem32, {{"msi.dll", kSearchSystem32}}, kLoaded},
        LoadCase{"not in System32: no second try",
                 {kNotFound},
                 kSystem32,
                 {{"msi.dll", kSearchSystem32}},
                 kNoLibrary},
        LoadCase{"access denied: no second try",
                 {{kNoLibrary, 5}},
                 kSystem32,
                 {{"msi.dll", kSearchSystem32}},
                 kNoLibrary},
        LoadCase{
            "flag refused: full path",
            {kFlagRefused, {kLoaded, 0}},
            kSystem32,
            {{"msi.dll", kSearchSystem32}, {"C:\\Windows\\system32\\msi.dll", kAlteredSearchPath}},
            kLoaded},
        LoadCase{
            "flag refused, full path fails",
            {kFlagRefused, kNotFound},
            kSystem32,
            {{"msi.dll", kSearchSystem32}, {"C:\\Windows\\system32\\msi.dll", kAlteredSearchPath}},
            kNoLibrary},
        LoadCase{"flag refused, system directory at a root",
                 {kFlagRefused, {kLoaded, 0}},
                 u"C:\\",
                 {{"msi.dll", kSearchSystem32}, {"C:\\msi.dll", kAlteredSearchPath}},
                 kLoaded},
        LoadCase{"flag refused, no system directory: never the bare name",
                 {kFlagRefused},
                 u"",
                 {{"msi.dll", kSearchSystem32}},
                 kNoLibrary}),
    [](const testing::TestParamInfo<LoadCase>& param) {
      std::string name;
      bool wordStart = true;
      for (const char c : std::string(param.param.description)) {
        const bool letter = std::isalnum(static_cast<unsigned char>(c)) != 0;
        if (letter) {
          name += wordStart ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
        }
        wordStart = !letter;
      }
      return name;
    });

}  // namespace
}  // namespace sp
