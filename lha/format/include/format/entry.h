// One archive entry's header as read from an archive (any level) or as handed to the level-2
// writer. Names are as the reader's decoder gives them (UTF-8 in the library), or raw bytes as
// stored when it has none; the writer stores the bytes it is given.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lha::format {

enum class EntryKind { kFile, kDirectory, kSymlink };

struct WindowsTimes {
  uint64_t creation = 0;  // FILETIME
  uint64_t last_write = 0;
  uint64_t last_access = 0;
};

struct EntryHeader {
  std::array<char, 5> method{'-', 'l', 'h', '0', '-'};  // as stored, e.g. "-lh5-"
  uint64_t packed_size = 0;    // bytes of packed data after the header (ext 0x42 applied)
  uint64_t original_size = 0;  // bytes after decoding
  uint16_t data_crc = 0;       // CRC-16 of the original bytes
  bool has_data_crc = true;    // false for the old level-0 form without the field
  int level = 2;               // 0..3
  uint8_t os_id = 0;           // level 0: 'U' when the Unix area is present, else 0

  // Where the entry lives and what it is. `path` holds the components in order, the last one
  // being the entry's own name; separators (0xFF, '/', '\') are gone, empty components dropped.
  // `absolute` tells that the stored path began with a separator. "." and ".." components are
  // kept as stored: refusing them is the extractor's job.
  EntryKind kind = EntryKind::kFile;
  std::vector<std::string> path;
  bool absolute = false;
  std::string symlink_target;  // kSymlink only; components joined with '/', as stored
  std::string comment;         // level 0/1: bytes after a NUL in the name field (MorphOS)

  // Metadata, present only when the header carries it.
  std::optional<uint16_t> unix_mode;  // st_mode incl. type bits (ext 0x50, level-0 Unix area)
  std::optional<uint16_t> unix_uid;
  std::optional<uint16_t> unix_gid;
  std::optional<int64_t> unix_mtime;          // L2/L3 base header, ext 0x54, level-0 Unix area
  std::optional<uint32_t> dos_time;           // L0/L1 bytes 15..18 as stored (writer's local time)
  std::optional<uint8_t> msdos_attribute;     // L0 byte 19, else low byte of ext 0x40
  std::optional<WindowsTimes> windows_times;  // ext 0x41
  std::optional<uint32_t> code_page;          // ext 0x46
  std::u16string utf16_name;                  // ext 0x44, empty if absent
  std::u16string utf16_directory;             // ext 0x45, separators kept as stored

  // Position in the archive.
  uint64_t header_offset = 0;
  uint64_t header_size = 0;  // everything before the data, ext headers and padding included
  uint64_t data_offset = 0;
  bool has_header_crc = false;  // ext 0x00 was present (and matched)

  std::string_view method_id() const { return std::string_view(method.data(), method.size()); }
  bool IsMethod(std::string_view id) const { return method_id() == id; }
  // The path with `separator` between components (no leading separator even if absolute).
  std::string JoinedPath(char separator = '/') const;
};

// LHARK (OS id ' ') stores its own, incompatible algorithm under "-lh7-": such an entry cannot be
// decoded as -lh7- although the method id says so.
bool IsLharkMethod(const EntryHeader& entry);

// Stored path bytes with every separator (0xFF, '/', '\') turned into '/'. With
// `shift_jis_guard`, a '\' that is the second byte of a Shift_JIS double-byte character (lead
// bytes 0x81..0x9F, 0xE0..0xFC) is part of the name, not a separator.
std::string NormalizeStoredPath(std::string_view bytes, bool shift_jis_guard);

// Where a stored "link|target" divides, in a path whose separators are '/' already: the first
// bar that is not, with `shift_jis_guard`, the second byte of a Shift_JIS character (0x7C is a
// trail byte there: 0x837C is "ポ"). npos when there is none.
size_t FindLinkBar(std::string_view joined, bool shift_jis_guard);

// Splits a '/'-separated path into its non-empty components, appending them to `out`. Returns
// true if the path began with '/'.
bool SplitPath(std::string_view path, std::vector<std::string>& out);

}  // namespace lha::format
