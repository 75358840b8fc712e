// Windows paths on a POSIX file system, and the few file-system primitives the platform layer
// and the archiver library share.
//
// A Windows path resolves one component at a time, case-insensitively: a component that matches
// exactly one name in its folder resolves to that name; one that matches several names that
// differ only in case does not resolve at all, so the wrong file is never taken by guesswork.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::fs {

enum class ResolveStatus {
  kFound,
  kMissing,    // a component matches no name
  kAmbiguous,  // a component matches several names differing only in case
};

struct Resolution {
  ResolveStatus status = ResolveStatus::kMissing;
  std::string path;  // the POSIX path when found ("." for the current folder)
};

// Every component must exist.
Resolution ResolveExisting(std::string_view winpath);

// For a path about to be created: the folders must exist; the last component resolves to the
// existing name it matches, or stays as spelled when nothing matches. An empty path or one that
// ends in a separator gives the folder itself.
Resolution ResolveForCreate(std::string_view winpath);

// Makes every missing folder along a Windows path, each component resolved as ResolveForCreate
// resolves it, then resolves the whole. kFound with the POSIX path of the folder at the end;
// otherwise the status, and in *error the reason a folder could not be made (0 when the path
// did not resolve, or ends in something that is not a folder).
Resolution MakeFolders(std::string_view winpath, int* error);

// The path without links, "." or "..": nullopt when it does not exist.
std::optional<std::string> RealPathOf(const std::string& posix_path);

// The last component of a Windows path taken as a pattern (wildcards or a plain name) in the
// folder that the rest resolves to.
struct PatternMatches {
  ResolveStatus status = ResolveStatus::kMissing;  // of the folder part
  std::string dir;                                 // POSIX path of the folder part
  std::vector<std::string> names;                  // matching names as they are on disk
};
PatternMatches MatchPattern(std::string_view winpath);

// What a path is on disk. Symbolic links are followed unless follow_links is false.
enum class Kind { kMissing, kFile, kFolder, kSymlink, kOther };
Kind KindOf(const std::string& posix_path, bool follow_links = true);

// Folder contents without "." and "..", unsorted; nullopt when it cannot be listed.
std::optional<std::vector<std::string>> ListFolder(const std::string& posix_dir);

std::string Join(std::string_view dir, std::string_view name);

// The folder of the running executable.
std::string ExecutableFolder();

// The last OS error as text, for diagnostics.
std::string LastErrorText();
std::string ErrorText(int error_number);

}  // namespace platform::fs
