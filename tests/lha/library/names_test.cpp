// Japanese names in archives, whoever wrote them: what our reader makes of every encoding a
// writer may have used, and how other readers take the names we write.
#include <gtest/gtest.h>

#include "format/archive_reader.h"
#include "format/memory_source.h"
#include "library_support.h"
#include "support/archive_builder.h"
#include "support/temp_dir.h"

namespace lha_library_testing {
namespace {

using testing_support::Bytes;
using testing_support::RawExt;
using testing_support::TempDir;
using testing_support::ToBytes;

const std::string kData = "x\n";

Bytes Le32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

Bytes Utf16Le(std::u16string_view s) {
  Bytes out;
  for (char16_t c : s) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

// --- Reading ----------------------------------------------------------------------------------

struct ReadCase {
  const char* name;
  int level;
  std::string folder;  // stored folder bytes (levels 1 and 2: ext 02; level 0: in the name)
  std::string file;    // stored name bytes
  std::optional<uint32_t> code_page;  // ext 46
  std::u16string utf16_name;          // ext 44, when not empty
  std::string expected;               // the path as UTF-8
};

std::ostream& operator<<(std::ostream& os, const ReadCase& c) {
  return os << c.name;
}

Bytes EntryFor(const ReadCase& c) {
  using namespace testing_support;
  const uint16_t crc = Crc16(kData);
  const uint32_t size = static_cast<uint32_t>(kData.size());
  std::vector<RawExt> exts;
  if (!c.folder.empty()) exts.push_back({0x02, ToBytes(c.folder + "\xFF")});
  if (c.code_page) exts.push_back({0x46, Le32(*c.code_page)});
  if (!c.utf16_name.empty()) exts.push_back({0x44, Utf16Le(c.utf16_name)});
  Bytes header;
  switch (c.level) {
    case 0:
      header = Level0Header("-lh0-", ToBytes(c.folder.empty() ? c.file : c.folder + "\\" + c.file),
                            size, size, 0x52A63000, 0x20, crc);
      break;
    case 1:
      header = Level1Header("-lh0-", ToBytes(c.file), size, size, 0x52A63000, crc, 'M', exts);
      break;
    default:
      exts.insert(exts.begin(), {{0x00, {0, 0}}, {0x01, ToBytes(c.file)}});
      header = Level23Header(2, "-lh0-", size, size, 1600000000, crc, 'M', exts);
  }
  Append(header, ToBytes(kData));
  header.push_back(0);
  return header;
}

const ReadCase kReadCases[] = {
    // Shift_JIS without a marker, a 5C trail byte in each name: never a separator.
    {"Level0ShiftJis", 0, "\x95\x5C", "\x8E\xA6.txt", {}, {}, "表/示.txt"},
    {"Level0Utf8", 0, "ソフト", "能力.txt", {}, {}, "ソフト/能力.txt"},
    {"Level1ShiftJis", 1, "", "\xB6\xC0\xB6\xC5.txt", {}, {}, "ｶﾀｶﾅ.txt"},
    {"Level1Declared932",
     1,
     "\x83\x5C\x83\x74\x83\x67",
     "\x94\x5C\x97\xCD.txt",
     932,
     {},
     "ソフト/能力.txt"},
    {"Level2ShiftJis", 2, "", "\x95\x5C\x8E\xA6.txt", {}, {}, "表示.txt"},
    {"Level2Utf8Declared", 2, "", "😀.txt", 65001, {}, "😀.txt"},
    {"Level2Utf16WinsOverTheBytes", 2, "", "?.txt", {}, u"\U0001F600.txt", "😀.txt"},
    // C3 A9 is "é" in UTF-8 and "ﾃｩ" in code page 932: the marker decides, UTF-8 without it.
    {"Level2DeclaredWins", 2, "", "\xC3\xA9", 932, {}, "ﾃｩ"},
    {"Level2UndeclaredValidUtf8", 2, "", "\xC3\xA9", {}, {}, "é"},
};

class ReadNames : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadNames, ListedAndExtractedDecoded) {
  const ReadCase& c = GetParam();
  TempDir dir;
  const Bytes archive = EntryFor(c);
  WriteText(dir.path() / "A.LZH", std::string(archive.begin(), archive.end()));
  EXPECT_EQ(ListedNames(dir.path() / "A.LZH"), std::set<std::string>{c.expected});
  fs::create_directory(dir.path() / "out");
  const CallResult r =
      Call("x -x1 " + Win(dir.path() / "A.LZH") + " " + Win(dir.path() / "out") + "\\");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ReadText(dir.path() / "out" / c.expected), kData);
}

INSTANTIATE_TEST_SUITE_P(Encodings, ReadNames, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Writing ----------------------------------------------------------------------------------

struct Name {
  std::string utf8;
  std::string cp932;  // empty: code page 932 cannot hold it
};

const Name kNames[] = {
    {"ソフト", "\x83\x5C\x83\x74\x83\x67"},
    {"ソフト/能力.txt", "\x83\x5C\x83\x74\x83\x67/\x94\x5C\x97\xCD.txt"},
    {"表示.txt", "\x95\x5C\x8E\xA6.txt"},
    {"ｶﾀｶﾅ.txt", "\xB6\xC0\xB6\xC5.txt"},
    {"😀.txt", ""},
};

struct WriteCase {
  const char* name;
  const char* switches;
  bool in_cp932;  // names code page 932 can hold are stored in it
};

std::ostream& operator<<(std::ostream& os, const WriteCase& c) {
  return os << c.name;
}

std::set<std::string> Expected(bool stored_bytes, bool in_cp932, bool slash_for_5c = false) {
  std::set<std::string> out;
  for (const Name& n : kNames) {
    std::string s = stored_bytes && in_cp932 && !n.cp932.empty() ? n.cp932 : n.utf8;
    if (slash_for_5c) std::replace(s.begin(), s.end(), '\\', '/');
    out.insert(s);
  }
  return out;
}

class WriteNames : public ::testing::TestWithParam<WriteCase> {};

// Ours and bsdtar (which converts by the code page ext 46 names) restore the names; lhasa makes
// files of the stored bytes; 7-Zip lists the stored bytes, a 5C byte as a separator.
TEST_P(WriteNames, EveryReaderGetsTheNamesItCan) {
  const WriteCase& c = GetParam();
  TempDir dir;
  fs::create_directories(dir.path() / "src" / "ソフト");
  for (const Name& n : kNames)
    if (n.utf8 != "ソフト") WriteText(dir.path() / "src" / n.utf8, kData);
  const fs::path archive = dir.path() / "A.LZH";
  const CallResult made = Call(std::string("a ") + c.switches + " -x1 -r2 " + Win(archive) + " " +
                               Win(dir.path() / "src") + "\\ *");
  ASSERT_EQ(made.code, 0) << made.output;

  std::set<std::string> stored;
  const std::string bytes = ReadText(archive);
  lha::format::MemorySource source(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  lha::format::ArchiveReader reader(source);  // no decoder: the bytes as stored
  while (auto e = reader.Next())
    stored.insert(e->JoinedPath('/'));
  EXPECT_EQ(stored, Expected(true, c.in_cp932));

  EXPECT_EQ(ListedNames(archive), Expected(false, c.in_cp932));
  fs::create_directory(dir.path() / "ours");
  ASSERT_EQ(Call("x -x1 " + Win(archive) + " " + Win(dir.path() / "ours") + "\\").code, 0);
  EXPECT_EQ(TreeNames(Snapshot(dir.path() / "ours")), Expected(false, c.in_cp932));

  if (Installed("bsdtar")) {
    EXPECT_EQ(ExternalTools()[1].list(archive), Expected(false, c.in_cp932));
  }
  if (Installed("lhasa")) {
    fs::create_directory(dir.path() / "lhasa");
    ASSERT_TRUE(ExternalTools()[0].extract(archive, dir.path() / "lhasa"));
    EXPECT_EQ(TreeNames(Snapshot(dir.path() / "lhasa")), Expected(true, c.in_cp932));
  }
  if (Installed("7zz")) {
    EXPECT_EQ(ExternalTools()[2].list(archive), Expected(true, c.in_cp932, true));
  }
}

INSTANTIATE_TEST_SUITE_P(CodePages, WriteNames,
                         ::testing::Values(WriteCase{"Default", "", false},
                                           WriteCase{"Utf8Asked", "-cp65001", false},
                                           WriteCase{"ShiftJisAsked", "-cp932", true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lha_library_testing
