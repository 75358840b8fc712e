#include <cerrno>

#include "platform/fs.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace platform::fs {
namespace {

std::string AsPath(const std::string& p) {
  return p.empty() ? "." : p;
}

std::string Folded(std::string_view name) {
  return FoldedName(name);
}

}  // namespace

// A folder's names by their folded form, as they were when it was listed.
struct Resolver::Listing {
  FileStatus folder;
  std::unordered_map<std::string, std::vector<Env::ListedName>> names;
};

std::shared_ptr<const Resolver::Listing> Resolver::List(const std::string& dir) {
  const std::string path = AsPath(dir);
  const auto folder = env_.Status(path, File::Links::kFollowed);
  auto names = folder ? env_.ListFolderWithKinds(path) : std::nullopt;
  if (!names) return listings_[path] = nullptr;
  auto listing = std::make_shared<Listing>();
  listing->folder = *folder;
  for (auto& listed : *names)
    listing->names[Folded(listed.name)].push_back(std::move(listed));
  return listings_[path] = listing;
}

// Finds the one name in `dir` equal to `part` ignoring case.
ResolveStatus Resolver::MatchOne(const std::string& dir, const std::string& part,
                                 std::string* found, std::optional<Kind>* kind) {
  if (part.find('\0') != std::string::npos) return ResolveStatus::kMissing;  // no name holds one
  const std::string folded = Folded(part);
  const auto cached = listings_.find(AsPath(dir));
  const bool remembered = cached != listings_.end();
  auto listing = remembered ? cached->second : List(dir);
  const auto lookup = [&](const Listing& l) -> const std::vector<Env::ListedName>* {
    const auto hit = l.names.find(folded);
    return hit == l.names.end() ? nullptr : &hit->second;
  };
  const std::vector<Env::ListedName>* names = listing ? lookup(*listing) : nullptr;
  if (listing && !names && remembered && Changed(dir, listing->folder)) {
    // The name may have come since the folder was listed: it is listed again.
    listing = List(dir);
    names = listing ? lookup(*listing) : nullptr;
  }
  if (!listing) {
    // A folder we may search but not list: only the exact spelling can be tried.
    if (!env_.Status(Join(dir, part), File::Links::kNotFollowed)) return ResolveStatus::kMissing;
    *found = part;
    return ResolveStatus::kFound;
  }
  if (!names) {
    // Not listed under that name, but perhaps known by it, as a short name is on Windows.
    if (winpath::HasWildcards(part)) return ResolveStatus::kMissing;
    auto other = env_.LongName(dir, part);
    if (!other) return ResolveStatus::kMissing;
    *found = std::move(*other);
    return ResolveStatus::kFound;
  }
  if (names->size() > 1) return ResolveStatus::kAmbiguous;
  *found = names->front().name;
  if (kind) *kind = names->front().kind;
  return ResolveStatus::kFound;
}

void Resolver::NameChanged(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    listings_.erase(".");
    return;
  }
  // A root is remembered with its closing "/" ("/", "C:/"), other folders without.
  listings_.erase(path.substr(0, slash));
  listings_.erase(path.substr(0, slash + 1));
}

// Whether the folder may hold other names than when it was listed. File times tick coarsely, so
// a folder changed in the last seconds counts as changed whatever its time says.
bool Resolver::Changed(const std::string& dir, const FileStatus& listed) {
  const auto now = env_.Status(AsPath(dir), File::Links::kFollowed);
  return !now || !now->SameFileAs(listed) || now->mtime != listed.mtime ||
         now->mtime_nsec != listed.mtime_nsec || now->mtime + 2 >= env_.Now();
}

