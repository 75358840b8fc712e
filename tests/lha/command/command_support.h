// Running the archiver's commands on a tree in memory (MemEnv), and reading back what they
// made: the entries of an archive, unpacked, and the temporary files left in a folder.
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
#include "format/crc16.h"
#include "format/header_writer.h"
#include "format/memory_source.h"
#include "platform/staged_file.h"
#include "support/mem_env.h"

namespace lha_command_testing {

using testing_support::MemEnv;

// A time stamp for the trees the tests build, far from the MemEnv clock's.
constexpr int64_t kThen = 1650000000;

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

// Raw level-2 entries, for archives no command of ours would write.
inline std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  lha::format::SplitPath(path, parts);
  return parts;
}

inline std::string Header(const lha::format::NewEntry& e) {
  const auto h = lha::format::EncodeLevel2Header(e);
  return std::string(h.begin(), h.end());
}

inline std::string FileEntry(const std::string& path, const std::string& data, uint16_t mode = 0644,
                             int64_t mtime = kThen) {
  lha::format::NewEntry e;
  e.path = Components(path);
  e.method = "-lh0-";
  e.unix_mode = mode;
  e.mtime = mtime;
  e.declared_size = data.size();
  auto h = lha::format::EncodeLevel2Header(e);
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(data.data()), data.size());
  lha::format::PatchSizesAndCrc(h, data.size(), data.size(), lha::format::Crc16Of(bytes));
  return std::string(h.begin(), h.end()) + data;
}

inline std::string FolderEntry(const std::string& path, uint16_t mode, int64_t mtime = kThen) {
  lha::format::NewEntry e;
  e.kind = lha::format::EntryKind::kDirectory;
  e.path = Components(path);
  e.method = "-lhd-";
  e.unix_mode = mode;
  e.mtime = mtime;
  return Header(e);
}

inline std::string LinkEntry(const std::string& path, const std::string& target) {
  lha::format::NewEntry e;
  e.kind = lha::format::EntryKind::kSymlink;
  e.path = Components(path);
  e.method = "-lhd-";
  e.symlink_target = target;
  e.unix_mode = 0777;
  e.mtime = kThen;
  return Header(e);
}

inline std::string ArchiveOf(const std::vector<std::string>& entries) {
  std::string out;
  for (const auto& e : entries)
    out += e;
  return out + std::string(1, '\0');
}

}  // namespace lha_command_testing
