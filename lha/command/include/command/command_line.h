// The command language of the archiver library:
//
//   <command> [switches] <archive> [base-folder\] [names ...] [@response-file ...]
//
// Blanks separate tokens and double quotes group them. A token that ends in "\" or "/" after the
// archive is a base folder: the names after it are taken, and stored, relative to it. Paths are
// Windows paths in bytes of the ANSI code page (UTF-8).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lha::command {

enum class Command {
  kAdd,          // a
  kUpdate,       // u
  kExtract,      // x: with stored paths
  kExtractFlat,  // e: names only
  kList,         // l
  kListVerbose,  // v
  kTest,         // t
};

enum class Recursion {
  kNone,         // -r0
  kFiles,        // -r1: into folders, storing their files
  kWithFolders,  // -r2: also the folders themselves, so empty ones survive
};

enum class PackMethod { kStore, kLh5, kLh6, kLh7 };

struct Switches {
  bool include_hidden = false;  // -a1: hidden and system files too
  bool keep_paths = false;      // -x1: paths relative to the base folder; -x0: names only
  Recursion recursion = Recursion::kNone;
  bool replace_all = false;  // -c1: update replaces entries whatever their time stamps
  PackMethod method = PackMethod::kLh5;
  bool overwrite = false;  // -w1: extraction replaces existing files
  // -t<n>: threads that pack (and compare) at once; 0 takes every processor. The archive is
  // the same byte for byte whatever the number.
  unsigned threads = 0;
  // -cp932 / -cp65001: the code page a and u store names in; nullopt: the system's default.
  std::optional<uint32_t> name_code_page;
};

// One name (a file, a folder or a wildcard pattern) and the base folder it is relative to
// (empty: the current folder).
struct NameSpec {
  std::string base;
  std::string name;
  bool operator==(const NameSpec&) const = default;
};

struct CommandLine {
  Command command = Command::kList;
  Switches switches;
  std::string archive;
  // For a and u: what to pack. For x, e, l, v and t: patterns selecting entries.
  std::vector<NameSpec> names;
  // The first base folder on the command line: where x and e extract to.
  std::string base;
  std::vector<std::string> response_files;  // as named after "@"
};

// Reads a response file by its name; nullopt when it cannot be read.
using ResponseFileReader = std::function<std::optional<std::string>(const std::string& name)>;

// Splits one line into tokens: blanks separate, double quotes group (and are removed), adjacent
// quoted and unquoted pieces form one token. Returns nullopt for an unterminated quote.
std::optional<std::vector<std::string>> Tokenize(std::string_view line);

// Parses a whole command line, reading the response files it names. Throws lha::Error with
// UNLHA_ERROR_COMMAND for an unknown command or switch or a malformed line,
// UNLHA_ERROR_NO_ARC_NAME when no archive is named, UNLHA_ERROR_NOT_EXIST when a response file
// cannot be read.
CommandLine Parse(std::string_view text, const ResponseFileReader& read_response_file);

// The names of one response file. Each line is read as tokens, except that a line holding no
// double quote whose first blank-separated token does not end in a separator is one name,
// whole, so a plain path with blanks or commas needs no quotes. Empty lines are skipped. A base
// folder on a line applies to the rest of that line.
std::vector<NameSpec> ParseResponseFile(std::string_view text, const std::string& base);

inline bool EndsInSeparator(std::string_view token) {
  return !token.empty() && (token.back() == '\\' || token.back() == '/');
}

}  // namespace lha::command
