#include "format/crc16.h"

#include <array>

namespace lha::format {
namespace {

constexpr std::array<uint16_t, 256> MakeTable() {
  std::array<uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t r = static_cast<uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit)
      r = (r & 1) ? static_cast<uint16_t>((r >> 1) ^ 0xA001) : r >> 1;
    table[i] = r;
  }
  return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

}  // namespace

void Crc16::Update(std::span<const uint8_t> data) {
  uint16_t crc = crc_;
  for (uint8_t byte : data)
    crc = static_cast<uint16_t>((crc >> 8) ^ kTable[(crc ^ byte) & 0xFF]);
  crc_ = crc;
}

uint16_t Crc16Of(std::span<const uint8_t> data) {
  Crc16 crc;
  crc.Update(data);
  return crc.value();
}

}  // namespace lha::format
