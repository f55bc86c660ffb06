// Runs without "/q": on the check's desktop, where every box is read and closed,
// and where nobody can see the pack, where it must end by itself as "/q" would.
#include "check/observer.h"
#include "check/steps.h"
#include "messages/format.h"
#include "products/discovery.h"
#include "products/package_version.h"

namespace sp::check {
namespace {

std::u16string FirstExitText(const CheckState& state) {
  return u"exit code " + DecimalText(*state.firstExit) + u" (as run1)";
}

// The boxes the pack must show, in its order of the products: 301 with the
// product's name, in the product's language.
std::vector<SeenWindow> ExpectedBoxes(CheckState& state) {
  std::vector<SeenWindow> boxes;
  for (const Baseline& baseline : state.baselines) {
    const std::u16string name = ProductText(state.os, baseline.package.code, u"ProductName");
    const std::u16string language = ProductText(state.os, baseline.package.code, u"Language");
    const BoxText text = CatalogueBox(
        state.os, state.image, static_cast<std::uint16_t>(ParseDecimal(language)),
        MessageId::kInstallSucceeded, MessageId::kCaptionSuccess, std::u16string_view(name));
    SeenWindow box;
    box.kind = WindowKind::kMessageBox;
    box.caption = text.caption;
    box.text = text.text;
    boxes.push_back(box);
  }
  return boxes;
}

bool SameBoxes(const std::vector<SeenWindow>& a, const std::vector<SeenWindow>& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].caption != b[i].caption || a[i].text != b[i].text) {
      return false;
    }
  }
  return true;
}

void CheckUnseenRun(CheckState& state, RunPlace place, const std::u16string& what) {
  const RunFolder run = NextRun(state);
  if (!InstallBaselines(state, run.name + u".baselines")) {
    return;
  }
  const PackRun result =
      state.machine.RunPack(state.pack, RunArguments(run, u""), place, nullptr, state.timeout);
  state.report.Check(Exited(result, *state.firstExit), run.name + u".exit-code",
                     what + u", without /q, ends by itself with " + FirstExitText(state),
                     RunText(result, state.timeout));
  CheckRunLogEnd(state, run, result);
}

}  // namespace

void CheckInteractiveRun(CheckState& state) {
  if (!state.firstExit || *state.firstExit != 0) {
    const std::u16string why =
        !state.firstExit ? u"run1 did not exit"
        : *state.firstExit == win::kErrorSuccessRebootRequired
            ? u"run1 returned 3010: the first command line carries REBOOTPROMPT=S and the "
              u"machine could restart"
            : u"run1 returned " + DecimalText(*state.firstExit);
    state.report.Add(Outcome::kSkip, u"interactive.run", u"run1 with exit code 0", why);
    return;
  }
  const RunFolder run = NextRun(state);
  if (!InstallBaselines(state, run.name + u".baselines")) {
    return;
  }
  RecordingObserver observer;
  const PackRun result = state.machine.RunPack(state.pack, RunArguments(run, u""),
                                               RunPlace::kDesktop, &observer, state.timeout);
  state.report.Check(Exited(result, *state.firstExit), run.name + u".exit-code",
                     FirstExitText(state), RunText(result, state.timeout));
  const std::vector<SeenWindow> expected = ExpectedBoxes(state);
  const std::vector<SeenWindow> boxes = observer.Of(WindowKind::kMessageBox);
  state.report.Check(SameBoxes(boxes, expected), run.name + u".boxes", WindowsText(expected),
                     WindowsText(boxes));
  const std::vector<SeenWindow> others = observer.Of(WindowKind::kOther);
  state.report.Check(others.empty(), run.name + u".other-windows", u"none (closed when seen)",
                     WindowsText(others));
  state.report.Add(Outcome::kInfo, run.name + u".installer-progress",
                   u"Windows Installer's own progress windows, left alone",
                   WindowsText(observer.Of(WindowKind::kInstallerProgress)));
  CheckRunLogEnd(state, run, result);
}

void CheckUnattendedRuns(CheckState& state) {
  if (!state.firstExit) {
    state.report.Add(Outcome::kSkip, u"unattended.run", u"run1 with an exit code",
                     u"run1 did not exit");
    return;
  }
  CheckUnseenRun(state, RunPlace::kUnseenStation, u"on a window station nobody can see");
  if (state.machine.UnderWine()) {
    state.report.Add(Outcome::kSkip, u"system.run",
                     u"a run as SYSTEM in session 0 through the Task Scheduler",
                     u"under Wine: no Task Scheduler service runs tasks, and every process is in "
                     u"session 1");
    return;
  }
  CheckUnseenRun(state, RunPlace::kSystemTask, u"as SYSTEM through the Task Scheduler");
}

}  // namespace sp::check
