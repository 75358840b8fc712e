// The listing interface (UnlhaOpenArchive, UnlhaFindFirst, UnlhaFindNext, UnlhaCloseArchive)
// and UnlhaCheckArchive, on archives we made and on archives other programs wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <random>
#include <tuple>

#include "format/archive_reader.h"
#include "format/memory_source.h"
#include "library_support.h"
#include "support/temp_dir.h"

namespace lha_library_testing {
namespace {

using testing_support::TempDir;

constexpr int64_t kTime = 1700000000;  // 2023-11-14 22:13:20 UTC, 2023-11-15 07:13:20 in Japan

// Local time is Japan's for these tests, whatever the machine's zone.
class PinnedZone {
 public:
  PinnedZone() {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
    ::setenv("TZ", "JST-9", 1);
    ::tzset();
  }
  ~PinnedZone() {
    if (saved_) {
      ::setenv("TZ", saved_->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }

 private:
  std::optional<std::string> saved_;
};

std::vector<INDIVIDUALINFO> Find(const fs::path& archive, const char* wildcard) {
  std::vector<INDIVIDUALINFO> found;
  const UNLHA_HARC h = UnlhaOpenArchive(0, archive.c_str(), 0);
  EXPECT_NE(h, 0u) << archive;
  if (h == 0) return found;
  INDIVIDUALINFO info;
  std::memset(&info, 0xEE, sizeof info);
  int32_t r = UnlhaFindFirst(h, wildcard, &info);
  while (r == 0) {
    found.push_back(info);
    std::memset(&info, 0xEE, sizeof info);
    r = UnlhaFindNext(h, &info);
  }
  EXPECT_EQ(r, -1) << "the walk ends with -1";
  EXPECT_EQ(UnlhaCloseArchive(h), 0);
  return found;
}

std::vector<std::string> Names(const std::vector<INDIVIDUALINFO>& infos) {
  std::vector<std::string> names;
  for (const auto& i : infos)
    names.push_back(i.szFileName);
  return names;
}

class Listing : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path src = dir_.path() / "src";
    std::mt19937 rng(3);
    for (int i = 0; i < 1000; ++i)
      random_ += static_cast<char>(rng());
    WriteText(src / "DOC" / "a.txt", Compressible(50000));
    WriteText(src / "DOC" / "SUB" / "empty.txt", "");
    WriteText(src / "b.bin", random_);
    WriteText(src / "ro.txt", "read only\n");
    fs::permissions(src / "ro.txt", fs::perms::owner_read | fs::perms::group_read);
    WriteText(src / ".h", "hidden\n");
    for (auto it = fs::recursive_directory_iterator(src); it != fs::recursive_directory_iterator();
         ++it)
      SetMtime(it->path(), kTime);
    SetMtime(src / "ro.txt", kTime + 61);  // 07:14:21: the MS-DOS time keeps 07:14:20
    const CallResult r =
        Call("a -a1 -x1 -r2 " + (dir_.path() / "T.LZH").string() + " " + Win(src) + "\\ *.*");
    ASSERT_EQ(r.code, 0) << r.output;
  }

