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
// close, the second, only after the first succeeded, with the patch alone. The
// product counts as patched only once it reports the upgrade version.
void ApplyPatch(const MessageContext& messages, ProductRecord& record, const std::u16string& patch,
                bool noRestart, ExitCode& exitCode) {
  Platform& os = messages.os;
  std::u16string applicationsToClose;
  // Without text 302 the prompt lists the applications under an empty heading.
  LoadCatalogString(os, messages.module, MessageId::kApplicationsToClose, applicationsToClose,
                    kCatalogueCapacity);
  ReconfigurationCommandLines commandLines =
      MakeCommandLines(patch, applicationsToClose, noRestart);
  const std::uint32_t first = Reconfigure(messages, record, std::move(commandLines.first));
  if (!Succeeded(first)) {
    exitCode.Failed(first);
    ShowFailure(messages, Failure(first));
    return;
  }
  const std::uint32_t second = Reconfigure(messages, record, std::move(commandLines.second));
  if (!Succeeded(second)) {
    exitCode.Failed(second);
    ShowFailure(messages, Failure(second));
    return;
  }
  // Windows Installer reports success also where it changed nothing (a patch
  // without a transform for this product, or one whose transform it skipped):
  // only the version the product now has says whether it was patched.
  const auto after = ReadProductAttribute(os, record.productCode, u"VersionString");
  const bool patched =
      after.ok() && SameVersion(ParseVersion(*after), ParseVersion(record.upgradeVersion));
  messages.log.Write(
      u"product " + record.productCode + u" version after " +
      (after.ok() ? *after : u"unreadable (error " + DecimalText(after.failure().code()) + u")") +
      (patched ? u": patched" : u": not patched"));
  if (!patched) {
    exitCode.Failed(win::kErrorInstallFailure);
    ShowFailure(messages, Failure(win::kErrorInstallFailure));
    return;
  }
  exitCode.Patched(first);
  exitCode.Patched(second);
  ShowMessage(messages, MessageId::kInstallSucceeded, record.productName);
}

// A run that ends before the products are handled: message 300 with the code,
// in the user's language, as no product's language applies yet.
InstallOutcome Stop(const MessageContext& messages, std::u16string_view what, Failure failure) {
  messages.log.Write(std::u16string(what) + u": error " + DecimalText(failure.code()));
  ShowFailure(InUserLanguage(messages), failure);
  return InstallOutcome{false, failure.code()};
}

// A product's Windows Installer log: the file the run holds for it, if any, and
// what the run log says of it.
struct ProductLog {
  std::optional<CheckedFile> held;
  std::u16string said;
};

// Turns on the product's Windows Installer log in a file of the run's own, held
// until the product is done, and says where it goes (or why there is none). A
// product without a readable name is logged under its code.
ProductLog EnableLog(Platform& os, const std::optional<std::u16string>& runLog,
                     const std::u16string& logDirectory, const ProductRecord& record) {
  const std::u16string& name = record.productName.empty() ? record.productCode : record.productName;
  const auto path = runLog ? LogFileBeside(*runLog, name) : LogFilePath(logDirectory, name);
  if (path) {
    if (auto held = HoldNewLog(os, *path); held.ok()) {
      // A log the installer refuses costs the log, not the product: ignored.
      static_cast<void>(os.MsiEnableLogW(kLogModeVerbose, *path, 0));
      return ProductLog{std::move(*held), u"log " + *path};
    }
  }
  // No log rather than one that goes on writing into the previous product's.
  static_cast<void>(os.MsiEnableLogW(0, u"", 0));
  return ProductLog{std::nullopt, path ? u"no log: " + *path + u" is not a plain file of its own"
                                       : u"no log: the path does not fit"};
}

