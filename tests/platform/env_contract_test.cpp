// What the system relies on from an Env, held against both implementations: PosixEnv in a fresh
// folder on disk, and MemEnv (tests/support). A rule that only one of them keeps fails here, so
// a test that passes on MemEnv says something about the real system too.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "platform/env.h"
#include "platform/fs.h"
#include "platform/staged_file.h"
#include "support/mem_env.h"
#include "support/temp_dir.h"

namespace {

using namespace std::string_literals;
using platform::Env;
using platform::File;
using platform::FileStatus;
using Kind = platform::fs::Kind;
using Links = platform::File::Links;

// An environment with an empty folder of the test's own.
class Subject {
 public:
  virtual ~Subject() = default;
  virtual Env& env() = 0;
  virtual std::string root() const = 0;
  virtual void MakeFifo(const std::string& path) = 0;
  // Whether permission bits bind the test (not for root on disk).
  virtual bool ChecksPermissions() const = 0;
};

class OnDisk final : public Subject {
 public:
  Env& env() override { return Env::Default(); }
  std::string root() const override { return dir_.str(); }
  void MakeFifo(const std::string& path) override { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); }
  bool ChecksPermissions() const override { return ::geteuid() != 0; }

 private:
  testing_support::TempDir dir_;
};

class InMemory final : public Subject {
 public:
  InMemory() { env_.MakeFolders("/test"); }
  Env& env() override { return env_; }
  std::string root() const override { return "/test"; }
  void MakeFifo(const std::string& path) override { env_.MakeSpecialFile(path); }
  bool ChecksPermissions() const override { return true; }

 private:
  testing_support::MemEnv env_;
};

struct Implementation {
  const char* name;
  std::function<std::unique_ptr<Subject>()> make;
  friend void PrintTo(const Implementation& i, std::ostream* os) { *os << i.name; }
};

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

class EnvContract : public ::testing::TestWithParam<Implementation> {
 public:
  void SetUp() override { subject_ = GetParam().make(); }

  Env& env() { return subject_->env(); }
  std::string P(const std::string& relative) const { return subject_->root() + "/" + relative; }
  File Folder(const std::string& relative = ".") { return env().OpenFolder(P(relative), nullptr); }

