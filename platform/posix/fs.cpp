#include "platform/fs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/text.h"
#include "platform/winpath.h"
#include "sys_path.h"

namespace platform::fs {
namespace {

// A NUL inside a path would cut it short at the system call: such a path names nothing.
bool HasNul(const std::string& path) {
  return path.find('\0') != std::string::npos;
}

std::string Base(bool rooted) {
  return rooted ? "/" : "";
}

std::string AsPath(const std::string& p) {
  return p.empty() ? "." : p;
}

// Finds the one name in `dir` equal to `part` ignoring case.
ResolveStatus MatchOne(const std::string& dir, const std::string& part, std::string* found) {
  if (HasNul(part)) return ResolveStatus::kMissing;  // no name on disk holds one
  auto names = ListFolder(AsPath(dir));
  if (!names) {
    // A folder we may search but not list: only the exact spelling can be tried.
    struct stat st;
    const SysPath p(Join(dir, part));
    if (::fstatat(p.dir(), p.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) return ResolveStatus::kMissing;
    *found = part;
    return ResolveStatus::kFound;
  }
  int hits = 0;
  for (auto& name : *names) {
    if (NamesEqualIgnoringCase(name, part)) {
      if (++hits > 1) return ResolveStatus::kAmbiguous;
      *found = std::move(name);
    }
  }
  return hits == 1 ? ResolveStatus::kFound : ResolveStatus::kMissing;
}

// Resolves the first `count` components of `pp`.
Resolution ResolveParts(const winpath::ParsedPath& pp, size_t count) {
  Resolution r{ResolveStatus::kFound, Base(pp.rooted)};
  for (size_t i = 0; i < count; ++i) {
    const std::string& part = pp.parts[i];
    if (part == "..") {  // only a relative path's leading "..": nothing to match
      r.path = Join(r.path, part);
      continue;
    }
    std::string found;
    r.status = MatchOne(r.path, part, &found);
    if (r.status != ResolveStatus::kFound) return r;
    r.path = Join(r.path, found);
  }
  r.path = AsPath(r.path);
  return r;
}

}  // namespace

std::string Join(std::string_view dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  std::string out(dir);
  if (out.back() != '/') out += '/';
  out += name;
  return out;
}

Resolution ResolveExisting(std::string_view winpath) {
  const auto pp = winpath::Parse(winpath);
  return ResolveParts(pp, pp.parts.size());
}

Resolution ResolveForCreate(std::string_view winpath) {
  const auto pp = winpath::Parse(winpath);
  if (pp.parts.empty() || pp.trailing_separator || pp.parts.back() == "..")
    return ResolveParts(pp, pp.parts.size());
  Resolution r = ResolveParts(pp, pp.parts.size() - 1);
  if (r.status != ResolveStatus::kFound) return r;
  std::string found;
  switch (MatchOne(r.path, pp.parts.back(), &found)) {
    case ResolveStatus::kFound:
      r.path = Join(r.path, found);
      break;
    case ResolveStatus::kMissing:
      r.path = Join(r.path, pp.parts.back());
      break;
    case ResolveStatus::kAmbiguous:
      r.status = ResolveStatus::kAmbiguous;
      break;
  }
  return r;
}

Resolution MakeFolders(std::string_view winpath, int* error) {
  if (error) *error = 0;
  const auto pp = winpath::Parse(winpath);
  std::string prefix = pp.rooted ? "\\" : "";
  for (const auto& part : pp.parts) {
    prefix += part;
    const Resolution r = ResolveForCreate(prefix);
    prefix += "\\";
    if (r.status != ResolveStatus::kFound) return r;
    const SysPath p(r.path);
    if (KindOf(r.path) == Kind::kMissing && ::mkdirat(p.dir(), p.name(), 0777) != 0 &&
        errno != EEXIST) {
      if (error) *error = errno;
      return {ResolveStatus::kMissing, r.path};
    }
  }
  Resolution r = ResolveExisting(winpath);
  if (r.status == ResolveStatus::kFound && KindOf(r.path) != Kind::kFolder)
    r.status = ResolveStatus::kMissing;
  return r;
}

std::optional<std::string> RealPathOf(const std::string& posix_path) {
  char* p = ::realpath(posix_path.c_str(), nullptr);
  if (!p) return std::nullopt;
  std::string out = p;
  std::free(p);
  return out;
}

PatternMatches MatchPattern(std::string_view winpath) {
  PatternMatches out;
  const auto pp = winpath::Parse(winpath);
  if (pp.parts.empty() || pp.parts.back() == "..") return out;
  const Resolution dir = ResolveParts(pp, pp.parts.size() - 1);
  out.status = dir.status;
  out.dir = dir.path;
  if (dir.status != ResolveStatus::kFound) return out;
  const std::string& pattern = pp.parts.back();
  if (!winpath::HasWildcards(pattern)) {
    std::string found;
    out.status = MatchOne(dir.path == "." ? "" : dir.path, pattern, &found);
    if (out.status == ResolveStatus::kFound) {
      out.names.push_back(std::move(found));
    } else if (out.status == ResolveStatus::kMissing) {
      out.status = ResolveStatus::kFound;  // the folder was found; the name matches nothing
    }
    return out;
  }
  if (auto names = ListFolder(dir.path)) {
    for (auto& name : *names)
      if (winpath::MatchWildcard(pattern, name)) out.names.push_back(std::move(name));
  }
  return out;
}

Kind KindOf(const std::string& posix_path, bool follow_links) {
  if (HasNul(posix_path)) return Kind::kMissing;
  struct stat st;
  const SysPath p(posix_path);
  if (::fstatat(p.dir(), p.name(), &st, follow_links ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
    return Kind::kMissing;
  if (S_ISREG(st.st_mode)) return Kind::kFile;
  if (S_ISDIR(st.st_mode)) return Kind::kFolder;
  if (S_ISLNK(st.st_mode)) return Kind::kSymlink;
  return Kind::kOther;
}

std::optional<std::vector<std::string>> ListFolder(const std::string& posix_dir) {
  if (HasNul(posix_dir)) return std::nullopt;
  const SysPath p(posix_dir);
  const int fd = ::openat(p.dir(), p.name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr;
  if (!d) {
    if (fd >= 0) ::close(fd);
    return std::nullopt;
  }
  std::vector<std::string> names;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name = e->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(d);
  return names;
}

std::string ExecutableFolder() {
  std::string buf(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0) return ".";
  buf.resize(static_cast<size_t>(n));
  const size_t slash = buf.rfind('/');
  return slash == 0 ? "/" : buf.substr(0, slash);
}

std::string ErrorText(int error_number) {
  char buf[256];
  return ::strerror_r(error_number, buf, sizeof buf);
}

std::string LastErrorText() {
  return ErrorText(errno);
}

}  // namespace platform::fs
