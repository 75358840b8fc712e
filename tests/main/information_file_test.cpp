#include <gtest/gtest.h>

#include "main/lha_tool.h"
#include "platform/runtime.h"
#include "platform/text.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

namespace {

using lhatool::CutAtNul;
using lhatool::JobSettings;

class InformationFileTest : public ::testing::Test {
 protected:
  // Reads a file of `content`, written in the ANSI code page as the information file is.
  JobSettings Read(const std::string& utf8_content) {
    return ReadBytes(platform::Utf8ToAnsi(utf8_content));
  }
  JobSettings ReadBytes(const std::string& content) {
    const auto file = dir_.Write("job.ini", content);
    JobSettings s;
    EXPECT_TRUE(lhatool::ReadInformationFile(os_, platform::FromUtf8(file.string()), s));
    return s;
  }
  static std::vector<std::wstring> Entries(const JobSettings& s) {
    return {s.entries.begin(), s.entries.end()};
  }

  testing_support::TempDir dir_;
  testing_support::FakePlatform os_;
};

TEST(CutAtNulTest, CutsBeforeTheLastNul) {
  EXPECT_EQ(CutAtNul(L"ABC"), L"ABC");
  EXPECT_EQ(CutAtNul(std::wstring(L"AB\0   ", 6)), L"AB");
  EXPECT_EQ(CutAtNul(std::wstring(L"A\0B\0C", 5)), std::wstring(L"A\0B", 3));
  EXPECT_EQ(CutAtNul(std::wstring(L"\0", 1)), L"");
  EXPECT_EQ(CutAtNul(L""), L"");
}

TEST_F(InformationFileTest, ReadsEveryKeyInUpperCase) {
  const JobSettings s = Read(
      "[PASSWORD]\nMessage=0\n"
      "[OUT_CONFIG]\nDate_Ini=1\nLzh_Ini=1\nType_Ini=1\n"
      "[IN_FILELIST]\nFILE2=c:\\work\\sheets\\\nFILE1=c:\\work\\reports\\\n"
      "[OUT_INFOMATION]\nFILENAME=backup.lzh\nPath=c:\\backup\n");
  EXPECT_EQ(s.Path, L"C:\\BACKUP");
  EXPECT_EQ(s.FILENAME, L"BACKUP.LZH");
  EXPECT_EQ(Entries(s), (std::vector<std::wstring>{L"C:\\WORK\\REPORTS\\", L"C:\\WORK\\SHEETS\\"}));
  EXPECT_EQ(s.Type_Ini, L"1");
  EXPECT_EQ(s.Lzh_Ini, L"1");
  EXPECT_EQ(s.Date_Ini, L"1");
  EXPECT_EQ(s.Message, L"0");
}

TEST_F(InformationFileTest, FirstCharacterKeysKeepOneCharacter) {
  const struct {
    const char* value;
    const wchar_t* expected;
  } cases[] = {{"10", L"1"}, {"1x", L"1"}, {"x", L"X"}, {"", L""}, {"ｘ1", L"Ｘ"}};
  for (const auto& c : cases)
    EXPECT_EQ(Read(std::string("[OUT_CONFIG]\nType_Ini=") + c.value + "\n").Type_Ini, c.expected)
        << c.value;
  EXPECT_EQ(Read("[OUT_CONFIG]\n").Message, L"");
}

TEST_F(InformationFileTest, TheListEndsAtTheFirstMissingOrEmptyKey) {
  EXPECT_EQ(Entries(Read("[IN_FILELIST]\nFILE1=A\nFILE2=B\nFILE4=D\n")),
            (std::vector<std::wstring>{L"A", L"B"}));
  EXPECT_EQ(Entries(Read("[IN_FILELIST]\nFILE1=A\nFILE3=C\n")), (std::vector<std::wstring>{L"A"}));
  EXPECT_TRUE(Read("[IN_FILELIST]\nFILE1=\nFILE2=B\n").entries.empty());
  EXPECT_TRUE(Read("[IN_FILELIST]\nFILE01=A\n").entries.empty());  // no leading zeros
  EXPECT_TRUE(Read("").entries.empty());
}

TEST_F(InformationFileTest, DoubleByteValuesAreReadWhole) {
  const JobSettings s = Read("[OUT_INFOMATION]\nPath=c:\\バックアップ\\データ\n");
  EXPECT_EQ(s.Path, L"C:\\バックアップ\\データ");
  // Bytes that are no text (not UTF-8 on POSIX, where they come back as they were).
  const std::string bytes = platform::ToAnsi(L"\xDCFF\xDCFE");
  const JobSettings t = ReadBytes("[OUT_INFOMATION]\nPath=" + bytes + "\n");
  EXPECT_EQ(platform::ToAnsi(t.Path), bytes);
}

TEST_F(InformationFileTest, ValuesAreCutTo254Bytes) {
  EXPECT_EQ(Read("[OUT_INFOMATION]\nPath=" + std::string(300, 'a') + "\n").Path,
            std::wstring(254, L'A'));
  std::string jp;
  for (int i = 0; i < 200; ++i)
    jp += "デ";
  // Whole characters only: 84 of three bytes in UTF-8, 127 of two in code page 932.
  const size_t width = platform::ToAnsi(L"デ").size();
  EXPECT_EQ(Read("[OUT_INFOMATION]\nPath=" + jp + "\n").Path, std::wstring(254 / width, L'デ'));
}

TEST_F(InformationFileTest, TheLastOf32767EntriesCanBeReadButNotOneMore) {
  std::string list = "[IN_FILELIST]\n";
  for (int i = 1; i <= 32766; ++i)
    list += "FILE" + std::to_string(i) + "=F" + std::to_string(i) + "\n";
  const JobSettings s = Read(list);
  ASSERT_EQ(s.entries.size(), 32766u);
  EXPECT_EQ(s.entries.UBound(), 32765);
  EXPECT_EQ(s.entries[32765], L"F32766");

  list += "FILE32767=LAST\n";
  const auto file = dir_.Write("full.ini", list);
  JobSettings full;
  try {
    lhatool::ReadInformationFile(os_, platform::FromUtf8(file.string()), full);
    ADD_FAILURE() << "forming the key FILE32768 must overflow";
  } catch (const platform::RuntimeError& e) {
    EXPECT_EQ(e.Kind(), platform::ErrorKind::kOverflow);
  }
  EXPECT_EQ(full.entries.size(), 32767u);
}

}  // namespace
