// The environment of a POSIX system: every file, folder, clock and library call the system
// makes, on file descriptors.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/env.h"
#include "sys_path.h"

namespace platform {
namespace {

bool Fail(int* error) {
  if (error) *error = errno;
  return false;
}

File FailedFile(int* error) {
  Fail(error);
  return File();
}

// A name with a NUL inside would reach the system cut short, naming something else (".." NUL
// "x" names ".."): such a name is refused, never cut.
bool CutShort(const std::string& name) {
  if (name.find('\0') == std::string::npos) return false;
  errno = EINVAL;
  return true;
}

int NoFollow(File::Links links) {
  return links == File::Links::kFollowed ? 0 : O_NOFOLLOW;
}

void Fill(const struct stat& st, FileStatus* out) {
  if (S_ISREG(st.st_mode)) {
    out->kind = fs::Kind::kFile;
  } else if (S_ISDIR(st.st_mode)) {
    out->kind = fs::Kind::kFolder;
  } else if (S_ISLNK(st.st_mode)) {
    out->kind = fs::Kind::kSymlink;
  } else {
    out->kind = fs::Kind::kOther;
  }
  out->size = static_cast<uint64_t>(st.st_size);
  out->mtime = st.st_mtim.tv_sec;
  out->mtime_nsec = static_cast<uint32_t>(st.st_mtim.tv_nsec);
  out->mode = st.st_mode & 07777;
  out->uid = st.st_uid;
  out->gid = st.st_gid;
  out->device = st.st_dev;
  out->inode = st.st_ino;
  out->change_time = st.st_ctim.tv_sec;
  out->change_time_nsec = static_cast<uint32_t>(st.st_ctim.tv_nsec);
}

std::optional<std::string> ReadLinkAt(int dirfd, const char* path, int* error) {
  std::string buf(PATH_MAX, '\0');
  const ssize_t n = ::readlinkat(dirfd, path, buf.data(), buf.size());
  if (n < 0 || static_cast<size_t>(n) >= buf.size()) {
    if (n >= 0) errno = ENAMETOOLONG;
    Fail(error);
    return std::nullopt;
  }
  buf.resize(static_cast<size_t>(n));
  return buf;
}

File Opened(int fd, int* error);
File RegularFileFor(int fd, int* error);

class PosixFile final : public FileObject {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { Close(nullptr); }

  bool Close(int* error) override {
    if (fd_ < 0) return true;
    const int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0 || errno == EINTR || Fail(error);
  }

  bool Status(FileStatus* status, int* error) const override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return Fail(error);
    Fill(st, status);
    return true;
  }

  int64_t Read(std::span<uint8_t> buf, int* error) override {
    while (true) {
      const ssize_t n = ::read(fd_, buf.data(), buf.size());
      if (n >= 0) return n;
      if (errno != EINTR) return Fail(error), -1;
    }
  }

  int64_t ReadAt(uint64_t offset, std::span<uint8_t> buf, int* error) const override {
    size_t done = 0;
    while (done < buf.size()) {
      const ssize_t n =
          ::pread(fd_, buf.data() + done, buf.size() - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Fail(error), -1;
      if (n == 0) break;
      done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
  }

  bool WriteAll(std::span<const uint8_t> data, int* error) override {
    while (!data.empty()) {
      const ssize_t n = ::write(fd_, data.data(), data.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = EIO;
        return Fail(error);
      }
      data = data.subspan(static_cast<size_t>(n));
    }
    return true;
  }

  bool WriteAt(uint64_t offset, std::span<const uint8_t> data, int* error) override {
    while (!data.empty()) {
      const ssize_t n = ::pwrite(fd_, data.data(), data.size(), static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        if (n == 0) errno = EIO;
        return Fail(error);
      }
      data = data.subspan(static_cast<size_t>(n));
      offset += static_cast<uint64_t>(n);
    }
    return true;
  }

  bool Seek(uint64_t offset, int* error) override {
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0 || Fail(error);
  }
  bool Truncate(uint64_t size, int* error) override {
    return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 || Fail(error);
  }
  bool Sync(int* error) const override { return ::fsync(fd_) == 0 || Fail(error); }
  bool SyncFileSystem(int* error) const override { return ::syncfs(fd_) == 0 || Fail(error); }
  bool TryLock(bool shared) override {
    return ::flock(fd_, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) == 0;
  }
  bool SetMode(uint32_t mode, int* error) override {
    return ::fchmod(fd_, mode & 07777) == 0 || Fail(error);
  }
  bool SetModificationTime(int64_t seconds, uint32_t nanoseconds, int* error) override {
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, static_cast<long>(nanoseconds)}};
    return ::futimens(fd_, times) == 0 || Fail(error);
  }

