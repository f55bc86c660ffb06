// Any target list, version texts, product attributes and installer results take
// the install run to an end that agrees with itself: the package is deleted
// exactly when the run completes, each product is reconfigured at most twice,
// its command lines end with the restart choice, and the exit code is 0 only
// when no call failed.
#include <cstdint>

#include "fuzz_text.h"
#include "install/apply.h"
#include "machine.h"

namespace {

const char16_t* const kCodes[] = {u"{A}", u"{B}", u"{C}", u"{A}"};
const char16_t* const kVersions[] = {u"9.1.030.0",  u"9.1.031.0", u"9.1.30",      u"",
                                     u"9.1.031.0,", u"1.2.3.4.5", u"65536.1.30.0"};
const char16_t* const kCandidates[] = {u"9.1.030.0,",  u"9.1.031.0,9.1.030.0,", u"9.1.030.0", u"",
                                       u",9.1.030.0,", u"9.1.029.0,9.1.030.0,"};
const char16_t* const kLanguages[] = {u"1033", u"1031", u"", u"0", u"-1", u"2052"};
const std::uint32_t kResults[] = {0, 0, 1641, 3010, 1603, 1605, 1618, 1602};

std::uint32_t Result(FuzzedDataProvider& input) {
  return input.ConsumeBool() ? kResults[input.ConsumeIntegralInRange<std::size_t>(0, 7)]
                             : input.ConsumeIntegral<std::uint32_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  sp::test::Machine m;
  m.process.options.quiet = input.ConsumeBool();
  m.process.options.passive = input.ConsumeBool();
  m.process.options.noRestart = input.ConsumeBool();
  m.os.model.strings[1033][700] = sp::fuzz::TextOrKnown(input, kVersions, 40);
  m.os.model.strings[1033][900] = sp::fuzz::TextOrKnown(input, kCandidates, 80);

  std::u16string codes;
  const auto entries = input.ConsumeIntegralInRange<int>(0, 6);
  for (int i = 0; i < entries; ++i) {
    codes += sp::fuzz::TextOrKnown(input, kCodes, 8);
    if (input.ConsumeProbability<float>() < 0.9f) {
      codes += u';';
    }
  }
  m.os.model.summaryText = codes;
  for (const char16_t* code : {u"{A}", u"{B}", u"{C}"}) {
    sp::test::FakeProduct& product = m.os.model.products[code];
    product.state = input.ConsumeIntegralInRange<int>(-1, 5);
    product.info[u"VersionString"] = sp::fuzz::TextOrKnown(input, kVersions, 40);
    product.info[u"ProductName"] = sp::fuzz::Text(input, 300);
    product.info[u"Language"] = sp::fuzz::TextOrKnown(input, kLanguages, 8);
    product.configureResults = {Result(input), Result(input), Result(input), Result(input)};
  }

  const sp::InstallOutcome outcome = sp::test::Apply(m);

  const std::u16string package = u"C:\\T\\MSP2";
  // A failed reconfiguration is the one the driver sets as the last error.
  const std::vector<sp::test::Call>& calls = m.os.log.all();
  std::size_t reconfigurations = 0;
  bool anyFailure = false;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    if (calls[i].name == "MsiConfigureProductExW") {
      ++reconfigurations;
      anyFailure = anyFailure || (i + 1 < calls.size() && calls[i + 1].name == "SetLastError");
    }
  }
  if (outcome.completed == m.os.model.Exists(package) ||
      reconfigurations > 2 * m.process.targetProducts.size() || !m.os.Leftovers().empty() ||
      (anyFailure && outcome.exitCode == 0)) {
    __builtin_trap();
  }
  for (const auto& record : m.process.targetProducts) {
    if (!record->commandLine.empty() &&
        (record->commandLine.rfind(u"PATCH=\"" + package, 0) != 0 ||
         record->commandLine.ends_with(u" REBOOT=ReallySuppress") != m.process.options.noRestart)) {
      __builtin_trap();
    }
  }
  return 0;
}
