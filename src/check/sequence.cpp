#include "check/sequence.h"

#include <algorithm>

#include "check/arguments.h"
#include "check/files.h"
#include "check/steps.h"
#include "messages/format.h"
#include "products/package_summary.h"

namespace sp::check {
namespace {

constexpr int kStateUnknown = -1;

std::u16string StateText(int state) {
  return state < 0 ? u"-" + DecimalText(static_cast<std::uint32_t>(-state))
                   : DecimalText(static_cast<std::uint32_t>(state));
}

// Writes report.txt and report.xml and says where they are.
CheckOutcome Finish(CheckState& state, int exitCode) {
  const std::string text = ReportText(state.report);
  const std::u16string txt = Join(state.folder, u"report.txt");
  const std::u16string xml = Join(state.folder, u"report.xml");
  const Status wroteText = WriteWholeFile(state.os, txt, text);
  const Status wroteXml = WriteWholeFile(state.os, xml, ReportXml(state.report));
  CheckOutcome outcome;
  outcome.exitCode = exitCode;
  outcome.said = FromUtf8(text);
  if (!wroteText.ok() || !wroteXml.ok()) {
    outcome.said += u"the report could not be written to " + state.folder + u" (error " +
                    DecimalText((wroteText.ok() ? wroteXml : wroteText).code()) + u")\r\n";
    outcome.exitCode = std::max(exitCode, kExitFailed);
  }
  outcome.said += u"exit code " + DecimalText(static_cast<std::uint32_t>(outcome.exitCode)) +
                  u"; report: " + txt + u", " + xml + u"\r\n";
  return outcome;
}

// The package's targets, read from a copy of the embedded package.
bool ReadTargets(CheckState& state) {
  const std::u16string copy = Join(state.folder, u"embedded.msp");
  const std::string_view bytes(reinterpret_cast<const char*>(state.contents.package.data()),
                               state.contents.package.size());
  Status read = WriteWholeFile(state.os, copy, bytes);
  if (read.ok()) {
    read = ReadTargetProductCodes(state.os, copy, state.contents.targets);
  }
  state.contents.targetList = SplitTargets(state.contents.targets);
  const bool ok = read.ok() && !state.contents.targets.empty();
  state.report.Check(
      ok, u"pack.targets", u"summary property 7: the target product codes",
      read.ok() ? state.contents.targets : u"unreadable (error " + DecimalText(read.code()) + u")");
  return ok;
}

// Each .msi: a product the package targets, at a candidate version.
bool ReadBaselines(CheckState& state, const std::vector<std::u16string>& products) {
  bool all = true;
  std::vector<std::pair<std::size_t, Baseline>> ordered;
  for (const std::u16string& product : products) {
    Baseline baseline;
    baseline.msi = FullPath(state.os, product);
    const std::u16string group = u"product." + FileName(baseline.msi);
    const Expected<ProductPackage> package = state.machine.ReadProductPackage(baseline.msi);
    if (!package.ok()) {
      state.report.Check(false, group + u".package",
                         u"a product package with ProductCode and ProductVersion",
                         u"unreadable (error " + DecimalText(package.status().code()) + u")");
      all = false;
      continue;
    }
    baseline.package = *package;
    const auto& targets = state.contents.targetList;
    const auto at = std::find(targets.begin(), targets.end(), baseline.package.code);
    const bool twice = std::any_of(ordered.begin(), ordered.end(), [&](const auto& entry) {
      return entry.second.package.code == baseline.package.code;
    });
    const bool targeted = at != targets.end() && !twice;
    state.report.Check(targeted, group + u".targeted",
                       u"one of summary property 7, once: " + state.contents.targets,
                       baseline.package.code + (twice ? u" (given twice)" : u""));
    const bool candidate = IsCandidate(baseline.package.version, state.contents.candidateVersions);
    state.report.Check(candidate, group + u".candidate",
                       u"one of string 900: " + state.contents.candidateVersions,
                       baseline.package.version);
    all = all && targeted && candidate;
    ordered.emplace_back(static_cast<std::size_t>(at - targets.begin()), baseline);
  }
  // The pack handles its products in the order of its targets.
  std::stable_sort(ordered.begin(), ordered.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& entry : ordered) {
    state.baselines.push_back(std::move(entry.second));
  }
  return all;
}

// The check touches only what it installs: none of the targets may be known to
// Windows Installer before it starts.
bool MachineIsClean(CheckState& state) {
  std::u16string present;
  for (const std::u16string& code : state.contents.targetList) {
    const int productState = state.os.MsiQueryProductStateW(code);
    if (productState != kStateUnknown) {
      present += (present.empty() ? u"" : u", ") + code + u" state " + StateText(productState);
    }
  }
  state.report.Check(present.empty(), u"machine.targets-absent",
                     u"no target product known to Windows Installer (state -1)",
                     present.empty() ? u"none" : present + u": the check changes nothing");
  return present.empty();
}

}  // namespace

CheckOutcome RunReleaseCheck(Platform& os, Machine& machine,
                             const std::vector<std::u16string>& argv) {
  const ParsedArguments parsed = ParseCheckArguments(argv);
  if (!parsed.ok) {
    return CheckOutcome{kExitRefused, parsed.error + u"\r\n" + UsageText()};
  }
  const CheckArguments& arguments = parsed.arguments;
  Report report;
  CheckState state{os,
                   machine,
                   report,
                   FullPath(os, arguments.pack),
                   FullPath(os, arguments.reportFolder),
                   arguments.timeoutSeconds,
                   {},
                   {},
                   {},
                   std::nullopt,
                   0};
  const Status folder = MakeFolders(os, state.folder);
  if (!folder.ok()) {
    return CheckOutcome{kExitRefused, u"the report folder " + state.folder +
                                          u" cannot be made (error " + DecimalText(folder.code()) +
                                          u")\r\n"};
  }
  const std::optional<bool> elevated = os.GetTokenElevation();
  report.Check(elevated.value_or(false), u"machine.elevated",
               u"run as administrator (an elevated token)",
               !elevated   ? u"unknown (error " + DecimalText(os.GetLastError()) + u")"
               : *elevated ? u"elevated"
                           : u"not elevated: the check changes nothing");
  if (!elevated.value_or(false)) {
    return Finish(state, kExitRefused);
  }

  const Expected<ModuleHandle> image = machine.LoadPackImage(state.pack);
  report.Check(image.ok(), u"pack.image", state.pack + u" loaded as data",
               image.ok() ? u"loaded" : u"error " + DecimalText(image.status().code()));
  if (!image.ok()) {
    return Finish(state, kExitFailed);
  }
  const PackImage held(machine, *image);
  state.image = held.get();
  if (!ReadPackContents(os, state.image, report, state.contents) || !ReadTargets(state)) {
    return Finish(state, kExitFailed);
  }
  if (!MachineIsClean(state)) {
    return Finish(state, kExitRefused);
  }
  if (!ReadBaselines(state, arguments.products)) {
    return Finish(state, kExitFailed);
  }

  if (InstallBaselines(state, u"baselines")) {
    CheckFirstRun(state);
    CheckSecondRun(state);
    CheckModes(state);
    CheckInteractiveRun(state);
    CheckUnattendedRuns(state);
    CheckSourceGone(state);
  }
  RemoveBaselines(state, u"cleanup");
  return Finish(state, report.failed() ? kExitFailed : kExitPassed);
}

}  // namespace sp::check
