// Decoding streams written by other LZH programs.
#include <gtest/gtest.h>

#include <cctype>
#include <ostream>

#include "codec_test_support.h"

namespace lha::codec::testing {
namespace {

constexpr uint32_t kGplCrc = 0x4e46f4a1;
constexpr uint64_t kGplSize = 18092;

#define REQUIRE_SHARED()                                    \
  if (!std::filesystem::exists(SharedDir() / "lzh-corpus")) \
  GTEST_SKIP() << "no shared LZH corpus at " << SharedDir() \
               << " (it sits beside a full "                \
                  "checkout only)"

struct RawCase {
  const char* file;
  Method method;
};
void PrintTo(const RawCase& c, std::ostream* os) { *os << c.file; }


class RawStreamTest : public ::testing::TestWithParam<RawCase> {};

TEST_P(RawStreamTest, DecodesToTheGplText) {
  REQUIRE_SHARED();
  Bytes packed = ReadFile(SharedDir() / "lzh-corpus/lhasa/compressed" / GetParam().file);
  ASSERT_FALSE(packed.empty());
  Bytes out = Decode(GetParam().method, packed, kGplSize);
  EXPECT_EQ(out.size(), kGplSize);
  EXPECT_EQ(Crc32(out), kGplCrc);
  // The same through a source that trickles 1-3 bytes and reads of 7 bytes.
  Bytes slow = Decode(GetParam().method, packed, kGplSize, 3, true, 7);
  EXPECT_EQ(slow, out);
}

INSTANTIATE_TEST_SUITE_P(
    Lhasa, RawStreamTest,
    ::testing::Values(RawCase{"lh0.bin", Method::kLh0}, RawCase{"lh5.bin", Method::kLh5},
                      RawCase{"lh6.bin", Method::kLh6}, RawCase{"lh7.bin", Method::kLh7},
                      RawCase{"lzs.bin", Method::kLzs}, RawCase{"lz5.bin", Method::kLz5}),
    [](const auto& info) { return std::string(info.param.file).substr(0, 3); });

// The packed data of the first entry of a level-0 archive: header size byte + 2 bytes in,
// sizes at offsets 7 and 11 of the header.
struct Entry {
  Method method;
  Bytes packed;
  uint64_t original_size;
};
Entry FirstLevel0Entry(const Bytes& a) {
  if (a.size() < 22 || a[20] != 0) throw std::runtime_error("not a level-0 archive");
  size_t start = a[0] + 2;
  auto le32 = [&](size_t o) {
    return uint32_t{a[o]} | uint32_t{a[o + 1]} << 8 | uint32_t{a[o + 2]} << 16 |
           uint32_t{a[o + 3]} << 24;
  };
  auto method = FindMethod(std::span<const uint8_t>(a.data() + 2, 5));
  if (!method) throw std::runtime_error("unknown method");
  return {*method, Bytes(a.begin() + start, a.begin() + start + le32(7)), le32(11)};
}

struct ArchiveCase {
  const char* archive;
  const char* expected;  // file under lzh-corpus/, or "" with a CRC-32 / size
  uint32_t crc;
  uint64_t size;
};
void PrintTo(const ArchiveCase& c, std::ostream* os) { *os << c.archive; }


class Level0ArchiveTest : public ::testing::TestWithParam<ArchiveCase> {};

TEST_P(Level0ArchiveTest, FirstEntryDecodes) {
  REQUIRE_SHARED();
  const auto& c = GetParam();
  Entry e = FirstLevel0Entry(ReadFile(SharedDir() / "lzh-corpus" / c.archive));
  Bytes out = Decode(e.method, e.packed, e.original_size);
  if (*c.expected) {
    EXPECT_EQ(out, ReadFile(SharedDir() / "lzh-corpus" / c.expected));
  } else {
    EXPECT_EQ(out.size(), c.size);
    EXPECT_EQ(Crc32(out), c.crc);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Writers, Level0ArchiveTest,
    ::testing::Values(ArchiveCase{"jlha/archives/h0_lh5_text.lzh", "jlha/expected/text.txt", 0, 0},
                      ArchiveCase{"jlha/archives/h0_lh6_text.lzh", "jlha/expected/text.txt", 0, 0},
                      ArchiveCase{"jlha/archives/h0_lh7_text.lzh", "jlha/expected/text.txt", 0, 0},
                      ArchiveCase{"jlha/archives/h0_lh5_rep.lzh", "jlha/expected/rep.txt", 0, 0},
                      ArchiveCase{"lhasa/archives/lha_amiga_122/lh4.lzh", "", kGplCrc, kGplSize},
                      ArchiveCase{"lhasa/archives/lha_amiga_122/lh4_long.lzh", "", 0x06788e85,
                                  1241658}),
    [](const auto& info) {
      std::string name = info.param.archive;
      name = name.substr(name.rfind('/') + 1);
      for (auto& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name + "_" + std::to_string(info.index);
    });

}  // namespace
}  // namespace lha::codec::testing