// What the installer wrote into the held log, once the product is done.
std::u16string LogSize(Platform& os, const CheckedFile& log) {
  const auto information = os.GetFileInformationByHandle(log.get());
  return information ? u"log " + log.finalPath() + u" holds " +
                           DecimalText(static_cast<std::uint32_t>(
                               std::min<std::uint64_t>(information->size, 0xFFFFFFFFu))) +
                           u" bytes"
                     : u"log size unreadable: error " + DecimalText(os.GetLastError());
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
  // MsiSetInternalUI returns the level it replaces, which the run never restores.
  switch (options.installerInterface) {
    case InstallerInterface::kUnchanged:
      break;
    case InstallerInterface::kNone:
      static_cast<void>(os.MsiSetInternalUI(kUiLevelNone));
      break;
    case InstallerInterface::kProgressOnly:
      static_cast<void>(os.MsiSetInternalUI(kUiLevelProgressOnly));
      break;
  }
  // Once written, the package stays on disk whenever the run stops early, for
  // the administrator to look at; only a completed run removes it.
  std::u16string patchSourcePath;
  const auto extracted =
      ExtractPatchPackage(os, messages.module, names, patchSourcePath, kPackageResource);
  if (!extracted.ok()) {
    return Stop(messages, u"package not written", extracted.failure());
  }
  messages.log.Write(u"package " + patchSourcePath + u" written");
  // From here until the last reconfiguration nobody can change the package.
  auto package = HeldPackage::Hold(os, patchSourcePath, *extracted);
  if (!package.ok()) {
    return Stop(messages, u"package changed or unreadable once written", package.failure());
  }
  // The installer opens the package by name: the name of the file held.
  const auto installerPath = InstallerPackagePath(os, package->finalPath());
  if (!installerPath.ok()) {
    return Stop(messages, u"package path unfit for the installer", installerPath.failure());
  }
  if (const Status discovered =
          DiscoverTargetProducts(os, messages.module, *installerPath, products, messages.log);
      !discovered.ok()) {
    return Stop(messages, u"target products not read", discovered.failure());
  }
  if (products.empty()) {
    ShowMessage(InUserLanguage(messages), MessageId::kNoTargetProduct);
    return InstallOutcome{false, win::kErrorProductVersion};
  }

  // With a run log the product logs go beside it; else into the temporary folder.
  const std::u16string logDirectory =
      options.runLog ? std::u16string() : GetLogDirectory(os, kLogPathCapacity);
  std::size_t upToDate = 0;
  ExitCode exitCode;
  for (std::size_t i = 0; i < products.size(); ++i) {
    ProductRecord& record = *products[i];
    currentProductName = record.productName;
    // A locale Windows refuses leaves the previous one, whose texts serve as well.
    static_cast<void>(
        os.SetThreadLocale(static_cast<std::uint32_t>(ParseDecimal(record.language))));
    ProductLog productLog = EnableLog(os, options.runLog, logDirectory, record);
    const VersionGate gate =
        CheckVersion(record.installedVersion, record.upgradeVersion, record.candidateVersions);
    const std::u16string product = u"product " + record.productCode + u" ";
    messages.log.Write(product + u"name \"" + record.productName + u"\" language " +
                       record.language + u" version " + record.installedVersion);
    messages.log.Write(product + u"decision " + std::u16string(Decision(gate)));
    messages.log.Write(product + productLog.said);
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
    if (productLog.held) {
      messages.log.Write(product + LogSize(os, *productLog.held));
    }
  }
  if (upToDate == products.size()) {
    // The report of the whole run speaks the user's language, not the last product's.
    static_cast<void>(os.SetThreadLocale(win::kLocaleUserDefault));
    ShowMessage(InUserLanguage(messages), MessageId::kUpToDate, currentProductName);
  }
  // The run is complete: the package has served. One left behind changes
  // nothing in the run, and the run log says so.
  if (const Status deleted = package->Delete(); !deleted.ok()) {
    messages.log.Write(u"package " + patchSourcePath + u" not deleted: error " +
                       DecimalText(deleted.code()));
  }
  return InstallOutcome{true, exitCode.Value()};
}

}  // namespace sp
