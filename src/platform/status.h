// Failures as values: a step reports the code made at the platform call that
// failed, instead of leaving it in the thread's last error for someone to find.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "platform/platform.h"

namespace sp {

class [[nodiscard]] Status {
 public:
  constexpr Status() = default;  // success

  // A failure with `code`; a call that failed without naming a code counts as
  // 1603, a fatal error during installation.
  static constexpr Status Failure(std::uint32_t code) {
    return Status(code != win::kErrorSuccess ? code : win::kErrorInstallFailure);
  }

  constexpr bool ok() const { return code_ == win::kErrorSuccess; }
  // 0 on success, else the Windows or Windows Installer code of the failure.
  constexpr std::uint32_t code() const { return code_; }

 private:
  explicit constexpr Status(std::uint32_t code) : code_(code) {}
  std::uint32_t code_ = win::kErrorSuccess;
};

// The failure a platform call that just failed reports through the thread's last error.
inline Status LastErrorStatus(Platform& os) {
  return Status::Failure(os.GetLastError());
}

// A value, or the failure that kept it from being made.
template <typename T>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : value_(std::move(value)) {}  // NOLINT: implicit, like a return value
  Expected(Status failure)                         // NOLINT: implicit, like a return value
      : failure_(failure.ok() ? Status::Failure(win::kErrorSuccess) : failure) {}

  bool ok() const { return value_.has_value(); }
  Status status() const { return ok() ? Status() : failure_; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  std::optional<T> value_;
  Status failure_;
};

}  // namespace sp
