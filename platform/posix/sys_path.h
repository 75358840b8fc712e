// A path as the system calls can take it. A path shorter than PATH_MAX goes as it is; a longer
// one, which the kernel refuses whole, is reached through its folders one at a time, so that a
// tree nested past 4,096 bytes is read and written like any other.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

namespace platform {

class SysPath {
 public:
  explicit SysPath(const std::string& path) {
    if (path.size() < PATH_MAX) {
      name_ = path;
      return;
    }
    size_t start = 0;
    if (path[0] == '/') {
      fd_ = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
      start = 1;
    }
    for (size_t end; (end = path.find('/', start)) != std::string::npos; start = end + 1) {
      if (end == start) continue;
      const int next =
          ::openat(fd_, path.substr(start, end - start).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
      if (fd_ != AT_FDCWD) ::close(fd_);
      fd_ = next;
      if (fd_ < 0) return;  // errno tells why; dir() then makes every call fail with EBADF
    }
    name_ = path.substr(start);
    if (name_.empty()) name_ = ".";
  }
  SysPath(const SysPath&) = delete;
  SysPath& operator=(const SysPath&) = delete;
  ~SysPath() {
    if (fd_ >= 0) ::close(fd_);
  }

  // The folder the name is relative to, and the name; the pair goes to the *at() calls.
  int dir() const { return fd_; }
  const char* name() const { return name_.c_str(); }

 private:
  int fd_ = AT_FDCWD;
  std::string name_;
};

}  // namespace platform
