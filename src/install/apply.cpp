#include "install/apply.h"

#include <algorithm>

#include "install/command_lines.h"
#include "install/logs.h"
#include "install/package_path.h"
#include "install/version_gate.h"
#include "messages/catalogue.h"
#include "messages/format.h"
#include "payload/extract.h"
#include "payload/held_package.h"
#include "products/discovery.h"
#include "products/package_version.h"

namespace sp {
namespace {

constexpr std::uint32_t kLogModeVerbose = 0x1000;
constexpr int kInstallLevelDefault = 0;
constexpr int kInstallStateDefault = 5;
constexpr int kUiLevelNone = 2;
// INSTALLUILEVEL_BASIC | _PROGRESSONLY | _HIDECANCEL, what msiexec /passive sets
constexpr int kUiLevelProgressOnly = 0x63;

bool Succeeded(std::uint32_t result) {
  return result == win::kErrorSuccess || result == win::kErrorSuccessRebootInitiated ||
         result == win::kErrorSuccessRebootRequired;
}

// What the products' outcomes add up to, in product order.
class ExitCode {
 public:
  void Failed(std::uint32_t result) {
    if (firstFailure_ == 0) {
      firstFailure_ = result;
    }
  }
  void Unsupported() { unsupported_ = true; }
  void Patched(std::uint32_t result) {
    restartInitiated_ = restartInitiated_ || result == win::kErrorSuccessRebootInitiated;
    restartRequired_ = restartRequired_ || result == win::kErrorSuccessRebootRequired;
  }
  // When the version gate stops the run: the first failure, else 1603.
  std::uint32_t StoppedValue() const {
    return firstFailure_ != 0 ? firstFailure_ : win::kErrorInstallFailure;
  }
  std::uint32_t Value() const {
    if (firstFailure_ != 0) {
      return firstFailure_;
    }
    if (unsupported_) {
      return win::kErrorProductVersion;
    }
    if (restartInitiated_) {
      return win::kErrorSuccessRebootInitiated;
    }
    return restartRequired_ ? win::kErrorSuccessRebootRequired : win::kErrorSuccess;
  }

