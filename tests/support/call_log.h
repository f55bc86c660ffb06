// What the program asked of the platform, in order: each call's name and its
// arguments as text, queried by call name.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace sp::test {

// One platform call: the function and its arguments as text.
struct Call {
  std::string name;
  std::vector<std::string> args;
  bool operator==(const Call&) const = default;
};
void PrintTo(const Call& call, std::ostream* out);

struct Box {
  std::string text;
  std::string caption;
  std::uint32_t style;
};

// What the program did, in order.
class CallLog {
 public:
  void Add(Call call) { calls_.push_back(std::move(call)); }
  void clear() { calls_.clear(); }
  const std::vector<Call>& all() const { return calls_; }

  // The calls to any of these functions, in order.
  std::vector<Call> Of(std::initializer_list<std::string_view> names) const;
  // The arguments of every call to `name`, in order.
  std::vector<std::vector<std::string>> ArgsOf(std::string_view name) const;
  std::size_t Count(std::string_view name) const;
  // The function names of every call, in order.
  std::vector<std::string> Names() const;
  // The message boxes shown, in order.
  std::vector<Box> Boxes() const;
  std::vector<std::string> BoxTexts() const;

 private:
  std::vector<Call> calls_;
};

}  // namespace sp::test
