// Watches the pack's windows for the check: reads every box and closes it, leaves
// Windows Installer's own progress window alone, closes anything else.
#pragma once

#include <string>
#include <vector>

#include "check/machine.h"

namespace sp::check {

class RecordingObserver final : public WindowObserver {
 public:
  WindowAction Seen(const SeenWindow& window) override {
    seen_.push_back(window);
    return window.kind == WindowKind::kInstallerProgress ? WindowAction::kLeave
                                                         : WindowAction::kClose;
  }

  std::vector<SeenWindow> Of(WindowKind kind) const {
    std::vector<SeenWindow> windows;
    for (const SeenWindow& window : seen_) {
      if (window.kind == kind) {
        windows.push_back(window);
      }
    }
    return windows;
  }

 private:
  std::vector<SeenWindow> seen_;
};

// "caption: text" of each window, separated by " | "; "none" for none.
std::u16string WindowsText(const std::vector<SeenWindow>& windows);

}  // namespace sp::check
