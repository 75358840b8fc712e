// Code-length construction and table decoding.
#include "codec/huffman.h"

#include <gtest/gtest.h>

#include "codec/adaptive_huffman.h"
#include "codec/bit_writer.h"
#include "codec_test_support.h"

namespace lha::codec::testing {
namespace {

uint64_t Kraft(std::span<const uint8_t> lengths) {
  uint64_t sum = 0;
  for (uint8_t l : lengths)
    if (l) sum += uint64_t{1} << (16 - l);
  return sum;
}

struct FreqCase {
  std::string name;
  std::vector<uint32_t> freq;
};

std::vector<FreqCase> FreqCases() {
  std::vector<FreqCase> v;
  v.push_back({"two", {5, 0, 0, 9}});
  v.push_back({"uniform_510", std::vector<uint32_t>(510, 3)});
  std::vector<uint32_t> fib(40);
  fib[0] = fib[1] = 1;
  for (size_t i = 2; i < fib.size(); ++i)
    fib[i] = fib[i - 1] + fib[i - 2];
  v.push_back({"fibonacci_40", fib});
  std::vector<uint32_t> geo(510);
  for (size_t i = 0; i < geo.size(); ++i)
    geo[i] = 1 + (65535u >> std::min<size_t>(i / 16, 31));
  v.push_back({"geometric_510", geo});
  std::vector<uint32_t> one_heavy(510, 1);
  one_heavy[300] = 65000;
  v.push_back({"one_heavy", one_heavy});
  std::vector<uint32_t> sparse(19, 0);
  sparse[2] = 1, sparse[7] = 100000, sparse[18] = 3;
  v.push_back({"sparse_19", sparse});
  return v;
}

TEST(BuildCodeLengths, CompleteAndWithinTheLimit) {
  for (const auto& c : FreqCases()) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> len(c.freq.size());
    BuildCodeLengths(c.freq, 16, len);
    for (size_t s = 0; s < len.size(); ++s) {
      EXPECT_LE(len[s], 16);
      EXPECT_EQ(len[s] == 0, c.freq[s] == 0) << "symbol " << s;
    }
    EXPECT_EQ(Kraft(len), 65536u);
    // More frequent symbols never get longer codes.
    for (size_t a = 0; a < len.size(); ++a)
      for (size_t b = 0; b < len.size(); ++b)
        if (c.freq[a] > c.freq[b] && c.freq[b] > 0) {
          EXPECT_LE(len[a], len[b]);
        }
  }
}

TEST(BuildCodeLengths, OptimalWhenTheLimitDoesNotBite) {
  std::vector<uint32_t> freq = {1, 1, 2, 4, 8};
  std::vector<uint8_t> len(5);
  BuildCodeLengths(freq, 16, len);
  EXPECT_EQ(len, (std::vector<uint8_t>{4, 4, 3, 2, 1}));
  // The same counts under a 3-bit limit: 4+4+8+16+... must fit 2^3 leaves exactly.
  BuildCodeLengths(freq, 3, len);
  EXPECT_EQ(Kraft(len), 65536u);
  for (uint8_t l : len)
    EXPECT_LE(l, 3);
}

TEST(BuildCodeLengths, FewerThanTwoSymbolsGetNoCode) {
  std::vector<uint8_t> len(10, 9);
  BuildCodeLengths(std::vector<uint32_t>(10, 0), 16, len);
  EXPECT_EQ(len, std::vector<uint8_t>(10, 0));
  std::vector<uint32_t> one(10, 0);
  one[4] = 77;
  BuildCodeLengths(one, 16, len);
  EXPECT_EQ(len, std::vector<uint8_t>(10, 0));
}

// Symbols written with AssignCodes come back through HuffmanTable, for short and long codes.
template <unsigned kRoot>
void CheckRoundTrip(const std::vector<uint32_t>& freq) {
  std::vector<uint8_t> len(freq.size());
  BuildCodeLengths(freq, 16, len);
  std::vector<uint16_t> code(freq.size());
  AssignCodes(len, code);
  std::vector<uint16_t> symbols;
  std::mt19937 rng(5);
  for (int i = 0; i < 20000; ++i) {
    uint16_t s = static_cast<uint16_t>(rng() % freq.size());
    if (len[s]) symbols.push_back(s);
  }
  MemorySink sink;
  {
    BitWriter w(sink);
    for (uint16_t s : symbols)
      w.Put(code[s], len[s]);
    w.Finish();
  }
  HuffmanTable<kRoot> table;
  table.Build(len);
  MemorySource src(sink.bytes);
  BitFeeder in_feed(src);
  BitReader in(in_feed);
  for (uint16_t s : symbols) {
    in.Refill();
    ASSERT_EQ(table.Decode(in), s);
  }
  EXPECT_FALSE(in.Overran());
}

TEST(HuffmanTable, DecodesWhatAssignCodesWrote) {
  for (const auto& c : FreqCases()) {
    SCOPED_TRACE(c.name);
    CheckRoundTrip<8>(c.freq);
    CheckRoundTrip<12>(c.freq);
  }
}

void ExpectCorrupt(const std::function<void()>& f) {
  try {
    f();
    ADD_FAILURE() << "no error thrown";
  } catch (const lha::Error& e) {
    EXPECT_EQ(e.code(), UNLHA_ERROR_HUFFMAN_CODE);
  }
}

TEST(HuffmanTable, RejectsImpossibleCodes) {
  HuffmanTable<8> t;
  ExpectCorrupt([&] { t.Build(std::vector<uint8_t>{1, 1, 1}); });  // over-subscribed
  ExpectCorrupt([&] { t.Build(std::vector<uint8_t>{1, 2, 2, 3}); });
  ExpectCorrupt([&] { t.Build(std::vector<uint8_t>{1, 17}); });  // too long
}

TEST(HuffmanTable, IncompleteCodeFailsOnlyOnItsHoles) {
  // One symbol of length 1: bit 0 is symbol 0, bit 1 is no code at all.
  HuffmanTable<8> t;
  t.Build(std::vector<uint8_t>{1});
  Bytes bits = {0x40};  // 0 then 1
  MemorySource src(bits);
  BitFeeder in_feed(src);
  BitReader in(in_feed);
  in.Refill();
  EXPECT_EQ(t.Decode(in), 0);
  ExpectCorrupt([&] { t.Decode(in); });
  // The same with a hole among the long codes, past the root table.
  std::vector<uint8_t> len(20, 0);
  len[0] = 1, len[1] = 2, len[2] = 3;  // 1/2 + 1/4 + 1/8: the patterns 111... are free
  len[3] = 14;
  HuffmanTable<8> t2;
  t2.Build(len);
  Bytes stream = {0xE0, 0x00, 0xE0, 0x04, 0x00, 0x00};  // symbol 3, then 11100000000001
  MemorySource src2(stream);
  BitFeeder in2_feed(src2);
  BitReader in2(in2_feed);
  in2.Refill();
  EXPECT_EQ(t2.Decode(in2), 3);
  in2.Skip(2);
  ExpectCorrupt([&] { t2.Decode(in2); });
  Bytes ones = {0xFF, 0xFF, 0xFF};
  MemorySource src3(ones);
  BitFeeder in3_feed(src3);
  BitReader in3(in3_feed);
  in3.Refill();
  ExpectCorrupt([&] { t2.Decode(in3); });
}

std::string Bits(unsigned value, unsigned n) {
  std::string s;
  for (unsigned i = n; i-- > 0;)
    s += static_cast<char>('0' + ((value >> i) & 1));
  return s;
}

// The -lh1- tree: its initial codes, and the codes LHarc 1.13's GPL-2 archive implies after its
// first symbols (a match of length 20, then 'G').
TEST(AdaptiveHuffman, InitialCodesAndFirstUpdates) {
  AdaptiveHuffman tree;
  for (unsigned s = 0; s < AdaptiveHuffman::kSymbols; ++s) {
    SCOPED_TRACE(s);
    EXPECT_EQ(tree.CodeOf(s), s < 116 ? Bits(s + 396, 9) : Bits(s - 116, 8));
  }
  tree.Update(273);  // weight 2: traded with the last leaf of weight 1, 313
  EXPECT_EQ(tree.CodeOf(273), "11000101");
  EXPECT_EQ(tree.CodeOf(313), "10011101");
  EXPECT_EQ(tree.CodeOf('G'), Bits('G' + 396, 9));
  tree.Update('G');
  EXPECT_EQ(tree.CodeOf('G'), "11000100");
}

}  // namespace
}  // namespace lha::codec::testing
