// Slow: more than 4 GiB through -lh5- and back, streaming, so that every size and count on the
// way is 64-bit. Built with -DQUILLORY_SLOW_TESTS=ON, labelled "slow".
#include <gtest/gtest.h>

#include "codec_test_support.h"

namespace lha::codec::testing {
namespace {

constexpr uint64_t kSize = (uint64_t{1} << 32) + 12345;

// Deterministic content: mostly runs (fast to compress) with a little noise every 64 KiB.
void Generate(uint64_t offset, std::span<uint8_t> out) {
  for (size_t i = 0; i < out.size(); ++i) {
    uint64_t at = offset + i;
    uint64_t mix = (at >> 16) * 0x9E3779B97F4A7C15ull;
    out[i] = (at & 0xFFFF) < 32 ? static_cast<uint8_t>(mix >> ((at & 7) * 8))
                                : uint8_t((at >> 16) & 0xFF);
  }
}

class Generated : public lha::ByteSource {
 public:
  size_t Read(std::span<uint8_t> buf) override {
    size_t n = static_cast<size_t>(std::min<uint64_t>(buf.size(), kSize - pos_));
    Generate(pos_, buf.first(n));
    pos_ += n;
    return n;
  }

 private:
  uint64_t pos_ = 0;
};

TEST(HugeStream, MoreThanFourGiBRoundTrips) {
  MemorySink packed;
  auto enc = MakeEncoder(Method::kLh5, packed, {1});
  Generated src;
  Bytes buf(1 << 20);
  while (size_t n = src.Read(buf))
    enc->Write(std::span<const uint8_t>(buf.data(), n));
  enc->Finish();
  ASSERT_EQ(enc->packed_size(), packed.bytes.size());

  MemorySource in(packed.bytes);
  auto dec = MakeDecoder(Method::kLh5, in, kSize);
  Bytes expect(1 << 20);
  uint64_t total = 0;
  while (size_t n = dec->Read(buf)) {
    Generate(total, std::span(expect).first(n));
    ASSERT_TRUE(std::equal(buf.begin(), buf.begin() + n, expect.begin())) << "at " << total;
    total += n;
  }
  EXPECT_EQ(total, kSize);
}

}  // namespace
}  // namespace lha::codec::testing
