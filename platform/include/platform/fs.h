// Windows paths on a file system of an Env: how the program's paths find the names on disk.
//
// A Windows path resolves one component at a time, case-insensitively: a component that matches
// exactly one name in its folder resolves to that name; one that matches several names that
// differ only in case does not resolve at all, so the wrong file is never taken by guesswork.
// "\" and "/" both separate; "." and ".." are resolved lexically first (winpath.h); the Env says
// which roots a path can start at (Env::RootOf: "\" on POSIX; "C:\", "\\server\share\" and
// "\" on Windows), others start at the current folder. The Env also matches each name
// (Env::FindName), so on Windows a short (8.3) name finds its file too.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"
#include "platform/winpath.h"

namespace platform::fs {

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
};
PatternMatches MatchPattern(Env& env, std::string_view winpath);

// What a native path is. Symbolic links are followed unless follow_links is false.
Kind KindOf(Env& env, const std::string& path, bool follow_links = true);

std::string Join(std::string_view dir, std::string_view name);

}  // namespace platform::fs
