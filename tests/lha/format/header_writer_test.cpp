#include "format/header_writer.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "format/bytes.h"
#include "format/crc16.h"
#include "format/layout.h"
#include "test_support.h"

namespace lha::format {
namespace {

using testing::Bytes;

// The types of the ext headers of a level-2 header, in order.
std::vector<uint8_t> ExtTypes(const Bytes& h) {
  std::vector<uint8_t> types;
  size_t cursor = h2::kBaseSize;
  size_t next = Le16(h, h2::kFirstExtSizeOffset);
  while (next != 0) {
    types.push_back(h[cursor]);
    cursor += next;
    next = Le16(h, cursor - 2);
  }
  return types;
}

// Header + data + end marker, read back through the archive walker.
EntryHeader ReadBack(Bytes header, const Bytes& data = {}) {
  testing::Append(header, data);
  header.push_back(0);
  const testing::Walk w = testing::WalkArchive(header);
  EXPECT_EQ(w.code, 0) << w.detail;
  EXPECT_EQ(w.entries.size(), 1u);
  return w.entries.empty() ? EntryHeader{} : w.entries.front();
}

// Every byte of a small header, written out from the profile in docs/lzh-format.md.
TEST(Level2Writer, WritesTheDocumentedBytes) {
  NewEntry e;
  e.path = {"d", "a.txt"};
  e.method = "-lh5-";
  e.unix_mode = 0644;
  e.mtime = 1709648626;
  Bytes h = EncodeLevel2Header(e);
  PatchSizesAndCrc(h, 37, 200, 0x412B);
  Bytes expected = {
      0x31, 0x00,                                     // T = 49
      '-',  'l',  'h',  '5',  '-',                    // method
      37,   0,    0,    0,                            // packed size
      200,  0,    0,    0,                            // original size
      0xF2, 0x2A, 0xE7, 0x65,                         // mtime 1709648626
      0x20, 0x02,                                     // reserved, level 2
      0x2B, 0x41,                                     // data CRC
      'U',  0x05, 0x00,                               // OS id, size of ext 00
      0x00, 0x00, 0x00, 0x08, 0x00,                   // ext 00: header CRC (filled below), next 8
      0x01, 'a',  '.',  't',  'x',  't', 0x05, 0x00,  // ext 01 "a.txt", next 5
      0x02, 'd',  0xFF, 0x05, 0x00,                   // ext 02 "d" FF, next 5
      0x50, 0xA4, 0x81, 0x00, 0x00,                   // ext 50 mode 0100644, end
  };
  ASSERT_EQ(h.size(), expected.size());
  const uint16_t crc = Crc16Of(expected);  // CRC bytes are still zero here
  expected[27] = static_cast<uint8_t>(crc);
  expected[28] = static_cast<uint8_t>(crc >> 8);
  EXPECT_EQ(h, expected);
}

struct RoundTripCase {
  std::string label;
  NewEntry entry;
  uint64_t packed;
  uint64_t original;
  uint16_t crc;
  // Expected on reading back:
  std::vector<uint8_t> ext_types;
  std::optional<uint8_t> attribute;  // ext 0x40
  bool code_page;                    // ext 0x46
};

// As the Windows build writes: names in code page 932, OS id 'M', no Unix mode.
NewEntry AsWindowsWrites(NewEntry e) {
  e.code_page = 932;
  e.os_id = 'M';
  return e;
}

NewEntry Entry(EntryKind kind, std::vector<std::string> path, uint16_t mode,
               std::string target = {}, bool hidden = false) {
  NewEntry e;
  e.kind = kind;
  e.path = std::move(path);
  e.unix_mode = mode;
  e.symlink_target = std::move(target);
  e.hidden = hidden;
  e.mtime = 1700000000;
  e.method = "-lh0-";
  return e;
}

void PrintTo(const RoundTripCase& c, std::ostream* os) {
  *os << c.label;
}

class Level2RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(Level2RoundTrip, ReadsBackWhatWasWritten) {
  const RoundTripCase& c = GetParam();
  Bytes h = EncodeLevel2Header(c.entry);
  const size_t length = h.size();
  PatchSizesAndCrc(h, c.packed, c.original, c.crc);
  ASSERT_EQ(h.size(), length);
  EXPECT_NE(h.size() % 256, 0u);
  EXPECT_EQ(h[kAttributeOffset], 0x20);
  EXPECT_EQ(ExtTypes(h), c.ext_types);

