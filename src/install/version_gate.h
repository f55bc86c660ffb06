// Whether the patch is for a product, from its installed version alone.
#pragma once

#include <string_view>

namespace sp {

enum class VersionGate { kUpToDate, kUnsupported, kQualifies, kStopRun };

// Compares the installed version with the upgrade version, then with each
// candidate in turn (each ended by ","; text behind the last "," is never read).
// The first candidate equal to the installed version qualifies the product; one
// equal to the upgrade version met first stops the run.
VersionGate CheckVersion(std::u16string_view installed, std::u16string_view upgrade,
                         std::u16string_view candidates);

}  // namespace sp
