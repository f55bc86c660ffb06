// What the service pack carries, read from its image without running it, and the
// catalogue texts its boxes must show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "check/report.h"
#include "messages/format.h"
#include "messages/message_id.h"
#include "platform/platform.h"

namespace sp::check {

// The fourteen languages of the catalogue.
inline constexpr std::uint16_t kCatalogueLanguages[] = {1028, 1029, 1031, 1033, 1034, 1036, 1038,
                                                        1040, 1041, 1042, 1045, 1046, 1049, 2052};

struct PackContents {
  std::span<const std::byte> package;  // valid while the image is loaded
  std::u16string upgradeVersion;       // string 700
  std::u16string candidateVersions;    // string 900
  std::vector<std::string> notes;      // "TXT" #206, #207, ... as stored
  std::u16string targets;              // the package's summary property 7
  std::vector<std::u16string> targetList;
};

// Reads and checks the package, 700, 900, the notes and the languages of the
// pack's image into `contents`, with a finding each in group "pack". False when
// the package or a version text is missing: nothing further can be checked.
bool ReadPackContents(Platform& os, ModuleHandle image, Report& report, PackContents& contents);

// The versions of a list such as "9.1.030.0,9.1.031.0," (what follows the last
// comma is no version).
std::vector<std::u16string> CandidateList(const std::u16string& candidates);

// True when `version` is, by value, one of the candidates.
bool IsCandidate(const std::u16string& version, const std::u16string& candidates);

// "a;b;c" as its parts.
std::vector<std::u16string> SplitTargets(const std::u16string& targets);

// The patch list "/p" must write for these notes: per note five "*", CR LF, the
// note, CR LF.
std::string ExpectedPatchList(const std::vector<std::string>& notes);

struct BoxText {
  std::u16string caption;
  std::u16string text;
};

// Message `id` with caption `caption` as the pack shows it in `language`, with
// the catalogue's own fallback.
BoxText CatalogueBox(Platform& os, ModuleHandle image, std::uint16_t language, MessageId id,
                     MessageId caption, const MessageArgument& argument);

}  // namespace sp::check
