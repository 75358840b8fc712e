// Writing one source into the new archive: its header, then its data packed with the chosen
// method or stored when packing does not pay, then the header's final sizes and CRC.
#pragma once

#include <optional>
#include <string>

#include "command/archive_io.h"
#include "command/command_line.h"
#include "command/progress.h"
#include "command/sources.h"

namespace lha::command {

struct PackedEntry {
  std::string method;
  uint64_t original_size = 0;
  uint64_t packed_size = 0;
};

// Appends `source` to `writer`, telling `progress` how much of the file's data is read. When the
// source cannot be read (gone, unreadable, changed into something else) nothing of it stays in
// the archive and the problem is returned; a failure to write the archive is thrown as
// lha::Error.
std::optional<SourceProblem> PackSource(platform::Env& env, const Source& source, PackMethod method,
                                        ArchiveWriter& writer, PackedEntry* packed,
                                        Progress& progress);

// The bytes packing the source reads, as enumerated: a file's size, 0 for anything else.
uint64_t DataSize(const Source& source);

// The stored path with '/' between its components, as entries are matched by name.
std::string StoredKey(const std::vector<std::string>& components);

}  // namespace lha::command
