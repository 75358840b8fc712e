// Values a listing shows per entry, derived from a header the same way for every level. The
// library's listing API copies them into its record.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "format/entry.h"
#include "format/time_stamp.h"

namespace lha::format {

struct ListingValues {
  std::string method;            // the 5 method bytes as stored, e.g. "-lh5-"
  uint16_t crc = 0;              // data CRC; 0 for directories and when the header has none
  uint64_t ratio_per_mille = 0;  // packed * 1000 / original; 0 when original is 0
  uint16_t dos_date = 0;         // modification time in the caller's local zone, MS-DOS encoded;
  uint16_t dos_time = 0;         //   0/0 when the header has no usable time
  uint8_t attribute = 0;         // MS-DOS attribute bits, see EffectiveMsdosAttribute
  // Four characters, one per attribute: 'A' archive ('D' in its place for a directory),
  // 'S' system, 'H' hidden, 'R' read-only; '-' where the bit is clear.
  std::string attribute_text;
  // The stored path with `separator` between components; a leading separator if the stored
  // path was absolute; a trailing one for a directory.
  std::string name;
  // A symbolic link's target, its '/' shown as `separator`; empty for everything else.
  std::string link_target;
};

// Needs `local.to_local` whenever the header has a Unix time: that instant is shown in local
// time (levels 2/3 always, levels 0/1 with ext 0x54 or a Unix area). Otherwise the stored DOS
// value is shown as it is, being local time already.
ListingValues DeriveListing(const EntryHeader& entry, const LocalTime& local, char separator);

// The entry's MS-DOS attribute: the stored one (level-0 byte 19, ext 0x40) if any, except at
// level 0 with a Unix area; else derived from the Unix mode (directory 0x10, else 0x20 plus
// read-only 0x01 without owner write permission); else 0x10 for a directory entry and 0x20 for
// anything else.
uint8_t EffectiveMsdosAttribute(const EntryHeader& entry);

// The modification time to restore: the Unix time if the header has one, else the DOS time
// taken as local time through `local.from_local`; nullopt if there is neither.
std::optional<int64_t> ModificationTime(const EntryHeader& entry, const LocalTime& local);

}  // namespace lha::format
