// What the Windows Env does where Windows differs from POSIX: renames onto open files, locks that
// never block data, the read-only attribute as permission bits, 100 ns times, paths past
// MAX_PATH and names the Win32 path rules would change, errno values for Windows' errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/staged_file.h"
#include "platform/text.h"
#include "support/temp_dir.h"

// After the interface, whose names are not to be the macros of <windows.h>.
#include <windows.h>
#undef CreateFile
#undef LoadLibrary

namespace {

using namespace std::string_literals;
using platform::Env;
using platform::File;
using platform::FileStatus;
using Kind = platform::fs::Kind;
using Links = platform::File::Links;

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

class WindowsEnvTest : public ::testing::Test {
 protected:
  Env& env() { return Env::Default(); }
  std::string P(const std::string& relative) const { return dir_.str() + "/" + relative; }
  File Folder(const std::string& relative = ".") { return env().OpenFolder(P(relative), nullptr); }
  void Write(const std::string& relative, const std::string& data) {
    int error = 0;
    File f = env().OpenForWriting(P(relative), 0644, &error);
    ASSERT_TRUE(f.is_open()) << relative << ": " << platform::ErrorText(error);
    ASSERT_TRUE(f.WriteAll(Bytes(data)));
  }
  std::string Read(const std::string& relative) {
    File f = env().OpenFile(P(relative), nullptr);
    FileStatus st;
    if (!f.Status(&st)) return "(missing)";
    std::string data(st.size, '\0');
    const int64_t n = f.ReadAt(0, {reinterpret_cast<uint8_t*>(data.data()), data.size()});
    return n < 0 ? "(unreadable)" : data.substr(0, static_cast<size_t>(n));
  }
  std::vector<std::string> Names(const std::string& relative = ".") {
    auto names = env().ListFolder(P(relative));
    if (!names) return {"(failed)"};
    std::sort(names->begin(), names->end());
    return *names;
  }