  // Writes a file, making the folders on its way.
  void Write(const std::string& relative, const std::string& data) {
    for (size_t slash = relative.find('/'); slash != std::string::npos;
         slash = relative.find('/', slash + 1))
      env().MakeFolder(P(relative.substr(0, slash)), 0755);
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
  void MakeFolder(const std::string& relative) { ASSERT_TRUE(env().MakeFolder(P(relative), 0755)); }
  void Link(const std::string& target, const std::string& relative) {
    ASSERT_TRUE(Folder().MakeLinkIn(target, relative));
  }
  Kind KindOf(const std::string& relative) {
    const auto st = env().Status(P(relative), Links::kNotFollowed);
    return st ? st->kind : Kind::kMissing;
  }
  std::vector<std::string> Sorted(std::optional<std::vector<std::string>> names) {
    if (!names) return {"(failed)"};
    std::sort(names->begin(), names->end());
    return *names;
  }

 protected:
  std::unique_ptr<Subject> subject_;
};

// --- Creating and replacing ----------------------------------------------------------------------

TEST_P(EnvContract, CreationIsExclusiveAndOpeningForWritingKeepsTheFile) {
  Write("f", "old");
  Link("nowhere", "dangling");
  int error = 0;
  EXPECT_FALSE(env().CreateFile(P("f"), 0600, &error).is_open());
  EXPECT_EQ(error, EEXIST);
  error = 0;
  EXPECT_FALSE(Folder().CreateFileIn("dangling", 0600, &error).is_open());
  EXPECT_EQ(error, EEXIST) << "a link in the way is never created through";
  EXPECT_EQ(KindOf("nowhere"), Kind::kMissing);
  error = 0;
  EXPECT_FALSE(env().MakeFolder(P("f"), 0755, &error));
  EXPECT_EQ(error, EEXIST);

  File holder = env().OpenFile(P("f"), nullptr);
  ASSERT_TRUE(holder.TryLock());
  FileStatus before, after;
  ASSERT_TRUE(holder.Status(&before));
  Write("f", "new!");
  ASSERT_TRUE(env().OpenFile(P("f"), nullptr).Status(&after));
  EXPECT_TRUE(before.SameFileAs(after)) << "emptied in place";
  EXPECT_FALSE(env().OpenFile(P("f"), nullptr).TryLockShared()) << "and still locked";
  EXPECT_EQ(Read("f"), "new!");

  error = 0;
  EXPECT_FALSE(env().OpenForWriting(P("dangling"), 0644, &error).is_open());
  EXPECT_EQ(error, ELOOP) << "a final link is not followed";
  MakeFolder("d");
  error = 0;
  EXPECT_FALSE(env().OpenForWriting(P("d"), 0644, &error).is_open());
  EXPECT_EQ(error, EISDIR);
}

struct RenameCase {
  const char* what;
  bool folder;      // the source is a folder (else a file)
  const char* dst;  // what is at the new name: "", "file", "link", "folder", "full folder"
  bool replace;
  int error;
};

TEST_P(EnvContract, RenamesWithAndWithoutReplacing) {
  const RenameCase kCases[] = {
      {"to a free name", false, "", false, 0},
      {"onto a file, not replacing", false, "file", false, EEXIST},
      {"onto a dangling link, not replacing", false, "link", false, EEXIST},
      {"folder onto a file, not replacing", true, "file", false, EEXIST},
      {"onto a file, replacing", false, "file", true, 0},
      {"onto a link, replacing", false, "link", true, 0},
      {"file onto a folder", false, "folder", true, EISDIR},
      {"folder onto a file", true, "file", true, ENOTDIR},
      {"folder onto a folder with files", true, "full folder", true, ENOTEMPTY},
      {"folder onto an empty folder", true, "folder", true, 0},
  };
  int n = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    const std::string dir = "case" + std::to_string(n++);
    MakeFolder(dir);
    if (c.folder) {
      MakeFolder(dir + "/src");
    } else {
      Write(dir + "/src", "source");
    }
    const std::string dst = c.dst;
    if (dst == "file") Write(dir + "/dst", "target");
    if (dst == "link") Link("nowhere", dir + "/dst");
    if (dst == "folder" || dst == "full folder") MakeFolder(dir + "/dst");
    if (dst == "full folder") Write(dir + "/dst/inside", "x");
    const auto src_before = env().Status(P(dir + "/src"), Links::kNotFollowed);
    const auto dst_before = env().Status(P(dir + "/dst"), Links::kNotFollowed);

    int error = 0;
    EXPECT_EQ(Folder(dir).RenameIn("src", "dst", c.replace, &error), c.error == 0);
    EXPECT_EQ(error, c.error) << platform::ErrorText(error);
    const auto dst_after = env().Status(P(dir + "/dst"), Links::kNotFollowed);
    ASSERT_TRUE(dst_after);
    if (c.error == 0) {
      EXPECT_TRUE(dst_after->SameFileAs(*src_before));
      EXPECT_EQ(KindOf(dir + "/src"), Kind::kMissing);
    } else {
      EXPECT_TRUE(env().Status(P(dir + "/src"), Links::kNotFollowed)->SameFileAs(*src_before));
      EXPECT_TRUE(dst_after->SameFileAs(*dst_before));
    }
  }
  int error = 0;
  EXPECT_FALSE(Folder().RenameIn("missing", "x", false, &error));
  EXPECT_EQ(error, ENOENT);
}

TEST_P(EnvContract, RemovingFilesLinksAndFolders) {
  Write("f", "x");
  Link("f", "l");
  MakeFolder("d");
  Write("full/x", "x");
  const struct {
    const char* name;
    bool folder;
    int error;
  } kCases[] = {
      {"l", false, 0},  // the link, not what it leads to
      {"d", false, EISDIR}, {"f", true, ENOTDIR},       {"full", true, ENOTEMPTY},
      {"d", true, 0},       {"missing", false, ENOENT}, {"f", false, 0},
  };
  const File root = Folder();
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.name) + (c.folder ? " as a folder" : ""));
    int error = 0;
    EXPECT_EQ(root.RemoveIn(c.name, c.folder, &error), c.error == 0);
    EXPECT_EQ(error, c.error);
    if (c.error == 0) {
      EXPECT_EQ(KindOf(c.name), Kind::kMissing);
    }
  }
  EXPECT_EQ(Sorted(root.Names()), std::vector<std::string>{"full"});
}

