// CRC-16/ARC (reflected polynomial 0xA001, initial value 0, no final XOR): the checksum of both
// the original file data (the header's data CRC) and of whole headers (extended header 0x00).
#pragma once

#include <cstdint>
#include <span>

namespace lha::format {

// Incremental: feed the data in any number of pieces; value() is the CRC of all of it so far.
class Crc16 {
 public:
  Crc16() = default;
  explicit Crc16(uint16_t start) : crc_(start) {}
  void Update(std::span<const uint8_t> data);
  uint16_t value() const { return crc_; }

 private:
  uint16_t crc_ = 0;
};

// CRC of one buffer.
uint16_t Crc16Of(std::span<const uint8_t> data);

}  // namespace lha::format