  bool CopyDataTo(FileObject& out, int* error) override {
    auto* to = dynamic_cast<PosixFile*>(&out);
    if (!to) return FileObject::CopyDataTo(out, error);
    // Whether copy_file_range works between the file systems met so far; once it does not, it
    // is not asked again for every file.
    static std::atomic<bool> kernel_copy{true};
    while (kernel_copy) {
      const ssize_t n = ::copy_file_range(fd_, nullptr, to->fd_, nullptr, size_t{1} << 30, 0);
      if (n > 0) continue;
      if (n == 0) return true;
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return Fail(error);
      kernel_copy = false;
    }
    while (true) {
      const ssize_t n = ::sendfile(to->fd_, fd_, nullptr, size_t{1} << 30);
      if (n > 0) continue;
      if (n == 0) return true;
      if (errno == EINTR) continue;
      if (errno != EINVAL && errno != ENOSYS) return Fail(error);
      break;
    }
    return FileObject::CopyDataTo(out, error);
  }

  File OpenFolderIn(const std::string& name, int* error, File::Links links) const override {
    if (CutShort(name)) return FailedFile(error);
    return Opened(::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | NoFollow(links)),
                  error);
  }
  File OpenFileIn(const std::string& name, int* error, File::Links links) const override {
    if (CutShort(name)) return FailedFile(error);
    return RegularFileFor(
        ::openat(fd_, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | NoFollow(links)), error);
  }
  File CreateFileIn(const std::string& name, uint32_t mode, int* error) const override {
    if (CutShort(name)) return FailedFile(error);
    return Opened(
        ::openat(fd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode),
        error);
  }
  bool MakeFolderIn(const std::string& name, uint32_t mode, int* error) const override {
    if (CutShort(name)) return Fail(error);
    return ::mkdirat(fd_, name.c_str(), mode) == 0 || Fail(error);
  }
  bool MakeLinkIn(const std::string& target, const std::string& name, int* error) const override {
    if (CutShort(target) || CutShort(name)) return Fail(error);
    return ::symlinkat(target.c_str(), fd_, name.c_str()) == 0 || Fail(error);
  }
  bool RenameIn(const std::string& from, const std::string& to, bool replace,
                int* error) const override {
    if (CutShort(from) || CutShort(to)) return Fail(error);
    if (replace) return ::renameat(fd_, from.c_str(), fd_, to.c_str()) == 0 || Fail(error);
    if (::renameat2(fd_, from.c_str(), fd_, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return Fail(error);
    // A file system without the no-replace rename: a second name fails the same way when taken.
    if (::linkat(fd_, from.c_str(), fd_, to.c_str(), 0) == 0) {
      ::unlinkat(fd_, from.c_str(), 0);
      return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) return Fail(error);
    // Nor hard links (FAT): look, then rename; only a command racing for the name slips in.
    struct stat st;
    if (::fstatat(fd_, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      errno = EEXIST;
      return Fail(error);
    }
    return ::renameat(fd_, from.c_str(), fd_, to.c_str()) == 0 || Fail(error);
  }
  bool RemoveIn(const std::string& name, bool folder, int* error) const override {
    if (CutShort(name)) return Fail(error);
    return ::unlinkat(fd_, name.c_str(), folder ? AT_REMOVEDIR : 0) == 0 || Fail(error);
  }
  bool StatusIn(const std::string& name, FileStatus* status, int* error,
                File::Links links) const override {
    if (CutShort(name)) return Fail(error);
    struct stat st;
    const int flags = links == File::Links::kFollowed ? 0 : AT_SYMLINK_NOFOLLOW;
    if (::fstatat(fd_, name.c_str(), &st, flags) != 0) return Fail(error);
    Fill(st, status);
    return true;
  }
  bool SetTimesIn(const std::string& name, int64_t seconds, uint32_t nanoseconds,
                  int* error) const override {
    if (CutShort(name)) return Fail(error);
    const timespec times[2] = {{0, UTIME_OMIT}, {seconds, static_cast<long>(nanoseconds)}};
    return ::utimensat(fd_, name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 || Fail(error);
  }
  std::optional<std::string> ReadLinkIn(const std::string& name, int* error) const override {
    if (CutShort(name)) return Fail(error), std::nullopt;
    return ReadLinkAt(fd_, name.c_str(), error);
  }
  std::optional<std::vector<std::string>> Names(int* error) const override {
    return ListAt(fd_, ".", error);
  }

  static std::optional<std::vector<std::string>> ListAt(int dirfd, const char* name, int* error) {
    std::vector<std::string> names;
    if (!EachListed(dirfd, name, error, [&](const dirent& e) { names.emplace_back(e.d_name); }))
      return std::nullopt;
    return names;
  }

  static std::optional<std::vector<Env::ListedName>> ListWithKindsAt(int dirfd, const char* name,
                                                                     int* error) {
    std::vector<Env::ListedName> names;
    if (!EachListed(dirfd, name, error, [&](const dirent& e) {
          names.push_back({e.d_name, KindOfType(e.d_type)});
        }))
      return std::nullopt;
    return names;
  }

 private:
  // Calls `each` for every entry but "." and "..".
  template <class Each>
  static bool EachListed(int dirfd, const char* name, int* error, Each each) {
    const int fd = ::openat(dirfd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!d) {
      Fail(error);
      if (fd >= 0) ::close(fd);
      return false;
    }
    errno = 0;
    while (const dirent* e = ::readdir(d)) {
      const std::string_view n = e->d_name;
      if (n != "." && n != "..") each(*e);
      errno = 0;
    }
    const int listing_error = errno;
    ::closedir(d);
    if (listing_error != 0) {
      if (error) *error = listing_error;
      return false;
    }
    return true;
  }

  // What d_type says, when the file system fills it in.
  static std::optional<fs::Kind> KindOfType(unsigned char type) {
    switch (type) {
      case DT_REG:
        return fs::Kind::kFile;
      case DT_DIR:
        return fs::Kind::kFolder;
      case DT_LNK:
        return fs::Kind::kSymlink;
      case DT_UNKNOWN:
        return std::nullopt;
      default:
        return fs::Kind::kOther;
    }
  }

  int fd_;
};

File Opened(int fd, int* error) {
  return fd >= 0 ? File(std::make_unique<PosixFile>(fd)) : FailedFile(error);
}

// Opened with O_NONBLOCK, so a FIFO in a file's place cannot stall the caller; only a regular
// file is accepted (on which O_NONBLOCK changes nothing).
File RegularFileFor(int fd, int* error) {
  if (fd < 0) return FailedFile(error);
  File f(std::make_unique<PosixFile>(fd));
  FileStatus st;
  if (!f.Status(&st, error)) return File();
  if (st.kind != fs::Kind::kFile) {
    if (error) *error = st.kind == fs::Kind::kFolder ? EISDIR : EINVAL;
    return File();
  }
  return f;
}

class PosixEnv final : public Env {
 public:
  File OpenFolder(const std::string& path, int* error, File::Links links) override {
    if (CutShort(path)) return FailedFile(error);
    const SysPath p(path);
    return Opened(::openat(p.dir(), p.name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | NoFollow(links)),
                  error);
  }
  File OpenFile(const std::string& path, int* error, File::Links links) override {
    if (CutShort(path)) return FailedFile(error);
    const SysPath p(path);
    return RegularFileFor(
        ::openat(p.dir(), p.name(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | NoFollow(links)), error);
  }
  File CreateFile(const std::string& path, uint32_t mode, int* error) override {
    if (CutShort(path)) return FailedFile(error);
    const SysPath p(path);
    return Opened(::openat(p.dir(), p.name(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode), error);
  }

  File OpenForWriting(const std::string& path, uint32_t mode, int* error) override {
    if (CutShort(path)) return FailedFile(error);
    const SysPath p(path);
    return Opened(
        ::openat(p.dir(), p.name(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode),
        error);
  }

  std::optional<FileStatus> Status(const std::string& path, File::Links links,
                                   int* error) override {
    if (CutShort(path)) return Fail(error), std::nullopt;
    const SysPath p(path);
    struct stat st;
    const int flags = links == File::Links::kFollowed ? 0 : AT_SYMLINK_NOFOLLOW;
    if (::fstatat(p.dir(), p.name(), &st, flags) != 0) return Fail(error), std::nullopt;
    FileStatus out;
    Fill(st, &out);
    return out;
  }
  std::optional<std::string> ReadLink(const std::string& path, int* error) override {
    if (CutShort(path)) return Fail(error), std::nullopt;
    const SysPath p(path);
    return ReadLinkAt(p.dir(), p.name(), error);
  }
  std::optional<std::vector<std::string>> ListFolder(const std::string& path, int* error) override {
    if (CutShort(path)) return Fail(error), std::nullopt;
    const SysPath p(path);
    return PosixFile::ListAt(p.dir(), p.name(), error);
  }
  std::optional<std::vector<ListedName>> ListFolderWithKinds(const std::string& path,
                                                             int* error) override {
    if (CutShort(path)) return Fail(error), std::nullopt;
    const SysPath p(path);
    return PosixFile::ListWithKindsAt(p.dir(), p.name(), error);
  }
  bool MakeFolder(const std::string& path, uint32_t mode, int* error) override {
    if (CutShort(path)) return Fail(error);
    const SysPath p(path);
    return ::mkdirat(p.dir(), p.name(), mode) == 0 || Fail(error);
  }
  bool Remove(const std::string& path, int* error) override {
    if (CutShort(path)) return Fail(error);
    const SysPath p(path);
    return ::unlinkat(p.dir(), p.name(), 0) == 0 || Fail(error);
  }
  std::optional<std::string> RealPath(const std::string& path) override {
    if (CutShort(path)) return std::nullopt;
    char* p = ::realpath(path.c_str(), nullptr);
    if (!p) return std::nullopt;
    std::string out = p;
    std::free(p);
    return out;
  }
  std::string ProgramFolder() override {
    std::string buf(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0) return ".";
    buf.resize(static_cast<size_t>(n));
    const size_t slash = buf.rfind('/');
    return slash == 0 ? "/" : buf.substr(0, slash);
  }
  uint32_t NewFileMode() override {
    // umask can only be read by setting it; done once, before any thread of ours could race.
    static const uint32_t mode = [] {
      const mode_t mask = ::umask(022);
      ::umask(mask);
      return 0666u & ~static_cast<uint32_t>(mask);
    }();
    return mode;
  }

  int64_t Now() override { return static_cast<int64_t>(::time(nullptr)); }
  BrokenDownTime ToLocalTime(int64_t unix_seconds) override {
    const time_t t = static_cast<time_t>(unix_seconds);
    tm local{};
    ::localtime_r(&t, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
  }
  int64_t FromLocalTime(const BrokenDownTime& local) override {
    tm t{};
    t.tm_year = local.year - 1900;
    t.tm_mon = local.month - 1;
    t.tm_mday = local.day;
    t.tm_hour = local.hour;
    t.tm_min = local.minute;
    t.tm_sec = local.second;
    t.tm_isdst = -1;
    return static_cast<int64_t>(::mktime(&t));
  }

  LibraryHandle LoadLibrary(const std::string& path) override {
    return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  void* FindFunction(LibraryHandle library, const char* name) override {
    return library ? ::dlsym(library, name) : nullptr;
  }
};

}  // namespace

std::string ErrorText(int error) {
  char buf[256];
  return ::strerror_r(error, buf, sizeof buf);
}

Env& Env::Default() {
  static PosixEnv env;
  return env;
}

}  // namespace platform
