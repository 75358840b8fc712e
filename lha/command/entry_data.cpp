#include "command/entry_data.h"

#include <vector>

#include "codec/codec.h"
#include "command/archive_file.h"
#include "command/archive_io.h"
#include "common/error.h"
#include "format/archive_reader.h"
#include "format/crc16.h"
#include "platform/winpath.h"

namespace lha::command {
namespace {

std::optional<codec::Method> DecodableMethod(const format::EntryHeader& entry) {
  const auto m = codec::FindMethod(entry.method_id());
  if (!m || format::IsLharkMethod(entry) || !codec::Info(*m).decodable) return std::nullopt;
  return m;
}

}  // namespace

bool EntrySelected(const CommandLine& cmd, const format::EntryHeader& entry) {
  if (cmd.names.empty()) return true;
  const std::string whole = entry.JoinedPath('\\');
  const std::string name = entry.path.empty() ? std::string() : entry.path.back();
  for (const auto& n : cmd.names) {
    std::string pattern = n.name;
    for (auto& c : pattern)
      c = c == '/' ? '\\' : c;
    const bool has_folder = pattern.find('\\') != std::string::npos;
    if (platform::winpath::MatchWildcard(pattern, has_folder ? whole : name)) return true;
  }
  return false;
}

bool CanUnpack(const format::EntryHeader& entry) {
  return DecodableMethod(entry).has_value();
}

uint64_t DataSize(const format::EntryHeader& entry) {
  return entry.kind == format::EntryKind::kFile ? entry.original_size : 0;
}

void TellTotal(RandomAccessSource& archive, const CommandLine& cmd, Progress& progress) {
  if (!progress.Shown()) return;
  uint64_t total = 0;
  try {
    format::ArchiveReader reader(archive, &SystemNames());  // names as patterns see them
    while (true) {
      std::optional<format::EntryHeader> e;
      try {
        e = reader.Next();
      } catch (const Error&) {
        if (reader.failed()) return;
        continue;  // an entry refused alone holds no data anyone unpacks
      }
      if (!e) break;
      if (EntrySelected(cmd, *e)) total += DataSize(*e);
    }
  } catch (const Error&) {
    return;
  }
  progress.Total(total);
}

void UnpackEntry(RandomAccessSource& archive, const format::EntryHeader& entry,
                 const std::function<void(std::span<const uint8_t>)>& out) {
  if (entry.kind != format::EntryKind::kFile) return;
  const auto method = DecodableMethod(entry);
  if (!method)
    throw Error(UNLHA_ERROR_METHOD,
                "method " + std::string(entry.method_id()) + " cannot be unpacked");
  format::PackedDataSource packed(archive, entry.data_offset, entry.packed_size);
  auto decoder = codec::MakeDecoder(*method, packed, entry.original_size);
  format::Crc16 crc;
  const std::span<uint8_t> buf = TransferBuffer();
  uint64_t total = 0;
  while (size_t n = decoder->Read(buf)) {
    const std::span<const uint8_t> chunk(buf.data(), n);
    crc.Update(chunk);
    out(chunk);
    total += n;
  }
  if (total != entry.original_size)
    throw Error(UNLHA_ERROR_HUFFMAN_CODE, "the data ends before the original size");
  if (entry.has_data_crc && crc.value() != entry.data_crc)
    throw Error(UNLHA_ERROR_FILE_CRC, "the data fails its CRC");
}

}  // namespace lha::command
