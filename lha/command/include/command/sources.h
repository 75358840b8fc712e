// What a command packs: the names of the command line and its response files turned into the
// files, folders and links on disk, each with the path it is stored under.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "command/command_line.h"
#include "platform/fs.h"

namespace lha::command {

struct Source {
  std::string posix_path;           // where it is
  std::vector<std::string> stored;  // the stored path's components, names as they are on disk
  platform::FileStatus status;      // of the thing itself, or of a named link's target
  bool through_link = false;        // a link the command named: its target's data is packed
};

// A name that found nothing, or a file that cannot be packed: its code and a line for the log.
struct SourceProblem {
  int32_t code;
  std::string message;
};

struct Enumeration {
  std::vector<Source> sources;
  std::vector<SourceProblem> problems;
  std::vector<std::string> left_out;  // lines for the log: things below a folder holding no data
};

// Files never packed, whatever the names match: the archive, its temporary file, the list file.
using ExcludedFile = std::function<bool(const platform::FileStatus&)>;

// Expands the names in order. Wildcards match in the last component; with recursion every folder
// below a match is entered and the pattern applies to the files in it; with kWithFolders and
// stored paths the folders are entries too, the pattern's own folder included, so empty folders
// survive. Hidden names (and anything that is neither file, folder nor link) are skipped unless
// switches.include_hidden. With -a1, such a thing (a FIFO, socket or device) met below a folder
// is left out with a line in left_out, since it holds no data; named by the command itself it
// cannot be packed and is a problem. A name that gives nothing to pack (a folder without
// recursion, a hidden file without -a1, only excluded files) is a problem too.
// A link the command names (itself, or as a match of its wildcard without recursion) is
// followed: what it leads to is packed under the link's own name. Links met below a folder stay
// links, and folders are never entered through them. Names are sorted within each folder, so the
// same tree always gives the same order.
Enumeration EnumerateSources(platform::fs::Resolver& resolver, const std::vector<NameSpec>& names,
                             const Switches& switches, const ExcludedFile& excluded);

// The stored path of a name given on a command line, relative to its base folder: every
// component after the base, with "..", "." and a leading root dropped.
std::vector<std::string> StoredPrefix(const NameSpec& named);

}  // namespace lha::command
