#include "install/version_gate.h"

#include "products/package_version.h"

namespace sp {

VersionGate CheckVersion(std::u16string_view installed, std::u16string_view upgrade,
                         std::u16string_view candidates) {
  const PackageVersion installedValue = ParseVersion(installed);
  const PackageVersion upgradeValue = ParseVersion(upgrade);
  if (SameVersion(installedValue, upgradeValue)) {
    return VersionGate::kUpToDate;
  }
  for (std::size_t comma = candidates.find(u','); comma != std::u16string_view::npos;
       comma = candidates.find(u',')) {
    const PackageVersion candidate = ParseVersion(candidates.substr(0, comma));
    if (SameVersion(installedValue, candidate)) {
      return VersionGate::kQualifies;
    }
    if (SameVersion(candidate, upgradeValue)) {
      return VersionGate::kStopRun;
    }
    candidates.remove_prefix(comma + 1);
  }
  return VersionGate::kUnsupported;
}

}  // namespace sp
