// Archives crafted for tests, for the cases our own commands never write: damaged headers,
// hostile names, links that lead out, methods we do not unpack.
//
// Two levels. Byte-level builders assemble a header of any level field by field, each field
// given by the test (Level0Header, Level1Header, Level23Header, with raw extended headers). Entry
// builders give whole entries as text (FileEntry, FolderEntry, LinkEntry: level-2 headers from
// our header writer; Level0Entry: a level-0 header laid out here), joined by ArchiveOf.
//
// CRCs are computed here, not by the library under test, so a crafted archive does not inherit
// the library's mistakes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format/entry.h"
#include "format/header_writer.h"

namespace testing_support {

using Bytes = std::vector<uint8_t>;

// --- Bytes ------------------------------------------------------------------------------------

inline Bytes ToBytes(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

inline std::string ToText(const Bytes& b) {
  return std::string(b.begin(), b.end());
}

inline void Append(Bytes& out, const Bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}

inline void PutLe(Bytes& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The `n`-byte little-endian number at `at` in `bytes` (throws std::out_of_range past the end).
inline uint64_t Le(const std::string& bytes, size_t at, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i)
    v = (v << 8) | static_cast<uint8_t>(bytes.at(at + i));
  return v;
}

// CRC-16 as LZH headers store it (reflected polynomial 0xA001, start 0), bit by bit.
inline uint16_t Crc16(std::span<const uint8_t> data) {
  uint16_t crc = 0;
  for (uint8_t b : data) {
    crc ^= b;
    for (int k = 0; k < 8; ++k)
      crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

inline uint16_t Crc16(std::string_view data) {
  return Crc16(std::span(reinterpret_cast<const uint8_t*>(data.data()), data.size()));
}

// --- Headers field by field -------------------------------------------------------------------

// One extended header for the level 1/2/3 builders: type and body.
struct RawExt {
  uint8_t type;
  Bytes body;
};

inline RawExt NameExt(std::string_view name) {
  return {0x01, ToBytes(name)};
}
// An ext 0x00 whose CRC the builders fill in.
inline RawExt CrcExt() {
  return {0x00, {0, 0}};
}

// A level-0/1 base header: size byte, checksum, body. (Built by push_back: g++ 12 sees an
// out-of-bounds copy, wrongly, when a two-byte initializer list is appended to.)
inline Bytes WithSizeAndSum(const Bytes& body, uint8_t sum) {
  Bytes out;
  out.reserve(2 + body.size());
  out.push_back(static_cast<uint8_t>(body.size()));
  out.push_back(sum);
  Append(out, body);
  return out;
}

inline uint8_t ByteSum(const Bytes& body) {
  uint8_t sum = 0;
  for (uint8_t b : body)
    sum = static_cast<uint8_t>(sum + b);
  return sum;
}

// Level 0: H = fixed part + name + CRC + `extended_area`; checksum computed.
inline Bytes Level0Header(std::string_view method, const Bytes& name, uint32_t packed,
                          uint32_t original, uint32_t dos_time, uint8_t attr, uint16_t crc,
                          const Bytes& extended_area = {}, bool with_crc = true) {
  Bytes body = ToBytes(method);
  PutLe(body, packed, 4);
  PutLe(body, original, 4);
  PutLe(body, dos_time, 4);
  body.push_back(attr);
  body.push_back(0);
  body.push_back(static_cast<uint8_t>(name.size()));
  Append(body, name);
  if (with_crc) PutLe(body, crc, 2);
  Append(body, extended_area);
  return WithSizeAndSum(body, ByteSum(body));
}

// Level 1: base header + ext chain; `skip` defaults to packed + chain size.
inline Bytes Level1Header(std::string_view method, const Bytes& name, uint64_t packed,
                          uint32_t original, uint32_t dos_time, uint16_t crc, uint8_t os_id,
                          const std::vector<RawExt>& exts, std::optional<uint32_t> skip = {},
                          bool fill_header_crc = true) {
  Bytes chain;
  std::vector<size_t> sizes;
  for (const RawExt& e : exts)
    sizes.push_back(3 + e.body.size());
  sizes.push_back(0);
  size_t crc_at = 0;
  bool has_crc = false;
  for (size_t i = 0; i < exts.size(); ++i) {
    chain.push_back(exts[i].type);
    if (exts[i].type == 0x00) {
      crc_at = chain.size();
      has_crc = true;
    }
    Append(chain, exts[i].body);
    PutLe(chain, sizes[i + 1], 2);
  }
  Bytes body = ToBytes(method);
  PutLe(body, skip ? *skip : static_cast<uint32_t>(packed + chain.size()), 4);
  PutLe(body, original, 4);
  PutLe(body, dos_time, 4);
  body.push_back(0x20);
  body.push_back(1);
  body.push_back(static_cast<uint8_t>(name.size()));
  Append(body, name);
  PutLe(body, crc, 2);
  body.push_back(os_id);
  PutLe(body, sizes[0], 2);
  Bytes out = WithSizeAndSum(body, ByteSum(body));
  const size_t chain_start = out.size();
  Append(out, chain);
  if (has_crc && fill_header_crc) {
    const uint16_t c = Crc16(out);
    out[chain_start + crc_at] = static_cast<uint8_t>(c);
    out[chain_start + crc_at + 1] = static_cast<uint8_t>(c >> 8);
  }
  return out;
}

// Level 2 or 3 with the given exts, `padding` zero bytes after the chain, and the header CRC
// filled into the first ext 0x00 if any.
inline Bytes Level23Header(int level, std::string_view method, uint32_t packed, uint32_t original,
                           uint32_t unix_time, uint16_t crc, uint8_t os_id,
                           const std::vector<RawExt>& exts, size_t padding = 0) {
  const int width = level == 3 ? 4 : 2;
  const size_t base = level == 3 ? 32 : 26;
  Bytes chain;
  std::vector<size_t> sizes;
  for (const RawExt& e : exts)
    sizes.push_back(1 + width + e.body.size());
  sizes.push_back(0);
  std::optional<size_t> crc_at;
  for (size_t i = 0; i < exts.size(); ++i) {
    chain.push_back(exts[i].type);
    if (exts[i].type == 0x00 && !crc_at) crc_at = base + chain.size();
    Append(chain, exts[i].body);
    PutLe(chain, sizes[i + 1], width);
  }
  const size_t total = base + chain.size() + padding;
  Bytes out;
  PutLe(out, level == 3 ? 4 : total, 2);
  Append(out, ToBytes(method));
  PutLe(out, packed, 4);
  PutLe(out, original, 4);
  PutLe(out, unix_time, 4);
  out.push_back(0x20);
  out.push_back(static_cast<uint8_t>(level));
  PutLe(out, crc, 2);
  out.push_back(os_id);
  if (level == 3) PutLe(out, total, 4);
  PutLe(out, sizes[0], width);
  Append(out, chain);
  out.resize(total, 0);
  if (crc_at) {
    const uint16_t c = Crc16(out);
    out[*crc_at] = static_cast<uint8_t>(c);
    out[*crc_at + 1] = static_cast<uint8_t>(c >> 8);
  }
  return out;
}

// --- Whole entries as text --------------------------------------------------------------------

// The time stamp of crafted entries, far from the MemEnv clock's.
constexpr int64_t kThen = 1650000000;

// One level-0 entry with its data stored as is (or declared under another method), named with
// whatever bytes `name` holds: absolute paths, "..", drive letters.
inline std::string Level0Entry(const std::string& name, const std::string& data,
                               const std::string& method = "-lh0-") {
  const auto size = static_cast<uint32_t>(data.size());
  constexpr uint32_t kDosTime = 0x52A63000;  // 2021-05-06 06:00:00, MS-DOS local time
  return ToText(Level0Header(method, ToBytes(name), size, size, kDosTime, 0x20, Crc16(data))) +
         data;
}

// The components of a '/'-separated path, as a level-2 header stores them.
inline std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> parts;
  lha::format::SplitPath(path, parts);
  return parts;
}

inline std::string Header(const lha::format::NewEntry& e) {
  return ToText(lha::format::EncodeLevel2Header(e));
}

// A file stored as is (-lh0-) under `path`.
inline std::string FileEntry(const std::string& path, const std::string& data, uint16_t mode = 0644,
                             int64_t mtime = kThen) {
  lha::format::NewEntry e;
  e.path = Components(path);
  e.method = "-lh0-";
  e.unix_mode = mode;
  e.mtime = mtime;
  e.declared_size = data.size();
  auto h = lha::format::EncodeLevel2Header(e);
  lha::format::PatchSizesAndCrc(h, data.size(), data.size(), Crc16(data));
  return ToText(h) + data;
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

// A symbolic link `path` -> `target`, the target stored exactly as given.
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

// The entries in order and the end-of-archive byte.
inline std::string ArchiveOf(const std::vector<std::string>& entries) {
  std::string out;
  for (const auto& e : entries)
    out += e;
  return out + std::string(1, '\0');
}

// Where the second entry of an archive we wrote (level-2 headers, no prefix) begins.
inline size_t SecondHeaderOffset(const std::string& archive) {
  return static_cast<size_t>(Le(archive, 0, 2) + Le(archive, 7, 4));
}

}  // namespace testing_support
