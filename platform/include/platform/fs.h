// Windows paths on a file system of an Env: how the program's paths find the names on disk.
//
// A Windows path resolves one component at a time, case-insensitively: a component that matches
// exactly one name in its folder resolves to that name; one that matches several names that
// differ only in case does not resolve at all, so the wrong file is never taken by guesswork.
// "\" and "/" both separate; "." and ".." are resolved lexically first (winpath.h); the Env says
// which roots a path can start at (Env::RootOf: "\" on POSIX; "C:\", "\\server\share\" and
// "\" on Windows), others start at the current folder. A name no listed name matches may still
// be another name of a file (Env::LongName), as a short (8.3) name is on Windows.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/env.h"
#include "platform/winpath.h"

namespace platform::fs {

enum class ResolveStatus {
  kFound,
  kMissing,    // a component matches no name
  kAmbiguous,  // a component matches several names differing only in case
};

// A Windows path split at the root the Env sees in it, the rest parsed as winpath::Parse parses
// it; below a root, ".." stops at the root.
struct RootedPath {
  std::string root;       // the native folder the root names; "" for the current folder
  std::string root_text;  // the root as the path spells it
  winpath::ParsedPath parsed;
};
RootedPath ParseRooted(Env& env, std::string_view winpath);

struct Resolution {
  ResolveStatus status = ResolveStatus::kMissing;
  std::string path;  // the native path when found ("." for the current folder)
};

struct PatternMatches;

// Resolves Windows paths on an Env, remembering the names of each folder it had to list, so
// that naming thousands of files of one folder one by one costs one listing, not one per name,
// and a lookup no system call. When the remembered names lack the one asked for, the folder is
// listed again if it has changed since (or changed too recently to tell). A name that went
// since is still given out; whatever opens it then finds it missing. One Resolver serves one
// run of a job or one command.
class Resolver {
 public:
  explicit Resolver(Env& env) : env_(env) {}
  Resolver(const Resolver&) = delete;
  Resolver& operator=(const Resolver&) = delete;

  Env& env() const { return env_; }
  // Tells the Resolver that its owner has just made or removed a name in the folder of the
  // native `path`: that folder's names are listed again when next asked for.
  void NameChanged(const std::string& path);
  // See the functions of the same names below.
  Resolution ResolveExisting(std::string_view winpath);
  Resolution ResolveForCreate(std::string_view winpath);
  Resolution MakeFolders(std::string_view winpath, int* error);
  PatternMatches MatchPattern(std::string_view winpath);

 private:
  struct Listing;
  ResolveStatus MatchOne(const std::string& dir, const std::string& part, std::string* found,
                         std::optional<Kind>* kind = nullptr);
  Resolution ResolveParts(const RootedPath& rp, size_t count);
  std::shared_ptr<const Listing> List(const std::string& dir);
  bool Changed(const std::string& dir, const FileStatus& listed);

  Env& env_;
  std::unordered_map<std::string, std::shared_ptr<Listing>> listings_;  // by folder path
  std::unordered_map<std::string, Resolution> folders_;  // paths found, by their components
};

// One-off resolutions, with a Resolver of their own.
// Every component must exist.
Resolution ResolveExisting(Env& env, std::string_view winpath);

// For a path about to be created: the folders must exist; the last component resolves to the
// existing name it matches, or stays as spelled when nothing matches. An empty path or one that
// ends in a separator gives the folder itself.
Resolution ResolveForCreate(Env& env, std::string_view winpath);

// Makes every missing folder along a Windows path, each component resolved as ResolveForCreate
// resolves it, then resolves the whole. kFound with the native path of the folder at the end;
// otherwise the status, and in *error the reason a folder could not be made (0 when the path
// did not resolve, or ends in something that is not a folder).
Resolution MakeFolders(Env& env, std::string_view winpath, int* error);

// The last component of a Windows path taken as a pattern (wildcards or a plain name) in the
// folder that the rest resolves to.
struct PatternMatches {
  ResolveStatus status = ResolveStatus::kMissing;  // of the folder part
  std::string dir;                                 // native path of the folder part
  std::vector<std::string> names;                  // matching names as they are on disk
  // Each name's kind (a link's own) as the folder's listing told it; nullopt: not told.
  std::vector<std::optional<Kind>> kinds;
};
PatternMatches MatchPattern(Env& env, std::string_view winpath);

// What a native path is. Symbolic links are followed unless follow_links is false.
Kind KindOf(Env& env, const std::string& path, bool follow_links = true);

std::string Join(std::string_view dir, std::string_view name);

}  // namespace platform::fs