// --- Locks ---------------------------------------------------------------------------------------
// Locks belong to the open file, as flock's do: two opens in one process exclude each other, and
// closing gives the lock up.
TEST_P(EnvContract, LocksAreExclusiveOrSharedAndEndWithTheFile) {
  Write("f", "x");
  File a = env().OpenFile(P("f"), nullptr);
  File b = env().OpenFile(P("f"), nullptr);
  File c = env().OpenFile(P("f"), nullptr);
  ASSERT_TRUE(a.TryLock());
  EXPECT_FALSE(b.TryLock());
  EXPECT_FALSE(b.TryLockShared());
  a.Close();
  EXPECT_TRUE(b.TryLockShared());
  EXPECT_TRUE(c.TryLockShared());
  File d = env().OpenFile(P("f"), nullptr);
  EXPECT_FALSE(d.TryLock()) << "shared holders keep an exclusive one out";
  b.Close();
  c = File();
  EXPECT_TRUE(d.TryLock());
  EXPECT_FALSE(File().TryLock()) << "no file, no lock";
}

// --- Names ---------------------------------------------------------------------------------------
// A name with a NUL in it is refused whole: cut at the NUL it would name something else ("f",
// or the parent folder), and the call would act on that.
TEST_P(EnvContract, NamesWithANulAreRefusedNeverCut) {
  Write("f", "keep");
  MakeFolder("d");
  const std::string f = P("f\0x"s), d = P("d\0x"s);
  const std::string in_f = "f\0x"s, up = "..\0x"s;
  const File root = Folder();
  const std::vector<std::pair<const char*, std::function<bool(int*)>>> kCalls = {
      {"Status", [&](int* e) { return env().Status(f, Links::kNotFollowed, e).has_value(); }},
      {"OpenFile", [&](int* e) { return env().OpenFile(f, e).is_open(); }},
      {"OpenFolder", [&](int* e) { return env().OpenFolder(d, e).is_open(); }},
      {"CreateFile", [&](int* e) { return env().CreateFile(f, 0644, e).is_open(); }},
      {"OpenForWriting", [&](int* e) { return env().OpenForWriting(f, 0644, e).is_open(); }},
      {"MakeFolder", [&](int* e) { return env().MakeFolder(d, 0755, e); }},
      {"Remove", [&](int* e) { return env().Remove(f, e); }},
      {"ListFolder", [&](int* e) { return env().ListFolder(d, e).has_value(); }},
      {"ReadLink", [&](int* e) { return env().ReadLink(f, e).has_value(); }},
      {"OpenFileIn", [&](int* e) { return root.OpenFileIn(in_f, e).is_open(); }},
      {"OpenFolderIn", [&](int* e) { return root.OpenFolderIn(up, e).is_open(); }},
      {"CreateFileIn", [&](int* e) { return root.CreateFileIn(in_f, 0644, e).is_open(); }},
      {"MakeFolderIn", [&](int* e) { return root.MakeFolderIn(in_f, 0755, e); }},
      {"MakeLinkIn name", [&](int* e) { return root.MakeLinkIn("f", in_f, e); }},
      {"MakeLinkIn target", [&](int* e) { return root.MakeLinkIn(in_f, "new", e); }},
      {"RenameIn from", [&](int* e) { return root.RenameIn(in_f, "new", true, e); }},
      {"RenameIn to", [&](int* e) { return root.RenameIn("d", in_f, true, e); }},
      {"RemoveIn", [&](int* e) { return root.RemoveIn(in_f, false, e); }},
      {"StatusIn",
       [&](int* e) {
         FileStatus st;
         return root.StatusIn(up, &st, e);
       }},
      {"SetTimesIn", [&](int* e) { return root.SetTimesIn(in_f, 1, 0, e); }},
      {"ReadLinkIn", [&](int* e) { return root.ReadLinkIn(in_f, e).has_value(); }},
  };
  for (const auto& [what, call] : kCalls) {
    int error = 0;
    EXPECT_FALSE(call(&error)) << what;
    EXPECT_EQ(error, EINVAL) << what;
  }
  EXPECT_EQ(Read("f"), "keep");
  EXPECT_EQ(Sorted(root.Names()), (std::vector<std::string>{"d", "f"}));
}

