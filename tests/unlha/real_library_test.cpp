// cUnLHA against the real libunlha32.so: commands run, and the listing shows what other LZH
// tools show.
#include "real_library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

namespace {

using unlha_real::CUnlhaListing;

class RealLibraryTest : public unlha_real::RealLibrary {};

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
