// cUnLHA against the real libunlha32.so, compared with what bsdtar lists (run by popen).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "real_library.h"

namespace {

namespace fsys = std::filesystem;

// Every path bsdtar lists for the archive, folders with a closing "/".
std::set<std::string> BsdtarListing(const std::string& archive) {
  std::set<std::string> names;
  const std::string cmd = "LC_ALL=C.UTF-8 bsdtar -tf '" + archive + "' 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return names;
  char line[4096];
  while (std::fgets(line, sizeof line, p)) {
    std::string s = line;
    if (!s.empty() && s.back() == '\n') s.pop_back();
    names.insert(s);
  }
  ::pclose(p);
  return names;
}

using unlha_real::CUnlhaListing;

class RealLibraryBsdtarTest : public unlha_real::RealLibrary {};

TEST_F(RealLibraryBsdtarTest, MakesWhatBsdtarLists) {
  if (!fsys::exists("/usr/bin/bsdtar")) GTEST_SKIP() << "bsdtar is not installed";
  dir_.Write("Src/Sub Dir/numbers.txt", std::string(5000, '7'));
  dir_.Write("Src/データ.txt", "x");
  dir_.MakeDir("Src/Empty");
  unlha::ArchiverLibrary library(os_);
  unlha::cUnLHA lha(library);
  const std::string archive = dir_.str() + "/Out.lzh";
  std::wstring command =
      platform::FromUtf8("a -r2 -x1 \"" + archive + "\" \"" + dir_.str() + "/Src/\" *.*");
  lha.CommandLine(command);
  ASSERT_EQ(lha.ReturnCode(), 0) << platform::ToUtf8(lha.OutPut());
  ASSERT_EQ(lha.SetArcFile(platform::FromUtf8(archive)), 4);
  EXPECT_EQ(CUnlhaListing(lha, 4), BsdtarListing(archive));
}

TEST_F(RealLibraryBsdtarTest, ListsArchivesOfOtherWritersAsBsdtarDoes) {
  const fsys::path corpus = fsys::path(QUILLORY_SHARED_DIR) / "lzh-corpus";
  if (!fsys::exists(corpus)) GTEST_SKIP() << "no shared corpus beside the checkout";
  if (!fsys::exists("/usr/bin/bsdtar")) GTEST_SKIP() << "bsdtar is not installed";
  unlha::ArchiverLibrary library(os_);
  unlha::cUnLHA lha(library);
  int compared = 0;
  for (const char* name : {"jlha/archives/h0_lh5_tree.lzh", "jlha/archives/h1_lh5_tree.lzh",
                           "jlha/archives/h2_lh5_tree.lzh", "jlha/archives/h2_lh7_text.lzh"}) {
    const std::string archive = (corpus / name).string();
    const std::set<std::string> expected = BsdtarListing(archive);
    const int16_t count = lha.SetArcFile(platform::FromAnsi(archive));
    EXPECT_EQ(static_cast<size_t>(count), expected.size()) << name;
    EXPECT_EQ(CUnlhaListing(lha, count), expected) << name;
    ++compared;
  }
  EXPECT_EQ(compared, 4);
  EXPECT_TRUE(os_.boxes.empty());
}

}  // namespace