// A final link is followed only when the caller asks (a name the user gave); links on the way
// always are.
TEST_P(EnvContract, LinksAreFollowedOnlyWhenAsked) {
  Write("a/b/f", "data");
  Link("a/b/f", "lf");
  Link("a/b", "ld");
  const auto reached = [](const File& f) {
    FileStatus st;
    return f.Status(&st) ? st.kind : Kind::kMissing;
  };
  const struct {
    const char* what;
    std::function<Kind(EnvContract&, Links)> call;
    Kind not_followed, followed;
  } kCases[] = {
      {"Status",
       [](EnvContract& t, Links l) {
         const auto st = t.env().Status(t.P("lf"), l);
         return st ? st->kind : Kind::kMissing;
       },
       Kind::kSymlink, Kind::kFile},
      {"OpenFile",
       [&](EnvContract& t, Links l) { return reached(t.env().OpenFile(t.P("lf"), nullptr, l)); },
       Kind::kMissing, Kind::kFile},
      {"OpenFolder",
       [&](EnvContract& t, Links l) { return reached(t.env().OpenFolder(t.P("ld"), nullptr, l)); },
       Kind::kMissing, Kind::kFolder},
      {"StatusIn",
       [](EnvContract& t, Links l) {
         FileStatus st;
         return t.Folder().StatusIn("lf", &st, nullptr, l) ? st.kind : Kind::kMissing;
       },
       Kind::kSymlink, Kind::kFile},
      {"OpenFileIn",
       [&](EnvContract& t, Links l) { return reached(t.Folder().OpenFileIn("lf", nullptr, l)); },
       Kind::kMissing, Kind::kFile},
      {"OpenFolderIn",
       [&](EnvContract& t, Links l) { return reached(t.Folder().OpenFolderIn("ld", nullptr, l)); },
       Kind::kMissing, Kind::kFolder},
      {"a link on the way",
       [](EnvContract& t, Links l) {
         const auto st = t.env().Status(t.P("ld/f"), l);
         return st ? st->kind : Kind::kMissing;
       },
       Kind::kFile, Kind::kFile},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(c.call(*this, Links::kNotFollowed), c.not_followed) << c.what;
    EXPECT_EQ(c.call(*this, Links::kFollowed), c.followed) << c.what;
  }
  // The *In functions do not follow unless asked.
  int error = 0;
  EXPECT_FALSE(Folder().OpenFileIn("lf", &error).is_open());
  EXPECT_EQ(error, ELOOP);
  EXPECT_FALSE(Folder().OpenFolderIn("ld", &error).is_open());
  EXPECT_EQ(error, ENOTDIR);
  // A link's own time, not its target's.
  ASSERT_TRUE(Folder().SetTimesIn("lf", 1000000000, 0));
  EXPECT_EQ(env().Status(P("lf"), Links::kNotFollowed)->mtime, 1000000000);
  EXPECT_NE(env().Status(P("lf"), Links::kFollowed)->mtime, 1000000000);
  EXPECT_EQ(env().ReadLink(P("lf")), "a/b/f");
}

