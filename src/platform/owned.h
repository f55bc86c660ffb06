// Sole ownership of one platform handle: closed exactly once, when the owner goes.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace sp {

template <typename Handle, auto CloseFn, Handle Invalid>
class Owned {
 public:
  Owned(Platform& os, Handle handle) : os_(&os), handle_(handle) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : os_(other.os_), handle_(std::exchange(other.handle_, Invalid)) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      static_cast<void>(Close());  // as in the destructor
      os_ = other.os_;
      handle_ = std::exchange(other.handle_, Invalid);
    }
    return *this;
  }
  // A close that fails here has no one left to tell; Close() says it to a caller.
  ~Owned() { static_cast<void>(Close()); }

  Handle get() const { return handle_; }
  Platform& platform() const { return *os_; }
  explicit operator bool() const { return handle_ != Invalid; }

  // Closes now, for callers that must see the handle gone before going on, and
  // says whether the platform closed it cleanly (true when nothing was open).
  bool Close() {
    if (handle_ == Invalid) {
      return true;
    }
    return Succeeded((os_->*CloseFn)(std::exchange(handle_, Invalid)));
  }

 private:
  static bool Succeeded(bool closed) { return closed; }
  static bool Succeeded(std::uint32_t status) { return status == 0; }

  Platform* os_;
  Handle handle_;
};

using OwnedFile = Owned<FileHandle, &Platform::CloseHandle, kInvalidFile>;
using OwnedFind = Owned<FindHandle, &Platform::FindClose, kInvalidFind>;
using SummaryHandle = Owned<MsiHandle, &Platform::MsiCloseHandle, MsiHandle{}>;

}  // namespace sp
