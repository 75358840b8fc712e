// Decoding streams written by other LZH programs.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <optional>
#include <ostream>
#include <sstream>
#include <utility>

#include "codec_test_support.h"
#include "format/archive_reader.h"
#include "format/crc16.h"
#include "format/memory_source.h"

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
void PrintTo(const RawCase& c, std::ostream* os) {
  *os << c.file;
}

class RawStreamTest : public ::testing::TestWithParam<RawCase> {};

TEST_P(RawStreamTest, DecodesToTheGplText) {
  REQUIRE_SHARED();
  Bytes packed = ReadBytes(SharedDir() / "lzh-corpus/lhasa/compressed" / GetParam().file);
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
                      RawCase{"lzs.bin", Method::kLzs}, RawCase{"lz5.bin", Method::kLz5},
                      RawCase{"lh1.bin", Method::kLh1}),
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
void PrintTo(const ArchiveCase& c, std::ostream* os) {
  *os << c.archive;
}

class Level0ArchiveTest : public ::testing::TestWithParam<ArchiveCase> {};

TEST_P(Level0ArchiveTest, FirstEntryDecodes) {
  REQUIRE_SHARED();
  const auto& c = GetParam();
  Entry e = FirstLevel0Entry(ReadBytes(SharedDir() / "lzh-corpus" / c.archive));
  Bytes out = Decode(e.method, e.packed, e.original_size);
  if (*c.expected) {
    EXPECT_EQ(out, ReadBytes(SharedDir() / "lzh-corpus" / c.expected));
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

// The manifest's rows for archives holding -lh1- or -lz5- entries: the file, how many such
// entries its contents column lists, and the CRC-32 and size it records for the first file.
struct OldMethodRow {
  std::string file;
  size_t entries = 0;
  std::optional<std::pair<uint32_t, uint64_t>> first_file;
};

std::vector<OldMethodRow> OldMethodRows() {
  std::ifstream in(SharedDir() / "lzh-corpus/MANIFEST.tsv");
  std::string line;
  std::getline(in, line);
  const auto split = [](const std::string& s) {
    std::vector<std::string> f;
    std::istringstream fields(s);
    for (std::string x; std::getline(fields, x, '\t');)
      f.push_back(x);
    return f;
  };
  const std::vector<std::string> head = split(line);
  const auto col = [&](const char* name) {
    return static_cast<size_t>(std::find(head.begin(), head.end(), name) - head.begin());
  };
  const size_t file = col("file"), kind = col("kind"), contents = col("contents"),
               expected = col("expected");
  const auto count = [](const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
      ++n;
    return n;
  };
  std::vector<OldMethodRow> rows;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = split(line);
    if (f.size() <= expected || f[kind].rfind("archive", 0) != 0) continue;
    OldMethodRow row;
    row.file = f[file];
    row.entries = count(f[contents], "[-lh1- L") + count(f[contents], "[-lz5- L");
    if (row.entries == 0) continue;
    // "... decompresses to CRC-32 4e46f4a1, 18092 bytes ..."
    unsigned crc = 0;
    unsigned long long size = 0;
    const size_t at = f[expected].find("CRC-32 ");
    if (at != std::string::npos &&
        std::sscanf(f[expected].c_str() + at, "CRC-32 %8x, %llu bytes", &crc, &size) == 2)
      row.first_file = {crc, size};
    rows.push_back(row);
  }
  return rows;
}

// Every -lh1- and -lz5- entry of the corpus, at any header level and behind self-extractor
// stubs, decodes to its header's CRC-16 and to the content the manifest records.
TEST(OldMethodEntries, DecodeToWhatTheirWritersPacked) {
  REQUIRE_SHARED();
  size_t listed = 0, decoded = 0;
  for (const OldMethodRow& row : OldMethodRows()) {
    SCOPED_TRACE(row.file);
    listed += row.entries;
    const Bytes archive = ReadBytes(SharedDir() / "lzh-corpus" / row.file);
    format::MemorySource source(archive);
    format::ArchiveReader reader(source);
    bool first_file = true;
    while (std::optional<format::EntryHeader> e = reader.Next()) {
      if (e->kind != format::EntryKind::kFile) continue;
      const bool was_first = std::exchange(first_file, false);
      const std::optional<Method> m = FindMethod(e->method_id());
      if (m != Method::kLh1 && m != Method::kLz5) continue;
      ++decoded;
      const Bytes out =
          Decode(*m, std::span(archive).subspan(e->data_offset, e->packed_size), e->original_size);
      ASSERT_EQ(out.size(), e->original_size);
      EXPECT_EQ(format::Crc16Of(out), e->data_crc);
      if (!was_first || !row.first_file) continue;
      const auto [crc32, size] = *row.first_file;
      // lhasa, whose figures these are, strips MacLHA's MacBinary wrapper (a 128-byte header
      // before the data fork); we keep the bytes as stored.
      const size_t skip = size < out.size() ? 128 : 0;
      ASSERT_LE(skip + size, out.size());
      EXPECT_EQ(Crc32(std::span(out).subspan(skip, size)), crc32);
    }
  }
  EXPECT_EQ(decoded, listed);
  EXPECT_GE(decoded, 18u);  // what the corpus holds: a broken manifest reader finds fewer
}

}  // namespace
}  // namespace lha::codec::testing
