// Decoding one header of any level (0..3) from a random-access archive. The archive walker
// builds on this; it is separate so that tests and the fuzz target can probe single headers.
#pragma once

#include <cstdint>
#include <string>

#include "common/error.h"
#include "common/io.h"
#include "common/names.h"
#include "format/entry.h"

namespace lha::format {

// Decodes the header that starts at `offset` of `source`, whose size is `source_size`; every
// read stays inside [offset, source_size) and nothing is allocated from a size that has not
// been checked against those bounds and a fixed cap. Does not treat 0x00 as the end marker:
// the caller decides that. On success the result's header_offset/header_size/data_offset
// are set; data_offset + packed_size does not overflow but may lie past the end of the source.
//
// Throws lha::Error with
//   UNLHA_ERROR_HEADER_BROKEN (32791): inconsistent sizes, bad level or method shape,
//       malformed extended-header chain;
//   UNLHA_ERROR_HEADER_CRC (32790): level 0/1 checksum or ext 0x00 header CRC mismatch;
//   UNLHA_ERROR_ARC_READ (32794): the source ends inside the header (and whatever the source
//       itself throws for read errors);
//   DamagedEntry (UNLHA_ERROR_HEADER_BROKEN) for a header that is whole but whose entry must not
//       be used: a NUL byte inside a stored name, folder or link target. Such a name would reach
//       the file system cut short (".." NUL "x" passes as a name and is used as ".."), so it is
//       never handed out, not even cut.
//
// Names: with a `decoder`, every component and a link's target come out as UTF-8, decoded from
// the code page the header declares (ext 46) or the system's reading of names without one;
// names in UTF-16 (ext 44/45) are taken from there. Without a decoder they stay raw bytes.
EntryHeader ReadHeaderAt(RandomAccessSource& source, uint64_t offset, uint64_t source_size,
                         const NameDecoder* decoder = nullptr);

// A whole header whose entry cannot be used; the archive goes on at next_offset().
class DamagedEntry : public Error {
 public:
  DamagedEntry(const std::string& detail, uint64_t next_offset)
      : Error(UNLHA_ERROR_HEADER_BROKEN, detail), next_offset_(next_offset) {}
  uint64_t next_offset() const { return next_offset_; }

 private:
  uint64_t next_offset_;
};

}  // namespace lha::format
