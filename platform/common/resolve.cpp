#include <cerrno>

#include "platform/fs.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace platform::fs {
namespace {

std::string AsPath(const std::string& p) {
  return p.empty() ? "." : p;
}

ResolveStatus MatchOne(Env& env, const std::string& dir, const std::string& part,
                       std::string* found) {
  if (part.find('\0') != std::string::npos) return ResolveStatus::kMissing;  // no name holds one
  return env.FindName(dir, part, found);
}

// Resolves the first `count` components of `rp`.
Resolution ResolveParts(Env& env, const RootedPath& rp, size_t count) {
  Resolution r{ResolveStatus::kFound, rp.root};
  for (size_t i = 0; i < count; ++i) {
    const std::string& part = rp.parsed.parts[i];
    if (part == "..") {  // only a relative path's leading "..": nothing to match
      r.path = Join(r.path, part);
      continue;
    }
    std::string found;
    r.status = MatchOne(env, r.path, part, &found);
    if (r.status != ResolveStatus::kFound) return r;
    r.path = Join(r.path, found);
  }
  r.path = AsPath(r.path);
  return r;
}

}  // namespace

RootedPath ParseRooted(Env& env, std::string_view path) {
  const Env::WindowsRoot root = env.RootOf(path);
  RootedPath out{root.native, std::string(path.substr(0, root.length)), {}};
  const std::string_view rest = path.substr(root.length);
  out.parsed = winpath::Parse(root.length > 0 ? "\\" + std::string(rest) : std::string(rest));
  out.parsed.trailing_separator = !path.empty() && winpath::IsSeparator(path.back());
  return out;
}

std::string Join(std::string_view dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  std::string out(dir);
  if (out.back() != '/') out += '/';
  out += name;
  return out;
}

Resolution ResolveExisting(Env& env, std::string_view winpath) {
  const auto rp = ParseRooted(env, winpath);
  return ResolveParts(env, rp, rp.parsed.parts.size());
}

Resolution ResolveForCreate(Env& env, std::string_view winpath) {
  const auto rp = ParseRooted(env, winpath);
  const auto& pp = rp.parsed;
  if (pp.parts.empty() || pp.trailing_separator || pp.parts.back() == "..")
    return ResolveParts(env, rp, pp.parts.size());
  Resolution r = ResolveParts(env, rp, pp.parts.size() - 1);
  if (r.status != ResolveStatus::kFound) return r;
  std::string found;
  switch (MatchOne(env, r.path, pp.parts.back(), &found)) {
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

Resolution MakeFolders(Env& env, std::string_view winpath, int* error) {
  if (error) *error = 0;
  const auto rp = ParseRooted(env, winpath);
  std::string prefix = rp.root_text;
  if (!prefix.empty() && !winpath::IsSeparator(prefix.back())) prefix += '\\';
  for (const auto& part : rp.parsed.parts) {
    prefix += part;
    const Resolution r = ResolveForCreate(env, prefix);
    prefix += "\\";
    if (r.status != ResolveStatus::kFound) return r;
    int e = 0;
    if (KindOf(env, r.path) == Kind::kMissing && !env.MakeFolder(r.path, 0777, &e) &&
        !IsExistsError(e)) {
      if (error) *error = e;
      return {ResolveStatus::kMissing, r.path};
    }
  }
  Resolution r = ResolveExisting(env, winpath);
  if (r.status == ResolveStatus::kFound && KindOf(env, r.path) != Kind::kFolder)
    r.status = ResolveStatus::kMissing;
  return r;
}

PatternMatches MatchPattern(Env& env, std::string_view winpath) {
  PatternMatches out;
  const auto rp = ParseRooted(env, winpath);
  const auto& pp = rp.parsed;
  if (pp.parts.empty() || pp.parts.back() == "..") return out;
  const Resolution dir = ResolveParts(env, rp, pp.parts.size() - 1);
  out.status = dir.status;
  out.dir = dir.path;
  if (dir.status != ResolveStatus::kFound) return out;
  const std::string& pattern = pp.parts.back();
  if (!winpath::HasWildcards(pattern)) {
    std::string found;
    out.status = MatchOne(env, dir.path == "." ? "" : dir.path, pattern, &found);
    if (out.status == ResolveStatus::kFound) {
      out.names.push_back(std::move(found));
    } else if (out.status == ResolveStatus::kMissing) {
      out.status = ResolveStatus::kFound;  // the folder was found; the name matches nothing
    }
    return out;
  }
  if (auto names = env.ListFolder(dir.path)) {
    for (auto& name : *names)
      if (winpath::MatchWildcard(pattern, name)) out.names.push_back(std::move(name));
  }
  return out;
}

Kind KindOf(Env& env, const std::string& path, bool follow_links) {
  const auto st =
      env.Status(path, follow_links ? File::Links::kFollowed : File::Links::kNotFollowed);
  return st ? st->kind : Kind::kMissing;
}

}  // namespace platform::fs

namespace platform {

Env::WindowsRoot Env::RootOf(std::string_view winpath) {
  size_t n = 0;
  while (n < winpath.size() && winpath::IsSeparator(winpath[n]))
    ++n;
  if (n == 0) return {};
  return {n, "/"};
}

fs::ResolveStatus Env::FindName(const std::string& dir, const std::string& name,
                                std::string* found) {
  auto names = ListFolder(dir.empty() ? "." : dir);
  if (!names) {
    // A folder we may search but not list: only the exact spelling can be tried.
    if (!Status(fs::Join(dir, name), File::Links::kNotFollowed)) return fs::ResolveStatus::kMissing;
    *found = name;
    return fs::ResolveStatus::kFound;
  }
  int hits = 0;
  for (auto& candidate : *names) {
    if (NamesEqualIgnoringCase(candidate, name)) {
      if (++hits > 1) return fs::ResolveStatus::kAmbiguous;
      *found = std::move(candidate);
    }
  }
  return hits == 1 ? fs::ResolveStatus::kFound : fs::ResolveStatus::kMissing;
}

}  // namespace platform
