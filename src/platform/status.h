// Failures as values: a step that fails returns the Windows or Windows Installer
// code of the platform call that failed, instead of leaving it in the thread's
// last error for someone to find. The code is taken with the call's result where
// the seam returns it (installer statuses, reads and writes, the path queries),
// else read from the thread's last error right after the failed call
// (LastErrorFailure).
#pragma once

#include <cstdint>
#include <optional>
#include <utility>

#include "platform/platform.h"

namespace sp {

// Why a step failed: a Windows or Windows Installer code, never 0.
class Failure {
 public:
  // The code a failed call reported; a call that failed yet reports 0 failed
  // without a code of its own.
  explicit constexpr Failure(std::uint32_t code)
      : code_(code != win::kErrorSuccess ? code : kWithoutCode) {}
  // A step that failed without a code of its own (a short write, bytes that are
  // not the package's, an empty resource): 1603, a fatal error during installation.
  static constexpr Failure WithoutCode() { return Failure(kWithoutCode); }

  constexpr std::uint32_t code() const { return code_; }
  constexpr bool operator==(const Failure&) const = default;

 private:
  static constexpr std::uint32_t kWithoutCode = win::kErrorInstallFailure;
  std::uint32_t code_;
};

// Success, or a failure.
class [[nodiscard]] Status {
 public:
  constexpr Status() = default;  // success
  constexpr Status(Failure failure)
      : code_(failure.code()) {}  // NOLINT: implicit, like a return value

  constexpr bool ok() const { return code_ == win::kErrorSuccess; }
  // 0 on success, else the failure's code.
  constexpr std::uint32_t code() const { return code_; }
  // The failure of a status that is not ok; ask ok() first.
  constexpr Failure failure() const { return Failure(code_); }

 private:
  std::uint32_t code_ = win::kErrorSuccess;
};

// The failure a platform call that just failed left in the thread's last error.
inline Failure LastErrorFailure(Platform& os) {
  return Failure(os.GetLastError());
}

// A value, or the failure that kept it from being made. Made from a value or a
// Failure only: a success without a value cannot become one.
template <typename T>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : value_(std::move(value)) {}   // NOLINT: implicit, like a return value
  Expected(Failure failure) : failure_(failure) {}  // NOLINT: implicit, like a return value

  bool ok() const { return value_.has_value(); }
  Status status() const { return ok() ? Status() : Status(failure_); }
  // Why there is no value; ask ok() first.
  Failure failure() const { return failure_; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }

 private:
  std::optional<T> value_;
  Failure failure_ = Failure::WithoutCode();
};

}  // namespace sp
