// Byte layout of LZH headers: the offsets and sizes named in docs/lzh-format.md. Offsets count
// from the first byte of a header; multi-byte fields are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/methods.h"

namespace lha::format {

// Bytes 0..20 mean the same at every level where it matters for recognising a header.
inline constexpr size_t kMethodOffset = 2;
inline constexpr size_t kMethodSize = 5;
inline constexpr size_t kPackedSizeOffset = 7;     // LE32; level 1: "skip size" (includes exts)
inline constexpr size_t kOriginalSizeOffset = 11;  // LE32
inline constexpr size_t kTimeOffset = 15;          // LE32; DOS time+date (L0/L1), Unix (L2/L3)
inline constexpr size_t kAttributeOffset = 19;     // L0: MS-DOS attribute; L1-L3: 0x20
inline constexpr size_t kLevelOffset = 20;
// Enough bytes to know the level and every fixed field before the name (L0/L1) or the data CRC
// (L2/L3).
inline constexpr size_t kPrefixSize = 22;

inline constexpr uint8_t kReservedAttributeByte = 0x20;  // what L1-L3 writers put at offset 19
inline constexpr uint8_t kEndOfArchive = 0x00;           // where the next header would start

namespace h0 {
inline constexpr size_t kHeaderSizeOffset = 0;  // H: bytes from offset 2 to the header's end
inline constexpr size_t kChecksumOffset = 1;    // byte sum of offsets 2 .. H+1, modulo 256
inline constexpr size_t kNameLengthOffset = 21;
inline constexpr size_t kNameOffset = 22;
// At 22 + n: data CRC (LE16), absent when H < 22 + n; at 24 + n: optional extended area.
inline constexpr size_t kMinHeaderSize = 22;         // smallest H accepted
inline constexpr size_t kFixedBytesWithoutCrc = 20;  // H >= 20 + n
inline constexpr size_t kSizeFieldBytes = 2;         // the whole header is H + 2 bytes
// The Unix extended area: 'U', minor version, mtime LE32, mode LE16, uid LE16, gid LE16.
inline constexpr uint8_t kUnixAreaId = 'U';
inline constexpr size_t kUnixAreaSize = 12;
inline constexpr size_t kUnixAreaTimeOffset = 2;
// Mode, uid and gid are taken from the last 6 bytes of the area: the same place in the 12-byte
// form, and where OS-9/68k's longer form keeps them.
inline constexpr size_t kUnixAreaIdsFromEnd = 6;
}  // namespace h0

namespace h1 {
inline constexpr size_t kHeaderSizeOffset =
    0;                                        // H: offset 2 up to and including the first ext size
inline constexpr size_t kChecksumOffset = 1;  // covers the base header only
inline constexpr size_t kNameLengthOffset = 21;
inline constexpr size_t kNameOffset = 22;
// At 22 + n: data CRC (LE16); at 24 + n: OS id; H >= 25 + n.
inline constexpr size_t kMinHeaderSize = 25;  // smallest H accepted (empty name)
inline constexpr size_t kSizeFieldBytes = 2;  // base header is H + 2 bytes; first ext size at H
}  // namespace h1

namespace h2 {
inline constexpr size_t kHeaderSizeOffset = 0;  // T: LE16, the whole header incl. padding
inline constexpr size_t kDataCrcOffset = 21;
inline constexpr size_t kOsIdOffset = 23;
inline constexpr size_t kFirstExtSizeOffset = 24;  // LE16
inline constexpr size_t kBaseSize = 26;
inline constexpr size_t kMaxHeaderSize = 0xFFFF;
}  // namespace h2

namespace h3 {
inline constexpr size_t kWordSizeOffset = 0;  // LE16, always 4
inline constexpr uint16_t kWordSize = 4;
inline constexpr size_t kDataCrcOffset = 21;
inline constexpr size_t kOsIdOffset = 23;
inline constexpr size_t kHeaderSizeOffset = 24;    // T: LE32
inline constexpr size_t kFirstExtSizeOffset = 28;  // LE32
inline constexpr size_t kBaseSize = 32;
// Level-3 sizes are 32 bits wide; we refuse headers above this so that garbage cannot make us
// allocate gigabytes. Real ones are well under a kilobyte.
inline constexpr size_t kMaxHeaderSize = 1 << 20;
}  // namespace h3

// An extended header is [type][body][size of the next one]; the preceding size field counts
// all three parts. Sizes are LE16 (levels 1 and 2) or LE32 (level 3).
namespace ext {
inline constexpr uint8_t kHeaderCrc = 0x00;  // LE16 CRC of the whole header, then extras
inline constexpr uint8_t kFileName = 0x01;   // raw bytes
inline constexpr uint8_t kDirectory = 0x02;  // components separated by 0xFF
inline constexpr uint8_t kComment = 0x3F;
inline constexpr uint8_t kMsdosAttribute = 0x40;  // LE16
inline constexpr uint8_t kWindowsTimes = 0x41;    // 3 x LE64 FILETIME: creation, write, access
inline constexpr uint8_t kLargeSizes = 0x42;      // LE64 packed, LE64 original
inline constexpr uint8_t kUtf16FileName = 0x44;
inline constexpr uint8_t kUtf16Directory = 0x45;  // 0xFFFF separates components
inline constexpr uint8_t kCodePage = 0x46;        // LE32 Windows code page
inline constexpr uint8_t kUnixMode = 0x50;        // LE16 st_mode
inline constexpr uint8_t kUnixIds = 0x51;         // LE16 gid, then LE16 uid
inline constexpr uint8_t kUnixGroupName = 0x52;
inline constexpr uint8_t kUnixUserName = 0x53;
inline constexpr uint8_t kUnixTime = 0x54;          // LE32 Unix seconds
inline constexpr uint8_t kOs2Attributes = 0x7F;     // level 3: attr, mode, gid, uid (LE16 each) ...
inline constexpr uint8_t kUnixAttributes32 = 0xFF;  // level 3: mode, gid, uid (LE32 each) ...

inline constexpr uint8_t kPathSeparator = 0xFF;
inline constexpr size_t kHeaderCrcBodySize = 2;
inline constexpr size_t kLargeSizesBodySize = 16;
inline constexpr size_t kWindowsTimesBodySize = 24;
// Type byte + next-size field, the smallest size an ext header can announce.
inline constexpr size_t kOverhead16 = 3;
inline constexpr size_t kOverhead32 = 5;
}  // namespace ext

// OS identifiers (byte after the data CRC at levels 1..3).
namespace os {
inline constexpr uint8_t kMsdos = 'M';
inline constexpr uint8_t kUnix = 'U';
inline constexpr uint8_t kAmiga = 'A';
inline constexpr uint8_t kOs9_68k = 'K';
inline constexpr uint8_t kGeneric = 0x00;
}  // namespace os

// MS-DOS attribute bits.
namespace dos_attr {
inline constexpr uint8_t kReadOnly = 0x01;
inline constexpr uint8_t kHidden = 0x02;
inline constexpr uint8_t kSystem = 0x04;
inline constexpr uint8_t kVolumeLabel = 0x08;
inline constexpr uint8_t kDirectory = 0x10;
inline constexpr uint8_t kArchive = 0x20;
}  // namespace dos_attr

// Unix file type bits of st_mode, as stored in ext 0x50 (values fixed by the format, not by the
// host's <sys/stat.h>).
namespace unix_mode {
inline constexpr uint16_t kTypeMask = 0170000;
inline constexpr uint16_t kRegular = 0100000;
inline constexpr uint16_t kDirectory = 0040000;
inline constexpr uint16_t kSymlink = 0120000;
inline constexpr uint16_t kOwnerWrite = 0200;
}  // namespace unix_mode

namespace method {
inline constexpr std::string_view kStored = IdOf(Method::kLh0);
inline constexpr std::string_view kDirectory = IdOf(Method::kLhd);  // also symbolic links
inline constexpr std::string_view kLh5 = IdOf(Method::kLh5);
inline constexpr std::string_view kLh6 = IdOf(Method::kLh6);
inline constexpr std::string_view kLh7 = IdOf(Method::kLh7);
}  // namespace method

// Methods of the LHA family and its relatives (LArc, PMarc) that a scan for the first header
// accepts: the ids of common/methods.h.
inline bool IsKnownMethod(std::string_view id) {
  return FindMethodId(id).has_value();
}

}  // namespace lha::format
