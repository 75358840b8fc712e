// Encode-then-decode for every encodable method over inputs chosen for their edges.
#include <gtest/gtest.h>

#include "codec_test_support.h"

namespace lha::codec::testing {
namespace {

struct Input {
  std::string name;
  Bytes data;
};

std::vector<Input> Inputs() {
  std::vector<Input> v;
  v.push_back({"empty", {}});
  v.push_back({"one_byte", {'x'}});
  v.push_back({"two_bytes", {0, 0xFF}});
  v.push_back({"three_same", {7, 7, 7}});
  Bytes all(256);
  for (int i = 0; i < 256; ++i)
    all[i] = static_cast<uint8_t>(i);
  v.push_back({"all_byte_values", all});
  Bytes all4;
  for (int r = 0; r < 4; ++r)
    all4.insert(all4.end(), all.begin(), all.end());
  v.push_back({"all_byte_values_x4", all4});
  v.push_back({"zeros_1M", Bytes(1 << 20, 0)});
  v.push_back({"run_257", Bytes(257, 'a')});
  v.push_back({"random_100k", RandomBytes(100000, 1)});
  v.push_back({"random_small_alphabet", RandomBytes(200000, 2, 4)});
  v.push_back({"text_300k", TextLike(300000, 3)});
  // Window edges: a 64-byte random phrase repeated at distances just inside and outside each
  // window, so matches of distance window - 1, window and window + 1 are on offer.
  for (unsigned bits : {13u, 15u, 16u}) {
    for (int delta : {-2, -1, 0, 1}) {
      size_t gap = (size_t{1} << bits) + delta - 64;
      Bytes phrase = RandomBytes(64, 10 + bits);
      Bytes d = phrase;
      Bytes filler = RandomBytes(gap, 20 + bits);
      d.insert(d.end(), filler.begin(), filler.end());
      d.insert(d.end(), phrase.begin(), phrase.end());
      d.insert(d.end(), phrase.begin(), phrase.end());
      v.push_back({"window_" + std::to_string(bits) + "_" + std::to_string(delta + 2), d});
    }
  }
  // Block edges: inputs that parse into about 65,535 literals and a few more.
  for (size_t n : {65534u, 65535u, 65536u, 65537u, 3u * 65535u + 1}) {
    v.push_back({"literals_" + std::to_string(n), RandomBytes(n, static_cast<uint32_t>(n), 200)});
  }
  // Statistics that change mid-stream, for the block cutter.
  Bytes mixed = TextLike(150000, 4);
  Bytes rnd = RandomBytes(50000, 5);
  mixed.insert(mixed.end(), rnd.begin(), rnd.end());
  Bytes zeros(80000, 0);
  mixed.insert(mixed.end(), zeros.begin(), zeros.end());
  Bytes text2 = TextLike(100000, 6);
  mixed.insert(mixed.end(), text2.begin(), text2.end());
  v.push_back({"mixed_statistics", mixed});
  // Fibonacci-like frequencies force Huffman codes deeper than 16 bits in one block.
  Bytes skewed;
  uint64_t a = 1, b = 1;
  for (int s = 0; s < 24; ++s) {
    for (uint64_t k = 0; k < a && skewed.size() < 3000000; ++k)
      skewed.push_back(uint8_t(s * 7));
    uint64_t c = a + b;
    a = b;
    b = c;
  }
  std::shuffle(skewed.begin(), skewed.end(), std::mt19937(7));
  v.push_back({"fibonacci_skew", skewed});
  return v;
}

const std::vector<Input>& AllInputs() {
  static const std::vector<Input> inputs = Inputs();
  return inputs;
}

class RoundTripTest : public ::testing::TestWithParam<Method> {};

TEST_P(RoundTripTest, EveryInputComesBackExactly) {
  for (const auto& in : AllInputs()) {
    SCOPED_TRACE(in.name);
    Bytes packed = Encode(GetParam(), in.data);
    if (in.data.empty()) {
      EXPECT_TRUE(packed.empty());
    }
    EXPECT_EQ(Decode(GetParam(), packed, in.data.size()), in.data);
  }
}

TEST_P(RoundTripTest, TrickledInAndOut) {
  // Writes of 1 000 003 bytes at a time are not special; writes of odd small sizes and a
  // source handing over 1-3 bytes exercise the buffering on both sides.
  Bytes data = TextLike(70000, 11);
  Bytes rnd = RandomBytes(5000, 12);
  data.insert(data.end(), rnd.begin(), rnd.end());
  Bytes packed = Encode(GetParam(), data, 6, 13);
  EXPECT_EQ(packed, Encode(GetParam(), data));
  EXPECT_EQ(Decode(GetParam(), packed, data.size(), 3, true, 5), data);
}

TEST_P(RoundTripTest, EveryLevelRoundTrips) {
  Bytes data = TextLike(120000, 13);
  size_t prev = SIZE_MAX;
  for (int level = 1; level <= 9; ++level) {
    SCOPED_TRACE(level);
    Bytes packed = Encode(GetParam(), data, level);
    EXPECT_EQ(Decode(GetParam(), packed, data.size()), data);
    if (level == 1 || level == 9) {
      if (level == 9) {
        EXPECT_LE(packed.size(), prev);
      }
      prev = packed.size();
    }
  }
}

TEST_P(RoundTripTest, WrongSizeHintsStillRoundTrip) {
  Bytes data = TextLike(300000, 14);
  for (uint64_t hint : {uint64_t{1}, uint64_t{100}, uint64_t{300000}, uint64_t{1} << 40}) {
    SCOPED_TRACE(hint);
    MemorySink sink;
    auto enc = MakeEncoder(GetParam(), sink, {.level = 6, .size_hint = hint});
    enc->Write(data);
    enc->Finish();
    EXPECT_EQ(Decode(GetParam(), sink.bytes, data.size()), data);
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, RoundTripTest,
                         ::testing::Values(Method::kLh0, Method::kLh5, Method::kLh6, Method::kLh7),
                         [](const auto& info) {
                           return std::string(Info(info.param).id.substr(1, 3));
                         });

TEST(Compression, ReallyCompresses) {
  Bytes text = TextLike(300000, 21);
  for (Method m : {Method::kLh5, Method::kLh6, Method::kLh7}) {
    EXPECT_LT(Encode(m, text).size(), text.size() / 4) << Info(m).id;
    EXPECT_LT(Encode(m, Bytes(1 << 20, 0)).size(), 2000u) << Info(m).id;
    // Incompressible data costs little more than its size.
    Bytes rnd = RandomBytes(100000, 22);
    EXPECT_LT(Encode(m, rnd).size(), rnd.size() + rnd.size() / 50) << Info(m).id;
  }
}

TEST(Compression, LargerWindowsFindFartherRepeats) {
  // A 20 000-byte random stretch repeated: only -lh6- and -lh7- reach back that far.
  Bytes rnd = RandomBytes(20000, 23);
  Bytes d = rnd;
  d.insert(d.end(), rnd.begin(), rnd.end());
  EXPECT_GT(Encode(Method::kLh5, d).size(), 39000u);
  EXPECT_LT(Encode(Method::kLh6, d).size(), 21000u);
  EXPECT_LT(Encode(Method::kLh7, d).size(), 21000u);
}

}  // namespace
}  // namespace lha::codec::testing
