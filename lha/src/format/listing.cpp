#include "format/listing.h"

#include "format/layout.h"

namespace lha::format {

uint8_t EffectiveMsdosAttribute(const EntryHeader& entry) {
  // Level 0 always has an attribute byte; Unix writers set it to 0x20 or 0x10 whatever the
  // permissions and keep the real ones in the Unix area, so there the mode speaks.
  const bool level0_unix_area = entry.level == 0 && entry.unix_mode;
  if (entry.msdos_attribute && !level0_unix_area) return *entry.msdos_attribute;
  if (entry.unix_mode) {
    const uint16_t type = *entry.unix_mode & unix_mode::kTypeMask;
    if (type == unix_mode::kDirectory) return dos_attr::kDirectory;
    uint8_t attr = dos_attr::kArchive;
    if (type == unix_mode::kRegular && !(*entry.unix_mode & unix_mode::kOwnerWrite))
      attr |= dos_attr::kReadOnly;
    return attr;
  }
  return entry.kind == EntryKind::kDirectory ? dos_attr::kDirectory : dos_attr::kArchive;
}

std::optional<int64_t> ModificationTime(const EntryHeader& entry, const LocalTime& local) {
  if (entry.unix_mtime) return *entry.unix_mtime;
  if (entry.dos_time) {
    if (const std::optional<CivilTime> civil = CivilFromDos(*entry.dos_time))
      return local.from_local(*civil);
  }
  return std::nullopt;
}

ListingValues DeriveListing(const EntryHeader& entry, const LocalTime& local, char separator) {
  ListingValues v;
  v.method = std::string(entry.method_id());
  v.crc = entry.has_data_crc ? entry.data_crc : 0;
  if (entry.original_size != 0) {
    // 128-bit product: 64-bit sizes times 1000 overflow 64 bits.
    const unsigned __int128 scaled = static_cast<unsigned __int128>(entry.packed_size) * 1000;
    const unsigned __int128 ratio = scaled / entry.original_size;
    v.ratio_per_mille = ratio > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(ratio);
  }
  uint32_t dos = 0;
  if (entry.unix_mtime) {
    dos = DosFromCivil(local.to_local(*entry.unix_mtime));
  } else if (entry.dos_time && CivilFromDos(*entry.dos_time)) {
    dos = *entry.dos_time;
  }
  v.dos_date = DosDatePart(dos);
  v.dos_time = DosTimePart(dos);

  v.attribute = EffectiveMsdosAttribute(entry);
  const uint8_t a = v.attribute;
  v.attribute_text = {(a & dos_attr::kDirectory) ? 'D'
                      : (a & dos_attr::kArchive) ? 'A'
                                                 : '-',
                      (a & dos_attr::kSystem) ? 'S' : '-', (a & dos_attr::kHidden) ? 'H' : '-',
                      (a & dos_attr::kReadOnly) ? 'R' : '-'};

  if (entry.absolute) v.name += separator;
  v.name += entry.JoinedPath(separator);
  if (entry.kind == EntryKind::kDirectory && !entry.path.empty()) v.name += separator;
  if (entry.kind == EntryKind::kSymlink) {
    for (char ch : entry.symlink_target)
      v.link_target += ch == '/' ? separator : ch;
  }
  return v;
}

}  // namespace lha::format
