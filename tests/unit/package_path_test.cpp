#include "install/package_path.h"

#include <gtest/gtest.h>

#include "fixtures.h"

namespace sp {
namespace {

struct PathCase {
  const char* description;
  const char16_t* path;
  std::function<void(test::RecordingPlatform&)> arrange;
  const char* expected;  // the path handed to Windows Installer, or none
  std::uint32_t code;    // when refused
};

class InstallerPackagePathTest : public testing::TestWithParam<PathCase> {};

TEST_P(InstallerPackagePathTest, IsFullAndCannotChangeThePatchProperty) {
  const PathCase& c = GetParam();
  test::Machine m;
  m.os.model.files[u"C:\\a;b\\MSP2"] = {};
  m.os.model.files[u"C:\\q\"t\\MSP2"] = {};
  c.arrange(m.os);
  const auto path = InstallerPackagePath(m.os, c.path);
  if (c.expected != nullptr) {
    ASSERT_TRUE(path.ok()) << path.status().code();
    EXPECT_EQ(test::Utf8(*path), c.expected);
  } else {
    EXPECT_EQ(path.status().code(), c.code);
  }
}

void Nothing(test::RecordingPlatform&) {}

INSTANTIATE_TEST_SUITE_P(
    Paths, InstallerPackagePathTest,
    testing::Values(
        PathCase{"a full path as it is", u"C:\\T\\MSP2", Nothing, "C:\\T\\MSP2", 0},
        // A missing temporary folder leaves a name in the root of the current drive.
        PathCase{"the root of the current drive", u"\\MSP2", Nothing, "C:\\MSP2", 0},
        PathCase{"the current folder", u".\\MSP2", Nothing, "C:\\W\\.\\MSP2", 0},
        PathCase{"a semicolon takes the short form", u"C:\\a;b\\MSP2",
                 [](auto& os) { os.model.shortNames[u"C:\\a;b\\MSP2"] = u"C:\\AB~1\\MSP2"; },
                 "C:\\AB~1\\MSP2", 0},
        PathCase{"a double quote takes the short form", u"C:\\q\"t\\MSP2",
                 [](auto& os) { os.model.shortNames[u"C:\\q\"t\\MSP2"] = u"C:\\QT~1\\MSP2"; },
                 "C:\\QT~1\\MSP2", 0},
        PathCase{"no short names: refused", u"C:\\a;b\\MSP2", Nothing, nullptr, 123},
        PathCase{"a short form that still holds one: refused", u"C:\\a;b\\MSP2",
                 [](auto& os) { os.model.shortNames[u"C:\\a;b\\MSP2"] = u"C:\\A;B\\MSP2"; },
                 nullptr, 123},
        PathCase{"a full path too long", u"sp.msp",
                 [](auto& os) { os.model.currentDirectory = u"C:\\" + std::u16string(1100, u'd'); },
                 nullptr, 206}),
    test::DescriptionName());

}  // namespace
}  // namespace sp
