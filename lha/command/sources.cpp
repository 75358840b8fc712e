#include "command/sources.h"

#include <algorithm>

#include "platform/fs.h"
#include "platform/winpath.h"
#include "unlha32.h"

namespace lha::command {
namespace {

namespace fs = platform::fs;
namespace winpath = platform::winpath;

std::vector<std::string> SplitPosix(const std::string& path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    if (j > i) parts.push_back(path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

class Enumerator {
 public:
  Enumerator(fs::Resolver& resolver, const Switches& switches, const ExcludedFile& excluded,
             Enumeration& out)
      : env_(resolver.env()), resolver_(resolver), sw_(switches), excluded_(excluded), out_(out) {}

  void Expand(const NameSpec& named) {
    const std::string combined = named.base + named.name;
    const auto parsed = winpath::Parse(combined);
    if (parsed.parts.empty() || parsed.parts.back() == "..")
      return Problem(UNLHA_ERROR_NOT_EXIST, combined + ": names no file");
    const fs::PatternMatches m = resolver_.MatchPattern(combined);
    if (m.status != fs::ResolveStatus::kFound) {
      return Problem(UNLHA_ERROR_NOT_EXIST,
                     combined + (m.status == fs::ResolveStatus::kAmbiguous
                                     ? ": a name matches several names differing only in case"
                                     : ": no such folder"));
    }
    const std::string& pattern = parsed.parts.back();
    const bool wildcard = winpath::HasWildcards(pattern);

    // The pattern's folder as stored: the components after the base, spelled as on disk.
    const size_t rel = StoredPrefix(named).size();
    const auto disk = SplitPosix(m.dir);
    std::vector<std::string> prefix;
    if (sw_.keep_paths && rel > 0 && rel <= disk.size())
      prefix.assign(disk.end() - static_cast<std::ptrdiff_t>(rel), disk.end());

    if (wildcard && sw_.recursion != Recursion::kNone) {
      if (!prefix.empty()) AddFolderEntry(m.dir, prefix);
      return Descend(m.dir, prefix, pattern, /*top=*/true, combined);
    }
    if (m.names.empty()) return Problem(UNLHA_ERROR_NOT_EXIST, combined + ": no file matches");
    auto names = m.names;
    std::sort(names.begin(), names.end());
    for (const auto& name : names)
      AddNamed(m.dir, name, prefix);
  }

 private:
  void Problem(int32_t code, std::string message) {
    out_.problems.push_back({code, std::move(message)});
  }

  // Whether a name found on disk takes part at all.
  bool Admitted(const std::string& name, const platform::FileStatus& st) const {
    if (!sw_.include_hidden && (winpath::IsHiddenName(name) || st.kind == fs::Kind::kOther))
      return false;
    return !excluded_(st);
  }

  void Add(const std::string& path, std::vector<std::string> stored,
           const platform::FileStatus& st) {
    out_.sources.push_back({path, std::move(stored), st});
  }

  void AddFolderEntry(const std::string& path, const std::vector<std::string>& stored) {
    if (sw_.recursion != Recursion::kWithFolders || !sw_.keep_paths || stored.empty()) return;
    int error = 0;
    const auto st = env_.Status(path, platform::File::Links::kFollowed, &error);
    if (!st) return Problem(UNLHA_ERROR_FILE_OPEN, path + ": " + platform::ErrorText(error));
    Add(path, stored, *st);
  }

  std::vector<std::string> StoredFor(const std::vector<std::string>& prefix,
                                     const std::string& name) const {
    std::vector<std::string> stored = sw_.keep_paths ? prefix : std::vector<std::string>{};
    stored.push_back(name);
    return stored;
  }

  // A thing the command line names itself (no wildcard, or a match without recursion).
  void AddNamed(const std::string& dir, const std::string& name,
                const std::vector<std::string>& prefix) {
    const std::string path = fs::Join(dir, name);
    int error = 0;
    auto st = env_.Status(path, platform::File::Links::kNotFollowed, &error);
    if (!st) return Problem(UNLHA_ERROR_NOT_EXIST, path + ": " + platform::ErrorText(error));
    bool through_link = false;
    if (st->kind == fs::Kind::kSymlink) {
      // Named, so followed; a link that leads nowhere is still stored, as a link.
      if (auto target = env_.Status(path, platform::File::Links::kFollowed)) {
        st = target;
        through_link = true;
      }
    }
    if (!Admitted(name, *st)) return;
    switch (st->kind) {
      case fs::Kind::kFolder: {
        if (sw_.recursion == Recursion::kNone) return;  // a folder alone holds no data
        auto stored = StoredFor(prefix, name);
        if (sw_.recursion == Recursion::kWithFolders && sw_.keep_paths) Add(path, stored, *st);
        return Descend(path, stored, "*", false, path);
      }
      case fs::Kind::kOther:
        return Problem(UNLHA_ERROR_FILE_OPEN, path + ": not a regular file, folder or link");
      default:
        out_.sources.push_back({path, StoredFor(prefix, name), *st, through_link});
        return;
    }
  }

  // Everything below a folder: files (and links) matching the pattern, every folder entered.
  void Descend(const std::string& dir, const std::vector<std::string>& stored_dir,
               const std::string& pattern, bool top, const std::string& named_as) {
    auto names = env_.ListFolder(dir);
    if (!names) return Problem(UNLHA_ERROR_FILE_OPEN, dir + ": cannot list the folder");
    std::sort(names->begin(), names->end());
    bool matched = false;
    for (const auto& name : *names) {
      const std::string path = fs::Join(dir, name);
      int error = 0;
      const auto st = env_.Status(path, platform::File::Links::kNotFollowed, &error);
      if (!st) {
        Problem(UNLHA_ERROR_NOT_EXIST, path + ": " + platform::ErrorText(error));
        continue;
      }
      if (!Admitted(name, *st)) continue;
      const auto stored = StoredFor(stored_dir, name);
      if (st->kind == fs::Kind::kFolder) {
        if (sw_.recursion == Recursion::kWithFolders && sw_.keep_paths) Add(path, stored, *st);
        Descend(path, sw_.keep_paths ? stored : stored_dir, pattern, false, named_as);
        matched = true;
        continue;
      }
      if (!winpath::MatchWildcard(pattern, name)) continue;
      matched = true;
      if (st->kind == fs::Kind::kOther) {
        out_.left_out.push_back(path + ": not a regular file, folder or link; left out");
      } else {
        Add(path, stored, *st);
      }
    }
    if (top && !matched && !(sw_.recursion == Recursion::kWithFolders && sw_.keep_paths))
      Problem(UNLHA_ERROR_NOT_EXIST, named_as + ": no file matches");
  }

  platform::Env& env_;
  fs::Resolver& resolver_;
  const Switches& sw_;
  const ExcludedFile& excluded_;
  Enumeration& out_;
};

}  // namespace

std::vector<std::string> StoredPrefix(const NameSpec& named) {
  const auto whole = winpath::Parse(named.base + named.name);
  const auto base = winpath::Parse(named.base);
  std::vector<std::string> parts(whole.parts.begin(),
                                 whole.parts.empty() ? whole.parts.end() : whole.parts.end() - 1);
  size_t common = 0;
  if (!named.base.empty() && whole.rooted == base.rooted) {
    while (common < parts.size() && common < base.parts.size() &&
           parts[common] == base.parts[common])
      ++common;
  }
  std::vector<std::string> out;
  for (size_t i = common; i < parts.size(); ++i)
    if (parts[i] != ".." || !out.empty()) out.push_back(parts[i]);
  // Components that would lead above the base are not stored.
  out.erase(std::remove(out.begin(), out.end(), ".."), out.end());
  return out;
}

Enumeration EnumerateSources(fs::Resolver& resolver, const std::vector<NameSpec>& names,
                             const Switches& switches, const ExcludedFile& excluded) {
  Enumeration out;
  Enumerator e(resolver, switches, excluded, out);
  if (names.empty()) out.problems.push_back({UNLHA_ERROR_NOT_EXIST, "no names of files to pack"});
  for (const auto& named : names) {
    const size_t sources = out.sources.size(), problems = out.problems.size();
    e.Expand(named);
    // A name that quietly gives nothing would let a command that packs nothing report success.
    if (out.sources.size() == sources && out.problems.size() == problems) {
      out.problems.push_back(
          {UNLHA_ERROR_NOT_EXIST,
           named.base + named.name + ": nothing to pack (folders need -r, hidden files -a1)"});
    }
  }
  return out;
}

}  // namespace lha::command
