#include "backup/path_functions.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/runtime.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

namespace {

using namespace backup;

TEST(AddTrailingBackslashTest, ClosesThePathWithOneBackslash) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"C:\\BACKUP", L"C:\\BACKUP\\"},
      {L"C:\\BACKUP\\", L"C:\\BACKUP\\"},
      {L"C:\\BACKUP   ", L"C:\\BACKUP\\"},
      {L"   ", L"\\"},
      {L"", L"\\"},
      {L"  C:\\X", L"  C:\\X\\"},
      {L"C:/BACKUP/", L"C:/BACKUP/\\"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AddTrailingBackslash(c.in), c.out) << c.in;
}

TEST(GetLastPathPartTest, TakesWhatFollowsTheLastSeparator) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"C:\\DATA\\A.TXT", L"A.TXT"},
      {L"C:\\DATA\\", L""},
      {L"C:/DATA/A.TXT", L"A.TXT"},
      {L"C:A.TXT", L"A.TXT"},
      {L"C:", L""},
      {L"A.TXT", L"A.TXT"},
      {L"", L""},
      {L"A\\B:C", L"C"},
      {L"A:B\\C", L"C"},
      {L"\\\\SERVER\\SHARE\\", L""},
      {L"データ\\表.TXT", L"表.TXT"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(GetLastPathPart(c.in), c.out) << c.in;
}

TEST(GetLastPathPartTest, OverflowsPast32767Characters) {
  EXPECT_EQ(GetLastPathPart(std::wstring(32765, L'A') + L"\\B"), L"B");
  try {
    GetLastPathPart(std::wstring(32768, L'A'));
    ADD_FAILURE() << "a path of 32,768 characters must overflow";
  } catch (const platform::RuntimeError& e) {
    EXPECT_EQ(e.Kind(), platform::ErrorKind::kOverflow);
  }
}

TEST(QuoteArgTest, QuotesTextWithBlanksOrCommas) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"C:\\MY DATA\\..\\", L"\"C:\\MY DATA\\..\\\""},
      {L"A,B", L"\"A,B\""},
      {L"C:\\DATA\\..\\", L"C:\\DATA\\..\\"},
      {L"", L""},
      {L"A\tB", L"A\tB"},
      {L"SAY \"HI\"", L"\"SAY \"HI\"\""},
      {L"全角　空白", L"全角　空白"},  // an ideographic space is no blank
  };
  for (const auto& c : cases)
    EXPECT_EQ(QuoteArg(c.in), c.out) << c.in;
}

class PathFunctionsOnDisk : public ::testing::Test {
 protected:
  std::wstring Win(const std::string& relative) const {
    return platform::FromAnsi(dir_.str() + "\\" + relative);
  }
  testing_support::TempDir dir_;
  testing_support::FakePlatform os_;
};

TEST_F(PathFunctionsOnDisk, ShortPathsAreTheLongPathsQuotedWhenNeeded) {
  dir_.Write("MY BACKUP/OLD.LZH", "x");
  EXPECT_EQ(GetShortPathArg(os_, Win("MY BACKUP\\NEW.LZH")),
            L"\"" + Win("MY BACKUP\\NEW.LZH") + L"\"");
  EXPECT_EQ(GetShortPathArg(os_, Win("MY BACKUP\\OLD.LZH")),
            L"\"" + Win("MY BACKUP\\OLD.LZH") + L"\"");
  dir_.Write("SHORT/A.LZH", "x");
  EXPECT_EQ(GetShortPathArg(os_, Win("SHORT\\A.LZH")), Win("SHORT\\A.LZH"));
}

TEST_F(PathFunctionsOnDisk, FileExistsOnlyForPlainFiles) {
  dir_.Write("data/a.txt", "x");
  const auto ro = dir_.Write("data/readonly.txt", "x");
  ::chmod(ro.c_str(), 0444);
  dir_.Write("data/.hidden", "x");
  EXPECT_TRUE(FileExists(os_, Win("DATA\\A.TXT")));
  EXPECT_TRUE(FileExists(os_, Win("data\\readonly.txt")));
  EXPECT_TRUE(FileExists(os_, Win("data\\a.txt\\")));  // one closing backslash is ignored
  EXPECT_TRUE(FileExists(os_, Win("data\\*.TXT")));
  EXPECT_FALSE(FileExists(os_, Win("data\\")));
  EXPECT_FALSE(FileExists(os_, Win("data")));
  EXPECT_FALSE(FileExists(os_, Win("data\\.hidden")));
  EXPECT_FALSE(FileExists(os_, L"Z:\\NOT\\READY\\A.TXT"));
}

TEST_F(PathFunctionsOnDisk, ListFilesComeFromTheRootFolderOrElseTheOutputFolder) {
  const std::wstring path = Win("Out\\");
  dir_.MakeDir("Out");
  os_.temp_files_fail = true;
  EXPECT_EQ(MakeListFileName(os_, path), path + L"Dummy.tmp");
  // A second run at the same time gets a file of its own.
  testing_support::FakePlatform other;
  other.temp_files_fail = true;
  EXPECT_EQ(MakeListFileName(other, path), path + L"Dummy-1.tmp");

  if (::access("/", W_OK) == 0) {
    os_.temp_files_fail = false;
    const std::wstring name = MakeListFileName(os_, path);
    EXPECT_TRUE(name.starts_with(L"\\~VB")) << platform::ToAnsi(name);
    EXPECT_TRUE(name.ends_with(L".TMP"));
    EXPECT_TRUE(FileExists(os_, name));
    os_.Kill(platform::ToAnsi(name));
  }
}

}  // namespace
