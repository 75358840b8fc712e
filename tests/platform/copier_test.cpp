// The copier that stands in for the shell's file copy, on real files.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace {

namespace fsys = std::filesystem;

// One FO_COPY call as the copy mode makes it.
int32_t CopyWith(platform::Platform& os, const std::string& from, const std::string& to) {
  platform::SHFILEOPSTRUCTA op;
  op.wFunc = platform::FO_COPY;
  op.pFrom = from + std::string(2, '\0');
  op.pTo = to + std::string(2, '\0');
  op.fFlags = platform::FOF_SILENT | platform::FOF_NOCONFIRMATION;
  return os.SHFileOperationA(op);
}

class CopierTest : public ::testing::Test {
 protected:
  std::string Win(const std::string& relative) const { return dir_.str() + "\\" + relative; }
  int32_t Copy(const std::string& from, const std::string& to) { return CopyWith(*os_, from, to); }

  static timespec MTime(const fsys::path& p) {
    struct stat st;
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st.st_mtim;
  }
  static mode_t Mode(const fsys::path& p) {
    struct stat st;
    EXPECT_EQ(::lstat(p.c_str(), &st), 0) << p;
    return st.st_mode & 07777;
  }
  static void SetMTime(const fsys::path& p, time_t sec, long nsec) {
    const timespec t[2] = {{sec, nsec}, {sec, nsec}};
    ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), t, AT_SYMLINK_NOFOLLOW), 0);
  }

  testing_support::TempDir dir_;
  std::unique_ptr<platform::Platform> os_ =
      platform::MakePlatform(platform::Env::Default(), 0, nullptr);
};

TEST_F(CopierTest, CopiesAFileIntoAFolderMadeForIt) {
  const auto src = dir_.Write("src/Report.Txt", "content");
  ::chmod(src.c_str(), 0640);
  SetMTime(src, 1000000000, 123456789);
  EXPECT_EQ(Copy(Win("SRC\\REPORT.TXT"), Win("out\\deeper")), 0);
  const auto dst = dir_.path() / "out/deeper/Report.Txt";  // the name as it is on disk
  EXPECT_EQ(dir_.Read("out/deeper/Report.Txt"), "content");
  EXPECT_EQ(Mode(dst), 0640u);
  EXPECT_EQ(MTime(dst).tv_sec, 1000000000);
  EXPECT_EQ(MTime(dst).tv_nsec, 123456789);
}

TEST_F(CopierTest, CopiesEveryMatchOfAPattern) {
  dir_.Write("src/a.txt", "a");
  dir_.Write("src/B.TXT", "b");
  dir_.Write("src/c.doc", "c");
  EXPECT_EQ(Copy(Win("src\\*.txt"), Win("out")), 0);
  EXPECT_TRUE(fsys::exists(dir_.path() / "out/a.txt"));
  EXPECT_TRUE(fsys::exists(dir_.path() / "out/B.TXT"));
  EXPECT_FALSE(fsys::exists(dir_.path() / "out/c.doc"));
}

TEST_F(CopierTest, CopiesAFolderWithEverythingBelowAndMergesIt) {
  dir_.Write("src/Folder 1/a, b.txt", "1");
  dir_.Write("src/Folder 1/データ/日本語.txt", "2");
  dir_.Write("src/Folder 1/.hidden", "3");
  dir_.MakeDir("src/Folder 1/empty");
  fsys::create_symlink("a, b.txt", dir_.path() / "src/Folder 1/link");
  fsys::create_symlink("/nonexistent/target", dir_.path() / "src/Folder 1/dangling");
  dir_.Write("out/Folder 1/kept.txt", "old");
  ::chmod((dir_.path() / "src/Folder 1/データ").c_str(), 0750);
  SetMTime(dir_.path() / "src/Folder 1/データ", 1234567890, 0);

  EXPECT_EQ(Copy(Win("src\\folder 1"), Win("out")), 0);
  const auto out = dir_.path() / "out/Folder 1";
  EXPECT_EQ(dir_.Read("out/Folder 1/a, b.txt"), "1");
  EXPECT_EQ(dir_.Read("out/Folder 1/データ/日本語.txt"), "2");
  EXPECT_EQ(dir_.Read("out/Folder 1/.hidden"), "3");
  EXPECT_EQ(dir_.Read("out/Folder 1/kept.txt"), "old");
  EXPECT_TRUE(fsys::is_directory(out / "empty"));
  EXPECT_EQ(fsys::read_symlink(out / "link"), "a, b.txt");
  EXPECT_EQ(fsys::read_symlink(out / "dangling"), "/nonexistent/target");
  EXPECT_EQ(Mode(out / "データ"), 0750u);
  EXPECT_EQ(MTime(out / "データ").tv_sec, 1234567890);
}