// Forty links in a row are followed; one more is taken for a loop.
TEST_P(EnvContract, FortyLinksAreFollowedAndMoreAreALoop) {
  Write("f", "x");
  Link("f", "l0");
  for (int i = 1; i <= 40; ++i)
    Link("l" + std::to_string(i - 1), "l" + std::to_string(i));
  EXPECT_TRUE(env().Status(P("l39"), Links::kFollowed));
  int error = 0;
  EXPECT_FALSE(env().Status(P("l40"), Links::kFollowed, &error));
  EXPECT_EQ(error, ELOOP);
  Link("loop", "loop");
  EXPECT_FALSE(env().OpenFile(P("loop"), &error, Links::kFollowed).is_open());
  EXPECT_EQ(error, ELOOP);
  EXPECT_FALSE(platform::FinalTargetOf(env(), P("loop"), &error));
  EXPECT_EQ(error, ELOOP);
  EXPECT_EQ(platform::FinalTargetOf(env(), P("l3")), P("f"));
}

// "." and ".." in a folder handle are the folder and its real parent, whatever link led there.
TEST_P(EnvContract, DotAndDotDotFromAFolderHandle) {
  MakeFolder("a");
  MakeFolder("a/b");
  Link("a/b", "lb");
  const File b = env().OpenFolder(P("lb"), nullptr);
  ASSERT_TRUE(b.is_open());
  FileStatus a_st, b_st, up, here;
  ASSERT_TRUE(env().OpenFolder(P("a"), nullptr).Status(&a_st));
  ASSERT_TRUE(env().OpenFolder(P("a/b"), nullptr).Status(&b_st));
  ASSERT_TRUE(b.OpenFolderIn("..", nullptr).Status(&up));
  ASSERT_TRUE(b.OpenFolderIn(".", nullptr).Status(&here));
  EXPECT_TRUE(up.SameFileAs(a_st));
  EXPECT_TRUE(here.SameFileAs(b_st));
  ASSERT_TRUE(b.StatusIn("..", &up));
  EXPECT_TRUE(up.SameFileAs(a_st));
  EXPECT_EQ(env().RealPath(P("lb/..")), env().RealPath(P("a")));
  EXPECT_EQ(env().RealPath(P("missing")), std::nullopt);
  int error = 0;
  EXPECT_FALSE(b.MakeFolderIn("..", 0755, &error));
  EXPECT_EQ(error, EEXIST);
}

TEST_P(EnvContract, ListingGivesEveryNameButDotAndDotDot) {
  Write("d/file", "x");
  Write("d/.hidden", "x");
  MakeFolder("d/sub");
  Link("nowhere", "d/dangling");
  subject_->MakeFifo(P("d/fifo"));
  const std::vector<std::string> all = {".hidden", "dangling", "fifo", "file", "sub"};
  EXPECT_EQ(Sorted(env().ListFolder(P("d"))), all);
  EXPECT_EQ(Sorted(Folder("d").Names()), all);
  // A kind the listing tells is the one a status of the name (not followed) gives.
  const auto listed = env().ListFolderWithKinds(P("d"));
  ASSERT_TRUE(listed);
  std::vector<std::string> names;
  for (const auto& [name, kind] : *listed) {
    names.push_back(name);
    if (kind) {
      EXPECT_EQ(*kind, KindOf("d/" + name)) << name;
    }
  }
  EXPECT_EQ(Sorted(names), all);
  EXPECT_EQ(KindOf("d/fifo"), Kind::kOther);
  int error = 0;
  EXPECT_FALSE(env().OpenFile(P("d/fifo"), &error).is_open()) << "never waits on a FIFO";
  EXPECT_FALSE(env().ListFolder(P("d/file"), &error));
  EXPECT_EQ(error, ENOTDIR);
}

struct ErrorCase {
  const char* what;
  std::function<bool(EnvContract&, int*)> call;
  int error;
};