 private:
  std::uint32_t firstFailure_ = 0;
  bool unsupported_ = false;
  bool restartInitiated_ = false;
  bool restartRequired_ = false;
};

// The record keeps the command line of its last reconfiguration.
std::uint32_t Reconfigure(const MessageContext& messages, ProductRecord& record,
                          std::u16string commandLine) {
  record.commandLine = std::move(commandLine);
  const std::uint32_t result = messages.os.MsiConfigureProductExW(
      record.productCode, kInstallLevelDefault, kInstallStateDefault, record.commandLine);
  messages.log.Write(u"reconfigure " + record.productCode + u" " + record.commandLine +
                     u" result " + DecimalText(result));
  return result;
}

// Two reconfigurations: the first with the prompt that lists the applications to
// close, the second, only after the first succeeded, with the patch alone.
void ApplyPatch(const MessageContext& messages, ProductRecord& record, const std::u16string& patch,
                bool noRestart, ExitCode& exitCode) {
  Platform& os = messages.os;
  std::u16string applicationsToClose;
  LoadCatalogString(os, messages.module, MessageId::kApplicationsToClose, applicationsToClose,
                    kCatalogueCapacity);
  ReconfigurationCommandLines commandLines =
      MakeCommandLines(patch, applicationsToClose, noRestart);
  const std::uint32_t first = Reconfigure(messages, record, std::move(commandLines.first));
  if (!Succeeded(first)) {
    exitCode.Failed(first);
    ShowFailure(messages, Status::Failure(first));
    return;
  }
  const std::uint32_t second = Reconfigure(messages, record, std::move(commandLines.second));
  if (!Succeeded(second)) {
    exitCode.Failed(second);
    ShowFailure(messages, Status::Failure(second));
    return;
  }
  exitCode.Patched(first);
  exitCode.Patched(second);
  ShowMessage(messages, MessageId::kInstallSucceeded, record.productName);
}

// A run that ends before the products are handled: message 300 with the code,
// in the user's language, as no product's language applies yet.
InstallOutcome Stop(const MessageContext& messages, std::u16string_view what, Status failure) {
  messages.log.Write(std::u16string(what) + u": error " + DecimalText(failure.code()));
  ShowFailure(InUserLanguage(messages), failure);
  return InstallOutcome{false, failure.code()};
}

// Turns on the product's Windows Installer log, and says where it goes (or why
// there is none) for the run log.
std::u16string EnableLog(Platform& os, const std::u16string& logDirectory,
                         const std::u16string& productName) {
  const auto path = LogFilePath(logDirectory, productName);
  if (path && IsPlainLogPath(os, *path)) {
    os.MsiEnableLogW(kLogModeVerbose, *path, 0);
    return u"log " + *path;
  }
  // No log rather than one that goes on writing into the previous product's.
  os.MsiEnableLogW(0, u"", 0);
  return path ? u"no log: " + *path + u" is not a plain file of its own"
              : u"no log: the path does not fit";
}

std::u16string_view Decision(VersionGate gate) {
  switch (gate) {
    case VersionGate::kUpToDate:
      return u"up to date";
    case VersionGate::kUnsupported:
      return u"unsupported";
    case VersionGate::kQualifies:
      return u"qualifies";
    case VersionGate::kStopRun:
      break;
  }
  return u"stops the run";
}

}  // namespace

InstallOutcome ApplyPatchToProducts(const MessageContext& messages, const InstallOptions& options,
                                    TemporaryNameGenerator& names, TargetProductList& products,
                                    std::u16string& currentProductName) {
  Platform& os = messages.os;
  switch (options.installerInterface) {
    case InstallerInterface::kUnchanged:
      break;
    case InstallerInterface::kNone:
      os.MsiSetInternalUI(kUiLevelNone);
      break;
    case InstallerInterface::kProgressOnly:
      os.MsiSetInternalUI(kUiLevelProgressOnly);
      break;
  }
  // Once written, the package stays on disk whenever the run stops early, for
  // the administrator to look at; only a completed run removes it.
  std::u16string patchSourcePath;
  const auto extracted =
      ExtractPatchPackage(os, messages.module, names, patchSourcePath, kPackageResource);
  if (!extracted.ok()) {
    return Stop(messages, u"package not written", extracted.status());
  }
  messages.log.Write(u"package " + patchSourcePath + u" written");
  // From here until the last reconfiguration nobody can change the package.
  auto package = HeldPackage::Hold(os, patchSourcePath, *extracted);
  if (!package.ok()) {
    return Stop(messages, u"package changed or unreadable once written", package.status());
  }
  const auto installerPath = InstallerPackagePath(os, patchSourcePath);
  if (!installerPath.ok()) {
    return Stop(messages, u"package path unfit for the installer", installerPath.status());
  }
  if (const Status discovered =
          DiscoverTargetProducts(os, messages.module, *installerPath, products, messages.log);
      !discovered.ok()) {
    return Stop(messages, u"target products not read", discovered);
  }
  if (products.empty()) {
    ShowMessage(InUserLanguage(messages), MessageId::kNoTargetProduct);
    return InstallOutcome{false, win::kErrorProductVersion};
  }

  const std::u16string logDirectory = GetLogDirectory(os, kLogPathCapacity);
  std::size_t upToDate = 0;
  ExitCode exitCode;
  for (std::size_t i = 0; i < products.size(); ++i) {
    ProductRecord& record = *products[i];
    currentProductName = record.productName;
    os.SetThreadLocale(static_cast<std::uint32_t>(ParseDecimal(record.language)));
    const std::u16string logged = EnableLog(os, logDirectory, record.productName);
    const VersionGate gate =
        CheckVersion(record.installedVersion, record.upgradeVersion, record.candidateVersions);
    const std::u16string product = u"product " + record.productCode + u" ";
    messages.log.Write(product + u"name \"" + record.productName + u"\" language " +
                       record.language + u" version " + record.installedVersion);
    messages.log.Write(product + u"decision " + std::u16string(Decision(gate)));
    messages.log.Write(product + logged);
    switch (gate) {
      case VersionGate::kUpToDate:
        ++upToDate;
        break;
      case VersionGate::kUnsupported:
        exitCode.Unsupported();
        ShowMessage(messages, MessageId::kUnsupportedVersion, currentProductName);
        break;
      case VersionGate::kQualifies:
        ApplyPatch(messages, record, *installerPath, options.noRestart, exitCode);
        break;
      case VersionGate::kStopRun:
        ShowMessage(messages, MessageId::kUpToDate, currentProductName);
        return InstallOutcome{false, exitCode.StoppedValue()};
    }
  }
  if (upToDate == products.size()) {
    // The report of the whole run speaks the user's language, not the last product's.
    os.SetThreadLocale(win::kLocaleUserDefault);
    ShowMessage(InUserLanguage(messages), MessageId::kUpToDate, currentProductName);
  }
  package->Delete();  // the run is complete: the package has served
  return InstallOutcome{true, exitCode.Value()};
}

}  // namespace sp
