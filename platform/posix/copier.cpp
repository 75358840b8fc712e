#include "copier.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/fs.h"
#include "platform/winpath.h"

namespace platform {
namespace {

// Closes a descriptor when it leaves scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Splits a list of NUL-ended paths that ends with an empty one.
std::vector<std::string> SplitPathList(const std::string& list) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < list.size()) {
    const size_t end = list.find('\0', i);
    std::string item = list.substr(i, end == std::string::npos ? std::string::npos : end - i);
    if (item.empty()) break;
    out.push_back(std::move(item));
    if (end == std::string::npos) break;
    i = end + 1;
  }
  return out;
}

std::string RealPath(const std::string& path) {
  char* p = ::realpath(path.c_str(), nullptr);
  if (!p) return {};
  std::string out = p;
  std::free(p);
  return out;
}

bool IsSameOrBelow(const std::string& inner, const std::string& outer) {
  if (inner.empty() || outer.empty()) return false;
  if (inner == outer || outer == "/") return true;
  return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
         inner[outer.size()] == '/';
}

class Copier {
 public:
  int32_t failures() const { return failures_; }

  // Copies one source (a path or a pattern, Windows syntax) into the folder `dest_dir`.
  void CopySource(const std::string& source, const std::string& dest_dir) {
    const auto pp = winpath::Parse(source);
    if (!pp.parts.empty() && winpath::HasWildcards(pp.parts.back())) {
      const fs::PatternMatches m = fs::MatchPattern(source);
      if (m.status != fs::ResolveStatus::kFound) return Fail(source, ResolveReason(m.status));
      if (m.names.empty()) return Fail(source, "no file matches");
      for (const auto& name : m.names)
        CopyTopLevel(m.dir, name, dest_dir);
      return;
    }
    const fs::Resolution r = fs::ResolveExisting(source);
    if (r.status != fs::ResolveStatus::kFound) return Fail(source, ResolveReason(r.status));
    std::string path = r.path;
    if (const size_t slash = path.rfind('/');
        slash == std::string::npos || path.substr(slash + 1) == "..") {
      path = RealPath(path);  // "." or "..": the folder's real name is wanted
    }
    const size_t slash = path.rfind('/');
    if (path.empty() || path == "/" || slash == std::string::npos)
      return Fail(source, "the root folder cannot be copied as an entry");
    CopyTopLevel(slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1), dest_dir);
  }

  // Resolves the destination folder, creating the missing levels; empty: the current folder.
  bool PrepareDestination(const std::string& dest, std::string* posix_dest) {
    const auto pp = winpath::Parse(dest);
    std::string prefix = pp.rooted ? "\\" : "";
    for (const auto& part : pp.parts) {
      prefix += part;
      const fs::Resolution r = fs::ResolveForCreate(prefix);
      prefix += "\\";
      if (r.status != fs::ResolveStatus::kFound) {
        Fail(dest, ResolveReason(r.status));
        return false;
      }
      if (fs::KindOf(r.path) == fs::Kind::kMissing && ::mkdir(r.path.c_str(), 0777) != 0 &&
          errno != EEXIST) {
        Fail(r.path, "cannot create the folder: " + fs::LastErrorText());
        return false;
      }
    }
    const fs::Resolution r = fs::ResolveExisting(dest);
    if (r.status != fs::ResolveStatus::kFound || fs::KindOf(r.path) != fs::Kind::kFolder) {
      Fail(dest, "the destination is not a folder");
      return false;
    }
    *posix_dest = r.path;
    return true;
  }

 private:
  static std::string ResolveReason(fs::ResolveStatus s) {
    return s == fs::ResolveStatus::kAmbiguous
               ? "the name matches several names that differ only in case"
               : "no such file or folder";
  }

  void Fail(const std::string& path, const std::string& reason) {
    const std::string line = "quillory: " + path + ": " + reason + "\n";
    (void)!::write(STDERR_FILENO, line.data(), line.size());
    if (failures_ < INT32_MAX) ++failures_;
  }
  void FailErrno(const std::string& path, const std::string& what) {
    Fail(path, what + ": " + fs::LastErrorText());
  }

  void CopyTopLevel(const std::string& src_dir, const std::string& name,
                    const std::string& dest_dir) {
    const std::string src = fs::Join(src_dir, name);
    struct stat st;
    if (::stat(src.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
        IsSameOrBelow(RealPath(dest_dir), RealPath(src)))
      return Fail(src, "a folder cannot be copied into itself or a folder below it");
    Fd sdir(::open(src_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    Fd ddir(::open(dest_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!sdir.ok()) return FailErrno(src_dir, "cannot open the folder");
    if (!ddir.ok()) return FailErrno(dest_dir, "cannot open the folder");
    CopyEntry(sdir.get(), src_dir, name.c_str(), ddir.get(), dest_dir, /*follow=*/true);
  }

  void CopyEntry(int sdir, const std::string& spath, const char* name, int ddir,
                 const std::string& dpath, bool follow) {
    struct stat st;
    // An entry named by the user counts as what its link points to; a link that points nowhere
    // is still copied, as a link.
    if (::fstatat(sdir, name, &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0 &&
        (!follow || ::fstatat(sdir, name, &st, AT_SYMLINK_NOFOLLOW) != 0))
      return FailErrno(fs::Join(spath, name), "cannot read");
    if (S_ISREG(st.st_mode)) return CopyFile(sdir, spath, name, ddir, dpath, follow);
    if (S_ISDIR(st.st_mode)) return CopyFolder(sdir, spath, name, st, ddir, dpath, follow);
    if (S_ISLNK(st.st_mode)) return CopyLink(sdir, spath, name, st, ddir, dpath);
    Fail(fs::Join(spath, name), "not a regular file, folder or link; not copied");
  }

  void CopyFile(int sdir, const std::string& spath, const char* name, int ddir,
                const std::string& dpath, bool follow) {
    const std::string src = fs::Join(spath, name);
    // O_NONBLOCK: should a FIFO have taken the file's place since the stat, opening it must not
    // wait for a writer.
    Fd in(::openat(sdir, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | (follow ? 0 : O_NOFOLLOW)));
    if (!in.ok()) return FailErrno(src, "cannot open");
    struct stat st;
    if (::fstat(in.get(), &st) != 0) return FailErrno(src, "cannot read");
    if (!S_ISREG(st.st_mode)) return Fail(src, "not a regular file; not copied");

    const std::string dst = fs::Join(dpath, name);
    std::string temp;  // empty: writing the new file under its own name
    Fd out(::openat(ddir, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.ok()) {
      if (errno != EEXIST) return FailErrno(dst, "cannot create");
      struct stat old;
      if (::fstatat(ddir, name, &old, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(old.st_mode)) return Fail(dst, "a folder of that name is in the way");
        if (old.st_dev == st.st_dev && old.st_ino == st.st_ino) return;  // the file itself
      }
      out.reset(CreateTemp(ddir, name, &temp));
      if (!out.ok()) return FailErrno(dst, "cannot create a temporary file beside it");
    }
    const char* written = temp.empty() ? name : temp.c_str();
    const bool ok = CopyData(in.get(), out.get()) && ::fchmod(out.get(), st.st_mode & 07777) == 0 &&
                    SetTimes(out.get(), st);
    const int saved = errno;
    const bool closed = ::close(out.release()) == 0;
    if (!ok || !closed || (!temp.empty() && ::renameat(ddir, written, ddir, name) != 0)) {
      const int err = ok && closed ? errno : saved;
      ::unlinkat(ddir, written, 0);
      return Fail(dst, "cannot write: " + fs::ErrorText(err));
    }
  }

  void CopyFolder(int sdir, const std::string& spath, const char* name, const struct stat& st,
                  int ddir, const std::string& dpath, bool follow) {
    const std::string src = fs::Join(spath, name);
    const std::string dst = fs::Join(dpath, name);
    if (::mkdirat(ddir, name, 0700) != 0) {
      struct stat old;
      if (errno != EEXIST) return FailErrno(dst, "cannot create the folder");
      if (::fstatat(ddir, name, &old, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(old.st_mode))
        return Fail(dst, "something that is not a folder is in the way");
    }
    Fd s(::openat(sdir, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW)));
    if (!s.ok()) return FailErrno(src, "cannot open the folder");
    Fd d(::openat(ddir, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW));
    if (!d.ok()) return FailErrno(dst, "cannot open the folder");
    OpenForMerge(d.get());
    DIR* listing = ::fdopendir(s.get());
    if (!listing) return FailErrno(src, "cannot list the folder");
    s.release();
    errno = 0;
    while (const dirent* e = ::readdir(listing)) {
      const std::string_view n = e->d_name;
      if (n != "." && n != "..") CopyEntry(::dirfd(listing), src, e->d_name, d.get(), dst, false);
      errno = 0;
    }
    if (errno != 0) FailErrno(src, "cannot list the folder");
    ::closedir(listing);
    // Last, since every file written into the folder has changed its time.
    if (::fchmod(d.get(), st.st_mode & 07777) != 0 || !SetTimes(d.get(), st))
      FailErrno(dst, "cannot set the folder's permissions or time");
  }

  void CopyLink(int sdir, const std::string& spath, const char* name, const struct stat& st,
                int ddir, const std::string& dpath) {
    const std::string dst = fs::Join(dpath, name);
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
    const ssize_t n = ::readlinkat(sdir, name, target.data(), target.size());
    if (n < 0 || static_cast<size_t>(n) >= target.size())
      return FailErrno(fs::Join(spath, name), "cannot read the link");
    target.resize(static_cast<size_t>(n));
    std::string temp;
    const char* written = name;
    if (::symlinkat(target.c_str(), ddir, name) != 0) {
      struct stat old;
      if (errno != EEXIST) return FailErrno(dst, "cannot create the link");
      if (::fstatat(ddir, name, &old, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(old.st_mode))
        return Fail(dst, "a folder of that name is in the way");
      temp = TempName(name);
      written = temp.c_str();
      if (::symlinkat(target.c_str(), ddir, written) != 0 ||
          ::renameat(ddir, written, ddir, name) != 0) {
        const int err = errno;
        ::unlinkat(ddir, written, 0);
        return Fail(dst, "cannot create the link: " + fs::ErrorText(err));
      }
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(ddir, name, times, AT_SYMLINK_NOFOLLOW);  // not every file system keeps them
  }

  // A copy of a read-only folder is read-only as well, which would keep the next run from
  // merging into it. Its own mode is given back once its contents are in.
  static void OpenForMerge(int dir) {
    struct stat now;
    if (::fstat(dir, &now) == 0 && (now.st_mode & S_IRWXU) != S_IRWXU)
      ::fchmod(dir, (now.st_mode & 07777) | S_IRWXU);  // not the owner: the writes report it
  }

  static bool SetTimes(int fd, const struct stat& st) {
    const timespec times[2] = {st.st_atim, st.st_mtim};
    return ::futimens(fd, times) == 0;
  }

  std::string TempName(const char* name) {
    static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string suffix(8, '0');
    for (auto& c : suffix)
      c = kDigits[rng_() % 36];
    return "." + std::string(name).substr(0, 200) + ".quillory-" + suffix;
  }

  int CreateTemp(int ddir, const char* name, std::string* temp) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      *temp = TempName(name);
      const int fd = ::openat(ddir, temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
  }

  // Kernel copy where the file systems allow it, large buffers otherwise.
  bool CopyData(int in, int out) {
    while (kernel_copy_) {
      const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
      if (n == 0) return true;
      if (n > 0) continue;
      if (errno == EINTR) continue;
      if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
      kernel_copy_ = false;  // this pair of file systems cannot; don't ask again per file
    }
    while (true) {
      const ssize_t n = ::sendfile(out, in, nullptr, size_t{1} << 30);
      if (n == 0) return true;
      if (n > 0) continue;
      if (errno == EINTR) continue;
      if (errno != EINVAL && errno != ENOSYS) return false;
      break;
    }
    std::vector<char> buf(size_t{1} << 20);
    while (true) {
      ssize_t n = ::read(in, buf.data(), buf.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) return true;
      for (ssize_t done = 0; done < n;) {
        const ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += w;
      }
    }
  }

  int32_t failures_ = 0;
  bool kernel_copy_ = true;
  std::minstd_rand rng_{std::random_device{}()};
};

}  // namespace

int32_t RunFileOperation(SHFILEOPSTRUCTA& op) {
  Copier copier;
  const auto sources = SplitPathList(op.pFrom);
  const auto targets = SplitPathList(op.pTo);
  if (op.wFunc != FO_COPY || sources.empty() || targets.size() > 1) return 1;
  std::string dest;
  if (copier.PrepareDestination(targets.empty() ? std::string() : targets[0], &dest)) {
    for (const auto& source : sources)
      copier.CopySource(source, dest);
  }
  return copier.failures();
}

}  // namespace platform
