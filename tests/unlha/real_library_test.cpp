// cUnLHA against the real libunlha32.so: commands run, and the listing shows what other LZH
// tools show.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/text.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "unlha/cunlha.h"

namespace {

// What the listing shows: FilePath and FileName joined, "\" turned into "/", without the root.
std::set<std::string> CUnlhaListing(unlha::cUnLHA& lha, int16_t count) {
  std::set<std::string> names;
  for (int16_t i = 0; i < count; ++i) {
    std::string path = platform::ToUtf8(lha.FilePath(i) + lha.FileName(i));
    for (auto& c : path)
      c = c == '\\' ? '/' : c;
    names.insert(path[0] == '/' ? path.substr(1) : path);
  }
  return names;
}

class RealLibraryTest : public ::testing::Test {
 protected:
  RealLibraryTest() { os_.library_path = QUILLORY_REAL_UNLHA32; }
  testing_support::FakePlatform os_;
  testing_support::TempDir dir_;
};

TEST_F(RealLibraryTest, MakesAnArchiveAndListsIt) {
  dir_.Write("Src/Sub Dir/numbers.txt", std::string(5000, '7'));
  dir_.Write("Src/データ.txt", "x");
  dir_.MakeDir("Src/Empty");
  unlha::ArchiverLibrary library(os_);
  unlha::cUnLHA lha(library);
  EXPECT_GE(lha.Version(), 100);
  const std::string archive = dir_.str() + "/Out.lzh";
  std::wstring command =
      platform::FromUtf8("a -r2 -x1 \"" + archive + "\" \"" + dir_.str() + "/Src/\" *.*");
  lha.CommandLine(command);
  ASSERT_EQ(lha.ReturnCode(), 0) << platform::ToUtf8(lha.OutPut());
  EXPECT_NE(lha.OutPut().find(L"numbers.txt"), std::wstring::npos);

  ASSERT_EQ(lha.SetArcFile(platform::FromUtf8(archive)), 4);
  EXPECT_EQ(CUnlhaListing(lha, 4),
            (std::set<std::string>{"Empty/", "Sub Dir/", "Sub Dir/numbers.txt", "データ.txt"}));
  for (int16_t i = 0; i < 4; ++i) {
    if (lha.FileName(i) != L"numbers.txt") continue;
    EXPECT_EQ(lha.FilePath(i), L"Sub Dir\\");
    EXPECT_EQ(lha.FileOriginal(i), L"5,000");
    EXPECT_EQ(lha.FileType(i), L"-lh5-");
  }

  std::wstring path = platform::FromUtf8(archive);
  EXPECT_TRUE(lha.CheckArchive(path));
  std::wstring nothing = platform::FromUtf8(dir_.str() + "/Src/データ.txt");
  EXPECT_FALSE(lha.CheckArchive(nothing));
}

}  // namespace
