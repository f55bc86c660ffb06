#include "install/version_gate.h"

#include <gtest/gtest.h>

#include "fixtures.h"

namespace sp {
namespace {

struct GateCase {
  const char* description;
  const char16_t* installed;
  const char16_t* upgrade;
  const char16_t* candidates;
  VersionGate expected;
};

class VersionGateTest : public testing::TestWithParam<GateCase> {};

TEST_P(VersionGateTest, DecidesFromTheVersionsAlone) {
  const GateCase& c = GetParam();
  EXPECT_EQ(CheckVersion(c.installed, c.upgrade, c.candidates), c.expected);
}

constexpr const char16_t* kUpgrade = u"9.1.031.0";

INSTANTIATE_TEST_SUITE_P(
    Gate, VersionGateTest,
    testing::Values(GateCase{"at the upgrade version", u"9.1.31.0", kUpgrade, u"9.1.030.0,",
                             VersionGate::kUpToDate},
                    GateCase{"up to date even without candidates", kUpgrade, kUpgrade, u"",
                             VersionGate::kUpToDate},
                    GateCase{"a candidate", u"9.1.030.0", kUpgrade, u"9.1.029.0,9.1.30.0,",
                             VersionGate::kQualifies},
                    GateCase{"no candidate matches", u"9.1.029.0", kUpgrade, u"9.1.030.0,",
                             VersionGate::kUnsupported},
                    GateCase{"the last candidate lacks its comma", u"9.1.030.0", kUpgrade,
                             u"9.1.029.0,9.1.030.0", VersionGate::kUnsupported},
                    GateCase{"a list without any comma", u"9.1.030.0", kUpgrade, u"9.1.030.0",
                             VersionGate::kUnsupported},
                    GateCase{"the upgrade version met before the installed one", u"9.1.030.0",
                             kUpgrade, u"9.1.031.0,9.1.030.0,", VersionGate::kStopRun},
                    GateCase{"the installed one met before the upgrade version", u"9.1.030.0",
                             kUpgrade, u"9.1.030.0,9.1.031.0,", VersionGate::kQualifies},
                    GateCase{"an empty piece is compared like any other", u"", kUpgrade, u",",
                             VersionGate::kQualifies},
                    GateCase{"an empty piece equal to the upgrade stops the run", u"1.2.3.4",
                             u"0.0.0.0", u",1.2.3.4,", VersionGate::kStopRun}),
    test::DescriptionName());

}  // namespace
}  // namespace sp
