// What the steps share: run folders, the run log, installing and removing the baselines.
#include "check/files.h"
#include "check/steps.h"
#include "messages/format.h"
#include "products/discovery.h"

namespace sp::check {
namespace {

constexpr int kStateUnknown = -1;

std::u16string InstallerResult(std::uint32_t result) {
  return result == kErrorTimeout ? u"no answer within the time limit" : DecimalText(result);
}

// Removes a product the check installed: through its product code, and where
// Windows Installer refuses that, through its own package with REMOVE=ALL. Says
// what each way returned.
std::u16string Remove(CheckState& state, Baseline& baseline) {
  const std::uint32_t removed = state.machine.RemoveProduct(baseline.package.code, state.timeout);
  std::u16string said = u"MsiConfigureProductExW absent: " + InstallerResult(removed);
  baseline.installed = state.os.MsiQueryProductStateW(baseline.package.code) != kStateUnknown;
  if (baseline.installed && removed != kErrorTimeout) {
    const std::uint32_t again = state.machine.RemoveProductWithPackage(baseline.msi, state.timeout);
    said += u", then MsiInstallProductW REMOVE=ALL: " + InstallerResult(again);
    baseline.installed = state.os.MsiQueryProductStateW(baseline.package.code) != kStateUnknown;
  }
  return said;
}

}  // namespace

std::u16string Quoted(const std::u16string& path) {
  return u"\"" + path + u"\"";
}

std::u16string ProductText(Platform& os, const std::u16string& productCode,
                           const std::u16string& attribute) {
  const Expected<std::u16string> text = ReadProductAttribute(os, productCode, attribute);
  return text.ok() ? *text : std::u16string();
}

std::u16string RunText(const PackRun& run, std::uint32_t timeout) {
  switch (run.end) {
    case PackRun::End::kExited:
      return u"exit code " + DecimalText(run.exitCode);
    case PackRun::End::kTimedOut:
      return u"did not end within " + DecimalText(timeout) + u" s (ended)";
    case PackRun::End::kNotStarted:
      break;
  }
  return u"not started (error " + DecimalText(run.failure.code()) + u")";
}

bool Exited(const PackRun& run, std::uint32_t code) {
  return run.end == PackRun::End::kExited && run.exitCode == code;
}

RunFolder NextRun(CheckState& state) {
  RunFolder run;
  run.name = u"run" + DecimalText(++state.runs);
  run.path = Join(state.folder, run.name);
  run.log = Join(run.path, u"run.log");
  // A folder that cannot be made shows as a missing run log in the run's findings.
  static_cast<void>(MakeFolders(state.os, run.path));
  RemoveFile(state.os, run.log);
  for (const Baseline& baseline : state.baselines) {
    RemoveFile(state.os, ProductLogPath(run, baseline));
  }
  return run;
}

std::u16string RunArguments(const RunFolder& run, const std::u16string& options) {
  return (options.empty() ? u"" : options + u" ") + u"/norestart /log " + Quoted(run.log);
}

std::u16string ProductLogPath(const RunFolder& run, const Baseline& baseline) {
  return Join(run.path, u"run_" + baseline.package.name + u".log");
}

std::optional<RunLogSummary> ReadRunLog(CheckState& state, const RunFolder& run) {
  const Expected<std::string> bytes = ReadWholeFile(state.os, run.log);
  if (!bytes.ok()) {
    return std::nullopt;
  }
  RunLogSummary summary;
  std::size_t start = 0;
  while (start < bytes->size()) {
    std::size_t end = bytes->find('\n', start);
    if (end == std::string::npos) {
      end = bytes->size();
    }
    std::string line = bytes->substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (!line.empty()) {
      // "YYYY-MM-DD HH:MM:SS text": the text starts at 20.
      if (line.size() > 20 && line.compare(20, 12, "reconfigure ") == 0) {
        ++summary.reconfigurations;
      }
      summary.lastLine = FromUtf8(line);
    }
    start = end + 1;
  }
  return summary;
}

void CheckRunLogEnd(CheckState& state, const RunFolder& run, const PackRun& result) {
  const std::optional<RunLogSummary> log = ReadRunLog(state, run);
  const std::u16string expected =
      result.end == PackRun::End::kExited ? u"exit code " + DecimalText(result.exitCode) : u"";
  const std::u16string& last = log ? log->lastLine : u"";
  const bool ends = !expected.empty() && last.size() >= expected.size() &&
                    last.compare(last.size() - expected.size(), expected.size(), expected) == 0;
  state.report.Check(
      ends, run.name + u".run-log",
      run.log + u" ends with \"" + (expected.empty() ? u"exit code <the run's>" : expected) + u"\"",
      log ? u"\"" + last + u"\"" : u"no run log");
}

bool InstallBaselines(CheckState& state, const std::u16string& group,
                      const std::vector<std::u16string>* sources) {
  bool all = true;
  for (std::size_t i = 0; i < state.baselines.size(); ++i) {
    Baseline& baseline = state.baselines[i];
    const std::u16string name = group + u"." + baseline.package.name + u".install";
    std::u16string removal;
    if (baseline.installed) {
      removal = Remove(state, baseline) + u"; ";
      if (baseline.installed) {
        state.report.Check(false, name, u"removed first", removal + u"still installed");
        all = false;
        continue;
      }
    }
    const std::u16string& source = sources ? (*sources)[i] : baseline.msi;
    const std::uint32_t result = state.machine.InstallProduct(source, state.timeout);
    baseline.installed = state.os.MsiQueryProductStateW(baseline.package.code) != kStateUnknown;
    const std::u16string version = ProductText(state.os, baseline.package.code, u"VersionString");
    const bool ok = result == 0 && baseline.installed && version == baseline.package.version;
    state.report.Check(
        ok, name, u"0, at " + baseline.package.version,
        removal + InstallerResult(result) + u", at " + (version.empty() ? u"-" : version));
    all = all && ok;
  }
  return all;
}

void RemoveBaselines(CheckState& state, const std::u16string& group) {
  for (Baseline& baseline : state.baselines) {
    if (!baseline.installed) {
      continue;
    }
    const std::u16string said = Remove(state, baseline);
    state.report.Check(!baseline.installed, group + u"." + baseline.package.name + u".remove",
                       u"unknown to Windows Installer afterwards (state -1)",
                       said + (baseline.installed ? u"; still installed" : u"; removed"));
  }
}

}  // namespace sp::check
