#include "call_log.h"

#include <algorithm>

namespace sp::test {

void PrintTo(const Call& call, std::ostream* out) {
  *out << call.name << "(";
  for (std::size_t i = 0; i < call.args.size(); ++i) {
    *out << (i == 0 ? "" : ", ") << call.args[i];
  }
  *out << ")";
}

std::vector<Call> CallLog::Of(std::initializer_list<std::string_view> names) const {
  std::vector<Call> out;
  for (const Call& call : calls_) {
    if (std::find(names.begin(), names.end(), call.name) != names.end()) {
      out.push_back(call);
    }
  }
  return out;
}

std::vector<std::vector<std::string>> CallLog::ArgsOf(std::string_view name) const {
  std::vector<std::vector<std::string>> out;
  for (const Call& call : calls_) {
    if (call.name == name) {
      out.push_back(call.args);
    }
  }
  return out;
}

std::size_t CallLog::Count(std::string_view name) const {
  return static_cast<std::size_t>(
      std::count_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.name == name; }));
}

std::vector<std::string> CallLog::Names() const {
  std::vector<std::string> out;
  for (const Call& call : calls_) {
    out.push_back(call.name);
  }
  return out;
}

std::vector<Box> CallLog::Boxes() const {
  std::vector<Box> out;
  for (const auto& args : ArgsOf("MessageBoxW")) {
    out.push_back(Box{args.at(0), args.at(1),
                      static_cast<std::uint32_t>(std::stoul(args.at(2), nullptr, 16))});
  }
  return out;
}

std::vector<std::string> CallLog::BoxTexts() const {
  std::vector<std::string> out;
  for (const Box& box : Boxes()) {
    out.push_back(box.text);
  }
  return out;
}

}  // namespace sp::test
