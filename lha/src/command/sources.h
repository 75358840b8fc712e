// What a command packs: the names of the command line and its response files turned into the
// files, folders and links on disk, each with the path it is stored under.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "command/command_line.h"
#include "platform/file.h"

namespace lha::command {

struct Source {
  std::string posix_path;           // where it is
  std::vector<std::string> stored;  // the stored path's components, names as they are on disk
  platform::FileStatus status;      // of the thing itself; links not followed
};

// A name that found nothing, or a file that cannot be packed: its code and a line for the log.
struct SourceProblem {
  int32_t code;
  std::string message;
};

struct Enumeration {
  std::vector<Source> sources;
  std::vector<SourceProblem> problems;
};

// Files never packed, whatever the names match: the archive, its temporary file, the list file.
using ExcludedFile = std::function<bool(const platform::FileStatus&)>;

// Expands the names in order. Wildcards match in the last component; with recursion every folder
// below a match is entered and the pattern applies to the files in it; with kWithFolders and
// stored paths the folders are entries too, the pattern's own folder included, so empty folders
// survive. Hidden names (and anything that is neither file, folder nor link) are skipped unless
// switches.include_hidden; such a thing named with -a1 cannot be packed and is a problem. A name
// that gives nothing to pack (a folder without recursion, a hidden file without -a1, only
// excluded files) is a problem too.
// Folders are never followed through links. Names are sorted within each folder, so the same
// tree always gives the same order.
Enumeration EnumerateSources(const std::vector<NameSpec>& names, const Switches& switches,
                             const ExcludedFile& excluded);

// The stored path of a name given on a command line, relative to its base folder: every
// component after the base, with "..", "." and a leading root dropped.
std::vector<std::string> StoredPrefix(const NameSpec& named);

}  // namespace lha::command
