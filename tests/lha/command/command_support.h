// Running the archiver's commands on a tree in memory (MemEnv), and reading back what they
// made: the entries of an archive, unpacked, and the temporary files left in a folder. Crafted
// archives come from support/archive_builder.h.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "command/commands.h"
#include "command/entry_data.h"
#include "common/error.h"
#include "format/archive_reader.h"
#include "format/memory_source.h"
#include "platform/staged_file.h"
#include "support/archive_builder.h"
#include "support/mem_env.h"

namespace lha_command_testing {

using testing_support::ArchiveOf;
using testing_support::FileEntry;
using testing_support::FolderEntry;
using testing_support::kThen;
using testing_support::LinkEntry;
using testing_support::MemEnv;

struct Outcome {
  int32_t code;
  std::string log;
};

inline Outcome RunCommand(MemEnv& env, const std::string& command_line) {
  lha::command::OutputLog log(1 << 20);
  lha::command::Progress progress;
  const int32_t code = lha::command::Execute(env, command_line, log, progress);
  return {code, log.text()};
}

struct StoredEntry {
  std::string raw;   // header and packed data, as they stand in the archive
  std::string data;  // unpacked and checked, or "(code N)"
};

// The entries of the archive at `path` by stored path; none when there is no file.
inline std::map<std::string, StoredEntry> Entries(MemEnv& env, const std::string& path) {
  std::map<std::string, StoredEntry> out;
  const auto bytes = env.ReadFile(path);
  if (!bytes) return out;
  lha::format::MemorySource source(
      std::span(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()));
  lha::format::ArchiveReader reader(source);
  while (auto e = reader.Next()) {
    StoredEntry& s = out[e->JoinedPath('/')];
    s.raw = bytes->substr(e->header_offset, e->data_offset + e->packed_size - e->header_offset);
    try {
      lha::command::UnpackEntry(source, *e, [&](std::span<const uint8_t> d) {
        s.data.append(reinterpret_cast<const char*>(d.data()), d.size());
      });
    } catch (const lha::Error& ex) {
      s.data = "(code " + std::to_string(ex.code()) + ")";
    }
  }
  return out;
}

// Temporary files of the archiver in `folder`: after any command, there should be none.
inline std::vector<std::string> TemporaryFiles(MemEnv& env, const std::string& folder) {
  std::vector<std::string> out;
  for (const auto& name : env.ListFolder(folder).value_or(std::vector<std::string>{}))
    if (platform::IsStagedName(name, "unlha")) out.push_back(name);
  return out;
}

}  // namespace lha_command_testing
