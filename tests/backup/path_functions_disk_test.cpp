// The path functions against POSIX files: the stand-ins' short names (none), hidden names,
// permissions and the root folder's list file. Windows' own services are tested in
// tests/platform/windows_platform_test.cpp.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "backup/path_functions.h"
#include "platform/text.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

namespace {

using namespace backup;

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
