// Move-only owners of the platform's handles, so that every handle is closed
// once, on every path. Where the order of two closes matters, the code says
// so with an explicit reset() in place rather than leaving it to the order in
// which owners go out of scope.
#pragma once

#include <utility>

#include "platform/files.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/session.h"

namespace platform {

template <typename Handle, auto Close>
class Unique {
 public:
  Unique() = default;
  explicit Unique(Handle handle) : handle_(handle) {}
  Unique(Unique&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = std::exchange(other.handle_, Handle{});
    }
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;
  ~Unique() { reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }

  // Closes the handle now; the owner is empty afterwards.
  void reset() {
    if (handle_ != Handle{}) Close(std::exchange(handle_, Handle{}));
  }

  // For a call that writes a new handle: whatever was owned is closed first.
  Handle* put() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_{};
};

using UniqueRegKey = Unique<RegKey, RegCloseKey>;
using UniqueServiceHandle = Unique<ServiceHandle, CloseServiceHandle>;
using UniqueToken = Unique<TokenHandle, static_cast<int (*)(TokenHandle)>(CloseHandle)>;
using UniqueFile = Unique<FileHandle, static_cast<int (*)(FileHandle)>(CloseHandle)>;

}  // namespace platform
