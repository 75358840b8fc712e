#include "format/crc16.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace lha::format {
namespace {

std::vector<uint8_t> Ascii(std::string_view s) {
  return {s.begin(), s.end()};
}

TEST(Crc16, CatalogueCheckValue) {
  EXPECT_EQ(Crc16Of(Ascii("123456789")), 0xBB3D);
}

TEST(Crc16, SingleByteGivesTheTableEntry) {
  const uint8_t one[] = {0x01};
  EXPECT_EQ(Crc16Of(one), 0xC0C1);
}

TEST(Crc16, ZeroBytesOfAnyLengthGiveZero) {
  EXPECT_EQ(Crc16Of(std::vector<uint8_t>(100000, 0)), 0);
  EXPECT_EQ(Crc16Of({}), 0);
}

TEST(Crc16, IncrementalEqualsWholeForEverySplit) {
  const std::vector<uint8_t> data = Ascii("The quick brown fox jumps over the lazy dog");
  const uint16_t whole = Crc16Of(data);
  for (size_t split = 0; split <= data.size(); ++split) {
    Crc16 crc;
    crc.Update(std::span<const uint8_t>(data).first(split));
    crc.Update(std::span<const uint8_t>(data).subspan(split));
    EXPECT_EQ(crc.value(), whole) << "split at " << split;
  }
}

// A level-2 header written by jLHA (rep.txt, -lh7-): its ext 0x00 holds 0x7DB6, the CRC of the
// whole header with those two bytes zeroed.
TEST(Crc16, MatchesTheHeaderCrcOfARealArchive) {
  std::vector<uint8_t> header = {0x29, 0x00, 0x2D, 0x6C, 0x68, 0x37, 0x2D, 0x25, 0x00, 0x00, 0x00,
                                 0xC8, 0x00, 0x00, 0x00, 0xF2, 0x2A, 0xE7, 0x65, 0x20, 0x02, 0x2B,
                                 0x41, 0x00, 0x05, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x01, 0x72,
                                 0x65, 0x70, 0x2E, 0x74, 0x78, 0x74, 0x00, 0x00};
  EXPECT_EQ(Crc16Of(header), 0x7DB6);
}

}  // namespace
}  // namespace lha::format

namespace lha::format {
namespace {

// The definition, one bit at a time.
uint16_t BitwiseCrc16(const std::vector<uint8_t>& data) {
  uint16_t crc = 0;
  for (uint8_t b : data) {
    crc ^= b;
    for (int i = 0; i < 8; ++i)
      crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : crc >> 1;
  }
  return crc;
}

TEST(Crc16, AgreesWithTheBitwiseDefinitionAtEveryLength) {
  std::vector<uint8_t> data;
  uint32_t x = 2463534242u;
  for (size_t length = 0; length < 300; ++length) {
    EXPECT_EQ(Crc16Of(data), BitwiseCrc16(data)) << length;
    // Any split of the data: the CRCs of the two pieces combine to the CRC of the whole.
    const size_t cut = length ? x % (length + 1) : 0;
    const std::span<const uint8_t> all(data);
    EXPECT_EQ(Crc16Combine(Crc16Of(all.first(cut)), Crc16Of(all.subspan(cut)), length - cut),
              BitwiseCrc16(data))
        << length << " cut at " << cut;
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    data.push_back(static_cast<uint8_t>(x));
  }
}

}  // namespace
}  // namespace lha::format
