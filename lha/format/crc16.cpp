#include "format/crc16.h"

#include <array>

namespace lha::format {
namespace {

using Table = std::array<uint16_t, 256>;

// Eight tables, so that eight bytes cost eight lookups and no dependency chain between them: the
// CRC of everything unpacked must keep up with the decoder.
constexpr std::array<Table, 8> MakeTables() {
  std::array<Table, 8> t{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t r = static_cast<uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit)
      r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0xA001) : r >> 1;
    t[0][i] = r;
  }
  for (size_t k = 1; k < 8; ++k)
    for (unsigned i = 0; i < 256; ++i)
      t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  return t;
}

constexpr std::array<Table, 8> kTables = MakeTables();

}  // namespace

void Crc16::Update(std::span<const uint8_t> data) {
  uint16_t crc = crc_;
  const uint8_t* p = data.data();
  size_t n = data.size();
  for (; n >= 8; n -= 8, p += 8) {
    crc = static_cast<uint16_t>(kTables[7][(crc ^ p[0]) & 0xFF] ^
                                kTables[6][((crc >> 8) ^ p[1]) & 0xFF] ^ kTables[5][p[2]] ^
                                kTables[4][p[3]] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^
                                kTables[1][p[6]] ^ kTables[0][p[7]]);
  }
  for (; n > 0; --n, ++p)
    crc = static_cast<uint16_t>((crc >> 8) ^ kTables[0][(crc ^ *p) & 0xFF]);
  crc_ = crc;
}

uint16_t Crc16Of(std::span<const uint8_t> data) {
  Crc16 crc;
  crc.Update(data);
  return crc.value();
}

}  // namespace lha::format
