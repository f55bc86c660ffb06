// String-table ids of the messages, captions and version texts the program carries.
#pragma once

#include <cstdint>

namespace sp {

enum class MessageId : std::uint32_t {
  kInstallFailed = 300,
  kInstallSucceeded = 301,
  kApplicationsToClose = 302,
  kUpToDate = 306,
  kNoTargetProduct = 307,
  kUnsupportedVersion = 308,
  kIncorrectCommandLine = 309,
  kPatchListRequired = 310,
  kCaptionError = 311,
  kCaptionSuccess = 312,
  kCaptionUnnecessary = 313,
  kCaptionDeployment = 314,
  kDeploymentWarning = 315,
  kHelpFirst = 316,  // the help is 316 to 319, each up to 255 characters
  kHelpLast = 319,
  kUpgradeVersion = 700,
  kCandidateVersions = 900,
};

// Every catalogue text is read through a buffer of this many characters.
inline constexpr std::uint32_t kCatalogueCapacity = 256;

}  // namespace sp
