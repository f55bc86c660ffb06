// The state the release check carries from step to step, and the steps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "check/machine.h"
#include "check/pack.h"
#include "check/report.h"
#include "platform/platform.h"

namespace sp::check {

// One of the release engineer's products, and whether the check has it installed.
struct Baseline {
  std::u16string msi;  // full path
  ProductPackage package;
  bool installed = false;  // installed by the check and not yet removed
};

struct CheckState {
  Platform& os;
  Machine& machine;
  Report& report;
  std::u16string pack;    // full path
  std::u16string folder;  // the report folder, full path
  std::uint32_t timeout = 0;
  ModuleHandle image{};
  PackContents contents;
  std::vector<Baseline> baselines;         // in the order of the package's targets
  std::optional<std::uint32_t> firstExit;  // run1's exit code, once it exited
  std::uint32_t runs = 0;
};

// One run of the pack, with its own folder "runN" in the report folder.
struct RunFolder {
  std::u16string name;  // "run1"
  std::u16string path;
  std::u16string log;  // path\run.log
};

std::u16string Quoted(const std::u16string& path);
// A product attribute as Windows Installer tells it; empty when it cannot (the
// product is gone, or the attribute is unreadable): the checks compare it anyway.
std::u16string ProductText(Platform& os, const std::u16string& productCode,
                           const std::u16string& attribute);
// "exit code 0", "did not end within 300 s (ended)", "not started (error 2)".
std::u16string RunText(const PackRun& run, std::uint32_t timeout);
bool Exited(const PackRun& run, std::uint32_t code);

// Makes the next run's folder and removes the logs an earlier check left in it.
RunFolder NextRun(CheckState& state);
// "/norestart /log "<folder>\run.log"", after `options` when given.
std::u16string RunArguments(const RunFolder& run, const std::u16string& options);
// Where the pack writes a product's verbose log beside the run log.
std::u16string ProductLogPath(const RunFolder& run, const Baseline& baseline);

// The run log's last line, the exit code the pack wrote there, and how many
// reconfigurations it records; none when the log cannot be read.
struct RunLogSummary {
  std::u16string lastLine;
  std::uint32_t reconfigurations = 0;
};
std::optional<RunLogSummary> ReadRunLog(CheckState& state, const RunFolder& run);
// Checks "<run>.run-log": its last line is "exit code N" with the run's code.
void CheckRunLogEnd(CheckState& state, const RunFolder& run, const PackRun& result);

// Installs every baseline (removing it first when the check has it installed),
// from `sources` when given (one path per baseline), with a finding each in
// `group`; false when one failed.
bool InstallBaselines(CheckState& state, const std::u16string& group,
                      const std::vector<std::u16string>* sources = nullptr);
// Removes every product the check installed, with a finding each.
void RemoveBaselines(CheckState& state, const std::u16string& group);

// The steps, in the order the check runs them.
void CheckFirstRun(CheckState& state);
void CheckSecondRun(CheckState& state);
void CheckModes(CheckState& state);
void CheckInteractiveRun(CheckState& state);
void CheckUnattendedRuns(CheckState& state);
void CheckSourceGone(CheckState& state);

}  // namespace sp::check
