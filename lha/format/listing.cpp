#include "format/listing.h"

#include <bit>

#include "format/layout.h"

namespace lha::format {
namespace {

// (sum + addend) mod divisor for operands below divisor, counting a wrap in *quotient: the sum
// itself may not fit 64 bits.
uint64_t AddModulo(uint64_t sum, uint64_t addend, uint64_t divisor, uint64_t* quotient) {
  if (sum >= divisor - addend) {
    ++*quotient;
    return sum - (divisor - addend);
  }
  return sum + addend;
}

// packed * 1000 / original, rounded down and capped at UINT64_MAX. The product of two 64-bit
// sizes needs more than 64 bits, and 32-bit targets have no wider integer type: the remainder's
// share is built bit by bit from 1000 (Horner's rule), every step kept below the divisor.
uint64_t PerMille(uint64_t packed, uint64_t original) {
  constexpr uint64_t kScale = 1000;
  const uint64_t whole = packed / original;
  const uint64_t remainder = packed % original;
  uint64_t fraction = 0;  // < kScale
  uint64_t partial = 0;   // remainder * (the bits of kScale so far) mod original
  for (int bit = std::bit_width(kScale) - 1; bit >= 0; --bit) {
    fraction *= 2;
    partial = AddModulo(partial, partial, original, &fraction);
    if ((kScale >> bit) & 1) partial = AddModulo(partial, remainder, original, &fraction);
  }
  if (whole > (UINT64_MAX - fraction) / kScale) return UINT64_MAX;
  return whole * kScale + fraction;
}

}  // namespace

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
  if (entry.original_size != 0)
    v.ratio_per_mille = PerMille(entry.packed_size, entry.original_size);
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