TEST_P(EnvContract, ErrorNumbers) {
  Write("f", "x");
  Write("full/x", "x");
  MakeFolder("d");
  const std::string too_long(256, 'n');
  const ErrorCase kCases[] = {
      {"missing",
       [](auto& t, int* e) { return !!t.env().Status(t.P("missing"), Links::kFollowed, e); },
       ENOENT},
      {"a file on the way",
       [](auto& t, int* e) { return !!t.env().Status(t.P("f/x"), Links::kFollowed, e); }, ENOTDIR},
      {"a folder as a file",
       [](auto& t, int* e) { return t.env().OpenFile(t.P("d"), e).is_open(); }, EISDIR},
      {"a file as a folder",
       [](auto& t, int* e) { return t.env().OpenFolder(t.P("f"), e).is_open(); }, ENOTDIR},
      {"a folder removed as a file", [](auto& t, int* e) { return t.env().Remove(t.P("d"), e); },
       EISDIR},
      {"a folder in a missing folder",
       [](auto& t, int* e) { return t.env().MakeFolder(t.P("missing/x"), 0755, e); }, ENOENT},
      {"no link", [](auto& t, int* e) { return !!t.env().ReadLink(t.P("f"), e); }, EINVAL},
      {"a name too long",
       [&](auto& t, int* e) { return t.Folder().CreateFileIn(too_long, 0644, e).is_open(); },
       ENAMETOOLONG},
      {"a write to a file opened for reading",
       [](auto& t, int* e) { return t.env().OpenFile(t.P("f"), nullptr).WriteAll(Bytes("x"), e); },
       EBADF},
      {"a closed file", [](auto&, int* e) { return File().Seek(0, e); }, EBADF},
  };
  for (const auto& c : kCases) {
    int error = 0;
    EXPECT_FALSE(c.call(*this, &error)) << c.what;
    EXPECT_EQ(error, c.error) << c.what << ": " << platform::ErrorText(error);
  }
}

// --- Data and attributes -------------------------------------------------------------------------
TEST_P(EnvContract, ReadingWritingAndCopying) {
  int error = 0;
  File f = env().CreateFile(P("f"), 0600, &error);
  ASSERT_TRUE(f.is_open()) << platform::ErrorText(error);
  ASSERT_TRUE(f.WriteAll(Bytes("hello world")));
  ASSERT_TRUE(f.WriteAt(14, Bytes("!")));  // past the end: a gap of zeros
  uint8_t buf[32];
  EXPECT_EQ(f.ReadAt(6, buf), 9);
  EXPECT_EQ(std::string(buf, buf + 9), "world\0\0\0!"s);
  EXPECT_EQ(f.ReadAt(15, buf), 0);
  ASSERT_TRUE(f.Truncate(5));
  ASSERT_TRUE(f.Seek(1));
  EXPECT_EQ(f.Read(std::span(buf, 3)), 3);
  EXPECT_EQ(std::string(buf, buf + 3), "ell");
  EXPECT_EQ(f.Read(buf), 1);
  EXPECT_EQ(f.Read(buf), 0);
  ASSERT_TRUE(f.Truncate(7));
  EXPECT_EQ(Read("f"), "hello\0\0"s);

  ASSERT_TRUE(f.Seek(2));
  File copy = env().CreateFile(P("copy"), 0600, nullptr);
  ASSERT_TRUE(f.CopyDataTo(copy));
  EXPECT_EQ(Read("copy"), "llo\0\0"s) << "from the position to the end";
  ASSERT_TRUE(f.Sync());
  ASSERT_TRUE(f.SyncFileSystem());

  File writer = env().OpenForWriting(P("f"), 0644, nullptr);
  EXPECT_EQ(writer.Read(buf, &error), -1) << "opened for writing only";
  EXPECT_EQ(error, EBADF);
}

TEST_P(EnvContract, ModesAndTimesRoundTrip) {
  Write("f", "x");
  MakeFolder("d");
  for (const char* name : {"f", "d"}) {
    SCOPED_TRACE(name);
    File f = std::string(name) == "d" ? Folder(name) : env().OpenFile(P(name), nullptr);
    ASSERT_TRUE(f.SetMode(0751));
    ASSERT_TRUE(f.SetModificationTime(1234567890, 123456789));
    FileStatus st;
    ASSERT_TRUE(f.Status(&st));
    EXPECT_EQ(st.mode, 0751u);
    EXPECT_EQ(st.mtime, 1234567890);
    EXPECT_EQ(st.mtime_nsec, 123456789u);
    ASSERT_TRUE(Folder().SetTimesIn(name, 987654321, 5));
    ASSERT_TRUE(Folder().StatusIn(name, &st));
    EXPECT_EQ(st.mtime, 987654321);
    EXPECT_EQ(st.mtime_nsec, 5u);
  }
  int error = 0;
  File created = env().CreateFile(P("new"), 0666, &error);
  FileStatus st;
  ASSERT_TRUE(created.Status(&st));
  EXPECT_EQ(st.mode, env().NewFileMode()) << "the umask applies";
  EXPECT_EQ(st.kind, Kind::kFile);
  EXPECT_EQ(st.size, 0u);
}