TEST_F(CopierTest, ReplacesExistingCopiesEvenReadOnlyOnes) {
  dir_.Write("src/a.txt", "new content");
  const auto old = dir_.Write("out/a.txt", "old");
  ::chmod(old.c_str(), 0444);
  fsys::create_symlink("a.txt", dir_.path() / "out/l");
  fsys::create_symlink("x", dir_.path() / "src/l");
  EXPECT_EQ(Copy(Win("src\\a.txt"), Win("out")), 0);
  EXPECT_EQ(Copy(Win("src\\l"), Win("out")), 0);
  EXPECT_EQ(dir_.Read("out/a.txt"), "new content");
  EXPECT_EQ(fsys::read_symlink(dir_.path() / "out/l"), "x");
  for (const auto& e : fsys::directory_iterator(dir_.path() / "out"))
    EXPECT_EQ(e.path().filename().string().find(".quillory-"), std::string::npos)
        << "a temporary file was left: " << e.path();
}

// Backs up a read-only folder twice, the second time over the first copy. Returns 0 when both
// runs copied everything, otherwise the number of the step that went wrong.
int CopyReadOnlyFolderTwice() {
  testing_support::TempDir dir;
  auto os = platform::MakePlatform(platform::Env::Default(), 0, nullptr);
  const auto copy = [&] { return CopyWith(*os, dir.str() + "\\SRC\\RO", dir.str() + "\\out"); };
  const auto folder = dir.path() / "src/RO";
  dir.Write("src/RO/f.txt", "first");
  if (::chmod(folder.c_str(), 0555) != 0 || copy() != 0) return 1;
  if (::chmod(folder.c_str(), 0755) != 0) return 2;
  dir.Write("src/RO/f.txt", "second");
  dir.Write("src/RO/new.txt", "new");
  if (::chmod(folder.c_str(), 0555) != 0 || copy() != 0) return 3;
  if (dir.Read("out/RO/f.txt") != "second" || dir.Read("out/RO/new.txt") != "new") return 4;
  struct stat st;
  if (::stat((dir.path() / "out/RO").c_str(), &st) != 0 || (st.st_mode & 07777) != 0555) return 5;
  return 0;
}

// Root may write into any folder, so where the test runs as root the job runs as nobody.
TEST_F(CopierTest, MergesIntoTheCopyOfAReadOnlyFolderOnTheNextRun) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(90);
    ::_exit(CopyReadOnlyFolderTwice());
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed at step " << WEXITSTATUS(status);
}

// A FIFO holds no data to back up: met inside a folder it is left out and the copy succeeds;
// named by the job it is an error. Either way it is never opened (that would hang).
TEST_F(CopierTest, NeverOpensSystemFilesButCopiesTheRest) {
  dir_.Write("src/d/a.txt", "a");
  ASSERT_EQ(::mkfifo((dir_.path() / "src/d/pipe").c_str(), 0644), 0);
  dir_.Write("src/d/z.txt", "z");
  EXPECT_EQ(Copy(Win("src\\d"), Win("out")), 0);
  EXPECT_EQ(dir_.Read("out/d/a.txt"), "a");
  EXPECT_EQ(dir_.Read("out/d/z.txt"), "z");
  EXPECT_FALSE(fsys::exists(dir_.path() / "out/d/pipe"));
  EXPECT_NE(Copy(Win("src\\d\\pipe"), Win("out2")), 0);
  EXPECT_FALSE(fsys::exists(dir_.path() / "out2/pipe"));
}

