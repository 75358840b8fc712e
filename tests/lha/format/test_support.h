// Helpers shared by the format-layer tests: walking an archive to its end, and the archive
// builder and file reader of tests/support under this suite's names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "format/archive_reader.h"
#include "format/entry.h"
#include "format/memory_source.h"
#include "support/archive_builder.h"
#include "support/files.h"

namespace lha::format::testing {

// The crafting helpers live in tests/support; the format suites name them from here.
using testing_support::Append;
using testing_support::Bytes;
using testing_support::CrcExt;
using testing_support::Level0Header;
using testing_support::Level1Header;
using testing_support::Level23Header;
using testing_support::NameExt;
using testing_support::PutLe;
using testing_support::RawExt;
using testing_support::ReadBytes;
using testing_support::ToBytes;

// The outcome of opening an archive and calling Next() until it ends or throws.
struct Walk {
  std::vector<EntryHeader> entries;
  int32_t code = 0;  // 0, or the code of the lha::Error that ended the walk
  std::string detail;
  uint64_t archive_offset = 0;
  uint64_t end_offset = 0;
  bool end_marker = false;
};

inline Walk WalkArchive(const Bytes& bytes) {
  Walk w;
  MemorySource source(bytes);
  try {
    ArchiveReader reader(source);
    w.archive_offset = reader.archive_offset();
    while (std::optional<EntryHeader> h = reader.Next())
      w.entries.push_back(std::move(*h));
    w.end_offset = reader.end_offset();
    w.end_marker = reader.has_end_marker();
  } catch (const Error& e) {
    w.code = e.code();
    w.detail = e.what();
  }
  return w;
}

}  // namespace lha::format::testing
