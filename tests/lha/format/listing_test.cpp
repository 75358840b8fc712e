#include "format/listing.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace lha::format {
namespace {

// A zone nine hours east of UTC, without daylight saving.
LocalTime PlusNine() {
  return LocalTime{[](int64_t t) { return CivilFromUnix(t + 9 * 3600); },
                   [](const CivilTime& c) { return UnixFromCivil(c) - 9 * 3600; }};
}

LocalTime NeverCalled() {
  return LocalTime{[](int64_t) -> CivilTime {
                     ADD_FAILURE() << "local time asked for";
                     return {};
                   },
                   [](const CivilTime&) -> int64_t {
                     ADD_FAILURE() << "local time asked for";
                     return 0;
                   }};
}

EntryHeader Level2File() {
  EntryHeader h;
  h.level = 2;
  h.method = {'-', 'l', 'h', '5', '-'};
  h.path = {"dir", "sub", "file.txt"};
  h.packed_size = 523;
  h.original_size = 1000;
  h.data_crc = 0x412B;
  h.unix_mtime = 1709648626;  // 2024-03-05 14:23:46 UTC
  return h;
}

TEST(Listing, Level2TimeIsShownInLocalTime) {
  const ListingValues v = DeriveListing(Level2File(), PlusNine(), '\\');
  EXPECT_EQ(v.method, "-lh5-");
  EXPECT_EQ(v.crc, 0x412B);
  EXPECT_EQ(v.ratio_per_mille, 523u);
  EXPECT_EQ(v.dos_date, DosDatePart(DosFromCivil({2024, 3, 5, 23, 23, 46})));
  EXPECT_EQ(v.dos_time, DosTimePart(DosFromCivil({2024, 3, 5, 23, 23, 46})));
  EXPECT_EQ(v.name, "dir\\sub\\file.txt");
  EXPECT_EQ(v.attribute, 0x20);
  EXPECT_EQ(v.attribute_text, "A---");
}

TEST(Listing, StoredDosTimeIsShownAsIs) {
  EntryHeader h = Level2File();
  h.level = 1;
  h.unix_mtime.reset();
  h.dos_time = 0x586572F7;
  const ListingValues v = DeriveListing(h, NeverCalled(), '/');
  EXPECT_EQ(v.dos_date, 0x5865);
  EXPECT_EQ(v.dos_time, 0x72F7);
  h.dos_time = 0;  // no time
  const ListingValues none = DeriveListing(h, NeverCalled(), '/');
  EXPECT_EQ(none.dos_date, 0);
  EXPECT_EQ(none.dos_time, 0);
}

// Headers as other programs write them, walked and listed: which time and attribute show.
TEST(Listing, TimeAndAttributeOfStoredHeaders) {
  using testing::Bytes;
  using testing::PutLe;
  using testing::ToBytes;
  constexpr uint32_t kDos = 0x586572F7;   // 2024-03-05 14:23:46, the writer's local time
  constexpr uint32_t kUnix = 1709648626;  // 2024-03-05 14:23:46 UTC
  constexpr uint16_t kReadOnly = 0100444;
  Bytes unix_area = {'U', 0};  // as LHa for UNIX writes it after a level-0 header
  PutLe(unix_area, kUnix, 4);
  PutLe(unix_area, kReadOnly, 2);
  PutLe(unix_area, 1000, 2);
  PutLe(unix_area, 100, 2);
  Bytes time_ext, mode_ext;
  PutLe(time_ext, kUnix, 4);
  PutLe(mode_ext, kReadOnly, 2);
  const uint32_t unix_in_plus_nine = DosFromCivil({2024, 3, 5, 23, 23, 46});
  struct Case {
    const char* label;
    Bytes header;
    uint32_t dos;  // date << 16 | time
    const char* attribute;
  };
  const Case cases[] = {
      {"level 0, MS-DOS fields", testing::Level0Header("-lh0-", ToBytes("a"), 0, 0, kDos, 0x21, 0),
       kDos, "A--R"},
      {"level 0 with a Unix area",
       testing::Level0Header("-lh0-", ToBytes("a"), 0, 0, kDos, 0x20, 0, unix_area),
       unix_in_plus_nine, "A--R"},
      {"level 1 with ext 54 and 50",
       testing::Level1Header("-lh0-", ToBytes("a"), 0, 0, kDos, 0, 'U',
                             {{0x54, time_ext}, {0x50, mode_ext}}),
       unix_in_plus_nine, "A--R"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Bytes archive = c.header;
    archive.push_back(0);
    const testing::Walk w = testing::WalkArchive(archive);
    ASSERT_EQ(w.code, 0) << w.detail;
    ASSERT_EQ(w.entries.size(), 1u);
    const ListingValues v = DeriveListing(w.entries[0], PlusNine(), '/');
    EXPECT_EQ(v.dos_date, DosDatePart(c.dos));
    EXPECT_EQ(v.dos_time, DosTimePart(c.dos));
    EXPECT_EQ(v.attribute_text, c.attribute);
  }
}

TEST(Listing, Ratios) {
  const struct {
    uint64_t packed, original, per_mille;
  } cases[] = {
      {0, 0, 0},
      {17, 10, 1700},  // stored data that grew
      // Products past 64 bits.
      {1ull << 61, 1ull << 62, 500},
      {UINT64_MAX - 1, UINT64_MAX, 999},
      {UINT64_MAX / 1000, 1, UINT64_MAX / 1000 * 1000},
      {UINT64_MAX / 1000 + 1, 1, UINT64_MAX},  // capped
  };
  for (const auto& c : cases) {
    EntryHeader h = Level2File();
    h.packed_size = c.packed;
    h.original_size = c.original;
    EXPECT_EQ(DeriveListing(h, PlusNine(), '/').ratio_per_mille, c.per_mille)
        << c.packed << " / " << c.original;
  }
}

TEST(Listing, NamesOfFoldersLinksAndAbsolutePaths) {
  EntryHeader d = Level2File();
  d.kind = EntryKind::kDirectory;
  d.method = {'-', 'l', 'h', 'd', '-'};
  d.path = {"a", "b"};
  ListingValues v = DeriveListing(d, PlusNine(), '\\');
  EXPECT_EQ(v.name, "a\\b\\");
  EXPECT_EQ(v.attribute_text, "D---");

  EntryHeader l = d;
  l.kind = EntryKind::kSymlink;
  l.symlink_target = "../x/y";
  // The record's name is the stored path alone, so callers can split it into folder and name.
  EXPECT_EQ(DeriveListing(l, PlusNine(), '\\').name, "a\\b");
  EXPECT_EQ(DeriveListing(l, PlusNine(), '\\').link_target, "..\\x\\y");

  EntryHeader a = Level2File();
  a.absolute = true;
  EXPECT_EQ(DeriveListing(a, PlusNine(), '/').name, "/dir/sub/file.txt");
}

TEST(Attributes, StoredThenModeThenKind) {
  EntryHeader h = Level2File();
  EXPECT_EQ(EffectiveMsdosAttribute(h), 0x20);
  h.unix_mode = 0100444;
  EXPECT_EQ(EffectiveMsdosAttribute(h), 0x21);
  h.unix_mode = 0040555;
  EXPECT_EQ(EffectiveMsdosAttribute(h), 0x10);
  h.unix_mode = 0120777;
  EXPECT_EQ(EffectiveMsdosAttribute(h), 0x20);
  h.msdos_attribute = 0x27;
  EXPECT_EQ(EffectiveMsdosAttribute(h), 0x27);
  EXPECT_EQ(DeriveListing(h, PlusNine(), '/').attribute_text, "ASHR");
  h.msdos_attribute.reset();
  h.unix_mode.reset();
  h.kind = EntryKind::kDirectory;
  EXPECT_EQ(EffectiveMsdosAttribute(h), 0x10);
}

TEST(ModificationTime, UnixTimeElseLocalDosTime) {
  EntryHeader h = Level2File();
  EXPECT_EQ(ModificationTime(h, NeverCalled()), 1709648626);
  h.unix_mtime.reset();
  h.dos_time = 0x586572F7;  // 14:23:46 local, +9 h
  EXPECT_EQ(ModificationTime(h, PlusNine()), 1709648626 - 9 * 3600);
  h.dos_time = 0;
  EXPECT_FALSE(ModificationTime(h, PlusNine()).has_value());
  h.dos_time.reset();
  EXPECT_FALSE(ModificationTime(h, PlusNine()).has_value());
}

}  // namespace
}  // namespace lha::format
