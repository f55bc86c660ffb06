// The silent runs: the first, the same again, and the one whose sources are gone.
#include <string_view>

#include "check/files.h"
#include "check/steps.h"
#include "messages/format.h"
#include "products/discovery.h"
#include "products/package_version.h"

namespace sp::check {
namespace {

constexpr std::u16string_view kSilent = u"/q";

bool AtVersion(Platform& os, const Baseline& baseline, const std::u16string& version,
               std::u16string& found) {
  found = ProductText(os, baseline.package.code, u"VersionString");
  return !found.empty() && SameVersion(ParseVersion(found), ParseVersion(version));
}

// Whether `bytes` holds `text` as 8-bit text or as UTF-16 (little-endian).
bool Holds(const std::string& bytes, std::string_view text) {
  if (bytes.find(text) != std::string::npos) {
    return true;
  }
  std::string wide;
  for (char c : text) {
    wide += c;
    wide += '\0';
  }
  return bytes.find(wide) != std::string::npos;
}

void CheckVersions(CheckState& state, const RunFolder& run, const std::u16string& expected,
                   const std::u16string& what) {
  for (const Baseline& baseline : state.baselines) {
    std::u16string found;
    const bool at = AtVersion(state.os, baseline, expected, found);
    state.report.Check(at, run.name + u"." + baseline.package.name + u".version", expected + what,
                       found.empty() ? u"not installed" : found);
  }
}

}  // namespace

void CheckFirstRun(CheckState& state) {
  const RunFolder run = NextRun(state);
  const PackRun result =
      state.machine.RunPack(state.pack, RunArguments(run, std::u16string(kSilent)),
                            RunPlace::kDesktop, nullptr, state.timeout);
  if (result.end == PackRun::End::kExited) {
    state.firstExit = result.exitCode;
  }
  state.report.Check(Exited(result, 0) || Exited(result, win::kErrorSuccessRebootRequired),
                     run.name + u".exit-code", u"exit code 0 or 3010",
                     RunText(result, state.timeout));
  CheckVersions(state, run, state.contents.upgradeVersion, u" (string 700)");
  for (const Baseline& baseline : state.baselines) {
    const std::u16string path = ProductLogPath(run, baseline);
    const Expected<std::string> log = ReadWholeFile(state.os, path);
    state.report.Check(log.ok() && !log->empty(), run.name + u"." + baseline.package.name + u".log",
                       path + u" written",
                       log.ok() ? DecimalText(static_cast<std::uint32_t>(log->size())) + u" bytes"
                                : u"missing (error " + DecimalText(log.status().code()) + u")");
    // Two reconfigurations share one log; whether the first one's lines survive
    // the second is Windows Installer's choice, so this is a finding, not a verdict.
    if (log.ok()) {
      const bool first = Holds(*log, "REBOOTPROMPT=S");
      state.report.Add(Outcome::kInfo,
                       run.name + u"." + baseline.package.name + u".log-first-reconfiguration",
                       u"the first reconfiguration's command line (REBOOTPROMPT=S) in the log",
                       first ? u"present" : u"absent: the log holds the second one only");
    }
  }
  CheckRunLogEnd(state, run, result);
}

void CheckSecondRun(CheckState& state) {
  std::vector<std::u16string> before;
  for (const Baseline& baseline : state.baselines) {
    before.push_back(ProductText(state.os, baseline.package.code, u"VersionString"));
  }
  const RunFolder run = NextRun(state);
  const PackRun result =
      state.machine.RunPack(state.pack, RunArguments(run, std::u16string(kSilent)),
                            RunPlace::kDesktop, nullptr, state.timeout);
  state.report.Check(Exited(result, 0), run.name + u".exit-code", u"exit code 0",
                     RunText(result, state.timeout));
  const std::optional<RunLogSummary> log = ReadRunLog(state, run);
  state.report.Check(log && log->reconfigurations == 0, run.name + u".reconfigurations",
                     u"no \"reconfigure\" line in the run log",
                     log ? DecimalText(log->reconfigurations) + u" lines" : u"no run log");
  for (std::size_t i = 0; i < state.baselines.size(); ++i) {
    const Baseline& baseline = state.baselines[i];
    const std::u16string after = ProductText(state.os, baseline.package.code, u"VersionString");
    state.report.Check(after == before[i], run.name + u"." + baseline.package.name + u".version",
                       before[i] + u" (unchanged)", after.empty() ? u"not installed" : after);
  }
  CheckRunLogEnd(state, run, result);
}

void CheckSourceGone(CheckState& state) {
  const RunFolder run = NextRun(state);
  // The baselines come from copies of the check's own, which go once installed,
  // as a purged deployment cache or a removed share takes a product's source.
  const std::u16string sourceFolder = Join(run.path, u"source");
  static_cast<void>(MakeFolders(state.os, sourceFolder));
  std::vector<std::u16string> sources;
  bool copied = true;
  for (const Baseline& baseline : state.baselines) {
    const std::u16string copy = Join(sourceFolder, FileName(baseline.msi));
    const Expected<std::string> bytes = ReadWholeFile(state.os, baseline.msi);
    copied = copied && bytes.ok() && WriteWholeFile(state.os, copy, *bytes).ok();
    sources.push_back(copy);
  }
  if (!copied || !InstallBaselines(state, run.name + u".baselines", &sources)) {
    state.report.Add(Outcome::kInfo, run.name + u".source-gone",
                     u"the baselines installed from copies that are then deleted",
                     copied ? u"a baseline did not install" : u"the copies could not be made");
    return;
  }
  bool removed = true;
  for (const std::u16string& source : sources) {
    removed = RemoveFile(state.os, source) && removed;
  }
  const PackRun result =
      state.machine.RunPack(state.pack, RunArguments(run, std::u16string(kSilent)),
                            RunPlace::kDesktop, nullptr, state.timeout);
  std::u16string versions;
  for (const Baseline& baseline : state.baselines) {
    std::u16string found;
    AtVersion(state.os, baseline, state.contents.upgradeVersion, found);
    versions += (versions.empty() ? u"" : u", ") + baseline.package.name + u" " +
                (found.empty() ? u"not installed" : found);
  }
  state.report.Add(Outcome::kInfo, run.name + u".source-gone",
                   (state.firstExit ? u"exit code " + DecimalText(*state.firstExit) : u"-") +
                       u" as run1, each product at " + state.contents.upgradeVersion,
                   std::u16string(removed ? u"" : u"(a copy could not be deleted) ") +
                       RunText(result, state.timeout) + u"; " + versions);
  CheckRunLogEnd(state, run, result);
}

}  // namespace sp::check
