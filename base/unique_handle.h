// One move-only owner for every kind of operating-system handle. Traits give
// the handle type, its empty value and how to close it:
//   struct Traits { using pointer = ...; static pointer Invalid(); static void Close(pointer); };
// The empty value differs per API (INVALID_HANDLE_VALUE for CreateFile, null
// for most others), which is why it belongs to the traits.
#pragma once

#include <utility>

namespace quorvel {

template <typename Traits>
class UniqueHandle {
 public:
  using pointer = typename Traits::pointer;

  UniqueHandle() noexcept = default;
  explicit UniqueHandle(pointer handle) noexcept : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  pointer get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != Traits::Invalid(); }

  // Gives up ownership without closing.
  pointer release() noexcept { return std::exchange(handle_, Traits::Invalid()); }

  // Closes what was held (if anything) and takes the new handle.
  void reset(pointer handle = Traits::Invalid()) noexcept {
    const pointer old = std::exchange(handle_, handle);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

 private:
  pointer handle_ = Traits::Invalid();
};

// The traits of most handles: empty when zero (or null), ended by one call of
// `close` with the handle.
template <typename Handle, auto close>
struct ClosedBy {
  using pointer = Handle;
  static pointer Invalid() { return pointer{}; }
  static void Close(pointer handle) { close(handle); }
};

}  // namespace quorvel
