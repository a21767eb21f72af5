// An owning file descriptor, for code that holds one across failure paths:
// it is closed when its owner goes, unless handed on with release().
// Header-only, over libc alone, so the stand-ins use it too.
#pragma once

#include <errno.h>
#include <unistd.h>

#include <utility>

namespace velmora {

class UniqueFd {
 public:
  UniqueFd() = default;
  // Takes `fd` (-1, or any negative value, for none).
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd &&other) noexcept : fd_(other.release()) {}
  UniqueFd &operator=(UniqueFd &&other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd &) = delete;
  UniqueFd &operator=(const UniqueFd &) = delete;
  ~UniqueFd() { reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Hands the descriptor on; this owner holds none afterwards.
  int release() { return std::exchange(fd_, -1); }
  // Closes the descriptor held, if any, and takes `fd`. errno is kept, so a
  // failure path that closes can still report the error that led there.
  void reset(int fd = -1) {
    const int old = std::exchange(fd_, fd);
    if (old < 0) return;
    const int saved = errno;
    close(old);
    errno = saved;
  }

 private:
  int fd_ = -1;
};

}  // namespace velmora
