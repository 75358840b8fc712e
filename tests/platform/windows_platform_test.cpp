// Windows' own services behind platform::Platform, in the ANSI code page (932 under the tests'
// wine): what the program relies on from each, and where our side converts or restricts.
#define WIN32_LEAN_AND_MEAN  // no <shellapi.h>, whose macros are platform.h's names
#include <windows.h>
#undef FindFirstFile
#undef MessageBox

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/fs.h"
#include "platform/platform.h"
#include "platform/runtime.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace {

namespace fsys = std::filesystem;
using platform::FindFilter;

class WindowsPlatformTest : public ::testing::Test {
 protected:
  // A Windows path in the test's folder, in the ANSI code page.
  std::string Win(const std::wstring& relative) const {
    return platform::ToAnsi(dir_.path().wstring() + L"\\" + relative);
  }
  fsys::path Disk(const std::wstring& relative) const { return dir_.path() / relative; }
  void Write(const std::wstring& relative, const std::string& bytes) const {
    fsys::create_directories(Disk(relative).parent_path());
    std::ofstream(Disk(relative), std::ios::binary) << bytes;
  }
  static void SetAttributes(const fsys::path& p, DWORD attributes) {
    ASSERT_TRUE(::SetFileAttributesW(p.c_str(), attributes));
  }

  testing_support::TempDir dir_;
  std::unique_ptr<platform::Platform> os_ =
      platform::MakePlatform(platform::Env::Default(), 0, nullptr);
};

// The ANSI code page is the system's: Shift_JIS here, where 表 ends in the byte of "\".
TEST_F(WindowsPlatformTest, TextCrossesInTheSystemsCodePage) {
  ASSERT_EQ(::GetACP(), 932u) << "the tests run with LANG=ja_JP.UTF-8 (cmake/wine-run.sh)";
  EXPECT_EQ(platform::ToAnsi(L"表示"), "\x95\x5C\x8E\xA6");
  EXPECT_EQ(platform::FromAnsi("\x95\x5C\x8E\xA6"), L"表示");
  EXPECT_EQ(platform::AnsiToUtf8("\x95\x5C\x8E\xA6"), "表示");
  EXPECT_EQ(platform::Utf8ToAnsi("ﾌｧｲﾙ"), "\xCC\xA7\xB2\xD9");
}