  testing_support::TempDir dir_;
};

// An update reads the old archive through a handle it keeps (and locks) until the new archive
// has taken its name: Windows refuses to rename onto an open file, the Env must not.
TEST_F(WindowsEnvTest, ARenameReplacesAFileThatIsOpenAndLocked) {
  Write("a.lzh", "old");
  File old = env().OpenFile(P("a.lzh"), nullptr);
  ASSERT_TRUE(old.TryLock());
  Write("new", "new archive");
  int error = 0;
  ASSERT_TRUE(Folder().RenameIn("new", "a.lzh", true, &error)) << platform::ErrorText(error);
  EXPECT_EQ(Read("a.lzh"), "new archive");
  uint8_t buf[3];
  EXPECT_EQ(old.ReadAt(0, buf), 3) << "the old file stays readable through its handle";
  EXPECT_EQ(std::string(buf, buf + 3), "old");
  old.Close();
  EXPECT_EQ(Names(), std::vector<std::string>{"a.lzh"}) << "nothing left beside it";

  Write("ro", "read-only");
  ASSERT_TRUE(env().OpenFile(P("ro"), nullptr).SetMode(0444));
  Write("over", "replaces it");
  EXPECT_TRUE(Folder().RenameIn("over", "ro", true, &error)) << platform::ErrorText(error);
  EXPECT_EQ(Read("ro"), "replaces it");
  Write("taken", "x");
  EXPECT_FALSE(Folder().RenameIn("a.lzh", "taken", false, &error));
  EXPECT_EQ(error, EEXIST);
  EXPECT_EQ(Read("a.lzh"), "new archive");
}

// A staged file is renamed into place while it is still open and locked.
TEST_F(WindowsEnvTest, AStagedFileIsPlacedWhileOpenAndItsLeftoversAreSwept) {
  const File root = Folder();
  platform::StagedFile running;
  ASSERT_TRUE(running.Create(root, "a.lzh", "unlha", 0600, nullptr));
  Write(platform::StagedName("a.lzh", "unlha", "k1lled00"), "left by a kill");
  const auto kept = platform::SweepStagedFiles(root, "unlha", std::string_view("a.lzh"));
  EXPECT_EQ(kept.size(), 1u) << "the running file is locked, so it stays";
  ASSERT_TRUE(running.file().WriteAll(Bytes("data")));
  int error = 0;
  ASSERT_TRUE(running.Commit(platform::StagedFile::Placement::kReplace, &error))
      << platform::ErrorText(error);
  EXPECT_EQ(Names(), std::vector<std::string>{"a.lzh"});
  EXPECT_EQ(Read("a.lzh"), "data");
}

// Locks exclude other lockers, as flock's do, but never other readers or writers of the data.
TEST_F(WindowsEnvTest, LocksExcludeLockersButNotData) {
  Write("f", "0123456789");
  File a = env().OpenFile(P("f"), nullptr);
  File b = env().OpenFile(P("f"), nullptr);
  ASSERT_TRUE(a.TryLock());
  EXPECT_FALSE(b.TryLock());
  EXPECT_FALSE(b.TryLockShared());
  uint8_t buf[10];
  EXPECT_EQ(b.ReadAt(0, buf), 10);
  File w = env().OpenForWriting(P("f"), 0644, nullptr);
  EXPECT_TRUE(w.WriteAll(Bytes("rewritten")));
  a.Close();
  EXPECT_TRUE(b.TryLockShared());
  EXPECT_TRUE(env().OpenFile(P("f"), nullptr).TryLockShared());
}

// Reading and writing at an offset leave the position where it was, as pread and pwrite do: the
// archive writer patches a header behind it and goes on at the end.
TEST_F(WindowsEnvTest, OffsetsLeaveThePositionAlone) {
  int error = 0;
  File f = env().CreateFile(P("f"), 0600, &error);
  ASSERT_TRUE(f.is_open()) << platform::ErrorText(error);
  ASSERT_TRUE(f.WriteAll(Bytes("abcdef")));
  ASSERT_TRUE(f.WriteAt(0, Bytes("AB")));
  ASSERT_TRUE(f.WriteAll(Bytes("gh")));
  uint8_t buf[8];
  EXPECT_EQ(f.ReadAt(2, std::span(buf, 2)), 2);
  ASSERT_TRUE(f.WriteAll(Bytes("!")));
  EXPECT_EQ(Read("f"), "ABcdefgh!");
  ASSERT_TRUE(f.Seek(1));
  EXPECT_EQ(f.Read(std::span(buf, 3)), 3);
  EXPECT_EQ(std::string(buf, buf + 3), "Bcd");
}

// Permission bits are the read-only attribute; times keep their 100 ns.
TEST_F(WindowsEnvTest, ModesAreTheReadOnlyAttributeAndTimesHave100Nanoseconds) {
  Write("f", "x");
  File f = env().OpenFile(P("f"), nullptr);
  FileStatus st;
  ASSERT_TRUE(f.Status(&st));
  EXPECT_EQ(st.mode, 0666u);
  ASSERT_TRUE(f.SetMode(0444));
  ASSERT_TRUE(f.Status(&st));
  EXPECT_EQ(st.mode, 0444u);
  ASSERT_TRUE(f.SetModificationTime(1234567890, 123456789));
  ASSERT_TRUE(f.Status(&st));
  EXPECT_EQ(st.mtime, 1234567890);
  EXPECT_EQ(st.mtime_nsec, 123456700u);
  ASSERT_TRUE(f.SetModificationTime(-86400, 0)) << "before 1970";
  ASSERT_TRUE(f.Status(&st));
  EXPECT_EQ(st.mtime, -86400);
  f.Close();
  int error = 0;
  EXPECT_TRUE(env().Remove(P("f"), &error)) << "read-only files go, as on POSIX";
  File created = env().CreateFile(P("ro"), 0444, &error);
  ASSERT_TRUE(created.WriteAll(Bytes("written through the handle that made it")));
  ASSERT_TRUE(created.Status(&st));
  EXPECT_EQ(st.mode, 0444u);
  EXPECT_EQ(env().Status(P("."), Links::kFollowed)->mode, 0777u);
}

// Names reach the disk exactly: beyond MAX_PATH, with trailing dots and blanks that Win32 would
// trim, past the Basic Multilingual Plane, and with Japanese whose Shift_JIS has a "\" byte.
TEST_F(WindowsEnvTest, NamesAndPathsReachTheDiskAsTheyAre) {
  std::string deep = ".";
  for (int i = 0; i < 12; ++i) {
    deep += "/" + std::string(40, static_cast<char>('a' + i));
    ASSERT_TRUE(env().MakeFolder(P(deep), 0777));
  }
  ASSERT_GT(P(deep).size(), 480u);
  Write(deep + "/deep.txt", "deep");
  EXPECT_EQ(Read(deep + "/deep.txt"), "deep");

  const std::vector<std::string> kNames = {
      "trailing dot.", "trailing blank ", "表示.txt", "\xF0\x9F\x98\x80.txt", "CON", "aux.txt"};
  ASSERT_TRUE(env().MakeFolder(P("names"), 0777));
  for (const auto& name : kNames)
    Write("names/" + name, name);
  auto sorted = kNames;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(Names("names"), sorted);
  for (const auto& name : kNames)
    EXPECT_EQ(Read("names/" + name), name);
}

// What the resolver and the library ask of a Windows Env: the roots of Windows paths, a file's
// other (short) name, its hidden and system attributes, the names it refuses to make.
TEST_F(WindowsEnvTest, WindowsPathRules) {
  const struct {
    const char* path;
    size_t root_length;
  } kRoots[] = {{"C:\\x", 3}, {"c:/x", 3}, {"C:x", 2}, {"\\\\server\\share\\x", 15},
                {"\\x", 1},   {"x\\y", 0}, {"", 0}};
  for (const auto& c : kRoots)
    EXPECT_EQ(env().RootOf(c.path).length, c.root_length) << c.path;
  EXPECT_EQ(env().RootOf("C:\\x").native.substr(1), ":/");

  Write("a long file name.text", "x");
  wchar_t short_path[MAX_PATH];
  const std::wstring long_path = dir_.path().wstring() + L"\\a long file name.text";
  ASSERT_GT(::GetShortPathNameW(long_path.c_str(), short_path, MAX_PATH), 0u);
  const std::wstring short_name = std::filesystem::path(short_path).filename().wstring();
  ASSERT_NE(short_name, L"a long file name.text");
  EXPECT_EQ(env().LongName(dir_.str(), platform::ToUtf8(short_name)), "a long file name.text");
  EXPECT_EQ(env().LongName(dir_.str(), "missing"), std::nullopt);
  EXPECT_EQ(env().LongName(dir_.str(), "a*"), std::nullopt) << "a pattern names nothing";

  Write("plain", "x");
  Write("hidden", "x");
  Write("system", "x");
  ASSERT_TRUE(::SetFileAttributesW((dir_.path() / "hidden").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(::SetFileAttributesW((dir_.path() / "system").c_str(), FILE_ATTRIBUTE_SYSTEM));
  for (const std::string name : {"plain", "hidden", "system"}) {
    const auto st = env().Status(P(name), Links::kNotFollowed);
    ASSERT_TRUE(st) << name;
    EXPECT_EQ(st->hidden, name == "hidden") << name;
    EXPECT_EQ(st->system, name == "system") << name;
    EXPECT_EQ(env().IsHidden(name, *st), name == "hidden") << name;
  }

  EXPECT_NE(env().NameRefusal("CON.txt"), "");
  EXPECT_NE(env().NameRefusal("a:b"), "");
  EXPECT_EQ(env().NameRefusal("notes.txt"), "");
}

// Paths that do not start at a drive: the current folder, the current drive's root.
TEST_F(WindowsEnvTest, RelativeAndRootedPathsFollowTheWin32Rules) {
  testing_support::TempDir inside(/*enter=*/true, dir_.path());
  Write("probe", "x");  // beside `inside`
  EXPECT_EQ(env().Status("../probe", Links::kFollowed)->kind, Kind::kFile);
  EXPECT_EQ(env().Status(".", Links::kFollowed)->kind, Kind::kFolder);
  EXPECT_EQ(env().Status("/", Links::kFollowed)->kind, Kind::kFolder);
  const auto root = env().RealPath("/");
  ASSERT_TRUE(root);
  EXPECT_EQ(root->size(), 3u) << *root;  // "T:/": a drive's root
  EXPECT_EQ(root->substr(1), ":/");
  EXPECT_TRUE(env().RealPath(P("..")).has_value());
  const auto here = env().RealPath(".");
  ASSERT_TRUE(here);
  EXPECT_EQ(here->find('\\'), std::string::npos) << "native paths use /: " << *here;
  EXPECT_EQ(env().RealPath(*here + "/../" + inside.path().filename().string()), here);
}

// Windows' errors as the errno values the callers tell apart.
TEST_F(WindowsEnvTest, ErrorNumbers) {
  Write("f", "x");
  ASSERT_TRUE(env().MakeFolder(P("d"), 0777));
  ASSERT_TRUE(env().MakeFolder(P("full"), 0777));
  Write("full/x", "x");
  const struct {
    const char* what;
    std::function<bool(int*)> call;
    int error;
  } kCases[] = {
      {"missing", [&](int* e) { return !!env().Status(P("missing"), Links::kFollowed, e); },
       ENOENT},
      {"a missing folder on the way",
       [&](int* e) { return !!env().Status(P("missing/x"), Links::kFollowed, e); }, ENOENT},
      {"a file on the way", [&](int* e) { return !!env().Status(P("f/x"), Links::kFollowed, e); },
       ENOTDIR},
      {"a folder as a file", [&](int* e) { return env().OpenFile(P("d"), e).is_open(); }, EISDIR},
      {"a file as a folder", [&](int* e) { return env().OpenFolder(P("f"), e).is_open(); },
       ENOTDIR},
      {"a folder written", [&](int* e) { return env().OpenForWriting(P("d"), 0644, e).is_open(); },
       EISDIR},
      {"a folder removed as a file", [&](int* e) { return env().Remove(P("d"), e); }, EISDIR},
      {"a full folder removed", [&](int* e) { return Folder().RemoveIn("full", true, e); },
       ENOTEMPTY},
      {"a file removed as a folder", [&](int* e) { return Folder().RemoveIn("f", true, e); },
       ENOTDIR},
      {"a file created twice", [&](int* e) { return env().CreateFile(P("f"), 0644, e).is_open(); },
       EEXIST},
      {"a folder made twice", [&](int* e) { return env().MakeFolder(P("d"), 0777, e); }, EEXIST},
      {"\"..\" made", [&](int* e) { return Folder("d").MakeFolderIn("..", 0777, e); }, EEXIST},
      {"a folder onto a file", [&](int* e) { return Folder().RenameIn("d", "f", true, e); },
       ENOTDIR},
      {"a file onto a folder", [&](int* e) { return Folder().RenameIn("f", "d", true, e); },
       EISDIR},
      {"a folder onto a full one", [&](int* e) { return Folder().RenameIn("d", "full", true, e); },
       ENOTEMPTY},
      {"a name too long",
       [&](int* e) { return Folder().CreateFileIn(std::string(256, 'n'), 0644, e).is_open(); },
       ENAMETOOLONG},
      {"a NUL in a name", [&](int* e) { return Folder().OpenFileIn("f\0x"s, e).is_open(); },
       EINVAL},
      {"a write through a reading handle",
       [&](int* e) { return env().OpenFile(P("f"), nullptr).WriteAll(Bytes("x"), e); }, EBADF},
      {"no link", [&](int* e) { return !!env().ReadLink(P("f"), e); }, EINVAL},
  };
  for (const auto& c : kCases) {
    int error = 0;
    EXPECT_FALSE(c.call(&error)) << c.what;
    EXPECT_EQ(error, c.error) << c.what << ": " << platform::ErrorText(error);
  }
  EXPECT_EQ(Read("f"), "x");
  EXPECT_TRUE(Folder().RenameIn("d", "empty", true)) << "a folder onto nothing";
  ASSERT_TRUE(env().MakeFolder(P("d"), 0777));
  EXPECT_TRUE(Folder().RenameIn("empty", "d", true)) << "a folder onto an empty one";
}

// A system that cannot make links (or, as wine, claims to and makes none) says so; where links
// exist, a final one is opened as itself unless followed.
TEST_F(WindowsEnvTest, LinksAreMadeOrRefusedNeverFakedAndNotFollowedUnlessAsked) {
  Write("target", "data");
  int error = 0;
  if (!Folder().MakeLinkIn("target", "link", &error)) {
    EXPECT_NE(error, 0);
    EXPECT_EQ(env().Status(P("link"), Links::kNotFollowed), std::nullopt);
    GTEST_SKIP() << "this system makes no links: " << platform::ErrorText(error);
  }
  EXPECT_EQ(env().Status(P("link"), Links::kNotFollowed)->kind, Kind::kSymlink);
  EXPECT_EQ(env().Status(P("link"), Links::kFollowed)->kind, Kind::kFile);
  EXPECT_EQ(env().ReadLink(P("link")), "target");
  EXPECT_FALSE(Folder().OpenFileIn("link", &error).is_open());
  EXPECT_EQ(error, ELOOP);
  EXPECT_EQ(Read("link"), "data");
}

TEST_F(WindowsEnvTest, ClockZoneAndProgram) {
  const int64_t now = env().Now();
  EXPECT_GT(now, 1700000000);
  for (const int64_t t : {int64_t{0}, int64_t{951782400}, now, int64_t{4102444799}})
    EXPECT_EQ(env().FromLocalTime(env().ToLocalTime(t)), t) << t;
  EXPECT_EQ(env().FromLocalTime({1999, 14, 29, 0, 0, 0}),
            env().FromLocalTime({2000, 2, 29, 0, 0, 0}))
      << "months carry over, as mktime lets them";
  const std::string program = env().ProgramFolder();
  EXPECT_EQ(env().Status(program, Links::kFollowed)->kind, Kind::kFolder) << program;
  EXPECT_EQ(env().LoadLibrary(P("missing.dll")), nullptr);
  platform::LibraryHandle kernel = env().LoadLibrary("kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  EXPECT_EQ(env().LoadLibrary("KERNEL32.DLL"), kernel) << "one file, one handle";
  EXPECT_NE(env().FindFunction(kernel, "GetACP"), nullptr);
  EXPECT_EQ(env().FindFunction(kernel, "NoSuchFunction"), nullptr);
}

}  // namespace
