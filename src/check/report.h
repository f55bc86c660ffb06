// The release check's findings: one named check each, with what was expected and
// what was found, written as report.txt (a line per check) and report.xml (JUnit).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sp::check {

// PASS and FAIL decide the exit code; SKIP (not run here, and why) and INFO (a
// finding to read, not a verdict) never do.
enum class Outcome { kPass, kFail, kSkip, kInfo };

struct Finding {
  Outcome outcome = Outcome::kPass;
  std::u16string name;  // "<group>.<what>", e.g. "run1.exit-code"
  std::u16string expected;
  std::u16string found;
};

class Report {
 public:
  // PASS when `passed`, else FAIL.
  void Check(bool passed, std::u16string name, std::u16string expected, std::u16string found);
  void Add(Outcome outcome, std::u16string name, std::u16string expected, std::u16string found);

  const std::vector<Finding>& findings() const { return findings_; }
  bool failed() const;

 private:
  std::vector<Finding> findings_;
};

std::u16string_view OutcomeWord(Outcome outcome);

// "PASS<TAB>name<TAB>expected: ...<TAB>found: ..." per finding, CR LF, in UTF-8.
std::string ReportText(const Report& report);

// One <testsuite> per group (the name up to its first dot), one <testcase> per
// finding: FAIL as <failure>, SKIP as <skipped>, INFO and PASS with the values in
// <system-out>. UTF-8; characters XML 1.0 cannot hold become U+FFFD.
std::string ReportXml(const Report& report);

}  // namespace sp::check