// Resolves the first `count` components.
Resolution Resolver::ResolveParts(const RootedPath& rp, size_t count) {
  const std::vector<std::string>& parts = rp.parsed.parts;
  // A job names thousands of files in a few folders: each folder's path resolves once.
  std::string key = rp.root + '\0';
  for (size_t i = 0; i < count; ++i)
    (key += parts[i]) += '\0';
  if (const auto known = folders_.find(key); known != folders_.end()) return known->second;
  Resolution r{ResolveStatus::kFound, rp.root};
  for (size_t i = 0; i < count; ++i) {
    const std::string& part = parts[i];
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
  folders_.emplace(std::move(key), r);  // found only: what is missing may be made meanwhile
  return r;
}

Resolution Resolver::ResolveExisting(std::string_view winpath) {
  const auto rp = ParseRooted(env_, winpath);
  return ResolveParts(rp, rp.parsed.parts.size());
}

Resolution Resolver::ResolveForCreate(std::string_view winpath) {
  const auto rp = ParseRooted(env_, winpath);
  const auto& pp = rp.parsed;
  if (pp.parts.empty() || pp.trailing_separator || pp.parts.back() == "..")
    return ResolveParts(rp, pp.parts.size());
  Resolution r = ResolveParts(rp, pp.parts.size() - 1);
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

Resolution Resolver::MakeFolders(std::string_view winpath, int* error) {
  if (error) *error = 0;
  const auto rp = ParseRooted(env_, winpath);
  std::string prefix = rp.root_text;
  if (!prefix.empty() && !winpath::IsSeparator(prefix.back())) prefix += '\\';
  for (const auto& part : rp.parsed.parts) {
    prefix += part;
    const Resolution r = ResolveForCreate(prefix);
    prefix += "\\";
    if (r.status != ResolveStatus::kFound) return r;
    int e = 0;
    if (KindOf(env_, r.path) == Kind::kMissing) {
      if (!env_.MakeFolder(r.path, 0777, &e) && !IsExistsError(e)) {
        if (error) *error = e;
        return {ResolveStatus::kMissing, r.path};
      }
      NameChanged(r.path);
    }
  }
  Resolution r = ResolveExisting(winpath);
  if (r.status == ResolveStatus::kFound && KindOf(env_, r.path) != Kind::kFolder)
    r.status = ResolveStatus::kMissing;
  return r;
}

PatternMatches Resolver::MatchPattern(std::string_view winpath) {
  PatternMatches out;
  const auto rp = ParseRooted(env_, winpath);
  const auto& pp = rp.parsed;
  if (pp.parts.empty() || pp.parts.back() == "..") return out;
  const Resolution dir = ResolveParts(rp, pp.parts.size() - 1);
  out.status = dir.status;
  out.dir = dir.path;
  if (dir.status != ResolveStatus::kFound) return out;
  const std::string& pattern = pp.parts.back();
  if (!winpath::HasWildcards(pattern)) {
    std::string found;
    std::optional<Kind> kind;
    out.status = MatchOne(dir.path == "." ? "" : dir.path, pattern, &found, &kind);
    if (out.status == ResolveStatus::kFound) {
      out.names.push_back(std::move(found));
      out.kinds.push_back(kind);
    } else if (out.status == ResolveStatus::kMissing) {
      out.status = ResolveStatus::kFound;  // the folder was found; the name matches nothing
    }
    return out;
  }
  if (auto names = env_.ListFolderWithKinds(dir.path)) {
    for (auto& listed : *names) {
      if (!winpath::MatchWildcard(pattern, listed.name)) continue;
      out.names.push_back(std::move(listed.name));
      out.kinds.push_back(listed.kind);
    }
  }
  return out;
}

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
  return Resolver(env).ResolveExisting(winpath);
}
Resolution ResolveForCreate(Env& env, std::string_view winpath) {
  return Resolver(env).ResolveForCreate(winpath);
}
Resolution MakeFolders(Env& env, std::string_view winpath, int* error) {
  return Resolver(env).MakeFolders(winpath, error);
}
PatternMatches MatchPattern(Env& env, std::string_view winpath) {
  return Resolver(env).MatchPattern(winpath);
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

std::optional<std::vector<Env::ListedName>> Env::ListFolderWithKinds(const std::string& path,
                                                                     int* error) {
  auto names = ListFolder(path, error);
  if (!names) return std::nullopt;
  std::vector<ListedName> out;
  out.reserve(names->size());
  for (auto& name : *names)
    out.push_back({std::move(name), std::nullopt});
  return out;
}

std::optional<std::string> Env::LongName(const std::string&, const std::string&) {
  return std::nullopt;
}

std::string Env::NameRefusal(std::string_view name) {
  // Whatever a name was decoded from, these would make it a path or cut it short.
  if (name.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos)
    return "a name holds no '/' and no NUL byte";
  return {};
}

bool Env::IsHidden(std::string_view name, const FileStatus&) {
  return winpath::IsHiddenName(name);
}

}  // namespace platform
