#include "check/pack.h"

#include <algorithm>
#include <cstring>

#include "messages/catalogue.h"
#include "platform/resource.h"
#include "products/package_version.h"

namespace sp::check {
namespace {

constexpr unsigned char kCompoundFile[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t kFirstNote = 206;

std::u16string Failed(const Status& failure) {
  return u"error " + DecimalText(failure.code());
}

// Four dot-separated numbers from 0 to 65535, as the build accepts them.
bool IsVersionText(const std::u16string& text) {
  std::size_t fields = 0;
  std::size_t digits = 0;
  std::uint32_t value = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == u'.') {
      if (digits == 0 || value > 65535) {
        return false;
      }
      ++fields;
      digits = 0;
      value = 0;
    } else if (text[i] >= u'0' && text[i] <= u'9' && digits < 6) {
      value = value * 10 + static_cast<std::uint32_t>(text[i] - u'0');
      ++digits;
    } else {
      return false;
    }
  }
  return fields == 4;
}

std::u16string LanguageList(const std::vector<std::uint16_t>& languages) {
  std::u16string text;
  for (std::uint16_t language : languages) {
    text += (text.empty() ? u"" : u" ") + DecimalText(language);
  }
  return text.empty() ? u"none" : text;
}

std::u16string InEnglish(Platform& os, ModuleHandle image, MessageId id) {
  const std::uint32_t before = os.GetThreadLocale();
  os.SetThreadLocale(kEnglishUnitedStates);
  std::u16string text;
  LoadCatalogString(os, image, id, text, kCatalogueCapacity);
  os.SetThreadLocale(before);
  return text;
}

}  // namespace

std::vector<std::u16string> SplitTargets(const std::u16string& targets) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = targets.find(u';', start);
    parts.push_back(targets.substr(start, end - start));
    if (end == std::u16string::npos) {
      return parts;
    }
    start = end + 1;
  }
}

std::vector<std::u16string> CandidateList(const std::u16string& candidates) {
  std::vector<std::u16string> versions;
  std::size_t start = 0;
  for (std::size_t comma = candidates.find(u','); comma != std::u16string::npos;
       comma = candidates.find(u',', start)) {
    versions.push_back(candidates.substr(start, comma - start));
    start = comma + 1;
  }
  return versions;
}

bool IsCandidate(const std::u16string& version, const std::u16string& candidates) {
  const std::vector<std::u16string> list = CandidateList(candidates);
  return std::any_of(list.begin(), list.end(), [&](const std::u16string& candidate) {
    return SameVersion(ParseVersion(candidate), ParseVersion(version));
  });
}

std::string ExpectedPatchList(const std::vector<std::string>& notes) {
  std::string list;
  for (const std::string& note : notes) {
    list += "*****\r\n" + note + "\r\n";
  }
  return list;
}

BoxText CatalogueBox(Platform& os, ModuleHandle image, std::uint16_t language, MessageId id,
                     MessageId caption, const MessageArgument& argument) {
  const std::uint32_t before = os.GetThreadLocale();
  os.SetThreadLocale(language);
  BoxText box;
  std::u16string text;
  LoadCatalogString(os, image, id, text, kCatalogueCapacity);
  box.text = FormatMessageText(text, argument);
  LoadCatalogString(os, image, caption, box.caption, kCatalogueCapacity);
  os.SetThreadLocale(before);
  return box;
}

bool ReadPackContents(Platform& os, ModuleHandle image, Report& report, PackContents& contents) {
  const RawResource package = FindRawResource(os, image, u"IDR_MSP_TB", u"MSP");
  const bool compound = package.state == RawResource::State::kFound &&
                        package.bytes.size() >= sizeof kCompoundFile &&
                        std::memcmp(package.bytes.data(), kCompoundFile, sizeof kCompoundFile) == 0;
  report.Check(
      compound, u"pack.package",
      u"resource MSP IDR_MSP_TB, a compound file (D0 CF 11 E0 A1 B1 1A E1)",
      package.state == RawResource::State::kFound
          ? DecimalText(static_cast<std::uint32_t>(package.bytes.size())) +
                (compound ? u" bytes, a compound file" : u" bytes, not a compound file")
          : (package.state == RawResource::State::kMissing ? u"missing, " : u"unusable, ") +
                Failed(package.failure));
  contents.package = package.bytes;

  contents.upgradeVersion = InEnglish(os, image, MessageId::kUpgradeVersion);
  const bool upgradeOk = IsVersionText(contents.upgradeVersion);
  report.Check(upgradeOk, u"pack.upgrade-version", u"string 700: four numbers such as 9.1.031.0",
               contents.upgradeVersion.empty() ? u"missing" : contents.upgradeVersion);

  contents.candidateVersions = InEnglish(os, image, MessageId::kCandidateVersions);
  const std::vector<std::u16string> candidates = CandidateList(contents.candidateVersions);
  const bool candidatesOk = !candidates.empty() &&
                            std::all_of(candidates.begin(), candidates.end(), IsVersionText) &&
                            contents.candidateVersions.back() == u',' &&
                            !IsCandidate(contents.upgradeVersion, contents.candidateVersions);
  report.Check(candidatesOk, u"pack.candidate-versions",
               u"string 900: versions each followed by a comma, without the upgrade version",
               contents.candidateVersions.empty() ? u"missing" : contents.candidateVersions);

  for (std::uint32_t id = kFirstNote;; ++id) {
    const RawResource note = FindRawResource(os, image, u"#" + DecimalText(id), u"TXT");
    if (note.state != RawResource::State::kFound) {
      break;
    }
    contents.notes.emplace_back(reinterpret_cast<const char*>(note.bytes.data()),
                                note.bytes.size());
  }
  report.Check(!contents.notes.empty(), u"pack.notes", u"TXT #206, #207, ... at least one",
               DecimalText(static_cast<std::uint32_t>(contents.notes.size())) + u" notes");

  // Each language carries both blocks of the messages, 19 (288-303) and 20 (304-319).
  std::vector<std::uint16_t> expected(std::begin(kCatalogueLanguages),
                                      std::end(kCatalogueLanguages));
  std::vector<std::uint16_t> found;
  for (std::uint16_t language : kCatalogueLanguages) {
    if (FindRawResource(os, image, u"#19", u"#6", language).state == RawResource::State::kFound &&
        FindRawResource(os, image, u"#20", u"#6", language).state == RawResource::State::kFound) {
      found.push_back(language);
    }
  }
  report.Check(found == expected, u"pack.languages",
               u"string blocks 19 and 20 in " + LanguageList(expected), LanguageList(found));
  return compound && upgradeOk && candidatesOk;
}

}  // namespace sp::check