// A directory search admits neither hidden nor system files; read-only and archive ones count.
// A name found by its short form counts as well.
TEST_F(WindowsPlatformTest, DirectorySearchFiltersByAttributes) {
  Write(L"d\\plain.txt", "x");
  Write(L"d\\ro.txt", "x");
  Write(L"d\\hidden.txt", "x");
  Write(L"d\\system.txt", "x");
  Write(L"d\\表示 long name.txt", "x");
  fsys::create_directories(Disk(L"d\\Sub Folder"));
  fsys::create_directories(Disk(L"d\\HiddenFolder"));
  SetAttributes(Disk(L"d\\ro.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  SetAttributes(Disk(L"d\\hidden.txt"), FILE_ATTRIBUTE_HIDDEN);
  SetAttributes(Disk(L"d\\system.txt"), FILE_ATTRIBUTE_SYSTEM);
  SetAttributes(Disk(L"d\\HiddenFolder"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
  const struct {
    const wchar_t* path;
    FindFilter filter;
    bool found;
  } kCases[] = {
      {L"d\\PLAIN.TXT", FindFilter::kPlainFiles, true},
      {L"d\\ro.txt", FindFilter::kPlainFiles, true},
      {L"d\\hidden.txt", FindFilter::kPlainFiles, false},
      {L"d\\system.txt", FindFilter::kFilesAndFolders, false},
      {L"d\\h*.txt", FindFilter::kPlainFiles, false},
      {L"d\\表示 LONG NAME.TXT", FindFilter::kPlainFiles, true},
      {L"d\\sub folder", FindFilter::kPlainFiles, false},
      {L"d\\sub folder", FindFilter::kFilesAndFolders, true},
      {L"d\\HiddenFolder", FindFilter::kFilesAndFolders, false},
      {L"d\\sub folder\\", FindFilter::kFilesAndFolders, true},
      {L"d\\sub folder\\", FindFilter::kPlainFiles, false},
      {L"d\\*.*", FindFilter::kPlainFiles, true},
      {L"d\\missing.txt", FindFilter::kFilesAndFolders, false},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(os_->FindFirstFile(Win(c.path), c.filter), c.found) << platform::ToUtf8(c.path);
  char short_path[300];
  const uint32_t n =
      os_->GetShortPathNameA(Win(L"d\\表示 long name.txt").c_str(), short_path, sizeof short_path);
  ASSERT_GT(n, 0u);
  const std::string s(short_path, n);
  EXPECT_EQ(s.find(' '), std::string::npos) << "a short path has no blanks: " << s;
  EXPECT_TRUE(os_->FindFirstFile(s, FindFilter::kPlainFiles)) << s;
  EXPECT_EQ(os_->GetShortPathNameA(Win(L"d\\missing.txt").c_str(), short_path, 300), 0u);
}

// The profile functions in the ANSI code page, a relative name from the current folder (Windows
// would look in its own folder), and a UTF-16 file with its byte-order mark.
TEST_F(WindowsPlatformTest, ProfilesAreReadAsWindowsReadsThem) {
  testing_support::TempDir here(/*enter=*/true, dir_.path());
  Write(here.path().filename().wstring() + L"\\job.ini",
        platform::ToAnsi(L"[OUT_INFOMATION]\r\nPath = \"C:\\表示\\バックアップ\"\r\n"));
  char buf[255];
  const std::string value = platform::ToAnsi(L"C:\\表示\\バックアップ");
  EXPECT_EQ(os_->GetPrivateProfileStringA("out_infomation", "PATH", "", buf, 255, "job.ini"),
            value.size());
  EXPECT_EQ(std::string(buf), value);
  std::wstring utf16 = L"\xFEFF[S]\r\nK=データ\r\n";
  Write(L"utf16.ini", std::string(reinterpret_cast<const char*>(utf16.data()), utf16.size() * 2));
  EXPECT_EQ(os_->GetPrivateProfileStringA("S", "K", "", buf, 255, Win(L"utf16.ini").c_str()), 6u);
  EXPECT_EQ(std::string(buf), platform::ToAnsi(L"データ"));
  EXPECT_EQ(os_->GetPrivateProfileStringA("S", "K", "def", buf, 255, Win(L"missing.ini").c_str()),
            3u);
}

// Copies go through our copier on the Env: ANSI names with a "\" trail byte arrive whole.
TEST_F(WindowsPlatformTest, CopiesTakeAnsiPaths) {
  Write(L"表示\\ファイル long name.txt", "data");
  platform::SHFILEOPSTRUCTA op;
  op.wFunc = platform::FO_COPY;
  op.pFrom = Win(L"表示") + std::string(2, '\0');
  op.pTo = Win(L"出力") + std::string(2, '\0');
  op.fFlags = platform::FOF_SILENT | platform::FOF_NOCONFIRMATION;
  EXPECT_EQ(os_->SHFileOperationA(op), 0);
  std::ifstream in(Disk(L"出力\\表示\\ファイル long name.txt"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "data");
  op.pFrom = Win(L"無い") + std::string(2, '\0');
  EXPECT_NE(os_->SHFileOperationA(op), 0);
}

// The list file: a new file in the folder named, or, where none can be made, a claimed one.
TEST_F(WindowsPlatformTest, TemporaryAndClaimedFiles) {
  char a[MAX_PATH] = {}, b[MAX_PATH] = {};
  const std::string dir = Win(L"");
  ASSERT_NE(os_->GetTempFileNameA(dir.c_str(), "~VB", 0, a), 0u);
  ASSERT_NE(os_->GetTempFileNameA(dir.c_str(), "~VB", 0, b), 0u);
  EXPECT_NE(std::string(a), std::string(b));
  EXPECT_TRUE(fsys::exists(a));
  EXPECT_EQ(os_->GetTempFileNameA(Win(L"missing\\").c_str(), "~VB", 0, a), 0u);

  fsys::create_directories(Disk(L"出力"));
  const std::string out = Win(L"出力\\");
  EXPECT_EQ(os_->ClaimFile(out, "Dummy", ".tmp"), out + "Dummy.tmp");
  auto other = platform::MakePlatform(platform::Env::Default(), 0, nullptr);
  EXPECT_EQ(other->ClaimFile(out, "Dummy", ".tmp"), out + "Dummy-1.tmp");
  os_->WriteFile(out + "Dummy.tmp", "\r\nlist\r\n");
  std::ifstream in(Disk(L"出力\\Dummy.tmp"), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "\r\nlist\r\n");
}

TEST_F(WindowsPlatformTest, FolderAndFileServicesRaiseTheRuntimeErrors) {
  os_->MkDir(Win(L"新しい"));
  EXPECT_TRUE(os_->FolderExists(Win(L"新しい")));
  EXPECT_TRUE(os_->FolderExists(Win(L"新しい\\")));
  EXPECT_THROW(os_->MkDir(Win(L"新しい")), platform::RuntimeError);
  EXPECT_THROW(os_->MkDir(Win(L"a\\b\\c")), platform::RuntimeError);
  os_->WriteFile(Win(L"新しい\\list.tmp"), "x");
  os_->Kill(Win(L"新しい\\LIST.TMP"));
  EXPECT_FALSE(fsys::exists(Disk(L"新しい\\list.tmp")));
  try {
    os_->Kill(Win(L"新しい\\list.tmp"));
    ADD_FAILURE() << "deleting a missing file must fail";
  } catch (const platform::RuntimeError& e) {
    EXPECT_EQ(e.Kind(), platform::ErrorKind::kFileNotFound);
  }
  EXPECT_THROW(os_->WriteFile(Win(L"nofolder\\x.tmp"), "x"), platform::RuntimeError);
}

// The library is looked for beside the program and in the system's folders, never in the
// current folder, whatever lies there.
TEST_F(WindowsPlatformTest, TheLibrarySearchNeverLooksInTheCurrentFolder) {
  testing_support::TempDir here(/*enter=*/true, dir_.path());
  std::ofstream(here.path() / "planted.dll") << "not a library";
  char found[516] = {};
  char* part = nullptr;
  EXPECT_EQ(os_->SearchPathA(nullptr, "planted.dll", nullptr, sizeof found, found, &part), 0u);
  ASSERT_NE(os_->SearchPathA(nullptr, "kernel32.dll", nullptr, sizeof found, found, &part), 0u);
  char system[MAX_PATH];
  ASSERT_GT(os_->GetSystemDirectoryA(system, MAX_PATH), 0u);
  EXPECT_EQ(platform::ToUtf8(platform::UCase(platform::FromAnsi(found))),
            platform::ToUtf8(
                platform::UCase(platform::FromAnsi(std::string(system) + "\\kernel32.dll"))));
  EXPECT_STREQ(part, found + std::strlen(system) + 1);
  platform::LibraryHandle kernel = os_->LoadLibraryA(found);
  ASSERT_NE(kernel, nullptr);
  EXPECT_NE(os_->GetProcAddress(kernel, "GetACP"), nullptr);
  EXPECT_EQ(os_->LoadLibraryA((here.path() / "planted.dll").string()), nullptr);
}

TEST_F(WindowsPlatformTest, SystemFacts) {
  platform::OsVersionInfo v;
  v.dwOSVersionInfoSize = 148;
  ASSERT_NE(os_->GetVersionExA(v), 0);
  EXPECT_GE(v.dwMajorVersion, 4u);
  EXPECT_EQ(v.dwPlatformId, 2u);  // VER_PLATFORM_WIN32_NT
  char buf[512];
  ASSERT_GT(os_->GetWindowsDirectoryA(buf, sizeof buf), 0u);
  EXPECT_TRUE(os_->FolderExists(buf)) << buf;
  ASSERT_GT(os_->GetSystemDirectoryA(buf, sizeof buf), 0u);
  EXPECT_TRUE(os_->FolderExists(buf)) << buf;
  const platform::LocalDate today = os_->Today();
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  EXPECT_EQ(today.year, now.wYear);
}

}  // namespace
