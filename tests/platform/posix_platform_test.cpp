// The POSIX stand-ins on a real file system: Windows path resolution, directory searches,
// temporary and claimed files, folders and files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "platform/fs.h"
#include "platform/platform.h"
#include "platform/runtime.h"
#include "support/temp_dir.h"

namespace {

namespace fsys = std::filesystem;
using platform::FindFilter;
using platform::fs::ResolveStatus;

class PosixPlatformTest : public ::testing::Test {
 protected:
  // The Windows spelling of a path below the test folder.
  std::string Win(const std::string& relative) const { return dir_.str() + "\\" + relative; }

  testing_support::TempDir dir_;
  std::unique_ptr<platform::Platform> os_ =
      platform::MakePlatform(platform::Env::Default(), 0, nullptr);
};

TEST_F(PosixPlatformTest, ResolvesEachComponentIgnoringCase) {
  dir_.Write("Data/Sub Folder/Report.TXT", "x");
  const auto r =
      platform::fs::ResolveExisting(platform::Env::Default(), Win("DATA\\sub folder\\report.txt"));
  ASSERT_EQ(r.status, ResolveStatus::kFound);
  EXPECT_EQ(r.path, dir_.str() + "/Data/Sub Folder/Report.TXT");
  // ".." is resolved before matching, so it may pass through a name that does not exist.
  EXPECT_EQ(
      platform::fs::ResolveExisting(platform::Env::Default(), Win("data\\nothing\\..\\SUB FOLDER"))
          .status,
      ResolveStatus::kFound);
  EXPECT_EQ(
      platform::fs::ResolveExisting(platform::Env::Default(), Win("data\\missing.txt")).status,
      ResolveStatus::kMissing);
}

TEST_F(PosixPlatformTest, NamesDifferingOnlyInCaseDoNotResolve) {
  dir_.Write("Docs/a.txt", "1");
  dir_.Write("DOCS/a.txt", "2");
  EXPECT_EQ(platform::fs::ResolveExisting(platform::Env::Default(), Win("docs\\a.txt")).status,
            ResolveStatus::kAmbiguous);
  EXPECT_EQ(platform::fs::ResolveExisting(platform::Env::Default(), Win("Docs\\a.txt")).status,
            ResolveStatus::kAmbiguous);
  EXPECT_FALSE(os_->FindFirstFile(Win("Docs\\*.*"), FindFilter::kFilesAndFolders));
}

TEST_F(PosixPlatformTest, ResolvesNewNamesAsSpelledAndExistingOnesAsFound) {
  dir_.Write("Out/Archive.lzh", "");
  EXPECT_EQ(platform::fs::ResolveForCreate(platform::Env::Default(), Win("OUT\\NEW.LZH")).path,
            dir_.str() + "/Out/NEW.LZH");
  EXPECT_EQ(platform::fs::ResolveForCreate(platform::Env::Default(), Win("OUT\\ARCHIVE.LZH")).path,
            dir_.str() + "/Out/Archive.lzh");
  EXPECT_EQ(
      platform::fs::ResolveForCreate(platform::Env::Default(), Win("NOFOLDER\\NEW.LZH")).status,
      ResolveStatus::kMissing);
}

TEST_F(PosixPlatformTest, DirectorySearchesAdmitWhatTheirFilterSays) {
  dir_.Write("d/plain.txt", "x");
  dir_.Write("d/.hidden.txt", "x");
  dir_.Write("hid/.only.txt", "x");
  dir_.MakeDir("d/folder.txt");
  dir_.MakeDir("d/.hiddenfolder");
  ASSERT_EQ(::mkfifo((dir_.path() / "d/pipe.txt").c_str(), 0644), 0);
  fsys::create_symlink("plain.txt", dir_.path() / "d/link.txt");
  fsys::create_symlink("gone.txt", dir_.path() / "d/dangling.txt");
  const struct {
    const char* path;
    FindFilter filter;
    bool found;
  } cases[] = {
      {"d\\PLAIN.TXT", FindFilter::kPlainFiles, true},
      {"d\\plain.txt\\", FindFilter::kPlainFiles, false},
      {"d\\.hidden.txt", FindFilter::kPlainFiles, false},
      {"d\\.hidden.txt", FindFilter::kFilesAndFolders, false},
      {"d\\folder.txt", FindFilter::kPlainFiles, false},
      {"d\\folder.txt", FindFilter::kFilesAndFolders, true},
      {"d\\.hiddenfolder", FindFilter::kFilesAndFolders, false},
      {"d\\FOLDER.TXT\\", FindFilter::kFilesAndFolders, true},
      {"d\\pipe.txt", FindFilter::kFilesAndFolders, false},  // a system file
      {"d\\link.txt", FindFilter::kPlainFiles, true},        // a link counts as its target
      {"d\\dangling.txt", FindFilter::kFilesAndFolders, false},
      {"d\\P*.TXT", FindFilter::kPlainFiles, true},
      {"hid\\*.*", FindFilter::kFilesAndFolders, false},
      {"d\\*.doc", FindFilter::kFilesAndFolders, false},
      {"nothere\\*.*", FindFilter::kFilesAndFolders, false},
      {"d", FindFilter::kFilesAndFolders, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(os_->FindFirstFile(Win(c.path), c.filter), c.found) << c.path;
  EXPECT_TRUE(os_->FolderExists(Win("D\\")));
  EXPECT_FALSE(os_->FolderExists(Win("d\\plain.txt")));
  EXPECT_TRUE(os_->FolderExists("\\"));
}

TEST_F(PosixPlatformTest, TemporaryFilesAreNewAndUnique) {
  char a[261] = {}, b[261] = {};
  const std::string dir = Win("");
  const uint32_t na = os_->GetTempFileNameA(dir.c_str(), "~VBX", 0, a);
  const uint32_t nb = os_->GetTempFileNameA(dir.c_str(), "~VB", 0, b);
  ASSERT_NE(na, 0u);
  ASSERT_NE(nb, 0u);
  EXPECT_NE(std::string(a), std::string(b));
  EXPECT_TRUE(std::string(a).starts_with(dir + "~VB")) << a;  // three letters of the prefix
  EXPECT_TRUE(std::string(a).ends_with(".TMP"));
  const auto ra = platform::fs::ResolveExisting(platform::Env::Default(), a);
  ASSERT_EQ(ra.status, ResolveStatus::kFound);
  EXPECT_EQ(fsys::file_size(ra.path), 0u);
  char c[261] = {};
  EXPECT_EQ(os_->GetTempFileNameA(Win("missing\\").c_str(), "~VB", 0, c), 0u);
  EXPECT_EQ(os_->GetTempFileNameA(dir.c_str(), "~VB", 0x1A2B, c), 0x1A2Bu);
  EXPECT_EQ(std::string(c), dir + "~VB1A2B.TMP");
  EXPECT_FALSE(fsys::exists(dir_.path() / "~VB1A2B.TMP"));  // a given number only forms a name
}

TEST_F(PosixPlatformTest, ClaimedFilesBelongToOneHolder) {
  const std::string dir = Win("");
  EXPECT_EQ(os_->ClaimFile(dir, "Dummy", ".tmp"), dir + "Dummy.tmp");
  {
    // Another holder finds Dummy.tmp taken and gets a file of its own beside it.
    auto other = platform::MakePlatform(platform::Env::Default(), 0, nullptr);
    EXPECT_EQ(other->ClaimFile(dir, "Dummy", ".tmp"), dir + "Dummy-1.tmp");
  }
  os_ = platform::MakePlatform(platform::Env::Default(), 0,
                               nullptr);  // the first holder ends; its file stays behind
  ASSERT_TRUE(fsys::exists(dir_.path() / "Dummy.tmp"));
  EXPECT_EQ(os_->ClaimFile(dir, "Dummy", ".tmp"), dir + "Dummy.tmp");
}

TEST_F(PosixPlatformTest, FolderAndFileServicesRaiseTheRuntimeErrors) {
  os_->MkDir(Win("NewFolder"));
  EXPECT_TRUE(fsys::is_directory(dir_.path() / "NewFolder"));
  EXPECT_THROW(os_->MkDir(Win("NewFolder")), platform::RuntimeError);
  EXPECT_THROW(os_->MkDir(Win("a\\b\\c")), platform::RuntimeError);  // one level only
  os_->WriteFile(Win("newfolder\\list.tmp"), "\r\nA\r\n");
  EXPECT_EQ(dir_.Read("NewFolder/list.tmp"), "\r\nA\r\n");
  os_->Kill(Win("NEWFOLDER\\LIST.TMP"));
  EXPECT_FALSE(fsys::exists(dir_.path() / "NewFolder/list.tmp"));
  try {
    os_->Kill(Win("NewFolder\\list.tmp"));
    ADD_FAILURE() << "deleting a missing file must fail";
  } catch (const platform::RuntimeError& e) {
    EXPECT_EQ(e.Kind(), platform::ErrorKind::kFileNotFound);
  }
  EXPECT_THROW(os_->WriteFile(Win("nofolder\\x.tmp"), "x"), platform::RuntimeError);
}

TEST_F(PosixPlatformTest, SystemFacts) {
  platform::OsVersionInfo v;
  v.dwOSVersionInfoSize = sizeof v;
  ASSERT_NE(os_->GetVersionExA(v), 0);
  EXPECT_GE(v.dwMajorVersion, 2u);  // a Linux kernel release
  char buf[512];
  ASSERT_GT(os_->GetSystemDirectoryA(buf, sizeof buf), 0u);
  EXPECT_TRUE(fsys::is_directory(buf)) << buf;
  EXPECT_EQ(os_->GetShortPathNameA("/tmp", buf, sizeof buf), 0u);
  dir_.Write("notalib.so", "not an ELF file");
  EXPECT_EQ(os_->LoadLibraryA((dir_.path() / "notalib.so").string()), nullptr);
  char found[516];
  EXPECT_EQ(os_->SearchPathA(nullptr, "libquillory-no-such-library.so", nullptr, sizeof found,
                             found, nullptr),
            0u);
}

// A box is one line per line of its prompt, whichever line ends the prompt uses: a CR LF is one
// break, never a CR left at a line's end.
TEST_F(PosixPlatformTest, BoxPromptLinesEndOnceWhateverTheLineEnds) {
  const struct {
    const wchar_t* prompt;
    const char* lines;
  } cases[] = {
      {L"one\r\ntwo", "one\ntwo\n"},
      {L"one\ntwo\rthree", "one\ntwo\nthree\n"},
      {L"one\r\n\r\ntwo\r\n", "one\n\ntwo\n\n"},
  };
  for (const auto& c : cases) {
    ::testing::internal::CaptureStderr();
    os_->MessageBox(c.prompt, std::wstring(L"T"), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string("[T]\n") + c.lines + "[OK]\n");
  }
}

}  // namespace
