// Install mode: the patch applied to every targeted product on the machine.
#pragma once

#include <cstdint>

#include <optional>
#include <string>

#include "messages/show_message.h"
#include "payload/temporary_name.h"
#include "products/product_record.h"

namespace sp {

struct InstallOutcome {
  bool completed;  // every product handled and the package deletion attempted
  // 0 when every product was patched or up to date; else the first failing
  // result, 1642 for a version the patch is not made for or no product at all,
  // 1641 or 3010 when a restart is due, 1603 when the run stopped early.
  std::uint32_t exitCode;
};

// What Windows Installer shows of its own during the run.
enum class InstallerInterface {
  kUnchanged,     // whatever Windows Installer shows by default
  kNone,          // nothing: nobody is there to answer
  kProgressOnly,  // a progress bar without a cancel button
};

// How the run treats whoever sits at the machine, and the machine itself.
struct InstallOptions {
  InstallerInterface installerInterface = InstallerInterface::kUnchanged;
  bool noRestart = false;  // Windows Installer must not restart the machine
  // The run log, when one is written: the product logs go beside it.
  std::optional<std::u16string> runLog;
};

// The whole install run: extraction, discovery into `products`, then each
// product in turn. `currentProductName` is the name of the product being handled,
// which messages about it show.
InstallOutcome ApplyPatchToProducts(const MessageContext& messages, const InstallOptions& options,
                                    TemporaryNameGenerator& names, TargetProductList& products,
                                    std::u16string& currentProductName);

}  // namespace sp
