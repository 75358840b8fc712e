#include "format/archive_reader.h"

#include <gtest/gtest.h>

#include "format/crc16.h"
#include "format/header_writer.h"
#include "format/layout.h"
#include "test_support.h"

namespace lha::format {
namespace {

using testing::Append;
using testing::Bytes;
using testing::CrcExt;
using testing::Level0Header;
using testing::Level1Header;
using testing::Level23Header;
using testing::NameExt;
using testing::PutLe;
using testing::RawExt;
using testing::ToBytes;
using testing::WalkArchive;

constexpr uint32_t kDos = 0x586572F7;  // 2024-03-05 14:23:46
const Bytes kEnd = {0};

Bytes Archive(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts)
    Append(out, p);
  return out;
}

Bytes StoredLevel2(std::string_view name, std::string_view data) {
  NewEntry e;
  e.path = {std::string(name)};
  e.method = "-lh0-";
  Bytes h = EncodeLevel2Header(e);
  PatchSizesAndCrc(h, data.size(), data.size(), Crc16Of(ToBytes(data)));
  Append(h, ToBytes(data));
  return h;
}

TEST(Level0, UnixAreaGivesTimeModeAndIds) {
  Bytes area = {'U', 0};
  PutLe(area, 1262304000, 4);
  PutLe(area, 0100644, 2);
  PutLe(area, 1000, 2);  // uid
  PutLe(area, 100, 2);   // gid
  const testing::Walk w =
      WalkArchive(Archive({Level0Header("-lh0-", ToBytes("a.txt"), 2, 2, kDos, 0x20, 0x1234, area),
                           ToBytes("hi"), kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  ASSERT_EQ(w.entries.size(), 1u);
  const EntryHeader& h = w.entries[0];
  EXPECT_EQ(h.os_id, 'U');
  EXPECT_EQ(h.unix_mtime, 1262304000);
  EXPECT_EQ(h.unix_mode, 0100644);
  EXPECT_EQ(h.unix_uid, 1000);
  EXPECT_EQ(h.unix_gid, 100);
  EXPECT_EQ(h.dos_time, kDos);
  EXPECT_EQ(h.msdos_attribute, 0x20);
  EXPECT_EQ(h.data_crc, 0x1234);
  EXPECT_EQ(h.header_size, 24u + 5 + 12);
}

TEST(Level0, OldFormWithoutDataCrc) {
  const testing::Walk w = WalkArchive(Archive(
      {Level0Header("-lh0-", ToBytes("OLD.TXT"), 1, 1, kDos, 0x21, 0, {}, false), {'x'}, kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  EXPECT_FALSE(w.entries.at(0).has_data_crc);
  EXPECT_EQ(w.entries[0].msdos_attribute, 0x21);
  EXPECT_EQ(w.entries[0].path, std::vector<std::string>{"OLD.TXT"});
}

struct PathCase {
  std::string label;
  std::string stored;
  std::vector<std::string> path;
  bool absolute;
};

void PrintTo(const PathCase& c, std::ostream* os) {
  *os << c.label;
}

class Level0Path : public ::testing::TestWithParam<PathCase> {};

// Level-0 names carry the whole path; the Shift_JIS 0x5C trail byte is no separator.
TEST_P(Level0Path, SplitsTheNameField) {
  const PathCase& c = GetParam();
  const testing::Walk w =
      WalkArchive(Archive({Level0Header("-lh0-", ToBytes(c.stored), 0, 0, kDos, 0x20, 0), kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  EXPECT_EQ(w.entries.at(0).path, c.path);
  EXPECT_EQ(w.entries[0].absolute, c.absolute);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Level0Path,
    ::testing::Values(
        PathCase{"backslashes", "SUB\\DIR\\F.TXT", {"SUB", "DIR", "F.TXT"}, false},
        PathCase{"slashes", "sub/f.txt", {"sub", "f.txt"}, false},
        PathCase{"sjis_trail_5c", "\x95\x5C.txt", {"\x95\x5C.txt"}, false},
        PathCase{"sjis_in_folder", "\x95\x5C\\\x95\x5C.txt", {"\x95\x5C", "\x95\x5C.txt"}, false},
        PathCase{"half_width_kana_then_separator", "\xB1\\f", {"\xB1", "f"}, false},
        PathCase{"absolute", "\\tmp\\x", {"tmp", "x"}, true},
        PathCase{"dot_dot_kept", "..\\x", {"..", "x"}, false},
        PathCase{"doubled_separators", "a\\\\b", {"a", "b"}, false}),
    [](const auto& info) { return info.param.label; });

TEST(Level0, TextAfterNulIsAComment) {
  const testing::Walk w = WalkArchive(Archive(
      {Level0Header("-lh0-", ToBytes(std::string("f.txt\0a comment", 15)), 0, 0, kDos, 0x20, 0),
       kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  EXPECT_EQ(w.entries.at(0).path, std::vector<std::string>{"f.txt"});
  EXPECT_EQ(w.entries[0].comment, "a comment");
}

TEST(Level1, SkipSizeLessExtHeadersIsThePackedSize) {
  Bytes ut;
  PutLe(ut, 1709648626, 4);
  const std::vector<RawExt> exts = {
      CrcExt(), {0x02, ToBytes("dir\xFFsub\xFF")}, {0x54, ut}, {0x50, {0xA4, 0x81}}};
  const testing::Walk w =
      WalkArchive(Archive({Level1Header("-lh5-", ToBytes("f.txt"), 4, 10, kDos, 0x5555, 'U', exts),
                           ToBytes("data"), StoredLevel2("next", "n"), kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  ASSERT_EQ(w.entries.size(), 2u);
  const EntryHeader& h = w.entries[0];
  EXPECT_EQ(h.packed_size, 4u);
  EXPECT_EQ(h.original_size, 10u);
  EXPECT_EQ(h.path, (std::vector<std::string>{"dir", "sub", "f.txt"}));
  EXPECT_TRUE(h.has_header_crc);
  EXPECT_EQ(h.unix_mtime, 1709648626);
  EXPECT_EQ(h.dos_time, kDos);
  EXPECT_EQ(h.unix_mode, 0100644);
  EXPECT_EQ(h.os_id, 'U');
  EXPECT_EQ(w.entries[1].path, std::vector<std::string>{"next"});
}

// Amiga LhA leaves out the 0xFF after the last folder; the name still belongs below it.
TEST(Level1, DirectoryWithoutTrailingSeparator) {
  const testing::Walk w = WalkArchive(Archive({Level1Header("-lh0-", {}, 0, 0, kDos, 0, 'A',
                                                            {{0x02, ToBytes("a\xFF"
                                                                            "b")},
                                                             NameExt("c.txt")}),
                                               kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  EXPECT_EQ(w.entries.at(0).path, (std::vector<std::string>{"a", "b", "c.txt"}));
}

// Amiga LhA also stores folders as empty "-lh0-" entries with a folder and no name.
TEST(Level1, AmigaEmptyStoredEntryWithoutNameIsAFolder) {
  const testing::Walk w = WalkArchive(Archive(
      {Level1Header("-lh0-", {}, 0, 0, kDos, 0, 'A',
                    {{0x02, ToBytes("Main\xFF"
                                    "Empty\xFF")}}),
       Level1Header("-lh0-", {}, 0, 0, kDos, 0, 'U', {{0x02, ToBytes("NotAmiga\xFF")}}), kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  EXPECT_EQ(w.entries.at(0).kind, EntryKind::kDirectory);
  EXPECT_EQ(w.entries.at(1).kind, EntryKind::kFile);
}

// Ext 0x42 at level 1: some writers count the ext headers in its packed size (as in the skip
// size), some do not. Both archives hold the same 4 data bytes.
TEST(Level1, Ext42EitherReading) {
  for (bool includes : {true, false}) {
    // chain: ext 42 (3 + 16) = 19 bytes.
    Bytes sizes;
    PutLe(sizes, includes ? 4 + 19 : 4, 8);
    PutLe(sizes, 10, 8);
    const testing::Walk w = WalkArchive(
        Archive({Level1Header("-lh5-", ToBytes("f"), 4, 10, kDos, 0, 'U', {{0x42, sizes}}),
                 ToBytes("data"), kEnd}));
    ASSERT_EQ(w.code, 0) << w.detail;
    EXPECT_EQ(w.entries.at(0).packed_size, 4u) << (includes ? "includes" : "excludes");
    EXPECT_EQ(w.end_offset, w.entries[0].data_offset + 4);
  }
}

TEST(Level1, BackslashPathInTheNameField) {  // LHarc 3.13a for Atari
  const testing::Walk w = WalkArchive(
      Archive({Level1Header("-lh0-", ToBytes("A\\B.TXT"), 0, 0, kDos, 0, 'a', {}), kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  EXPECT_EQ(w.entries.at(0).path, (std::vector<std::string>{"A", "B.TXT"}));
}

TEST(Level2, PaddingAfterTheChainIsSkipped) {
  const testing::Walk w = WalkArchive(
      Archive({Level23Header(2, "-lh0-", 3, 3, 1709648626, 0, 'U', {CrcExt(), NameExt("p")}, 2),
               ToBytes("abc"), StoredLevel2("q", "q"), kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  ASSERT_EQ(w.entries.size(), 2u);
  EXPECT_EQ(w.entries[0].header_size, 26u + 5 + 4 + 2);
  EXPECT_EQ(w.entries[0].data_offset, w.entries[0].header_size);
}

TEST(Level2, WithoutHeaderCrcIsAccepted) {
  const testing::Walk w =
      WalkArchive(Archive({Level23Header(2, "-lh0-", 0, 0, 1, 0, 'a', {NameExt("nocrc")}), kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  EXPECT_FALSE(w.entries.at(0).has_header_crc);
}

// A header of exactly 256 bytes starts with 0x00. It is a header, not the end marker, when it
// validates completely; at the start of the archive and after another entry.
TEST(Level2, SizeMultipleOf256WithoutPadding) {
  const Bytes big = Level23Header(2, "-lh0-", 1, 1, 1, 0, 'U',
                                  {CrcExt(), NameExt(std::string(256 - 26 - 5 - 3, 'a'))});
  ASSERT_EQ(big.size(), 256u);
  ASSERT_EQ(big[0], 0);
  for (bool first : {true, false}) {
    const Bytes archive = first ? Archive({big, {'x'}, StoredLevel2("b", "b"), kEnd})
                                : Archive({StoredLevel2("b", "b"), big, {'x'}, kEnd});
    const testing::Walk w = WalkArchive(archive);
    ASSERT_EQ(w.code, 0) << w.detail;
    EXPECT_EQ(w.entries.size(), 2u);
    EXPECT_TRUE(w.end_marker);
  }
  // Without a header CRC nothing tells it from the end marker followed by junk.
  const Bytes unchecked =
      Level23Header(2, "-lh0-", 1, 1, 1, 0, 'U', {NameExt(std::string(256 - 26 - 3, 'a'))});
  ASSERT_EQ(unchecked[0], 0);
  const testing::Walk w = WalkArchive(Archive({StoredLevel2("b", "b"), unchecked, {'x'}, kEnd}));
  EXPECT_EQ(w.code, 0);
  EXPECT_EQ(w.entries.size(), 1u);
}

TEST(Level3, WideSizesAndHeaderCrc) {
  Bytes attrs;  // UNLHA32 level-3 attributes: mode, gid, uid as LE32 (+ times)
  PutLe(attrs, 0100640, 4);
  PutLe(attrs, 20, 4);
  PutLe(attrs, 30, 4);
  PutLe(attrs, 0, 8);
  const testing::Walk w = WalkArchive(
      Archive({Level23Header(3, "-lh0-", 2, 2, 1709648626, 7, 'M',
                             {CrcExt(), NameExt("w.txt"), {0x02, ToBytes("d\xFF")}, {0xFF, attrs}}),
               ToBytes("ok"), kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  const EntryHeader& h = w.entries.at(0);
  EXPECT_EQ(h.level, 3);
  EXPECT_TRUE(h.has_header_crc);
  EXPECT_EQ(h.path, (std::vector<std::string>{"d", "w.txt"}));
  EXPECT_EQ(h.unix_mode, 0100640);
  EXPECT_EQ(h.unix_gid, 20);
  EXPECT_EQ(h.unix_uid, 30);
  EXPECT_EQ(h.unix_mtime, 1709648626);
}

TEST(Kinds, SymlinkSplitsAtTheFirstBarAfterJoining) {
  const testing::Walk w = WalkArchive(Archive(
      {Level23Header(2, "-lhd-", 0, 0, 1, 0, 'U',
                     {CrcExt(),
                      NameExt("target"),
                      {0x02, ToBytes("sub\xFFlink|\xFF"
                                     "abs\xFF")},
                      {0x50, {0xFF, 0xA1}}}),
       // A folder whose name holds '|': its mode says folder, so no link.
       Level23Header(2, "-lhd-", 0, 0, 1, 0, 'U',
                     {CrcExt(), NameExt(""), {0x02, ToBytes("a|b\xFF")}, {0x50, {0xED, 0x41}}}),
       kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  ASSERT_EQ(w.entries.size(), 2u);
  EXPECT_EQ(w.entries[0].kind, EntryKind::kSymlink);
  EXPECT_EQ(w.entries[0].path, (std::vector<std::string>{"sub", "link"}));
  EXPECT_EQ(w.entries[0].symlink_target, "/abs/target");
  EXPECT_EQ(w.entries[1].kind, EntryKind::kDirectory);
  EXPECT_EQ(w.entries[1].path, std::vector<std::string>{"a|b"});
}

TEST(Kinds, UnknownMethodsAreListedAndSkipped) {
  const testing::Walk w =
      WalkArchive(Archive({Level0Header("-xyz-", ToBytes("odd"), 3, 9, kDos, 0x20, 0),
                           ToBytes("???"), StoredLevel2("after", "a"), kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  ASSERT_EQ(w.entries.size(), 2u);
  EXPECT_EQ(w.entries[0].method_id(), "-xyz-");
  EXPECT_EQ(w.entries[1].path, std::vector<std::string>{"after"});
}

TEST(Archive, EmptyAndMarkerOnly) {
  testing::Walk w = WalkArchive({});
  EXPECT_EQ(w.code, 0);
  EXPECT_TRUE(w.entries.empty());
  EXPECT_FALSE(w.end_marker);
  w = WalkArchive({0});
  EXPECT_EQ(w.code, 0);
  EXPECT_TRUE(w.entries.empty());
  EXPECT_TRUE(w.end_marker);
}

TEST(Archive, NotAnArchive) {
  EXPECT_EQ(WalkArchive(ToBytes("hello")).code, UNLHA_ERROR_NOT_ARC_FILE);
  EXPECT_EQ(WalkArchive({0, 0, 0, 0}).code, UNLHA_ERROR_NOT_ARC_FILE);
  EXPECT_EQ(WalkArchive(Bytes(100000, 0xFF)).code, UNLHA_ERROR_NOT_ARC_FILE);
}

TEST(Archive, EndsAtMarkerOrPhysicalEnd) {
  const Bytes one = StoredLevel2("f", "data");
  testing::Walk w = WalkArchive(Archive({one, kEnd, ToBytes("trailing junk")}));
  EXPECT_EQ(w.code, 0);
  EXPECT_EQ(w.entries.size(), 1u);
  EXPECT_TRUE(w.end_marker);
  EXPECT_EQ(w.end_offset, one.size());
  w = WalkArchive(one);
  EXPECT_EQ(w.code, 0);
  EXPECT_EQ(w.entries.size(), 1u);
  EXPECT_FALSE(w.end_marker);
  EXPECT_EQ(w.end_offset, one.size());
}

// Only a program's start may stand before the first header: that is what self-extractors are.
TEST(Archive, FindsTheArchiveBehindAStubAndOnlyThere) {
  using namespace std::string_view_literals;
  const struct {
    std::string_view start;
    int32_t code;
  } kCases[] = {
      {"MZ fake stub -lh5- -lhd- text that is not a header "sv, 0},
      {"\0\0\x03\xF3 Amiga hunks"sv, 0},
      {"\xEB\x1C an MS-DOS .COM program's jump"sv, 0},
      {"\x7F"
       "ELF a Unix program"sv,
       0},
      {"plain text before an archive"sv, UNLHA_ERROR_NOT_ARC_FILE},
      {"a.lzh\0\0\0 a tar member's name"sv, UNLHA_ERROR_NOT_ARC_FILE},
  };
  for (const auto& c : kCases) {
    Bytes stub = ToBytes(c.start);
    stub.resize(30000, 0x90);
    const testing::Walk w = WalkArchive(Archive({stub, StoredLevel2("in.txt", "x"), kEnd}));
    EXPECT_EQ(w.code, c.code) << c.start << ": " << w.detail;
    if (c.code != 0) continue;
    EXPECT_EQ(w.archive_offset, stub.size()) << c.start;
    EXPECT_EQ(w.entries.at(0).path, std::vector<std::string>{"in.txt"}) << c.start;
  }
}

TEST(Archive, GivesUpBeyondTheScanWindow) {
  Bytes stub(kMaxPrefixScan + 1, 0x90);
  stub[0] = 'M';
  stub[1] = 'Z';
  EXPECT_EQ(WalkArchive(Archive({stub, StoredLevel2("far", "x"), kEnd})).code,
            UNLHA_ERROR_NOT_ARC_FILE);
}

// Amiga and DECLHA stubs embed a decoy after their ID string; it may even validate.
TEST(Archive, SkipsTheDecoyAfterAStubMarker) {
  Bytes stub = ToBytes(std::string_view("\0\0\x03\xF3 stub LhASFX V1.2, stub", 27));
  Append(stub, Level0Header("-lh5-", ToBytes("Usage.txt"), 0, 0, kDos, 0x20, 0));
  Append(stub, ToBytes("more stub"));
  const testing::Walk w = WalkArchive(Archive({stub, StoredLevel2("real", "r"), kEnd}));
  ASSERT_EQ(w.code, 0) << w.detail;
  EXPECT_EQ(w.archive_offset, stub.size());
  EXPECT_EQ(w.entries.at(0).path, std::vector<std::string>{"real"});
}

TEST(Archive, ErrorsAreSticky) {
  Bytes broken = StoredLevel2("b", "b");
  broken[kLevelOffset] = 9;
  const Bytes archive = Archive({StoredLevel2("a", "a"), broken, kEnd});
  MemorySource source(archive);
  ArchiveReader reader(source);
  ASSERT_TRUE(reader.Next().has_value());
  for (int i = 0; i < 2; ++i) {
    try {
      reader.Next();
      FAIL() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), UNLHA_ERROR_HEADER_BROKEN);
    }
  }
}

TEST(PackedData, StreamsExactlyThePackedBytes) {
  const Bytes archive =
      Archive({StoredLevel2("a", "first entry"), StoredLevel2("b", "second"), kEnd});
  MemorySource source(archive);
  ArchiveReader reader(source);
  std::vector<std::string> got;
  while (std::optional<EntryHeader> h = reader.Next()) {
    PackedDataSource data = reader.OpenPackedData(*h);
    std::string s;
    uint8_t buf[3];
    while (size_t n = data.Read(buf))
      s.append(buf, buf + n);
    EXPECT_EQ(data.remaining(), 0u);
    got.push_back(s);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"first entry", "second"}));
}

TEST(PackedData, ArchiveEndingEarlyIsAReadError) {
  const Bytes whole = StoredLevel2("a", "0123456789");
  const Bytes archive(whole.begin(), whole.end() - 3);
  MemorySource source(archive);
  ArchiveReader reader(source);
  const std::optional<EntryHeader> h = reader.Next();
  ASSERT_TRUE(h.has_value());
  PackedDataSource data = reader.OpenPackedData(*h);
  uint8_t buf[64];
  EXPECT_EQ(data.Read(buf), 7u);
  try {
    data.Read(buf);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), UNLHA_ERROR_ARC_READ);
  }
}

// A source that fails the test if anything reads outside it, handing out one byte per call to
// catch callers that assume full reads.
class StrictSource final : public RandomAccessSource {
 public:
  explicit StrictSource(const Bytes& b) : bytes_(b) {}
  size_t ReadAt(uint64_t offset, std::span<uint8_t> buf) override {
    EXPECT_LE(offset, bytes_.size());
    if (offset >= bytes_.size() || buf.empty()) return 0;
    buf[0] = bytes_[offset];
    return 1;
  }
  uint64_t Size() override { return bytes_.size(); }

 private:
  const Bytes& bytes_;
};

TEST(Archive, CopesWithShortReads) {
  const Bytes archive =
      Archive({Level1Header("-lh0-", ToBytes("x"), 1, 1, kDos, 0, 'U', {CrcExt()}),
               {'1'},
               StoredLevel2("y", "22"),
               kEnd});
  StrictSource source(archive);
  ArchiveReader reader(source);
  int n = 0;
  while (std::optional<EntryHeader> h = reader.Next()) {
    PackedDataSource data = reader.OpenPackedData(*h);
    uint8_t buf[8];
    size_t total = 0;
    while (size_t got = data.Read(buf))
      total += got;
    EXPECT_EQ(total, h->packed_size);
    ++n;
  }
  EXPECT_EQ(n, 2);
}

}  // namespace
}  // namespace lha::format

namespace lha::format {
namespace {

// Whatever single bit of the first header is damaged, the walk never starts at the second entry
// as if the first had been a stub: a backup that silently lost a file.
TEST(Damage, NoDamagedFirstHeaderIsTakenForAPrefix) {
  const Bytes second = StoredLevel2("b.txt", "two\n");
  const struct {
    const char* level;
    Bytes first;
  } kFirsts[] = {
      {"0", Archive({Level0Header("-lh0-", ToBytes("a.txt"), 4, 4, kDos, 0x20,
                                  Crc16Of(ToBytes("one\n"))),
                     ToBytes("one\n")})},
      {"1", Archive({Level1Header("-lh0-", ToBytes("a.txt"), 4, 4, kDos, Crc16Of(ToBytes("one\n")),
                                  'U', {}),
                     ToBytes("one\n")})},
      {"2", StoredLevel2("a.txt", "one\n")},
  };
  for (const auto& f : kFirsts) {
    const size_t header_size = f.first.size() - 4;
    for (size_t at = 0; at < header_size; ++at) {
      for (int bit = 0; bit < 8; ++bit) {
        Bytes archive = Archive({f.first, second, kEnd});
        archive[at] ^= static_cast<uint8_t>(1 << bit);
        const testing::Walk w = WalkArchive(archive);
        EXPECT_TRUE(w.code != 0 || (w.archive_offset == 0 && w.entries.size() == 2))
            << "level " << f.level << ", byte " << at << ", bit " << bit << ": " << w.entries.size()
            << " entries from offset " << w.archive_offset;
      }
    }
  }
}

TEST(Damage, ANulInsideAStoredNameRefusesThatEntryAlone) {
  const struct {
    const char* what;
    Bytes entry;
  } kCases[] = {
      {"folder", Level23Header(2, "-lh0-", 0, 0, 0, 0, 'U',
                               {CrcExt(),
                                NameExt("f.txt"),
                                {0x02, ToBytes(std::string_view("..\0x\xFF..\0y\xFF", 10))}})},
      {"file", Level23Header(2, "-lh0-", 0, 0, 0, 0, 'U',
                             {CrcExt(), NameExt(std::string_view("a.txt\0evil", 10))})},
      {"link target", Level23Header(2, "-lhd-", 0, 0, 0, 0, 'U',
                                    {CrcExt(), NameExt(std::string_view("l|..\0/x", 8))})},
      {"level-1 ext name", Level1Header("-lh0-", ToBytes("a.txt"), 0, 0, kDos, 0, 'U',
                                        {{0x01, ToBytes(std::string_view("b\0c", 3))}})},
  };
  for (const auto& c : kCases) {
    const Bytes archive = Archive({c.entry, StoredLevel2("next.txt", "n"), kEnd});
    MemorySource source(archive);
    ArchiveReader reader(source);
    try {
      reader.Next();
      ADD_FAILURE() << c.what << ": no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), UNLHA_ERROR_HEADER_BROKEN) << c.what;
    }
    EXPECT_FALSE(reader.failed()) << c.what;
    const std::optional<EntryHeader> next = reader.Next();
    ASSERT_TRUE(next.has_value()) << c.what;
    EXPECT_EQ(next->path, std::vector<std::string>{"next.txt"}) << c.what;
  }
}

}  // namespace
}  // namespace lha::format
