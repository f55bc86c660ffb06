#include "app/service_pack_main.h"

#include "install/apply.h"
#include "install/logs.h"
#include "messages/catalogue.h"
#include "messages/format.h"
#include "payload/extract.h"
#include "payload/patch_list.h"
#include "products/package_summary.h"

namespace sp {
namespace {

std::u16string Result(Status status) {
  return u" result " + DecimalText(status.code());
}

// "/e": the package at the given path, or at a new temporary name. Shows nothing.
Status RunExtractMode(Process& process) {
  const Status extracted = ExtractPatchPackage(process.os, process.module, process.temporaryNames,
                                               process.options.extractionPath, kPackageResource)
                               .status();
  process.log.Write(u"extract " + process.options.extractionPath + Result(extracted));
  return extracted;
}

Status RunPatchListMode(Process& process) {
  // Its boxes belong to no product: the user's language.
  const Status written =
      WritePatchList(InUserLanguage(MessagesFor(process)), process.options.patchListPath);
  process.log.Write(u"patch list " + process.options.patchListPath + Result(written));
  return written;
}

// "/i": the target product codes in one box, also in quiet mode, but not where
// nobody can see it. The box shows an empty text when they cannot be read. The
// package it extracts stays.
Status RunListMode(Process& process) {
  std::u16string packagePath;
  const Status extracted = ExtractPatchPackage(process.os, process.module, process.temporaryNames,
                                               packagePath, kPackageResource)
                               .status();
  std::u16string codes;
  const Status read = ReadTargetProductCodes(process.os, packagePath, codes);
  const Status listed = extracted.ok() ? read : extracted;
  process.log.Write(u"list " + packagePath + u" targets " + codes + Result(listed));
  if (!process.attendance.attended) {
    process.log.Write(u"box list suppressed");
    return listed;
  }
  process.log.Write(u"box list shown");
  // An OK box: which button closed it says nothing.
  static_cast<void>(
      process.os.MessageBoxW(codes, u"List of Products", win::kMbTopmostSetForeground));
  return listed;
}

// The run log's first lines: what the service pack carries and how it was asked to run.
void StartLog(Process& process) {
  if (!process.log.writing()) {
    return;
  }
  std::u16string upgrade;
  std::u16string candidates;
  // A version text the catalogue lacks is logged empty.
  LoadCatalogString(process.os, process.module, MessageId::kUpgradeVersion, upgrade,
                    kCatalogueCapacity);
  LoadCatalogString(process.os, process.module, MessageId::kCandidateVersions, candidates,
                    kCatalogueCapacity);
  const Attendance& attendance = process.attendance;
  process.log.Write(u"start upgrade " + upgrade + u" candidates " + candidates + u" command line " +
                    process.os.GetCommandLineW() + u"; " + attendance.desktop + u"; " +
                    attendance.elevation);
  process.log.Write(u"product logs " + ProductLogStem(process.log.path()) + u"<product name>.log");
  const RunOptions& o = process.options;
  std::u16string understood = u"options";
  const auto add = [&understood](bool set, std::u16string_view word) {
    if (set) {
      understood += u" ";
      understood += word;
    }
  };
  add(o.help, u"help");
  add(o.install && !o.help, u"install");
  add(o.extract, u"extract \"" + o.extractionPath + u"\"");
  add(o.patchList, u"patch-list \"" + o.patchListPath + u"\"");
  add(o.list, u"list");
  add(o.quiet, u"quiet");
  add(o.passive, u"passive");
  add(o.noRestart, u"norestart");
  add(true, u"log \"" + *o.logPath + u"\"");
  process.log.Write(understood);
  if (o.install && !o.help && !attendance.elevated &&
      InstallOptionsFor(process).installerInterface == InstallerInterface::kNone) {
    // INSTALLUILEVEL_NONE suppresses the elevation prompt.
    process.log.Write(
        u"not elevated and quiet: Windows Installer cannot ask for consent, so patching a "
        u"per-machine product may fail, unless the patch is signed with a certificate that the "
        u"product's MsiPatchCertificate table holds");
  }
}

}  // namespace

InstallOptions InstallOptionsFor(const Process& process) {
  const RunOptions& options = process.options;
  InstallOptions install;
  if (options.quiet || !process.attendance.attended) {
    install.installerInterface = InstallerInterface::kNone;
  } else if (options.passive) {
    install.installerInterface = InstallerInterface::kProgressOnly;
  }
  install.noRestart = options.noRestart;
  if (process.log.writing()) {
    install.runLog = process.log.path();
  }
  return install;
}

MessageContext MessagesFor(Process& process) {
  return MessageContext{
      process.os, process.module,
      process.options.quiet || process.options.passive || !process.attendance.attended,
      process.log};
}

std::uint32_t ServicePackMain(Process& process) {
  process.attendance = AskAttendance(process.os);
  if (!ParseCommandLine(process.os, process.options)) {
    return 0;
  }
  const RunOptions& options = process.options;
  if (options.logPath) {
    process.log = RunLog::Open(process.os, *options.logPath);
  }
  StartLog(process);
  const MessageContext messages = MessagesFor(process);
  // With several modes, the first that fails decides the exit code.
  std::uint32_t exitCode = 0;
  const auto keepFirstFailure = [&exitCode](Status status) {
    if (exitCode == 0) {
      exitCode = status.code();
    }
  };
  if (options.help) {
    // Nothing else runs: whoever asks for help has not yet chosen what to do.
    if (process.attendance.attended) {
      ShowHelp(InUserLanguage(messages));
    } else {
      process.log.Write(u"box help suppressed");
    }
  } else if (options.install) {
    exitCode = ApplyPatchToProducts(messages, InstallOptionsFor(process), process.temporaryNames,
                                    process.targetProducts, process.currentProductName)
                   .exitCode;
  } else {
    if (options.extract) {
      keepFirstFailure(RunExtractMode(process));
    }
    if (options.patchList) {
      keepFirstFailure(RunPatchListMode(process));
    }
    if (options.list) {
      keepFirstFailure(RunListMode(process));
    }
  }
  process.targetProducts.clear();
  process.log.Write(u"exit code " + DecimalText(exitCode));
  return exitCode;
}

}  // namespace sp
