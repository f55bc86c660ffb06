#include "install/apply.h"

#include <algorithm>

#include "install/logs.h"
#include "messages/catalogue.h"
#include "payload/extract.h"
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
constexpr std::uint32_t kLocaleUserDefault = 0x400;
constexpr std::uint32_t kErrorSuccessRebootInitiated = 1641;
constexpr std::uint32_t kErrorSuccessRebootRequired = 3010;
constexpr std::uint32_t kErrorProductVersion = 1642;

bool Succeeded(std::uint32_t result) {
  return result == win::kErrorSuccess || result == kErrorSuccessRebootInitiated ||
         result == kErrorSuccessRebootRequired;
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
    restartInitiated_ = restartInitiated_ || result == kErrorSuccessRebootInitiated;
    restartRequired_ = restartRequired_ || result == kErrorSuccessRebootRequired;
  }
  std::uint32_t Value() const {
    if (firstFailure_ != 0) {
      return firstFailure_;
    }
    if (unsupported_) {
      return kErrorProductVersion;
    }
    if (restartInitiated_) {
      return kErrorSuccessRebootInitiated;
    }
    return restartRequired_ ? kErrorSuccessRebootRequired : win::kErrorSuccess;
  }

 private:
  std::uint32_t firstFailure_ = 0;
  bool unsupported_ = false;
  bool restartInitiated_ = false;
  bool restartRequired_ = false;
};

// The record keeps the command line of its last reconfiguration.
std::uint32_t Reconfigure(Platform& os, ProductRecord& record, std::u16string commandLine) {
  record.commandLine = std::move(commandLine);
  return os.MsiConfigureProductExW(record.productCode, kInstallLevelDefault, kInstallStateDefault,
                                   record.commandLine);
}

// Two reconfigurations: the first with the prompt that lists the applications to
// close, the second, only after the first succeeded, with the patch alone. Both
// end with `restart`, the restart choice.
void ApplyPatch(const MessageContext& messages, ProductRecord& record, const std::u16string& patch,
                const std::u16string& restart, ExitCode& exitCode) {
  Platform& os = messages.os;
  std::u16string applicationsToClose;
  LoadCatalogString(os, messages.module, MessageId::kApplicationsToClose, applicationsToClose,
                    kCatalogueCapacity);
  const std::uint32_t first =
      Reconfigure(os, record,
                  u"PATCH=\"" + patch + u"\" REBOOTPROMPT=S FILESINUSETEXT=\"" +
                      applicationsToClose + u"\" REINSTALL=ALL REINSTALLMODE=emus" + restart);
  if (!Succeeded(first)) {
    exitCode.Failed(first);
    ShowFailure(messages, Status::Failure(first));
    return;
  }
  const std::uint32_t second = Reconfigure(
      os, record, u"PATCH=\"" + patch + u"\" REINSTALL=ALL REINSTALLMODE=emus" + restart);
  if (!Succeeded(second)) {
    exitCode.Failed(second);
    ShowFailure(messages, Status::Failure(second));
    return;
  }
  exitCode.Patched(first);
  exitCode.Patched(second);
  ShowMessage(messages, MessageId::kInstallSucceeded, record.productName);
}

void EnableLog(Platform& os, const std::u16string& logDirectory,
               const std::u16string& productName) {
  if (const auto path = LogFilePath(logDirectory, productName)) {
    os.MsiEnableLogW(kLogModeVerbose, *path, 0);
  } else {
    // No log rather than one that goes on writing into the previous product's.
    os.MsiEnableLogW(0, u"", 0);
  }
}

}  // namespace

VersionGate CheckVersion(const ProductRecord& record) {
  const PackageVersion installed = ParseVersion(record.installedVersion);
  const PackageVersion upgrade = ParseVersion(record.upgradeVersion);
  if (SameVersion(installed, upgrade)) {
    return VersionGate::kUpToDate;
  }
  std::u16string_view candidates = record.candidateVersions;
  for (std::size_t comma = candidates.find(u','); comma != std::u16string_view::npos;
       comma = candidates.find(u',')) {
    const PackageVersion candidate = ParseVersion(candidates.substr(0, comma));
    if (SameVersion(installed, candidate)) {
      return VersionGate::kQualifies;
    }
    if (SameVersion(candidate, upgrade)) {
      return VersionGate::kStopRun;
    }
    candidates.remove_prefix(comma + 1);
  }
  return VersionGate::kUnsupported;
}

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
  // Keeps Windows Installer from restarting the machine in the middle of the
  // product loop; a patch that needs a restart then returns 3010.
  const std::u16string restart = options.noRestart ? u" REBOOT=ReallySuppress" : u"";
  // Once written, the package stays on disk whenever the run stops early, for
  // the administrator to look at; only a completed run removes it.
  std::u16string patchSourcePath;
  if (const Status extracted =
          ExtractPatchPackage(os, messages.module, names, patchSourcePath, kPackageResource);
      !extracted.ok()) {
    ShowFailure(messages, extracted);
    return InstallOutcome{false, extracted.code()};
  }
  if (const Status discovered =
          DiscoverTargetProducts(os, messages.module, patchSourcePath, products);
      !discovered.ok()) {
    ShowFailure(messages, discovered);
    return InstallOutcome{false, discovered.code()};
  }
  if (products.empty()) {
    ShowMessage(messages, MessageId::kNoTargetProduct);
    return InstallOutcome{false, kErrorProductVersion};
  }

  const std::u16string logDirectory = GetLogDirectory(os, kLogPathCapacity);
  std::size_t upToDate = 0;
  ExitCode exitCode;
  for (std::size_t i = 0; i < products.size(); ++i) {
    ProductRecord& record = *products[i];
    currentProductName = record.productName;
    os.SetThreadLocale(static_cast<std::uint32_t>(ParseDecimal(record.language)));
    EnableLog(os, logDirectory, record.productName);
    switch (CheckVersion(record)) {
      case VersionGate::kUpToDate:
        ++upToDate;
        break;
      case VersionGate::kUnsupported:
        exitCode.Unsupported();
        ShowMessage(messages, MessageId::kUnsupportedVersion, currentProductName);
        break;
      case VersionGate::kQualifies:
        ApplyPatch(messages, record, patchSourcePath, restart, exitCode);
        break;
      case VersionGate::kStopRun:
        ShowMessage(messages, MessageId::kUpToDate, currentProductName);
        return InstallOutcome{false, win::kErrorInstallFailure};
    }
  }
  if (upToDate == products.size()) {
    os.SetThreadLocale(kLocaleUserDefault);
    ShowMessage(messages, MessageId::kUpToDate, currentProductName);
  }
  os.DeleteFileW(patchSourcePath);  // the run is complete: the package has served
  return InstallOutcome{true, exitCode.Value()};
}

}  // namespace sp