// A copy killed while it writes a new file leaves nothing under the file's name (only a file
// beside it, for the owner's eyes alone); the next copy removes that and copies the file whole.
TEST_F(CopierTest, AKilledCopyLeavesNoTornFileAndTheNextRunCleansUp) {
  constexpr uintmax_t kSize = 512u << 20;
  if (fsys::space("/dev/shm").available < 3 * kSize) GTEST_SKIP() << "needs 1.5 GiB on /dev/shm";
  const testing_support::TempDir shm(/*enter=*/false, "/dev/shm");
  const std::string block(1 << 20, 'x');
  {
    std::ofstream big(shm.path() / "big.bin", std::ios::binary);
    for (uintmax_t i = 0; i < kSize / block.size(); ++i)
      big << block;
  }
  const fsys::path out = shm.MakeDir("out");
  const auto copy = [&] { return Copy(shm.str() + "\\big.bin", shm.str() + "\\out"); };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(copy());
  std::optional<fsys::path> partial;
  while (!partial && ::waitpid(child, nullptr, WNOHANG) == 0) {
    std::error_code ec;
    for (const auto& e : fsys::directory_iterator(out, ec))
      if (fsys::file_size(e.path(), ec) > 0 && !ec) partial = e.path();
  }
  if (partial) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  if (!partial || fsys::file_size(*partial) == kSize)
    GTEST_SKIP() << "the copy ended before it could be killed";
  EXPECT_FALSE(fsys::exists(out / "big.bin")) << "a torn copy under the final name";
  EXPECT_EQ(Mode(*partial), 0600u);
  EXPECT_EQ(copy(), 0);
  EXPECT_EQ(fsys::file_size(out / "big.bin"), kSize);
  EXPECT_EQ(std::distance(fsys::directory_iterator(out), fsys::directory_iterator()), 1)
      << "what the killed copy left is still there";
}

TEST_F(CopierTest, RefusesAFolderIntoItselfOrBelowIt) {
  dir_.Write("data/a.txt", "a");
  dir_.MakeDir("data/sub");
  EXPECT_NE(Copy(Win("data"), Win("data")), 0);
  EXPECT_NE(Copy(Win("data"), Win("data\\sub")), 0);
  EXPECT_NE(Copy(Win("data"), Win("data\\new\\deeper")), 0);
  EXPECT_FALSE(fsys::exists(dir_.path() / "data/data"));
  EXPECT_FALSE(fsys::exists(dir_.path() / "data/sub/data"));
  // A sibling whose name merely starts the same is not below it.
  EXPECT_EQ(Copy(Win("data"), Win("data2")), 0);
  EXPECT_EQ(dir_.Read("data2/data/a.txt"), "a");
}

TEST_F(CopierTest, ReportsWhatCannotBeCopiedAndGoesOn) {
  dir_.Write("src/a.txt", "a");
  dir_.MakeDir("out/a.txt");  // a folder in the way of the file
  EXPECT_NE(Copy(Win("src\\a.txt"), Win("out")), 0);
  EXPECT_NE(Copy(Win("src\\missing.txt"), Win("out")), 0);
  EXPECT_NE(Copy(Win("src\\*.none"), Win("out")), 0);
  dir_.Write("file", "");
  EXPECT_NE(Copy(Win("src\\a.txt"), Win("file")), 0);  // the destination is no folder
}

TEST_F(CopierTest, AnEmptyDestinationIsTheCurrentFolder) {
  testing_support::TempDir cwd(/*enter=*/true);
  dir_.Write("src/a.txt", "a");
  EXPECT_EQ(Copy(Win("src\\a.txt"), ""), 0);
  EXPECT_TRUE(fsys::exists(cwd.path() / "a.txt"));
}

}  // namespace
