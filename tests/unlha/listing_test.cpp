// The archive listing: SetArcFile and the ten entry properties.
#include <cstring>
#include <vector>

#include "fixture.h"
#include "platform/text.h"

namespace unlha_test {
namespace {

using platform::ErrorKind;
using ::testing::ElementsAre;

struct Fields {
  const char* name;
  uint32_t original = 0;
  uint32_t packed = 0;
  uint16_t ratio = 0;
  int year = 1980, month = 1, day = 1;
  int hour = 0, minute = 0, second_field = 0;
  const char* attribute = "";  // up to 8 bytes
  const char* mode = "";       // up to 8 bytes
  uint32_t crc = 0;
};

INDIVIDUALINFO Record(const Fields& f) {
  INDIVIDUALINFO info;
  std::memset(&info, 0, sizeof info);
  info.dwOriginalSize = f.original;
  info.dwCompressedSize = f.packed;
  info.dwCRC = f.crc;
  info.wRatio = f.ratio;
  info.wDate = static_cast<uint16_t>(((f.year - 1980) << 9) | (f.month << 5) | f.day);
  info.wTime = static_cast<uint16_t>((f.hour << 11) | (f.minute << 5) | f.second_field);
  // The library hands over its texts in the ANSI code page; the cases are written in UTF-8.
  const std::string name = platform::Utf8ToAnsi(f.name);
  const std::string attribute = platform::Utf8ToAnsi(f.attribute);
  std::memcpy(info.szFileName, name.data(), name.size());
  std::memcpy(info.szAttribute, attribute.data(), attribute.size());
  std::memcpy(info.szMode, f.mode, std::strlen(f.mode));
  return info;
}

class ListingTest : public UnlhaTest {
 protected:
  // Scripts an archive with these entries (handle 7) and lists it.
  int16_t List(std::vector<INDIVIDUALINFO> records, const std::wstring& path = L"A.LZH") {
    entries_ = std::move(records);
    fake.Script().archive = 7;
    fake.Script().entries = entries_.data();
    fake.Script().entry_count = static_cast<uint32_t>(entries_.size());
    return arc.SetArcFile(path);
  }

  std::vector<std::wstring> EntryTexts(int16_t index) {
    return {arc.FileName(index),   arc.FilePath(index),  arc.FileOriginal(index),
            arc.FilePacked(index), arc.FileRatio(index), arc.FileDate(index),
            arc.FileTime(index),   arc.FileAttr(index),  arc.FileType(index),
            arc.FileCRC(index)};
  }

  std::vector<INDIVIDUALINFO> entries_;
};

TEST_F(ListingTest, EveryFieldIsFormattedByItsRule) {
  const struct {
    Fields fields;
    std::vector<std::wstring> texts;  // FileName .. FileCRC
  } cases[] = {
      {{"DOC/SUB/A.TXT", 1234567, 1000, 523, 1999, 11, 24, 9, 5, 4, "A---", "-lh5-", 0x1A2B},
       {L"A.TXT", L"DOC\\SUB\\", L"1,234,567", L"1,000", L"52.3%", L"99/11/24", L"09:05:08",
        L"a---", L"-lh5-", L"1A2B"}},
      {{"README.TXT", 0, 0, 0, 2003, 2, 1, 23, 59, 29, "AB", "-lh0-", 0xFF},
       {L"README.TXT", L"\\", L"", L"", L"0.0%", L"103/02/01", L"23:59:58",
        std::wstring(L"ab\0\0", 4), L"-lh0-", L"00FF"}},
      {{"DOC\\", 0, 0, 0, 2000, 1, 9, 0, 0, 0, "D---", "-lhd-", 0},
       {L"", L"DOC\\", L"", L"", L"0.0%", L"100/01/09", L"00:00:00", L"d---", L"-lhd-", L"0000"}},
      {{"DOC\\A:B", 999, 4294967295u, 1050, 2107, 13, 31, 31, 63, 31, "ABCDEFGH", "-lh7-XYZ",
        0xDEADBEEF},
       {L"B", L"DOC\\", L"999", L"4,294,967,295", L"105.0%", L"207/13/31", L"31:63:62", L"abcd",
        L"-lh7-", L"BEEF"}},
      {{"\\README.TXT", 1, 1, 0xFFFF},
       {L"README.TXT", L"\\", L"1", L"1", L"-0.1%", L"80/01/01", L"00:00:00",
        std::wstring(4, L'\0'), std::wstring(5, L'\0'), L"0000"}},
      {{"A:B", 12345, 0, 5, 1980, 0, 0},
       {L"A:B", L"\\", L"12,345", L"", L"0.5%", L"80/00/00", L"00:00:00", std::wstring(4, L'\0'),
        std::wstring(5, L'\0'), L"0000"}},
      {{"資料/ﾃｽﾄ/表.TXT", 0, 0, 0, 1980, 1, 1, 0, 0, 0, "ΔBC-", "-lh6-"},
       {L"表.TXT", L"資料\\ﾃｽﾄ\\", L"", L"", L"0.0%", L"80/01/01", L"00:00:00", L"δbc-", L"-lh6-",
        L"0000"}},
  };
  std::vector<INDIVIDUALINFO> records;
  for (const auto& c : cases)
    records.push_back(Record(c.fields));
  ASSERT_EQ(List(records), static_cast<int16_t>(std::size(cases)));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].fields.name);
    EXPECT_EQ(EntryTexts(static_cast<int16_t>(i)), cases[i].texts);
  }
}

