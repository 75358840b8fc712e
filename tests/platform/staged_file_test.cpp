// Files written beside their final names: how temporary names are made and recognised, and
// which leftovers a sweep removes.
#include "platform/staged_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/env.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

namespace fsys = std::filesystem;

// Every length of final name, up to the file system's limit of 255 bytes, gets a temporary
// name within that limit that is recognised as its own and as no other name's.
TEST(StagedName, StaysWithinTheNameLimitAndBelongsToItsNameAlone) {
  const std::string three_byte = "\xE8\xA1\xA8";  // U+8868, three bytes in UTF-8
  const struct {
    const char* what;
    std::string name;
  } kNames[] = {
      {"short", "a.lzh"},
      {"243 bytes", std::string(239, 'n') + ".LZH"},
      {"244 bytes", std::string(240, 'n') + ".LZH"},
      {"254 bytes", std::string(250, 'n') + ".LZH"},
      {"255 bytes", std::string(251, 'n') + ".LZH"},
      {"multibyte at the cut", std::string(1, 'n') +
                                   [&] {
                                     std::string s;
                                     while (s.size() < 250)
                                       s += three_byte;
                                     return s;
                                   }()},
  };
  for (const auto& c : kNames) {
    const std::string staged = StagedName(c.name, "unlha", "0a1b2c3d");
    EXPECT_LE(staged.size(), 255u) << c.what;
    EXPECT_TRUE(IsStagedName(staged, "unlha", c.name)) << c.what;
    EXPECT_TRUE(IsStagedName(staged, "unlha")) << c.what;
    EXPECT_FALSE(IsStagedName(staged, "quillory")) << c.what;
    std::string other = c.name;
    other.back() = other.back() == 'H' ? 'Z' : 'H';  // differs only at the end
    EXPECT_FALSE(IsStagedName(staged, "unlha", other)) << c.what;
  }
  EXPECT_FALSE(IsStagedName(".a.lzh.unlha-NOTOURS1", "unlha", "a.lzh"));
  EXPECT_FALSE(IsStagedName(".a.lzh.unlha-0a1b2c3", "unlha", "a.lzh"));
}

// A sweep removes what killed runs left: files no process holds, and links under a temporary
// name. A file another command still writes (it holds the lock) stays, as do other names.
TEST(StagedFile, SweepRemovesLeftoversAndKeepsWhatIsInUse) {
  testing_support::TempDir dir;
  const File folder = Env::Default().OpenFolder(dir.str(), nullptr);
  ASSERT_TRUE(folder.is_open());
  StagedFile running;
  ASSERT_TRUE(running.Create(folder, "a.lzh", "unlha", 0600, nullptr));
  const std::string leftover = StagedName("a.lzh", "unlha", "k1lled00");
  dir.Write(leftover, "left by a kill");
  const std::string leftover_link = StagedName("a.lzh", "unlha", "l1nk0000");
  fsys::create_symlink("target", dir.path() / leftover_link);
  const std::string other_tag = StagedName("a.lzh", "quillory", "k1lled00");
  dir.Write(other_tag, "the copier's");
  const std::string other_name = StagedName("b.lzh", "unlha", "k1lled00");
  dir.Write(other_name, "another archive's");

  const auto kept = SweepStagedFiles(folder, "unlha", std::string_view("a.lzh"));
  EXPECT_EQ(kept.size(), 1u) << "the running command's file";
  EXPECT_TRUE(fsys::exists(dir.path() / running.temporary_name()));
  EXPECT_FALSE(fsys::exists(dir.path() / leftover));
  EXPECT_FALSE(fsys::is_symlink(dir.path() / leftover_link));
  EXPECT_TRUE(fsys::exists(dir.path() / other_tag));
  EXPECT_TRUE(fsys::exists(dir.path() / other_name));
}

// A new file takes its name only while it is free; a replacement takes it whatever is there.
// The temporary file has the mode asked for from the start, and is gone either way.
TEST(StagedFile, CommitPlacesNewAndReplacingFiles) {
  testing_support::TempDir dir;
  const File folder = Env::Default().OpenFolder(dir.str(), nullptr);
  {
    StagedFile f;
    ASSERT_TRUE(f.Create(folder, "x", "t", 0600, nullptr));
    EXPECT_EQ(fsys::status(dir.path() / f.temporary_name()).permissions(),
              fsys::perms::owner_read | fsys::perms::owner_write);
    ASSERT_TRUE(
        f.file().WriteAll(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("1"), 1)));
    EXPECT_TRUE(f.Commit(StagedFile::Placement::kNew, nullptr));
  }
  EXPECT_EQ(dir.Read("x"), "1");
  {
    StagedFile f;
    ASSERT_TRUE(f.Create(folder, "x", "t", 0600, nullptr));
    int error = 0;
    EXPECT_FALSE(f.Commit(StagedFile::Placement::kNew, &error));
    EXPECT_TRUE(IsExistsError(error));
  }
  {
    StagedFile f;
    ASSERT_TRUE(f.Create(folder, "x", "t", 0600, nullptr));
    ASSERT_TRUE(
        f.file().WriteAll(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("2"), 1)));
    EXPECT_TRUE(f.Commit(StagedFile::Placement::kReplace, nullptr));
  }
  EXPECT_EQ(dir.Read("x"), "2");
  {
    StagedFile abandoned;
    ASSERT_TRUE(abandoned.Create(folder, "y", "t", 0600, nullptr));
  }
  EXPECT_EQ(std::distance(fsys::directory_iterator(dir.path()), fsys::directory_iterator()), 1);
}

}  // namespace
}  // namespace platform