TEST_P(EnvContract, LocalTimeRoundTrips) {
  for (const int64_t t :
       {int64_t{0}, int64_t{951782400}, int64_t{1700000000}, int64_t{4102444799}}) {
    const platform::BrokenDownTime local = env().ToLocalTime(t);
    EXPECT_EQ(env().FromLocalTime(local), t) << t;
  }
  EXPECT_EQ(env().ToLocalTime(env().FromLocalTime({2000, 2, 29, 12, 0, 0})).day, 29);
}

// Permission bits as a user other than root meets them.
TEST_P(EnvContract, PermissionBitsBind) {
  if (!subject_->ChecksPermissions()) GTEST_SKIP() << "root passes every permission check";
  Write("ro/f", "x");
  Write("secret", "x");
  MakeFolder("blind");
  ASSERT_TRUE(Folder("ro").SetMode(0555));
  ASSERT_TRUE(env().OpenFile(P("secret"), nullptr).SetMode(0200));
  ASSERT_TRUE(Folder("blind").SetMode(0300));
  int error = 0;
  EXPECT_FALSE(Folder("ro").CreateFileIn("new", 0644, &error).is_open());
  EXPECT_EQ(error, EACCES);
  EXPECT_FALSE(Folder("ro").RemoveIn("f", false, &error));
  EXPECT_EQ(error, EACCES);
  EXPECT_FALSE(env().OpenFile(P("secret"), &error).is_open());
  EXPECT_EQ(error, EACCES);
  EXPECT_FALSE(env().ListFolder(P("blind"), &error));
  EXPECT_EQ(error, EACCES);
  EXPECT_TRUE(env().MakeFolder(P("blind/sub"), 0755)) << "searching and writing need no reading";
  ASSERT_TRUE(Folder("ro").SetMode(0755));
}

// --- Built on Env --------------------------------------------------------------------------------
// A temporary file in use (locked) outlives a sweep; leftovers of killed runs do not.
TEST_P(EnvContract, StagedFilesAndTheirSweep) {
  const File root = Folder();
  platform::StagedFile running;
  ASSERT_TRUE(running.Create(root, "a.lzh", "unlha", 0600, nullptr));
  Write(platform::StagedName("a.lzh", "unlha", "k1lled00"), "left by a kill");
  Link("target", platform::StagedName("a.lzh", "unlha", "l1nk0000"));
  Write(platform::StagedName("a.lzh", "quillory", "k1lled00"), "the copier's");
  const auto kept = platform::SweepStagedFiles(root, "unlha", std::string_view("a.lzh"));
  ASSERT_EQ(kept.size(), 1u);
  FileStatus mine;
  ASSERT_TRUE(running.file().Status(&mine));
  EXPECT_TRUE(kept[0].SameFileAs(mine));
  EXPECT_EQ(Sorted(root.Names()),
            Sorted(std::vector<std::string>{
                running.temporary_name(), platform::StagedName("a.lzh", "quillory", "k1lled00")}));

  ASSERT_TRUE(running.file().WriteAll(Bytes("1")));
  ASSERT_TRUE(running.Commit(platform::StagedFile::Placement::kNew, nullptr));
  EXPECT_EQ(Read("a.lzh"), "1");
  platform::StagedFile late;
  ASSERT_TRUE(late.Create(root, "a.lzh", "unlha", 0600, nullptr));
  int error = 0;
  EXPECT_FALSE(late.Commit(platform::StagedFile::Placement::kNew, &error));
  EXPECT_EQ(error, EEXIST);
  platform::StagedFile replacing;
  ASSERT_TRUE(replacing.Create(root, "a.lzh", "unlha", 0600, nullptr));
  ASSERT_TRUE(replacing.file().WriteAll(Bytes("2")));
  ASSERT_TRUE(replacing.Commit(platform::StagedFile::Placement::kReplace, nullptr));
  EXPECT_EQ(Read("a.lzh"), "2");
  EXPECT_EQ(Sorted(root.Names()).size(), 2u) << "no temporary file left";
}

