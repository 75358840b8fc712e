// What the decoders do with damaged, hand-made and hostile streams: throw the Huffman-code
// error, never crash, never hand out bytes the stream does not back.
#include <gtest/gtest.h>

#include "codec/bit_writer.h"
#include "codec_test_support.h"

namespace lha::codec::testing {
namespace {

// Decodes and reports the error code (0 when it decoded to the end).
int32_t DecodeStatus(Method m, std::span<const uint8_t> packed, uint64_t size,
                     Bytes* out = nullptr) {
  try {
    Bytes got = Decode(m, packed, size);
    if (got.size() != size) return -1;
    if (out) *out = got;
    return 0;
  } catch (const lha::Error& e) {
    return e.code();
  }
}

const Method kLzMethods[] = {Method::kLh5, Method::kLh6, Method::kLh7};

TEST(CorruptStream, EveryTruncationIsAnError) {
  Bytes text = TextLike(40000, 31);
  for (Method m : kLzMethods) {
    Bytes packed = Encode(m, text);
    for (size_t cut = 0; cut < packed.size(); cut += 1 + cut / 3) {
      SCOPED_TRACE(cut);
      EXPECT_EQ(DecodeStatus(m, std::span(packed).first(cut), text.size()),
                UNLHA_ERROR_HUFFMAN_CODE);
    }
    EXPECT_EQ(DecodeStatus(m, std::span(packed).first(packed.size() - 1), text.size()),
              UNLHA_ERROR_HUFFMAN_CODE);
  }
}

TEST(CorruptStream, FlippedBitsThrowOrDecodeToTheRightSize) {
  Bytes text = TextLike(20000, 32);
  Bytes rnd = RandomBytes(3000, 33);
  text.insert(text.end(), rnd.begin(), rnd.end());
  std::mt19937 rng(34);
  for (Method m : kLzMethods) {
    Bytes packed = Encode(m, text);
    int errors = 0;
    for (int i = 0; i < 300; ++i) {
      Bytes bad = packed;
      // Mostly the tables at the front, sometimes anywhere.
      size_t at = i % 2 ? rng() % std::min<size_t>(bad.size(), 200) : rng() % bad.size();
      bad[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
      int32_t status = DecodeStatus(m, bad, text.size());
      ASSERT_TRUE(status == 0 || status == UNLHA_ERROR_HUFFMAN_CODE) << status;
      errors += status != 0;
    }
    EXPECT_GT(errors, 30) << Info(m).id;
  }
}

TEST(CorruptStream, RandomGarbageNeverCrashes) {
  for (uint32_t seed = 0; seed < 200; ++seed) {
    Bytes junk = RandomBytes(1 + seed * 7, seed);
    for (Method m : {Method::kLh1, Method::kLh4, Method::kLh5, Method::kLh6, Method::kLh7,
                     Method::kLhx, Method::kLzs, Method::kLz5}) {
      int32_t status = DecodeStatus(m, junk, 1 + seed * 13);
      ASSERT_TRUE(status == 0 || status == UNLHA_ERROR_HUFFMAN_CODE) << status;
    }
  }
}

// Builds a stream bit by bit.
class Stream {
 public:
  Stream& Bits(uint32_t v, unsigned n) {
    w_.Put(v, n);
    return *this;
  }
  // One block whose C, T and P tables are single-symbol forms: every symbol is `c`, every
  // position class `p`.
  Stream& SingleBlock(unsigned count, unsigned c, unsigned p, unsigned pbit) {
    return Bits(count, 16).Bits(0, 5).Bits(0, 5).Bits(0, 9).Bits(c, 9).Bits(0, pbit).Bits(p, pbit);
  }
  Bytes Done() {
    w_.Finish();
    return sink_.bytes;
  }

 private:
  MemorySink sink_;
  BitWriter w_{sink_};
};

TEST(HandMadeStream, SingleSymbolFormsDecode) {
  // 4 x literal 'A' with zero-bit codes everywhere: the stream is the block header only.
  Bytes s = Stream().SingleBlock(4, 'A', 0, 4).Done();
  Bytes out;
  ASSERT_EQ(DecodeStatus(Method::kLh5, s, 4, &out), 0);
  EXPECT_EQ(out, Bytes(4, 'A'));
}

TEST(HandMadeStream, ReferencesBeforeTheStartReadSpaces) {
  // Match of length 3 at distance 1 as the very first symbol, as old LHa archives may hold.
  Bytes s = Stream().SingleBlock(1, 256, 0, 4).Done();
  Bytes out;
  ASSERT_EQ(DecodeStatus(Method::kLh5, s, 3, &out), 0);
  EXPECT_EQ(out, Bytes(3, ' '));
}

TEST(HandMadeStream, MalformedPartsAreErrors) {
  struct Case {
    const char* name;
    Method method;
    Bytes stream;
    uint64_t size;
  };
  const Case cases[] = {
      {"block of 0 symbols", Method::kLh5, Stream().Bits(0, 16).Bits(0, 32).Done(), 5},
      {"T count 20", Method::kLh5, Stream().Bits(1, 16).Bits(20, 5).Bits(0, 32).Done(), 1},
      {"T over-subscribed", Method::kLh5,
       Stream().Bits(1, 16).Bits(3, 5).Bits(1, 3).Bits(1, 3).Bits(1, 3).Bits(0, 2).Done(), 1},
      {"T length over 16", Method::kLh5,
       Stream().Bits(1, 16).Bits(2, 5).Bits(7, 3).Bits(0x3FF, 10).Bits(0, 8).Done(), 1},
      {"C count 511", Method::kLh5,
       Stream().Bits(1, 16).Bits(0, 5).Bits(0, 5).Bits(511, 9).Bits(0, 16).Done(), 1},
      {"P count over NP", Method::kLh5,
       Stream().Bits(1, 16).Bits(0, 5).Bits(0, 5).Bits(0, 9).Bits('a', 9).Bits(15, 4).Done(), 1},
      {"P single symbol outside the alphabet, used", Method::kLh5,
       Stream().SingleBlock(1, 256, 15, 4).Done(), 3},
      {"C single symbol outside the alphabet, used", Method::kLh5,
       Stream().SingleBlock(1, 510, 0, 4).Done(), 3},
      {"match past the original size", Method::kLh5, Stream().SingleBlock(1, 260, 0, 4).Done(), 5},
      // -lh4- has a 4 KiB window but the -lh5- position alphabet: class 13 reaches 4096+.
      {"distance beyond the window", Method::kLh4,
       Stream().SingleBlock(1, 256, 13, 4).Bits(0, 12).Done(), 3},
      {"stream ends in the symbols", Method::kLh5, Stream().SingleBlock(2, 'x', 0, 4).Done(), 3},
      {"empty stream", Method::kLh7, {}, 1},
      {"stored data too short", Method::kLh0, Bytes(9, 'z'), 10},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecodeStatus(c.method, c.stream, c.size), UNLHA_ERROR_HUFFMAN_CODE);
  }
}

TEST(OldMethodStream, TruncationsAreErrors) {
  if (!std::filesystem::exists(SharedDir() / "lzh-corpus")) GTEST_SKIP() << "no shared corpus";
  for (auto [file, m] : {std::pair{"lzs.bin", Method::kLzs}, std::pair{"lz5.bin", Method::kLz5},
                         std::pair{"lh1.bin", Method::kLh1}}) {
    SCOPED_TRACE(file);
    Bytes packed = ReadBytes(SharedDir() / "lzh-corpus/lhasa/compressed" / file);
    for (size_t cut : {size_t{0}, size_t{1}, packed.size() / 2, packed.size() - 2})
      EXPECT_EQ(DecodeStatus(m, std::span(packed).first(cut), 18092), UNLHA_ERROR_HUFFMAN_CODE);
  }
}

// Streams made by hand for -lh1- and -lz5-: what comes out of the initial window and tree.
TEST(OldMethodStream, HandMadeStreamsDecode) {
  struct Case {
    const char* name;
    Method method;
    Bytes stream;
    Bytes want;
  };
  Bytes spaces_gn(20, ' ');
  spaces_gn.push_back('G');
  spaces_gn.push_back('N');
  Bytes zeros_then_spaces(18, 0);
  zeros_then_spaces.resize(36, ' ');
  const Case cases[] = {
      // LHarc 1.13's GPL-2 text starts with a length-20 match at distance 1 into the initial
      // spaces, then 'G' and 'N' under their initial 9-bit codes.
      {"lh1 match into the initial window",
       Method::kLh1,
       {0x9D, 0x00, 0x74, 0xFB, 0x5E},
       spaces_gn},
      // Flag byte 0: matches. Position 13, length 3 + 10: the ring starts with 13 copies of
      // each byte value.
      {"lz5 initial runs", Method::kLz5, {0x00, 0x0D, 0x0A}, Bytes(13, 1)},
      // Position 4078, length 18: the bytes where writing starts hold zeros until written;
      // position 3968: spaces before them.
      {"lz5 initial zeros and spaces",
       Method::kLz5,
       {0x00, 0xEE, 0xFF, 0x80, 0xFF},
       zeros_then_spaces},
      // Position 0, length 18, for an original size of 5: the match is cut there.
      {"lz5 match past the original size", Method::kLz5, {0x00, 0x00, 0x0F}, Bytes(5, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes out;
    ASSERT_EQ(DecodeStatus(c.method, c.stream, c.want.size(), &out), 0);
    EXPECT_EQ(out, c.want);
  }
  // The same -lh1- stream cut after its first symbol: the distance is missing.
  EXPECT_EQ(DecodeStatus(Method::kLh1, Bytes{0x9D}, 20), UNLHA_ERROR_HUFFMAN_CODE);
}

TEST(HandMadeStream, LhxReachesBackHalfAMegabyte) {
  // One literal block, then a block copying it from 2^19 - 1 bytes back... via a long literal
  // run of zeros: class 19 with all extra bits set is distance 2^19.
  const uint64_t n = (1u << 19) - 1;
  Stream s;
  s.Bits(1, 16).Bits(0, 5).Bits(0, 5).Bits(0, 9).Bits('q', 9).Bits(0, 5).Bits(0, 5);
  uint64_t left = n - 1;
  while (left > 0) {
    unsigned k = static_cast<unsigned>(std::min<uint64_t>(left, 65535));
    s.Bits(k, 16).Bits(0, 5).Bits(0, 5).Bits(0, 9).Bits('.', 9).Bits(0, 5).Bits(0, 5);
    left -= k;
  }
  s.Bits(1, 16).Bits(0, 5).Bits(0, 5).Bits(0, 9).Bits(256, 9).Bits(0, 5).Bits(19, 5);
  s.Bits((1u << 18) - 2, 18);  // d = 2^18 + 2^18 - 2 = 2^19 - 2: distance 2^19 - 1
  Bytes stream = s.Done();
  Bytes out;
  ASSERT_EQ(DecodeStatus(Method::kLhx, stream, n + 3, &out), 0);
  EXPECT_EQ(out[n], 'q');
  EXPECT_EQ(out[n + 1], '.');
  // The same distance is beyond -lh7-'s window (and its P alphabet).
  EXPECT_EQ(DecodeStatus(Method::kLh7, stream, n + 3), UNLHA_ERROR_HUFFMAN_CODE);
}

class FailingSource : public lha::ByteSource {
 public:
  size_t Read(std::span<uint8_t>) override { throw lha::Error(UNLHA_ERROR_ARC_READ, "disk"); }
};

TEST(Decoder, SourceFailuresPassThrough) {
  for (Method m : {Method::kLh0, Method::kLh5}) {
    FailingSource src;
    auto dec = MakeDecoder(m, src, 10);
    Bytes out(10);
    try {
      dec->Read(out);
      ADD_FAILURE() << "no error";
    } catch (const lha::Error& e) {
      EXPECT_EQ(e.code(), UNLHA_ERROR_ARC_READ);
    }
  }
}

TEST(Decoder, HugeOriginalSizeWithShortInputFailsQuickly) {
  // Nothing is allocated from the size, and the end of the input is found within one chunk.
  Bytes packed = Encode(Method::kLh5, TextLike(1000, 35));
  EXPECT_EQ(DecodeStatus(Method::kLh5, packed, uint64_t{1} << 62), UNLHA_ERROR_HUFFMAN_CODE);
  EXPECT_EQ(DecodeStatus(Method::kLh0, packed, uint64_t{1} << 62), UNLHA_ERROR_HUFFMAN_CODE);
}

}  // namespace
}  // namespace lha::codec::testing
