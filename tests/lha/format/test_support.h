// Helpers shared by the format-layer tests: reading files, walking an archive to its end, and
// assembling headers byte by byte for cases our own writer never produces.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "format/archive_reader.h"
#include "format/crc16.h"
#include "format/entry.h"
#include "format/memory_source.h"

namespace lha::format::testing {

using Bytes = std::vector<uint8_t>;

inline Bytes ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), {});
}

inline Bytes ToBytes(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

inline void Append(Bytes& out, const Bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}

inline void PutLe(Bytes& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

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

// One extended header for the level 1/2 builders: type and body.
struct RawExt {
  uint8_t type;
  Bytes body;
};

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
  uint8_t sum = 0;
  for (uint8_t b : body)
    sum = static_cast<uint8_t>(sum + b);
  return WithSizeAndSum(body, sum);
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
  uint8_t sum = 0;
  for (uint8_t b : body)
    sum = static_cast<uint8_t>(sum + b);
  Bytes out = WithSizeAndSum(body, sum);
  const size_t chain_start = out.size();
  Append(out, chain);
  if (has_crc && fill_header_crc) {
    const uint16_t c = Crc16Of(out);
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
    const uint16_t c = Crc16Of(out);
    out[*crc_at] = static_cast<uint8_t>(c);
    out[*crc_at + 1] = static_cast<uint8_t>(c >> 8);
  }
  return out;
}

inline RawExt NameExt(std::string_view name) {
  return {0x01, ToBytes(name)};
}
inline RawExt CrcExt() {
  return {0x00, {0, 0}};
}

}  // namespace lha::format::testing
