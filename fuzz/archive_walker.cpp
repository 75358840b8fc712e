// Fuzz target: the archive walker on arbitrary bytes. Walks every entry, streams its packed
// data and derives its listing values; every entry the writer can represent is also written
// as a level-2 header and read back, and must come back the same. lha::Error is the expected
// way to refuse input; anything else (crash, sanitizer report, abort) is a finding.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "common/error.h"
#include "format/archive_reader.h"
#include "format/crc16.h"
#include "format/header_writer.h"
#include "format/listing.h"
#include "format/memory_source.h"

namespace {

using lha::format::EntryHeader;
using lha::format::EntryKind;

void Check(bool ok) {
  if (!ok) std::abort();
}

void RoundTrip(const EntryHeader& h) {
  lha::format::NewEntry e;
  e.kind = h.kind;
  e.path = h.path;
  e.symlink_target = h.symlink_target;
  e.method = std::string(h.method_id());
  e.unix_mode = h.unix_mode.value_or(0644);
  e.mtime = h.unix_mtime.value_or(0);
  e.declared_size = h.original_size;
  std::vector<uint8_t> bytes;
  try {
    bytes = lha::format::EncodeLevel2Header(e);
    lha::format::PatchSizesAndCrc(bytes, h.packed_size, h.original_size, h.data_crc);
  } catch (const lha::Error&) {
    return;  // not representable in our profile
  } catch (const std::invalid_argument&) {
    return;  // e.g. an empty path or a NUL in a name
  }
  Check(bytes.size() % 256 != 0);
  lha::format::MemorySource source(bytes);
  lha::format::ArchiveReader reader(source);  // must not throw: we just wrote it
  const std::optional<EntryHeader> back = reader.Next();
  Check(back.has_value());
  Check(back->kind == h.kind);
  Check(back->path == h.path);
  Check(back->symlink_target == h.symlink_target);
  Check(back->packed_size == h.packed_size);
  Check(back->original_size == h.original_size);
  Check(back->data_crc == h.data_crc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  lha::format::MemorySource source(std::span<const uint8_t>(data, size));
  try {
    lha::format::ArchiveReader reader(source);
    while (std::optional<EntryHeader> h = reader.Next()) {
      Check(h->data_offset == h->header_offset + h->header_size);
      Check(h->header_size > 0);
      lha::format::DeriveListing(*h, lha::format::UtcAsLocalTime(), '\\');
      lha::format::PackedDataSource packed = reader.OpenPackedData(*h);
      uint8_t buf[4096];
      lha::format::Crc16 crc;
      while (size_t n = packed.Read(buf))
        crc.Update(std::span<const uint8_t>(buf, n));
      RoundTrip(*h);
    }
  } catch (const lha::Error&) {
  }
  return 0;
}