TEST_F(ListingTest, NameWithoutNulWithinItsFieldIsTakenWhole) {
  INDIVIDUALINFO info = Record({"x"});
  std::memset(info.szFileName, 'N', sizeof info.szFileName);
  ASSERT_EQ(List({info}), 1);
  EXPECT_EQ(arc.FileName(0), std::wstring(513, L'N'));
}

TEST_F(ListingTest, WalkUsesOwnerWindowPathModeZeroAndClosesTheArchive) {
  arc.hwnd(42);
  arc.MaxFileCount(406);  // neither limits nor breaks a listing
  arc.CheckMode(-1);
  ASSERT_EQ(List({Record({"A"}), Record({"B"}), Record({"C"})}, L"/tmp/ｱｰｶｲﾌﾞ.LZH"), 3);
  EXPECT_EQ(fake.Record().open_hwnd, 42);
  EXPECT_EQ(fake.Record().opened_path, platform::ToAnsi(L"/tmp/ｱｰｶｲﾌﾞ.LZH"));
  EXPECT_EQ(fake.Record().open_mode, 0u);
  EXPECT_STREQ(fake.Record().wildcard, "*.*");
  EXPECT_EQ(fake.Record().closed_handle, 7u);
  EXPECT_THAT(fake.Calls(), ElementsAre("UnlhaOpenArchive", "UnlhaFindFirst", "UnlhaFindNext",
                                        "UnlhaFindNext", "UnlhaFindNext", "UnlhaCloseArchive"));
  EXPECT_EQ(arc.FileName(2), L"C");
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(ListingTest, ArchiveThatCannotBeOpenedShowsTheBoxAndLeavesOneEmptyEntry) {
  ASSERT_EQ(List({Record({"OLD.TXT"})}), 1);

  fake.Script().archive = 0;
  EXPECT_EQ(arc.SetArcFile(L"C:\\NO SUCH\\ﾊﾞｯｸｱｯﾌﾟ.LZH"), 0);
  EXPECT_THAT(os.boxes,
              ElementsAre(testing_support::Box{
                  L"'C:\\NO SUCH\\ﾊﾞｯｸｱｯﾌﾟ.LZH' のﾊﾝﾄﾞﾙの取得に失敗したのサ\rヽ( ´ー｀)丿ﾌｯ",
                  L"Quillory", 48}));
  EXPECT_EQ(EntryTexts(0), std::vector<std::wstring>(10));
  EXPECT_EQ(ErrorOf([&] { arc.FileName(1); }), ErrorKind::kSubscriptOutOfRange);
  // Nothing is called after the failed open.
  EXPECT_EQ(fake.Calls().back(), "UnlhaOpenArchive");
}

TEST_F(ListingTest, ArchiveWithoutEntriesGivesOneEmptyEntryWithoutABox) {
  EXPECT_EQ(List({}), 0);
  EXPECT_EQ(EntryTexts(0), std::vector<std::wstring>(10));
  EXPECT_EQ(ErrorOf([&] { arc.FilePath(1); }), ErrorKind::kSubscriptOutOfRange);
  EXPECT_TRUE(os.boxes.empty());
  EXPECT_THAT(fake.Calls(), ElementsAre("UnlhaOpenArchive", "UnlhaFindFirst", "UnlhaCloseArchive"));
}

TEST_F(ListingTest, ErrorDuringTheWalkEndsItWithTheEntriesSoFar) {
  fake.Script().end_code = UNLHA_ERROR_ARC_READ;
  EXPECT_EQ(List({Record({"A"}), Record({"B"})}), 2);
  EXPECT_EQ(arc.FileName(1), L"B");
  EXPECT_EQ(fake.Record().closed_handle, 7u);
  EXPECT_TRUE(os.boxes.empty());
}

TEST_F(ListingTest, IndexOutsideTheListingIsOutOfRange) {
  for (int16_t index : {0, -1, 32767})
    EXPECT_EQ(ErrorOf([&] { arc.FileCRC(index); }), ErrorKind::kSubscriptOutOfRange) << index;
  ASSERT_EQ(List({Record({"A"}), Record({"B"})}), 2);
  for (int16_t index : {-1, 2, -32768})
    EXPECT_EQ(ErrorOf([&] { arc.FileDate(index); }), ErrorKind::kSubscriptOutOfRange) << index;
}

TEST_F(ListingTest, ListsUpTo32767EntriesAndOverflowsAtTheNext) {
  std::vector<INDIVIDUALINFO> records(32767, Record({"DIR\\MANY.TXT", 2048}));
  records.back() = Record({"LAST.TXT", 1});
  EXPECT_EQ(List(records), 32767);
  EXPECT_EQ(arc.FileName(32766), L"LAST.TXT");
  EXPECT_EQ(arc.FileOriginal(32765), L"2,048");

  records.push_back(Record({"ONE MORE.TXT"}));
  EXPECT_EQ(ErrorOf([&] { List(records); }), ErrorKind::kOverflow);
  // The archive is not left open behind the error.
  EXPECT_EQ(fake.Calls().back(), "UnlhaCloseArchive");
  EXPECT_EQ(fake.Record().closed_handle, 7u);
}

}  // namespace
}  // namespace unlha_test
