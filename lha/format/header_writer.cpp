#include "format/header_writer.h"

#include <algorithm>
#include <stdexcept>

#include "common/error.h"
#include "format/bytes.h"
#include "format/crc16.h"
#include "format/layout.h"
#include "platform/text.h"

namespace lha::format {
namespace {

struct Ext {
  uint8_t type;
  std::string body;
};

std::string Le16Bytes(uint16_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string Le32Bytes(uint32_t v) {
  return Le16Bytes(static_cast<uint16_t>(v)) + Le16Bytes(v >> 16);
}

bool IsAscii(const NewEntry& entry) {
  const auto ascii = [](std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
  };
  return ascii(entry.symlink_target) && std::all_of(entry.path.begin(), entry.path.end(), ascii);
}

bool IsUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<uint8_t>(s[i]);
    size_t len;
    uint32_t cp;
    if (b < 0x80) {
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      len = 2, cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      len = 3, cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      len = 4, cp = b & 0x07;
    } else {
      return false;
    }
    if (s.size() - i < len) return false;
    for (size_t k = 1; k < len; ++k) {
      const auto c = static_cast<uint8_t>(s[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = cp << 6 | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += len;
  }
  return true;
}

[[noreturn]] void Unrepresentable(const std::string& what) {
  throw Error(UNLHA_ERROR_UNKNOWN_TYPE, what);
}

void CheckComponent(const std::string& c) {
  if (c.empty()) throw std::invalid_argument("empty path component");
  for (char ch : c) {
    if (ch == '/' || ch == '\0') throw std::invalid_argument("path component with '/' or NUL");
    if (static_cast<uint8_t>(ch) == ext::kPathSeparator)
      Unrepresentable("name with a 0xFF byte cannot be stored");
  }
}

// Stored directory bytes: each component followed by 0xFF.
std::string DirectoryBytes(const std::vector<std::string>& parts, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    out += parts[i];
    out += static_cast<char>(ext::kPathSeparator);
  }
  return out;
}

// The chain positions PatchSizesAndCrc needs, found by walking our own header.
struct Level2Layout {
  size_t crc_body = 0;    // offset of the ext 0x00 body
  size_t large_body = 0;  // offset of the ext 0x42 body, 0 if absent
};

Level2Layout LocateFields(std::span<const uint8_t> header) {
  if (header.size() < h2::kBaseSize || header[kLevelOffset] != 2 ||
      Le16(header, h2::kHeaderSizeOffset) != header.size())
    throw std::invalid_argument("not a level-2 header");
  Level2Layout layout;
  bool have_crc = false;
  size_t cursor = h2::kBaseSize;
  size_t next = Le16(header, h2::kFirstExtSizeOffset);
  while (next != 0) {
    if (next < ext::kOverhead16 || next > header.size() - cursor)
      throw std::invalid_argument("malformed extended header chain");
    if (header[cursor] == ext::kHeaderCrc && next >= ext::kOverhead16 + ext::kHeaderCrcBodySize) {
      layout.crc_body = cursor + 1;
      have_crc = true;
    }
    if (header[cursor] == ext::kLargeSizes && next >= ext::kOverhead16 + ext::kLargeSizesBodySize)
      layout.large_body = cursor + 1;
    cursor += next;
    next = Le16(header, cursor - 2);
  }
  if (!have_crc) throw std::invalid_argument("header without header CRC");
  return layout;
}

}  // namespace

uint8_t MsdosAttributeFor(const NewEntry& entry) {
  uint8_t attr = 0;
  if (entry.kind == EntryKind::kDirectory) {
    attr = dos_attr::kDirectory;
  } else {
    attr = dos_attr::kArchive;
    if (entry.kind == EntryKind::kFile && !(entry.unix_mode & unix_mode::kOwnerWrite))
      attr |= dos_attr::kReadOnly;
  }
  if (entry.hidden) attr |= dos_attr::kHidden;
  if (entry.system) attr |= dos_attr::kSystem;
  return attr;
}

std::vector<uint8_t> EncodeLevel2Header(const NewEntry& entry) {
  if (entry.path.empty()) throw std::invalid_argument("empty path");
  for (const std::string& c : entry.path)
    CheckComponent(c);

  std::string method = entry.method;
  uint16_t type_bits = unix_mode::kRegular;
  std::string dir, name;
  std::string link_path;  // a link's "link|target" with '/' separators, as readers see it
  const size_t n = entry.path.size();
  switch (entry.kind) {
    case EntryKind::kFile:
      if (method.size() != kMethodSize || method.front() != '-' || method.back() != '-' ||
          method == method::kDirectory)
        throw std::invalid_argument("bad method id for a file: " + method);
      dir = DirectoryBytes(entry.path, n - 1);
      name = entry.path.back();
      break;
    case EntryKind::kDirectory:
      method = method::kDirectory;
      type_bits = unix_mode::kDirectory;
      dir = DirectoryBytes(entry.path, n);
      break;
    case EntryKind::kSymlink: {
      method = method::kDirectory;
      type_bits = unix_mode::kSymlink;
      if (entry.symlink_target.empty()) throw std::invalid_argument("empty symbolic link target");
      for (const std::string& c : entry.path)
        if (c.find('|') != std::string::npos)
          Unrepresentable("symbolic link whose path contains '|' cannot be stored");
      for (char ch : entry.symlink_target)
        if (ch == '\0' || static_cast<uint8_t>(ch) == ext::kPathSeparator)
          Unrepresentable("symbolic link target with a NUL or 0xFF byte cannot be stored");
      // Stored as the path "link|target", split at its last '/' like any path, the way LHa
      // for UNIX does: readers join directory and name, then split at the first '|'.
      std::string full;
      for (size_t i = 0; i < n; ++i)
        full += (i ? "/" : "") + entry.path[i];
      full += '|';
      full += entry.symlink_target;
      link_path = full;
      const size_t slash = full.rfind('/');
      if (slash != std::string::npos) {
        dir = full.substr(0, slash + 1);
        name = full.substr(slash + 1);
        for (char& ch : dir)
          if (ch == '/') ch = static_cast<char>(ext::kPathSeparator);
      } else {
        name = full;
      }
      break;
    }
  }

  const uint8_t attr = MsdosAttributeFor(entry);
  // -lhd- already says "folder" to every reader: the attribute is written only where it adds to
  // what the method and mode say.
  const uint8_t implied_attr =
      entry.kind == EntryKind::kDirectory ? dos_attr::kDirectory : dos_attr::kArchive;
  const bool write_attr = attr != implied_attr;
  const bool large = entry.declared_size >= kLargeSizeThreshold;
  const bool declared_utf8 = entry.code_page == platform::kCodePageUtf8;
  bool utf8 = declared_utf8 && IsUtf8(entry.symlink_target);
  for (const std::string& c : entry.path)
    utf8 = utf8 && IsUtf8(c);
  // Readers take '\' for a separator wherever a path is stored, except (without a UTF-8 code
  // page) as the second byte of a Shift_JIS character: refuse names that would come back split.
  for (const std::string& c : entry.path)
    if (NormalizeStoredPath(c, !utf8) != c)
      Unrepresentable("name with a backslash cannot be stored: readers split it there");
  if (NormalizeStoredPath(entry.symlink_target, !utf8) != entry.symlink_target)
    Unrepresentable("link target with a backslash cannot be stored: readers split it there");
  // Nor where the bar would be read as the second half of a Shift_JIS character (a link whose
  // name ends in a byte such as Latin-1's 0xE9): the link would come back as a folder.
  if (!link_path.empty() &&
      FindLinkBar(link_path, !utf8) != link_path.size() - entry.symlink_target.size() - 1)
    Unrepresentable("link whose name ends in a Shift_JIS lead byte cannot be stored");

  std::vector<Ext> exts;
  exts.push_back({ext::kHeaderCrc, std::string(2, '\0')});
  exts.push_back({ext::kFileName, name});
  if (!dir.empty()) exts.push_back({ext::kDirectory, dir});
  if (large) exts.push_back({ext::kLargeSizes, std::string(ext::kLargeSizesBodySize, '\0')});
  if (write_attr) exts.push_back({ext::kMsdosAttribute, Le16Bytes(attr)});
  if (entry.os_id != os::kMsdos)
    exts.push_back({ext::kUnixMode, Le16Bytes(static_cast<uint16_t>(
                                        type_bits | (entry.unix_mode & ~unix_mode::kTypeMask)))});
  // Only what restores a file is kept: no owner ids (no extraction of ours sets them, and they
  // mean nothing on another system), and a code page only where a name needs one.
  if ((utf8 || !declared_utf8) && !IsAscii(entry))
    exts.push_back({ext::kCodePage, Le32Bytes(entry.code_page)});

  size_t total = h2::kBaseSize;
  for (const Ext& e : exts)
    total += ext::kOverhead16 + e.body.size();
  // A size whose low byte is 0 would start the header with the end marker; one more byte in
  // the header CRC's body (which readers ignore) avoids it without padding.
  if (total % 256 == 0) {
    exts.front().body.push_back('\0');
    ++total;
  }
  if (total > h2::kMaxHeaderSize) Unrepresentable("path too long for a header");

  std::vector<uint8_t> out(total, 0);
  PutLe16(out, h2::kHeaderSizeOffset, static_cast<uint16_t>(total));
  for (size_t i = 0; i < kMethodSize; ++i)
    out[kMethodOffset + i] = static_cast<uint8_t>(method[i]);
  const int64_t clamped = entry.mtime < 0 ? 0 : entry.mtime > 0xFFFFFFFF ? 0xFFFFFFFF : entry.mtime;
  PutLe32(out, kTimeOffset, static_cast<uint32_t>(clamped));
  out[kAttributeOffset] = kReservedAttributeByte;
  out[kLevelOffset] = 2;
  out[h2::kOsIdOffset] = entry.os_id;
  size_t size_field = h2::kFirstExtSizeOffset;
  size_t cursor = h2::kBaseSize;
  for (const Ext& e : exts) {
    const size_t size = ext::kOverhead16 + e.body.size();
    PutLe16(out, size_field, static_cast<uint16_t>(size));
    out[cursor] = e.type;
    std::copy(e.body.begin(), e.body.end(), out.begin() + static_cast<ptrdiff_t>(cursor) + 1);
    cursor += size;
    size_field = cursor - 2;  // left 0 for the last one: the end of the chain
  }
  PatchSizesAndCrc(out, 0, 0, 0);
  return out;
}

void PatchSizesAndCrc(std::span<uint8_t> header, uint64_t packed_size, uint64_t original_size,
                      uint16_t data_crc) {
  const Level2Layout layout = LocateFields(header);
  const bool large = packed_size > 0xFFFFFFFF || original_size > 0xFFFFFFFF;
  if (large && layout.large_body == 0)
    Unrepresentable("size of 4 GiB or more in a header without 64-bit size fields");
  PutLe32(header, kPackedSizeOffset, static_cast<uint32_t>(packed_size));
  PutLe32(header, kOriginalSizeOffset, static_cast<uint32_t>(original_size));
  PutLe16(header, h2::kDataCrcOffset, data_crc);
  if (layout.large_body != 0) {
    PutLe64(header, layout.large_body, packed_size);
    PutLe64(header, layout.large_body + 8, original_size);
  }
  PutLe16(header, layout.crc_body, 0);
  PutLe16(header, layout.crc_body, Crc16Of(header));
}

}  // namespace lha::format