  PinnedZone zone_;
  TempDir dir_;
  std::string random_;
};

uint16_t DosDate(int y, int mo, int d) {
  return static_cast<uint16_t>((y - 1980) << 9 | mo << 5 | d);
}
uint16_t DosTime(int h, int mi, int s) {
  return static_cast<uint16_t>(h << 11 | mi << 5 | s / 2);
}

TEST_F(Listing, EveryEntryWithItsValues) {
  struct Want {
    const char* name;
    uint32_t original;
    const char* mode;
    const char* attr;
    uint16_t crc;
    uint16_t time;
  };
  const uint16_t t = DosTime(7, 13, 20);
  const Want want[] = {
      {".h", 7, "-lh0-", "A-H-", Crc16("hidden\n"), t},
      {"DOC\\", 0, "-lhd-", "D---", 0, t},
      {"DOC\\SUB\\", 0, "-lhd-", "D---", 0, t},
      {"DOC\\SUB\\empty.txt", 0, "-lh0-", "A---", 0, t},
      {"DOC\\a.txt", 50000, "-lh5-", "A---", Crc16(Compressible(50000)), t},
      {"b.bin", 1000, "-lh0-", "A---", Crc16(random_), t},
      {"ro.txt", 10, "-lh0-", "A--R", Crc16("read only\n"), DosTime(7, 14, 20)},
  };
  const auto found = Find(dir_.path() / "T.LZH", "*.*");
  ASSERT_EQ(found.size(), std::size(want));
  for (size_t i = 0; i < found.size(); ++i) {
    const INDIVIDUALINFO& f = found[i];
    const Want& w = want[i];
    SCOPED_TRACE(w.name);
    // The record is packed: its numbers are copied out before gtest takes references to them.
    const uint32_t original = f.dwOriginalSize, packed = f.dwCompressedSize, crc = f.dwCRC;
    const uint16_t ratio = f.wRatio, date = f.wDate, time = f.wTime;
    EXPECT_STREQ(f.szFileName, w.name);
    EXPECT_EQ(original, w.original);
    EXPECT_STREQ(f.szMode, w.mode);
    EXPECT_EQ(std::string(f.szAttribute, 5), std::string(w.attr, 5));
    EXPECT_EQ(crc, w.crc);
    EXPECT_EQ(date, DosDate(2023, 11, 15));
    EXPECT_EQ(time, w.time);
    if (std::string(w.mode) == "-lh5-") {
      EXPECT_LT(packed, original);
      EXPECT_GT(packed, 0u);
    } else {
      EXPECT_EQ(packed, original);
    }
    EXPECT_EQ(ratio, original ? packed * 1000 / original : 0);
    // The text fields end inside their bounds.
    EXPECT_NE(std::memchr(f.szFileName, '\0', sizeof f.szFileName), nullptr);
    EXPECT_NE(std::memchr(f.szMode, '\0', sizeof f.szMode), nullptr);
  }
}

TEST_F(Listing, OtherWildcards) {
  const fs::path a = dir_.path() / "T.LZH";
  EXPECT_EQ(Names(Find(a, "*.txt")),
            (std::vector<std::string>{"DOC\\SUB\\empty.txt", "DOC\\a.txt", "ro.txt"}));
  EXPECT_EQ(Names(Find(a, "B.*")), std::vector<std::string>{"b.bin"});
  EXPECT_EQ(Names(Find(a, "?o.TXT")), std::vector<std::string>{"ro.txt"});
  EXPECT_EQ(Names(Find(a, "doc\\a.txt")), std::vector<std::string>{"DOC\\a.txt"});
  EXPECT_EQ(Names(Find(a, "doc/sub/*")), std::vector<std::string>{"DOC\\SUB\\empty.txt"});
  EXPECT_EQ(Names(Find(a, "*.none")), std::vector<std::string>{});
}

TEST_F(Listing, FindFirstStartsTheWalkAgain) {
  const UNLHA_HARC h = UnlhaOpenArchive(0, (dir_.path() / "T.LZH").c_str(), 0);
  ASSERT_NE(h, 0u);
  INDIVIDUALINFO info;
  ASSERT_EQ(UnlhaFindFirst(h, "*.*", &info), 0);
  ASSERT_EQ(UnlhaFindNext(h, &info), 0);
  ASSERT_EQ(UnlhaFindFirst(h, "*.*", &info), 0);
  EXPECT_STREQ(info.szFileName, ".h");
  EXPECT_EQ(UnlhaCloseArchive(h), 0);
  EXPECT_NE(UnlhaFindNext(h, &info), 0) << "a closed handle is no longer valid";
}

// An archive open for listing is in use: a command that would replace it waits its turn.
TEST_F(Listing, AnOpenArchiveIsNotReplacedUnderTheListing) {
  const fs::path a = dir_.path() / "T.LZH";
  WriteText(dir_.path() / "new.txt", "new\n");
  const UNLHA_HARC h = UnlhaOpenArchive(0, a.c_str(), 0);
  ASSERT_NE(h, 0u);
  const std::string add = "a " + a.string() + " " + (dir_.path() / "new.txt").string();
  EXPECT_EQ(Call(add).code, UNLHA_ERROR_ALREADY_RUNNING);
  EXPECT_EQ(Call("t " + a.string()).code, 0) << "readers share it";
  UnlhaCloseArchive(h);
  EXPECT_EQ(Call(add).code, 0);
}

TEST_F(Listing, WhatIsNoArchiveDoesNotOpen) {
  WriteText(dir_.path() / "text.lzh", "plain text, no archive\n");
  EXPECT_EQ(UnlhaOpenArchive(0, (dir_.path() / "text.lzh").c_str(), 0), 0u);
  EXPECT_EQ(UnlhaOpenArchive(0, (dir_.path() / "none.lzh").c_str(), 0), 0u);
  EXPECT_EQ(UnlhaOpenArchive(0, (dir_.path() / "src").c_str(), 0), 0u);
  EXPECT_EQ(UnlhaOpenArchive(0, nullptr, 0), 0u);
}

TEST_F(Listing, CheckArchiveMode0WalksHeadersMode1AlsoTheData) {
  const fs::path good = dir_.path() / "T.LZH";
  EXPECT_NE(UnlhaCheckArchive(good.c_str(), 0), 0);
  EXPECT_NE(UnlhaCheckArchive(good.c_str(), 1), 0);

  // One data byte of the stored b.bin changed: every header is sound, its CRC is not.
  std::string bytes = ReadText(good);
  lha::format::MemorySource source(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  lha::format::ArchiveReader reader(source);
  while (auto e = reader.Next()) {
    if (e->JoinedPath('/') == "b.bin") bytes[e->data_offset + 500] ^= 0x01;
  }
  const fs::path bad = dir_.path() / "BAD.LZH";
  WriteText(bad, bytes);
  EXPECT_NE(UnlhaCheckArchive(bad.c_str(), 0), 0);
  EXPECT_EQ(UnlhaCheckArchive(bad.c_str(), 1), 0);
  EXPECT_EQ(UnlhaCheckArchive(bad.c_str(), 4), 0) << "any mode but 0 decodes";

  WriteText(dir_.path() / "text.lzh", "plain text, no archive\n");
  EXPECT_EQ(UnlhaCheckArchive((dir_.path() / "text.lzh").c_str(), 0), 0);
  const std::string whole = ReadText(good);
  WriteText(dir_.path() / "CUT.LZH", whole.substr(0, whole.size() / 2));
  EXPECT_EQ(UnlhaCheckArchive((dir_.path() / "CUT.LZH").c_str(), 0), 0);
}

// --- Archives written by other programs ---------------------------------------------------------

fs::path Corpus() {
  return fs::path(QUILLORY_SHARED_DIR) / "lzh-corpus";
}

struct ManifestEntry {
  std::string name;  // '\' between parts
  std::string method;
  uint32_t original = 0, packed = 0;
};

// The "contents" column: "name [-lh5- L0, 600->28]; name [...]".
std::vector<ManifestEntry> ParseContents(const std::string& text) {
  std::vector<ManifestEntry> out;
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find(" [", pos), close = text.find(']', open);
    if (open == std::string::npos || close == std::string::npos) break;
    ManifestEntry e;
    e.name = text.substr(pos, open - pos);
    std::replace(e.name.begin(), e.name.end(), '/', '\\');
    e.method = text.substr(open + 2, 5);
    const size_t comma = text.find(", ", open), arrow = text.find("->", comma);
    e.original = static_cast<uint32_t>(std::stoul(text.substr(comma + 2, arrow - comma - 2)));
    e.packed = static_cast<uint32_t>(std::stoul(text.substr(arrow + 2, close - arrow - 2)));
    out.push_back(e);
    pos = text.find("; ", close);
    if (pos == std::string::npos) break;
    pos += 2;
  }
  return out;
}

TEST(CorpusListing, JlhaArchivesListAsTheirManifestSays) {
  const fs::path manifest = Corpus() / "MANIFEST.tsv";
  if (!fs::exists(manifest)) GTEST_SKIP() << "no corpus at " << Corpus() << " (a fresh clone)";
  int archives = 0;
  for (const auto& line : Lines(ReadText(manifest))) {
    std::vector<std::string> cols;
    std::stringstream row(line);
    for (std::string col; std::getline(row, col, '\t');)
      cols.push_back(col);
    if (cols.size() < 13 || cols[0].rfind("jlha/archives/", 0) != 0) continue;
    SCOPED_TRACE(cols[0]);
    const auto want = ParseContents(cols[12]);
    const auto found = Find(Corpus() / cols[0], "*.*");
    ASSERT_EQ(found.size(), want.size());
    for (size_t i = 0; i < found.size(); ++i) {
      EXPECT_EQ(std::string(found[i].szFileName), want[i].name);
      EXPECT_EQ(std::string(found[i].szMode), want[i].method);
      const uint32_t original = found[i].dwOriginalSize, packed = found[i].dwCompressedSize;
      const uint32_t crc = found[i].dwCRC;
      const uint16_t date = found[i].wDate;
      EXPECT_EQ(original, want[i].original);
      EXPECT_EQ(packed, want[i].packed);
      EXPECT_EQ(std::string(found[i].szAttribute).size(), 4u);
      EXPECT_NE(date, 0);
      // The CRC of the original bytes, kept beside the archives.
      std::string rel = want[i].name;
      std::replace(rel.begin(), rel.end(), '\\', '/');
      const fs::path path = Corpus() / "jlha" / "expected" /
                            (want[i].name.find('\\') != std::string::npos ? "tree" : "") / rel;
      if (want[i].method != "-lhd-" && fs::is_regular_file(path)) {
        EXPECT_EQ(crc, Crc16(ReadText(path)));
      }
    }
    EXPECT_NE(UnlhaCheckArchive((Corpus() / cols[0]).c_str(), 1), 0);
    ++archives;
  }
  EXPECT_GE(archives, 18);
}

// Methods this library lists but cannot unpack: listed with their method, reported by t as 32777.
TEST(CorpusListing, ForeignMethodsAreListedAndReported) {
  const fs::path a = Corpus() / "lhasa" / "archives" / "pmarc2" / "pm2.pma";
  const fs::path b = Corpus() / "lhasa" / "archives" / "pmarc124" / "pm1.pma";
  if (!fs::exists(a) || !fs::exists(b)) GTEST_SKIP() << "no corpus at " << Corpus();
  for (const auto& [path, method, size] :
       {std::tuple{a, "-pm2-", 18176u}, std::tuple{b, "-pm1-", 25284u}}) {
    SCOPED_TRACE(path.string());
    const auto found = Find(path, "*.*");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_STREQ(found[0].szMode, method);
    const uint32_t original = found[0].dwOriginalSize;
    EXPECT_EQ(original, size);
    EXPECT_EQ(Call("t " + path.string()).code, UNLHA_ERROR_METHOD);
    EXPECT_EQ(UnlhaCheckArchive(path.c_str(), 0), 1);
    EXPECT_EQ(UnlhaCheckArchive(path.c_str(), 1), 0);
  }
}

// The LArc and LHarc 1.x methods unpack.
TEST(CorpusListing, OldMethodsUnpack) {
  const fs::path a = Corpus() / "lhasa" / "archives" / "generated" / "lzs" / "lzs.lzs";
  const fs::path b = Corpus() / "lhasa" / "archives" / "larc333" / "lz5.lzs";
  const fs::path c = Corpus() / "lhasa" / "archives" / "lharc113" / "lh1.lzh";
  if (!fs::exists(a) || !fs::exists(b) || !fs::exists(c))
    GTEST_SKIP() << "no corpus at " << Corpus();
  for (const auto& path : {a, b, c}) {
    SCOPED_TRACE(path.string());
    EXPECT_EQ(Call("t " + path.string()).code, 0);
    EXPECT_EQ(UnlhaCheckArchive(path.c_str(), 1), 1);
  }
}

}  // namespace
}  // namespace lha_library_testing
