#include "check/report.h"

#include <algorithm>
#include <map>

#include "messages/format.h"
#include "messages/run_log.h"

namespace sp::check {
namespace {

std::u16string_view GroupOf(std::u16string_view name) {
  return name.substr(0, std::min(name.find(u'.'), name.size()));
}

// Text as XML character data or an attribute value between double quotes.
std::string XmlText(std::u16string_view text) {
  std::u16string clean;
  clean.reserve(text.size());
  for (char16_t c : text) {
    const bool allowed =
        c == u'\t' || c == u'\n' || c == u'\r' || (c >= 0x20 && c != 0xFFFE && c != 0xFFFF);
    clean += allowed ? c : u'\xFFFD';
  }
  std::string out;
  for (char c : ToUtf8(clean)) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      case '\t':
        out += "&#9;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Count(std::size_t value) {
  return ToUtf8(DecimalText(static_cast<std::uint32_t>(value)));
}

std::u16string Values(const Finding& finding) {
  return u"expected: " + finding.expected + u"; found: " + finding.found;
}

}  // namespace

void Report::Check(bool passed, std::u16string name, std::u16string expected,
                   std::u16string found) {
  Add(passed ? Outcome::kPass : Outcome::kFail, std::move(name), std::move(expected),
      std::move(found));
}

void Report::Add(Outcome outcome, std::u16string name, std::u16string expected,
                 std::u16string found) {
  findings_.push_back(Finding{outcome, std::move(name), std::move(expected), std::move(found)});
}

bool Report::failed() const {
  return std::any_of(findings_.begin(), findings_.end(),
                     [](const Finding& f) { return f.outcome == Outcome::kFail; });
}

std::u16string_view OutcomeWord(Outcome outcome) {
  switch (outcome) {
    case Outcome::kPass:
      return u"PASS";
    case Outcome::kFail:
      return u"FAIL";
    case Outcome::kSkip:
      return u"SKIP";
    case Outcome::kInfo:
      return u"INFO";
  }
  return u"FAIL";
}

std::string ReportText(const Report& report) {
  std::string out;
  for (const Finding& finding : report.findings()) {
    // Control characters inside a value (a box's line breaks) are shown as \x0A.
    out += ToUtf8(OutcomeWord(finding.outcome)) + "\t" + RunLogText(finding.name) + "\t" +
           RunLogText(u"expected: " + finding.expected) + "\t" +
           RunLogText(u"found: " + finding.found);
    out += "\r\n";
  }
  return out;
}

std::string ReportXml(const Report& report) {
  // Groups in the order they first appear.
  std::vector<std::u16string> groups;
  std::map<std::u16string, std::vector<const Finding*>> members;
  for (const Finding& finding : report.findings()) {
    const std::u16string group(GroupOf(finding.name));
    if (members.find(group) == members.end()) {
      groups.push_back(group);
    }
    members[group].push_back(&finding);
  }
  std::size_t failures = 0;
  std::size_t skipped = 0;
  for (const Finding& finding : report.findings()) {
    failures += finding.outcome == Outcome::kFail ? 1 : 0;
    skipped += finding.outcome == Outcome::kSkip ? 1 : 0;
  }
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<testsuites name=\"servicepack-check\" tests=\"" + Count(report.findings().size()) +
         "\" failures=\"" + Count(failures) + "\" skipped=\"" + Count(skipped) + "\">\n";
  for (const std::u16string& group : groups) {
    const std::vector<const Finding*>& cases = members[group];
    std::size_t groupFailures = 0;
    std::size_t groupSkipped = 0;
    for (const Finding* finding : cases) {
      groupFailures += finding->outcome == Outcome::kFail ? 1 : 0;
      groupSkipped += finding->outcome == Outcome::kSkip ? 1 : 0;
    }
    out += "  <testsuite name=\"" + XmlText(group) + "\" tests=\"" + Count(cases.size()) +
           "\" failures=\"" + Count(groupFailures) + "\" skipped=\"" + Count(groupSkipped) +
           "\">\n";
    for (const Finding* finding : cases) {
      out += "    <testcase classname=\"servicepack-check." + XmlText(group) + "\" name=\"" +
             XmlText(finding->name) + "\">";
      const std::string values = XmlText(Values(*finding));
      switch (finding->outcome) {
        case Outcome::kFail:
          out += "<failure message=\"" + values + "\"/>";
          break;
        case Outcome::kSkip:
          out += "<skipped message=\"" + values + "\"/>";
          break;
        case Outcome::kPass:
        case Outcome::kInfo:
          out += "<system-out>" + ToUtf8(OutcomeWord(finding->outcome)) + ": " + values +
                 "</system-out>";
          break;
      }
      out += "</testcase>\n";
    }
    out += "  </testsuite>\n";
  }
  out += "</testsuites>\n";
  return out;
}

}  // namespace sp::check
