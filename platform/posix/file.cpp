#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <string>
#include <vector>

#include "sys_path.h"

namespace platform {
namespace {

// A name with a NUL inside would reach the system cut short, naming something else (".." NUL
// "x" names ".."): such a name is refused, never cut.
bool CutShort(const std::string& name) {
  if (name.find('\0') == std::string::npos) return false;
  errno = EINVAL;
  return true;
}

bool Fail(int* error) {
  if (error) *error = errno;
  return false;
}

File FailedFile(int* error) {
  if (error) *error = errno;
  return File();
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
  out->mode = st.st_mode;
  out->uid = st.st_uid;
  out->gid = st.st_gid;
  out->device = st.st_dev;
  out->inode = st.st_ino;
}

int NoFollow(File::Links links) {
  return links == File::Links::kFollowed ? 0 : O_NOFOLLOW;
}

File Opened(int fd, int* error) {
  return fd >= 0 ? File(fd) : FailedFile(error);
}

// Opens for reading with O_NONBLOCK, so a FIFO in a file's place cannot stall the caller, and
// accepts only a regular file.
File RegularFileFor(int fd, int* error) {
  if (fd < 0) return FailedFile(error);
  File f(fd);
  FileStatus st;
  if (!f.Status(&st, error)) return File();
  if (st.kind != fs::Kind::kFile) {
    if (error) *error = st.kind == fs::Kind::kFolder ? EISDIR : EINVAL;
    return File();
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  return f;
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

}  // namespace

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

bool File::Close(int* error) {
  if (fd_ < 0) return true;
  const int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0 || errno == EINTR || Fail(error);
}

File File::OpenForReading(const std::string& path, int* error) {
  if (CutShort(path)) return FailedFile(error);
  const SysPath p(path);
  return RegularFileFor(::openat(p.dir(), p.name(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW),
                        error);
}

File File::OpenExisting(const std::string& path, int* error) {
  if (CutShort(path)) return FailedFile(error);
  const SysPath p(path);
  return RegularFileFor(::openat(p.dir(), p.name(), O_RDONLY | O_CLOEXEC | O_NONBLOCK), error);
}

File File::CreateNew(const std::string& path, uint32_t mode, int* error) {
  if (CutShort(path)) return FailedFile(error);
  const SysPath p(path);
  return Opened(::openat(p.dir(), p.name(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode), error);
}

File File::OpenFolder(const std::string& path, int* error) {
  if (CutShort(path)) return FailedFile(error);
  const SysPath p(path);
  return Opened(::openat(p.dir(), p.name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW),
                error);
}

bool File::Status(FileStatus* status, int* error) const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) return Fail(error);
  Fill(st, status);
  return true;
}

int64_t File::Read(std::span<uint8_t> buf, int* error) {
  while (true) {
    const ssize_t n = ::read(fd_, buf.data(), buf.size());
    if (n >= 0) return n;
    if (errno != EINTR) return Fail(error), -1;
  }
}

int64_t File::ReadAt(uint64_t offset, std::span<uint8_t> buf, int* error) const {
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

bool File::WriteAll(std::span<const uint8_t> data, int* error) {
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

bool File::WriteAt(uint64_t offset, std::span<const uint8_t> data, int* error) {
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

bool File::Seek(uint64_t offset, int* error) {
  return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0 || Fail(error);
}

bool File::Truncate(uint64_t size, int* error) {
  return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 || Fail(error);
}

bool File::Sync(int* error) const {
  return ::fsync(fd_) == 0 || Fail(error);
}

bool File::SyncFileSystem(int* error) {
  return ::syncfs(fd_) == 0 || Fail(error);
}

bool File::TryLock() {
  return ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
}
bool File::TryLockShared() {
  return ::flock(fd_, LOCK_SH | LOCK_NB) == 0;
}

bool File::SetMode(uint32_t mode, int* error) {
  return ::fchmod(fd_, mode & 07777) == 0 || Fail(error);
}

bool File::CopyDataTo(File& out, int* error) {
  // Whether copy_file_range works between the file systems met so far; once it does not, it is
  // not asked again for every file.
  static std::atomic<bool> kernel_copy{true};
  while (kernel_copy) {
    const ssize_t n = ::copy_file_range(fd_, nullptr, out.fd_, nullptr, size_t{1} << 30, 0);
    if (n > 0) continue;
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
      return Fail(error);
    kernel_copy = false;
  }
  while (true) {
    const ssize_t n = ::sendfile(out.fd_, fd_, nullptr, size_t{1} << 30);
    if (n > 0) continue;
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EINVAL && errno != ENOSYS) return Fail(error);
    break;
  }
  std::vector<uint8_t> buf(size_t{1} << 20);
  while (true) {
    const int64_t n = Read(buf, error);
    if (n < 0) return false;
    if (n == 0) return true;
    if (!out.WriteAll(std::span<const uint8_t>(buf.data(), static_cast<size_t>(n)), error))
      return false;
  }
}

bool File::SetModificationTime(int64_t seconds, uint32_t nanoseconds, int* error) {
  const timespec times[2] = {{0, UTIME_OMIT}, {seconds, static_cast<long>(nanoseconds)}};
  return ::futimens(fd_, times) == 0 || Fail(error);
}

File File::OpenFolderIn(const std::string& name, int* error, Links links) const {
  if (CutShort(name)) return FailedFile(error);
  return Opened(::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | NoFollow(links)),
                error);
}

File File::OpenForReadingIn(const std::string& name, int* error, Links links) const {
  if (CutShort(name)) return FailedFile(error);
  return RegularFileFor(
      ::openat(fd_, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | NoFollow(links)), error);
}

File File::CreateNewIn(const std::string& name, uint32_t mode, int* error) const {
  if (CutShort(name)) return FailedFile(error);
  return Opened(
      ::openat(fd_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode), error);
}

bool File::MakeFolderIn(const std::string& name, uint32_t mode, int* error) const {
  if (CutShort(name)) return Fail(error);
  return ::mkdirat(fd_, name.c_str(), mode) == 0 || Fail(error);
}

bool File::MakeSymlinkIn(const std::string& target, const std::string& name, int* error) const {
  if (CutShort(target) || CutShort(name)) return Fail(error);
  return ::symlinkat(target.c_str(), fd_, name.c_str()) == 0 || Fail(error);
}

bool File::RenameIn(const std::string& from, const std::string& to, int* error) const {
  if (CutShort(from) || CutShort(to)) return Fail(error);
  return ::renameat(fd_, from.c_str(), fd_, to.c_str()) == 0 || Fail(error);
}

bool File::PlaceIn(const std::string& from, const std::string& to, bool replace, int* error) const {
  if (CutShort(from) || CutShort(to)) return Fail(error);
  if (replace) return RenameIn(from, to, error);
  if (::renameat2(fd_, from.c_str(), fd_, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return Fail(error);
  // A file system without the no-replace rename: a second name fails the same way when taken.
  if (::linkat(fd_, from.c_str(), fd_, to.c_str(), 0) == 0) {
    ::unlinkat(fd_, from.c_str(), 0);
    return true;
  }
  if (errno != EPERM && errno != EOPNOTSUPP) return Fail(error);
  // Nor hard links (FAT): look, then rename; only a command racing for the same name can slip in.
  struct stat st;
  if (::fstatat(fd_, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return Fail(error);
  }
  return RenameIn(from, to, error);
}

std::optional<std::vector<std::string>> File::Names(int* error) const {
  const int copy = ::openat(fd_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* d = copy >= 0 ? ::fdopendir(copy) : nullptr;
  if (!d) {
    Fail(error);
    if (copy >= 0) ::close(copy);
    return std::nullopt;
  }
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
    errno = 0;
  }
  const int listing_error = errno;
  ::closedir(d);
  if (listing_error != 0) {
    if (error) *error = listing_error;
    return std::nullopt;
  }
  return names;
}

bool File::RemoveIn(const std::string& name, bool folder) const {
  if (CutShort(name)) return false;
  return ::unlinkat(fd_, name.c_str(), folder ? AT_REMOVEDIR : 0) == 0;
}

bool File::StatusIn(const std::string& name, FileStatus* status, int* error, Links links) const {
  if (CutShort(name)) return Fail(error);
  struct stat st;
  const int flags = links == Links::kFollowed ? 0 : AT_SYMLINK_NOFOLLOW;
  if (::fstatat(fd_, name.c_str(), &st, flags) != 0) return Fail(error);
  Fill(st, status);
  return true;
}

bool File::SetTimesIn(const std::string& name, int64_t seconds, uint32_t nanoseconds,
                      int* error) const {
  if (CutShort(name)) return Fail(error);
  const timespec times[2] = {{0, UTIME_OMIT}, {seconds, static_cast<long>(nanoseconds)}};
  return ::utimensat(fd_, name.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 || Fail(error);
}

std::optional<std::string> File::ReadLinkIn(const std::string& name, int* error) const {
  if (CutShort(name)) return Fail(error), std::nullopt;
  return ReadLinkAt(fd_, name.c_str(), error);
}

std::optional<FileStatus> StatusOf(const std::string& path, int* error) {
  if (CutShort(path)) return Fail(error), std::nullopt;
  struct stat st;
  const SysPath p(path);
  if (::fstatat(p.dir(), p.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    Fail(error);
    return std::nullopt;
  }
  FileStatus out;
  Fill(st, &out);
  return out;
}

std::optional<FileStatus> TargetStatusOf(const std::string& path, int* error) {
  if (CutShort(path)) return Fail(error), std::nullopt;
  struct stat st;
  const SysPath p(path);
  if (::fstatat(p.dir(), p.name(), &st, 0) != 0) {
    Fail(error);
    return std::nullopt;
  }
  FileStatus out;
  Fill(st, &out);
  return out;
}

std::optional<std::string> ReadLink(const std::string& path, int* error) {
  if (CutShort(path)) return Fail(error), std::nullopt;
  const SysPath p(path);
  return ReadLinkAt(p.dir(), p.name(), error);
}

bool RenameFile(const std::string& from, const std::string& to, int* error) {
  if (CutShort(from) || CutShort(to)) return Fail(error);
  const SysPath a(from), b(to);
  return ::renameat(a.dir(), a.name(), b.dir(), b.name()) == 0 || Fail(error);
}

bool LinkFile(const std::string& from, const std::string& to, int* error) {
  if (CutShort(from) || CutShort(to)) return Fail(error);
  const SysPath a(from), b(to);
  return ::linkat(a.dir(), a.name(), b.dir(), b.name(), 0) == 0 || Fail(error);
}

bool RemoveFile(const std::string& path) {
  if (CutShort(path)) return false;
  const SysPath p(path);
  return ::unlinkat(p.dir(), p.name(), 0) == 0;
}

bool MakeFolder(const std::string& path, uint32_t mode, int* error) {
  if (CutShort(path)) return Fail(error);
  const SysPath p(path);
  return ::mkdirat(p.dir(), p.name(), mode) == 0 || Fail(error);
}

bool SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : path.substr(0, slash);
  const SysPath p(dir);
  const int fd = ::openat(p.dir(), p.name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

std::optional<std::string> FinalTargetOf(const std::string& path, int* error) {
  std::string at = path;
  for (int hops = 0; hops <= 40; ++hops) {
    const auto st = StatusOf(at);
    if (!st || st->kind != fs::Kind::kSymlink) return at;
    const auto target = ReadLink(at, error);
    if (!target) return std::nullopt;
    const size_t slash = at.rfind('/');
    at = target->rfind('/', 0) == 0 || slash == std::string::npos
             ? *target
             : at.substr(0, slash + 1) + *target;
  }
  errno = ELOOP;
  Fail(error);
  return std::nullopt;
}

uint32_t NewFileMode() {
  // umask can only be read by setting it; done once, before any thread of ours could race it.
  static const uint32_t mode = [] {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666u & ~static_cast<uint32_t>(mask);
  }();
  return mode;
}

bool IsNoSpaceError(int error) {
  return error == ENOSPC || error == EDQUOT;
}
bool IsMissingError(int error) {
  return error == ENOENT || error == ENOTDIR;
}
bool IsExistsError(int error) {
  return error == EEXIST;
}

}  // namespace platform
