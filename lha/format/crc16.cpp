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

namespace {

// The CRC register as a vector over GF(2): processing one zero bit is a linear map, and the map
// for n zero bytes is a power of the map for one, found by squaring.
using Matrix = std::array<uint16_t, 16>;  // column i: the image of bit i

uint16_t Times(const Matrix& m, uint16_t v) {
  uint16_t out = 0;
  for (int i = 0; v; ++i, v >>= 1)
    if (v & 1) out ^= m[static_cast<size_t>(i)];
  return out;
}

Matrix Square(const Matrix& m) {
  Matrix out{};
  for (size_t i = 0; i < 16; ++i)
    out[i] = Times(m, m[i]);
  return out;
}

}  // namespace

uint16_t Crc16Combine(uint16_t crc_a, uint16_t crc_b, uint64_t length_b) {
  // CRC-16/ARC starts from 0 and is linear, so crc(A B) = crc(A followed by |B| zero bytes) ^
  // crc(B): A's register is carried through as many zero bytes as B has. A zero register stays
  // zero, which makes a file's first piece (most files' only one) free.
  if (crc_a == 0) return crc_b;
  Matrix one_bit{};
  one_bit[0] = 0xA001;  // the reflected register shifts right; the low bit feeds the polynomial
  for (size_t i = 1; i < 16; ++i)
    one_bit[i] = static_cast<uint16_t>(1u << (i - 1));
  Matrix step = Square(Square(Square(one_bit)));  // one zero byte
  uint16_t carried = crc_a;
  for (uint64_t n = length_b; n; n >>= 1) {
    if (n & 1) carried = Times(step, carried);
    step = Square(step);
  }
  return static_cast<uint16_t>(carried ^ crc_b);
}

}  // namespace lha::format
