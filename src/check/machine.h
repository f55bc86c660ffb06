// What the release check needs of the test machine beyond the service pack's own
// platform seam: product packages, installing and removing products, and starting
// the pack where and as it is started in the field, bounded in time. The Win32
// side is win32/; the sequence of checks speaks only to this and to Platform.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "platform/status.h"

namespace sp::check {

// ERROR_TIMEOUT: what a wait that reached its limit reports.
inline constexpr std::uint32_t kErrorTimeout = 1460;

// What a product package (.msi) says of itself in its Property table.
struct ProductPackage {
  std::u16string code;
  std::u16string upgradeCode;
  std::u16string name;
  std::u16string version;
  std::u16string language;
};

enum class WindowKind {
  kMessageBox,         // a dialog of the system's message-box class
  kInstallerProgress,  // a dialog of Windows Installer's own
  kOther,
};

// A visible top-level window of the pack's process, as read when it appeared.
struct SeenWindow {
  WindowKind kind = WindowKind::kOther;
  std::u16string className;
  std::u16string caption;
  std::u16string text;  // a message box's text; empty for other windows
};

enum class WindowAction { kLeave, kClose };

class WindowObserver {
 public:
  virtual ~WindowObserver() = default;
  // Called once per window, while the pack waits on it.
  virtual WindowAction Seen(const SeenWindow& window) = 0;
};

enum class RunPlace {
  kDesktop,        // the check's own desktop, where windows can be seen and closed
  kUnseenStation,  // a new window station nobody can see, as deployment services start it
  kSystemTask,     // as SYSTEM in session 0, through the Task Scheduler
};

struct PackRun {
  enum class End { kExited, kTimedOut, kNotStarted };
  End end = End::kNotStarted;
  std::uint32_t exitCode = 0;  // the pack's, when it exited
  Status failure;              // why it did not start, or what ended the wait
};

class Machine {
 public:
  virtual ~Machine() = default;

  // Whether the check runs under Wine rather than Windows.
  virtual bool UnderWine() = 0;
  // The pack's image mapped as data, for its resources; none with the failure.
  virtual Expected<ModuleHandle> LoadPackImage(const std::u16string& path) = 0;
  virtual void FreePackImage(ModuleHandle image) = 0;
  virtual Expected<ProductPackage> ReadProductPackage(const std::u16string& msiPath) = 0;
  // With Windows Installer's interface set to none; the installer's result, or
  // kErrorTimeout when it did not return in time.
  virtual std::uint32_t InstallProduct(const std::u16string& msiPath,
                                       std::uint32_t timeoutSeconds) = 0;
  // MsiConfigureProductExW with INSTALLSTATE_ABSENT.
  virtual std::uint32_t RemoveProduct(const std::u16string& productCode,
                                      std::uint32_t timeoutSeconds) = 0;
  // The second way: MsiInstallProductW on the product's own .msi with REMOVE=ALL.
  virtual std::uint32_t RemoveProductWithPackage(const std::u16string& msiPath,
                                                 std::uint32_t timeoutSeconds) = 0;
  // Starts "<pack>" <arguments>, waits for it at most `timeoutSeconds` and ends it
  // then. On the desktop, `observer` (if any) is shown each window of the pack.
  virtual PackRun RunPack(const std::u16string& pack, const std::u16string& arguments,
                          RunPlace place, WindowObserver* observer,
                          std::uint32_t timeoutSeconds) = 0;
};

// The pack's image for as long as it is needed.
class PackImage {
 public:
  PackImage(Machine& machine, ModuleHandle image) : machine_(machine), image_(image) {}
  PackImage(const PackImage&) = delete;
  PackImage& operator=(const PackImage&) = delete;
  ~PackImage() { machine_.FreePackImage(image_); }
  ModuleHandle get() const { return image_; }

 private:
  Machine& machine_;
  ModuleHandle image_;
};

}  // namespace sp::check