  const EntryHeader r = ReadBack(h, Bytes(c.packed, 'x'));
  EXPECT_EQ(r.level, 2);
  EXPECT_EQ(r.os_id, c.entry.os_id);
  EXPECT_TRUE(r.has_header_crc);
  EXPECT_EQ(r.kind, c.entry.kind);
  EXPECT_EQ(r.path, c.entry.path);
  EXPECT_FALSE(r.absolute);
  EXPECT_EQ(r.symlink_target, c.entry.symlink_target);
  EXPECT_EQ(r.method_id(), c.entry.kind == EntryKind::kFile ? c.entry.method : "-lhd-");
  EXPECT_EQ(r.packed_size, c.packed);
  EXPECT_EQ(r.original_size, c.original);
  EXPECT_EQ(r.data_crc, c.crc);
  EXPECT_EQ(r.unix_mtime, c.entry.mtime);
  const uint16_t type = c.entry.kind == EntryKind::kDirectory ? 0040000
                        : c.entry.kind == EntryKind::kSymlink ? 0120000
                                                              : 0100000;
  if (c.entry.os_id == 'U') {
    EXPECT_EQ(r.unix_mode, type | c.entry.unix_mode);
  } else {
    EXPECT_EQ(r.unix_mode, std::nullopt);
  }
  EXPECT_EQ(r.msdos_attribute, c.attribute);
  EXPECT_EQ(r.code_page.has_value(), c.code_page);
  EXPECT_EQ(r.data_offset, h.size());
}

// Owner ids are never written, and a code page only for a name that needs one.
const std::vector<uint8_t> kFileExts = {0x00, 0x01, 0x50};
const std::vector<uint8_t> kNestedExts = {0x00, 0x01, 0x02, 0x50};

INSTANTIATE_TEST_SUITE_P(
    Table, Level2RoundTrip,
    ::testing::Values(
        RoundTripCase{"plain_file", Entry(EntryKind::kFile, {"hello.txt"}, 0644), 13, 13, 0x1234,
                      kFileExts, std::nullopt, false},
        RoundTripCase{"nested_path", Entry(EntryKind::kFile, {"a", "b c", "d.e", "f"}, 0600), 5, 9,
                      0xBEEF, kNestedExts, std::nullopt, false},
        RoundTripCase{"empty_folder", Entry(EntryKind::kDirectory, {"top", "empty"}, 0755), 0, 0, 0,
                      kNestedExts, std::nullopt, false},
        RoundTripCase{"symlink_plain", Entry(EntryKind::kSymlink, {"dir", "link"}, 0777, "t.txt"),
                      0, 0, 0, kNestedExts, std::nullopt, false},
        RoundTripCase{"symlink_relative_path",
                      Entry(EntryKind::kSymlink, {"link"}, 0777, "../up/there"), 0, 0, 0,
                      kNestedExts, std::nullopt, false},
        RoundTripCase{"symlink_absolute", Entry(EntryKind::kSymlink, {"l"}, 0777, "/etc/passwd"), 0,
                      0, 0, kNestedExts, std::nullopt, false},
        RoundTripCase{
            "japanese_utf8",
            Entry(EntryKind::kFile, {"\xE6\x97\xA5\xE6\x9C\xAC", "\xE8\xA1\xA8.txt"}, 0644),
            3,
            3,
            1,
            {0x00, 0x01, 0x02, 0x50, 0x46},
            std::nullopt,
            true},
        RoundTripCase{"not_utf8_no_code_page",
                      Entry(EntryKind::kFile, {"\x95\x5C.txt"}, 0644),
                      1,
                      1,
                      1,
                      {0x00, 0x01, 0x50},
                      std::nullopt,
                      false},
        RoundTripCase{"read_only",
                      Entry(EntryKind::kFile, {"ro.txt"}, 0444),
                      1,
                      1,
                      1,
                      {0x00, 0x01, 0x40, 0x50},
                      0x21,
                      false},
        RoundTripCase{"hidden",
                      Entry(EntryKind::kFile, {".profile"}, 0644, "", true),
                      1,
                      1,
                      1,
                      {0x00, 0x01, 0x40, 0x50},
                      0x22,
                      false},
        RoundTripCase{"windows_shift_jis",
                      AsWindowsWrites(Entry(EntryKind::kFile, {"\x95\x5C", "\x8E\xA6.txt"}, 0644)),
                      1,
                      1,
                      1,
                      {0x00, 0x01, 0x02, 0x46},
                      std::nullopt,
                      true},
        RoundTripCase{"windows_folder",
                      AsWindowsWrites(Entry(EntryKind::kDirectory, {"d"}, 0755)),
                      0,
                      0,
                      0,
                      {0x00, 0x01, 0x02},
                      std::nullopt,
                      false},
        RoundTripCase{"hidden_read_only_dir",
                      Entry(EntryKind::kDirectory, {".d"}, 0555, "", true),
                      0,
                      0,
                      0,
                      {0x00, 0x01, 0x02, 0x40, 0x50},
                      0x12,
                      false}),
    [](const auto& info) { return info.param.label; });

TEST(Level2Writer, ClampsTimesToTheField) {
  NewEntry e = Entry(EntryKind::kFile, {"f"}, 0644);
  e.mtime = -5;
  EXPECT_EQ(ReadBack(EncodeLevel2Header(e)).unix_mtime, 0);
  e.mtime = int64_t{1} << 33;
  EXPECT_EQ(ReadBack(EncodeLevel2Header(e)).unix_mtime, 0xFFFFFFFF);
}

// Headers whose size would be a multiple of 256 start with 0x00, the end marker. Walk every
// name length and folder depth that reaches 256 and 512 and check the size dodges them.
TEST(Level2Writer, HeaderSizeIsNeverAMultipleOf256) {
  int dodged = 0;
  for (size_t depth = 0; depth < 3; ++depth) {
    for (size_t len = 1; len <= 560; ++len) {
      NewEntry e = Entry(EntryKind::kFile, {}, 0644);
      for (size_t d = 0; d < depth; ++d)
        e.path.push_back("dir" + std::to_string(d));
      e.path.push_back(std::string(len, 'n'));
      Bytes h = EncodeLevel2Header(e);
      ASSERT_NE(h.size() % 256, 0u) << "depth " << depth << " length " << len;
      const size_t crc_ext_size = Le16(h, h2::kFirstExtSizeOffset);
      if (crc_ext_size == 6) {
        ++dodged;  // the CRC ext grew by one byte instead of padding
        EXPECT_EQ((h.size() - 1) % 256, 0u);
      }
      PatchSizesAndCrc(h, 1, 1, 0);
      EXPECT_EQ(ReadBack(h, {'x'}).path, e.path);
    }
  }
  EXPECT_GE(dodged, 4);  // 256 and 512 at several depths were actually met
}

TEST(Level2Writer, SizesOf4GiBAndMoreGoToExt42) {
  NewEntry e = Entry(EntryKind::kFile, {"big.bin"}, 0644);
  e.declared_size = 5ull << 30;
  Bytes h = EncodeLevel2Header(e);
  EXPECT_EQ(ExtTypes(h), (std::vector<uint8_t>{0x00, 0x01, 0x42, 0x50}));
  const uint64_t packed = (9ull << 29) + 7, original = (5ull << 30) + 3;
  PatchSizesAndCrc(h, packed, original, 0xABCD);
  EXPECT_EQ(Le32(h, kPackedSizeOffset), static_cast<uint32_t>(packed));
  EXPECT_EQ(Le32(h, kOriginalSizeOffset), static_cast<uint32_t>(original));
  // The walker must not need the data to read the header; give it none and stop after it.
  MemorySource source(h);
  ArchiveReader reader(source);
  const std::optional<EntryHeader> r = reader.Next();
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->packed_size, packed);
  EXPECT_EQ(r->original_size, original);
  EXPECT_EQ(r->data_crc, 0xABCD);
}

TEST(Level2Writer, ReservesExt42BelowTheLimitForGrowth) {
  NewEntry e = Entry(EntryKind::kFile, {"almost.bin"}, 0644);
  e.declared_size = kLargeSizeThreshold - 1;
  Bytes h = EncodeLevel2Header(e);
  EXPECT_EQ(ExtTypes(h), (std::vector<uint8_t>{0x00, 0x01, 0x50}));
  try {
    PatchSizesAndCrc(h, 1, 1ull << 32, 0);
    FAIL() << "a 4 GiB size fitted a header without ext 42";
  } catch (const Error& err) {
    EXPECT_EQ(err.code(), UNLHA_ERROR_UNKNOWN_TYPE);
  }
  e.declared_size = kLargeSizeThreshold;
  h = EncodeLevel2Header(e);
  EXPECT_NO_THROW(PatchSizesAndCrc(h, 1ull << 32, 1ull << 32, 0));
}

TEST(Level2Writer, RefusesWhatCannotBeStored) {
  const auto code_of = [](const NewEntry& e) {
    try {
      EncodeLevel2Header(e);
    } catch (const Error& err) {
      return err.code();
    }
    return 0;
  };
  EXPECT_EQ(code_of(Entry(EntryKind::kSymlink, {"a|b"}, 0777, "t")), UNLHA_ERROR_UNKNOWN_TYPE);
  EXPECT_EQ(code_of(Entry(EntryKind::kFile, {"\xFF"}, 0644)), UNLHA_ERROR_UNKNOWN_TYPE);
  EXPECT_EQ(code_of(Entry(EntryKind::kFile, {"a\\b"}, 0644)), UNLHA_ERROR_UNKNOWN_TYPE);
  EXPECT_EQ(code_of(Entry(EntryKind::kSymlink, {"l"}, 0777, "..\\x")), UNLHA_ERROR_UNKNOWN_TYPE);
  // In a Shift_JIS name (no UTF-8 code page) the 0x5C of a double-byte character is no
  // separator to readers, so it may be stored; a lone one may not.
  EXPECT_EQ(code_of(Entry(EntryKind::kFile, {"\x95\x5C.txt"}, 0644)), 0);
  EXPECT_EQ(code_of(Entry(EntryKind::kFile, {"\x95\x41\x5C.txt"}, 0644)), UNLHA_ERROR_UNKNOWN_TYPE);
  EXPECT_EQ(code_of(Entry(EntryKind::kFile, std::vector<std::string>(7000, "abcdefghij"), 0644)),
            UNLHA_ERROR_UNKNOWN_TYPE);
  // A '|' is harmless in the name of a file.
  EXPECT_EQ(code_of(Entry(EntryKind::kFile, {"a|b"}, 0644)), 0);
  // A link's bar must not follow what readers take for a Shift_JIS lead byte: a Latin-1 name
  // ending in 0xE9 would come back as a folder. Valid UTF-8 says its code page; a lead byte
  // before a separator pairs with nothing.
  EXPECT_EQ(code_of(Entry(EntryKind::kSymlink, {"caf\xE9"}, 0777, "t")), UNLHA_ERROR_UNKNOWN_TYPE);
  EXPECT_EQ(code_of(Entry(EntryKind::kSymlink, {"\xE3\x81\x82"}, 0777, "t")), 0);
  EXPECT_EQ(code_of(Entry(EntryKind::kSymlink, {"caf\xE9", "l"}, 0777, "t")), 0);

  EXPECT_THROW(EncodeLevel2Header(Entry(EntryKind::kFile, {}, 0644)), std::invalid_argument);
  EXPECT_THROW(EncodeLevel2Header(Entry(EntryKind::kFile, {"a/b"}, 0644)), std::invalid_argument);
  EXPECT_THROW(EncodeLevel2Header(Entry(EntryKind::kFile, {""}, 0644)), std::invalid_argument);
  EXPECT_THROW(EncodeLevel2Header(Entry(EntryKind::kSymlink, {"l"}, 0777, "")),
               std::invalid_argument);
  NewEntry bad_method = Entry(EntryKind::kFile, {"f"}, 0644);
  bad_method.method = "lh5";
  EXPECT_THROW(EncodeLevel2Header(bad_method), std::invalid_argument);
  Bytes not_level2(30, 0);
  EXPECT_THROW(PatchSizesAndCrc(not_level2, 0, 0, 0), std::invalid_argument);
}

TEST(Level2Writer, AttributeRules) {
  EXPECT_EQ(MsdosAttributeFor(Entry(EntryKind::kFile, {"f"}, 0644)), 0x20);
  EXPECT_EQ(MsdosAttributeFor(Entry(EntryKind::kFile, {"f"}, 0444)), 0x21);
  EXPECT_EQ(MsdosAttributeFor(Entry(EntryKind::kDirectory, {"d"}, 0555)), 0x10);
  EXPECT_EQ(MsdosAttributeFor(Entry(EntryKind::kSymlink, {"l"}, 0777, "t")), 0x20);
  EXPECT_EQ(MsdosAttributeFor(Entry(EntryKind::kSymlink, {"l"}, 0777, "t", true)), 0x22);
  NewEntry system = Entry(EntryKind::kFile, {"f"}, 0444, {}, true);
  system.system = true;  // a Windows file's system attribute
  EXPECT_EQ(MsdosAttributeFor(system), 0x27);
}

}  // namespace
}  // namespace lha::format
