// Windows path syntax, independent of any file system: separators, lexical "." and "..",
// wildcards. Paths are bytes of the ANSI code page (UTF-8).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::winpath {

inline bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

struct ParsedPath {
  bool rooted = false;              // began with a separator: starts at "/"
  std::vector<std::string> parts;   // components, "." and ".." already resolved
  bool trailing_separator = false;  // ended with a separator: names a folder
};

// "\" and "/" both separate; empty components are dropped; "." is dropped and ".." removes the
// component before it. A ".." at the root stays at the root; the leading ".." of a relative path
// is kept, since only the file system knows what lies above the current folder.
ParsedPath Parse(std::string_view path);

bool HasWildcards(std::string_view name);

// Case-insensitive match of one name against a pattern of "*" (any run of characters) and "?"
// (one character). A pattern ending in ".*" also matches the name without an extension, so
// "*.*" matches every name, with or without a dot.
bool MatchWildcard(std::string_view pattern, std::string_view name);

// Why Windows would not take `name` (one component) for a file of that name, or empty when it
// would: a ":" (an alternate stream, or a drive), a separator, a control character or one of
// <>"|?*, a trailing dot or blank (Windows drops them), or a reserved device name (CON, PRN, AUX,
// NUL, COM1-COM9, LPT1-LPT9, in any case, with or without an extension).
std::string WhyWindowsMisreads(std::string_view name);

// A name the system treats as hidden.
inline bool IsHiddenName(std::string_view name) {
  return !name.empty() && name[0] == '.';
}

}  // namespace platform::winpath
