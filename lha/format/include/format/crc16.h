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

// The CRC of A followed by B, from the CRC of A, the CRC of B and B's length: pieces of one
// file checked apart (at the same time, on other threads) give the CRC of the whole.
uint16_t Crc16Combine(uint16_t crc_a, uint16_t crc_b, uint64_t length_b);

}  // namespace lha::format
