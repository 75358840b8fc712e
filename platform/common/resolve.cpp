#include <cerrno>

#include "platform/fs.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace platform::fs {
namespace {

std::string Base(bool rooted) {
  return rooted ? "/" : "";
}

std::string AsPath(const std::string& p) {
  return p.empty() ? "." : p;
}

// Finds the one name in `dir` equal to `part` ignoring case.
ResolveStatus MatchOne(Env& env, const std::string& dir, const std::string& part,
                       std::string* found) {
  if (part.find('\0') != std::string::npos) return ResolveStatus::kMissing;  // no name holds one
  auto names = env.ListFolder(AsPath(dir));
  if (!names) {
    // A folder we may search but not list: only the exact spelling can be tried.
    if (!env.Status(Join(dir, part), File::Links::kNotFollowed)) return ResolveStatus::kMissing;
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
Resolution ResolveParts(Env& env, const winpath::ParsedPath& pp, size_t count) {
  Resolution r{ResolveStatus::kFound, Base(pp.rooted)};
  for (size_t i = 0; i < count; ++i) {
    const std::string& part = pp.parts[i];
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

std::string Join(std::string_view dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  std::string out(dir);
  if (out.back() != '/') out += '/';
  out += name;
  return out;
}

Resolution ResolveExisting(Env& env, std::string_view winpath) {
  const auto pp = winpath::Parse(winpath);
  return ResolveParts(env, pp, pp.parts.size());
}

Resolution ResolveForCreate(Env& env, std::string_view winpath) {
  const auto pp = winpath::Parse(winpath);
  if (pp.parts.empty() || pp.trailing_separator || pp.parts.back() == "..")
    return ResolveParts(env, pp, pp.parts.size());
  Resolution r = ResolveParts(env, pp, pp.parts.size() - 1);
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
  const auto pp = winpath::Parse(winpath);
  std::string prefix = pp.rooted ? "\\" : "";
  for (const auto& part : pp.parts) {
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
  const auto pp = winpath::Parse(winpath);
  if (pp.parts.empty() || pp.parts.back() == "..") return out;
  const Resolution dir = ResolveParts(env, pp, pp.parts.size() - 1);
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
