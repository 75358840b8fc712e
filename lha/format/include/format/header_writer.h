// Writing level-2 headers in the one profile Quillory uses (docs/lzh-format.md, "What we
// write"). Data is streamed, so a header is written before the data is packed: encode it with
// placeholders, write it, stream the data, then patch the sizes and CRCs into the same bytes
// (the length never changes) and rewrite them in place.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "format/entry.h"

namespace lha::format {

// What the writer needs to know before the data is packed.
struct NewEntry {
  EntryKind kind = EntryKind::kFile;
  // Components of the stored path, the last being the entry's name; bytes as the file system
  // gives them (UTF-8 expected). None may be empty or contain '/', 0x00 or 0xFF.
  std::vector<std::string> path;
  std::string symlink_target;    // kSymlink: bytes of the link as readlink gives them
  std::string method = "-lh5-";  // kFile: 5 characters; directories and links use "-lhd-"
  // Permission bits (and optionally type bits) of st_mode; the type bits are set from `kind`.
  uint16_t unix_mode = 0644;
  // Written (ext 0x51) only when both are given and both fit in 16 bits.
  int64_t mtime = 0;    // Unix seconds (UTC); clamped to 0 .. 2^32-1 as the field holds
  bool hidden = false;  // sets the MS-DOS hidden bit (callers decide, e.g. for dot files)
  bool system = false;  // sets the MS-DOS system bit
  // The size the caller means to store (stat's st_size). From 0xF0000000 on the header reserves
  // ext 0x42 for 64-bit sizes, leaving room for growth and for packed data larger than the
  // original; PatchSizesAndCrc cannot add it later.
  uint64_t declared_size = 0;
  // The code page of the bytes in `path` and `symlink_target`: 65001 (UTF-8) or another that
  // ext 0x46 then names (932 for Japanese Windows tools). Ext 0x46 is written only for names
  // that are not ASCII, and for 65001 only when they are valid UTF-8.
  uint32_t code_page = 65001;
  // The system the header says wrote it: 'U' with the Unix mode (ext 0x50), or 'M' as Windows
  // writers do, the MS-DOS attribute alone.
  uint8_t os_id = 'U';
};

// Sizes from which a header carries ext 0x42.
inline constexpr uint64_t kLargeSizeThreshold = 0xF000'0000;

// The MS-DOS attribute the writer stores for `entry` (ext 0x40): directories 0x10; files
// 0x20, plus read-only 0x01 when the owner has no write permission; either plus hidden 0x02
// and system 0x04.
uint8_t MsdosAttributeFor(const NewEntry& entry);

// Encodes a complete, valid level-2 header for `entry` with packed size, original size and
// data CRC 0 (final for directories and symbolic links). Its length is never a multiple of 256.
// Throws std::invalid_argument for an empty path, a bad component or a bad method string,
// and lha::Error(UNLHA_ERROR_UNKNOWN_TYPE) for what the format cannot represent: a header over
// 65535 bytes, a 0xFF byte in a name, a backslash that readers would take for a separator (any
// in UTF-8 names; outside Shift_JIS pairs in others), a '|' in a symbolic link's own path.
std::vector<uint8_t> EncodeLevel2Header(const NewEntry& entry);

// Fills in the final sizes and data CRC of a header made by EncodeLevel2Header and recomputes
// its header CRC; the length stays the same. Sizes of 4 GiB or more go to ext 0x42 with their
// low 32 bits in the base fields. Throws lha::Error(UNLHA_ERROR_UNKNOWN_TYPE) if such a size
// meets a header without ext 0x42, std::invalid_argument if `header` is no level-2 header.
void PatchSizesAndCrc(std::span<uint8_t> header, uint64_t packed_size, uint64_t original_size,
                      uint16_t data_crc);

// What follows the last entry.
inline constexpr std::array<uint8_t, 1> kEndOfArchiveMarker = {0x00};

}  // namespace lha::format