// Windows paths resolve one component at a time, ignoring case, and never by guesswork.
TEST_P(EnvContract, WindowsPathsResolveIgnoringCaseAndRefuseAmbiguity) {
  namespace fs = platform::fs;
  Write("Data/Report.TXT", "x");
  Write("Data/notes.txt", "x");
  Write("Docs/a.txt", "1");
  Write("DOCS/a.txt", "2");
  const std::string win = subject_->root() + "\\";
  const struct {
    const char* path;
    fs::ResolveStatus status;
    const char* found;  // relative to the root, when found
  } kCases[] = {
      {"data\\REPORT.txt", fs::ResolveStatus::kFound, "Data/Report.TXT"},
      {"DATA\\nothing\\..\\Notes.TXT", fs::ResolveStatus::kFound, "Data/notes.txt"},
      {"docs\\a.txt", fs::ResolveStatus::kAmbiguous, ""},
      {"Docs\\a.txt", fs::ResolveStatus::kAmbiguous, ""},
      {"data\\missing.txt", fs::ResolveStatus::kMissing, ""},
  };
  for (const auto& c : kCases) {
    const fs::Resolution r = fs::ResolveExisting(env(), win + c.path);
    EXPECT_EQ(r.status, c.status) << c.path;
    if (c.status == fs::ResolveStatus::kFound) {
      EXPECT_EQ(r.path, P(c.found)) << c.path;
    }
  }
  EXPECT_EQ(fs::ResolveForCreate(env(), win + "DATA\\New.Txt").path, P("Data/New.Txt"));
  EXPECT_EQ(fs::MatchPattern(env(), win + "data\\*.TXT").names.size(), 2u);
  int error = 0;
  const fs::Resolution made = fs::MakeFolders(env(), win + "data\\x\\Y", &error);
  EXPECT_EQ(made.status, fs::ResolveStatus::kFound);
  EXPECT_EQ(made.path, P("Data/x/Y"));
  EXPECT_EQ(KindOf("Data/x/Y"), Kind::kFolder);
}

// What only MemEnv has: a clock, a time zone and a program folder the test sets.
TEST(MemEnv, TheTestSetsTheClockTheZoneAndTheProgramFolder) {
  testing_support::MemEnv env;
  env.SetNow(951825600);  // 2000-02-29 12:00:00 UTC
  env.SetUtcOffset(9 * 3600);
  const platform::BrokenDownTime local = env.ToLocalTime(env.Now());
  EXPECT_EQ((std::vector<int>{local.year, local.month, local.day, local.hour, local.minute,
                              local.second}),
            (std::vector<int>{2000, 2, 29, 21, 0, 0}));
  EXPECT_EQ(env.FromLocalTime({2000, 3, 1, 8, 59, 59}), 951868799);  // 23:59:59 UTC
  EXPECT_EQ(env.FromLocalTime({1999, 14, 29, 21, 0, 0}), 951825600) << "months carry over";
  env.SetUtcOffset(-5 * 3600);
  EXPECT_EQ(env.ToLocalTime(0).year, 1969);
  ASSERT_TRUE(env.CreateFile("/f", 0644, nullptr).is_open());
  EXPECT_EQ(env.Status("/f", Links::kNotFollowed)->mtime, 951825600);
  env.SetProgramFolder("/opt/quillory/bin");
  EXPECT_EQ(env.ProgramFolder(), "/opt/quillory/bin");
}

INSTANTIATE_TEST_SUITE_P(
    Both, EnvContract,
    ::testing::Values(Implementation{"Posix", [] { return std::unique_ptr<Subject>(new OnDisk); }},
                      Implementation{"Memory",
                                     [] { return std::unique_ptr<Subject>(new InMemory); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
