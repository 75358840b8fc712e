// The rules every command keeps: what is never packed, what extraction never writes, which
// entries u and a carry over untouched and which they replace, and which files are never
// overwritten. (Atomic replacement under kill -9 and bounded memory: slow_test.cpp.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <thread>

#include "format/archive_reader.h"
#include "format/memory_source.h"
#include "library_support.h"
#include "support/archive_tables.h"
#include "support/temp_dir.h"

namespace lha_library_testing {
namespace {

using testing_support::TempDir;

// The raw bytes (header and data) of every entry, by stored path.
std::map<std::string, std::string> RawEntries(const fs::path& archive) {
  const std::string bytes = ReadText(archive);
  lha::format::MemorySource source(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  lha::format::ArchiveReader reader(source);
  std::map<std::string, std::string> out;
  while (auto e = reader.Next())
    out[e->JoinedPath('/')] =
        bytes.substr(e->header_offset, e->data_offset + e->packed_size - e->header_offset);
  return out;
}

std::string FolderFormLine(const fs::path& folder, const fs::path& archive,
                           const fs::path& list_file) {
  WriteText(list_file, "\r\n" + QuoteArg(Win(folder) + "\\..\\") + " " +
                           QuoteArg(Win(folder.filename())) + "\\*.*\r\n");
  return "u -+ -a1 -x1 -c1 -f0 -jm2 -jp1 -x1 -r2 -a1 " + QuoteArg(Win(archive)) + " @" +
         QuoteArg(Win(list_file));
}

// --- Never packed -----------------------------------------------------------------------------

// The backup's output folder and its list file inside the folder being backed up: the archive,
// its temporary file and the list file never end up in the archive, on creation or update.
TEST(NeverPacked, TheArchiveItsTemporaryFileAndTheListFile) {
  TempDir tmp;
  const fs::path tree = tmp.path() / "TREE";
  WriteText(tree / "a.txt", "a\n");
  const fs::path archive = tree / "OUT" / "B.LZH";
  fs::create_directories(archive.parent_path());
  const std::string line = FolderFormLine(tree, archive, tree / "~VB0001.TMP");
  for (int run = 0; run < 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const CallResult r = Call(line);
    ASSERT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(ListedNames(archive), (std::set<std::string>{"TREE", "TREE/a.txt", "TREE/OUT"}));
    EXPECT_EQ(NamesStartingWith(archive.parent_path(), ".B.LZH."), std::vector<std::string>{});
  }
}

// A temporary file left by a command that was killed lies in the folder being backed up. A
// later u neither packs it nor leaves it behind.
TEST(NeverPacked, AStaleTemporaryFileOfTheArchive) {
  TempDir tmp;
  const fs::path tree = tmp.path() / "TREE";
  WriteText(tree / "a.txt", "a\n");
  const fs::path archive = tree / "OUT" / "B.LZH";
  fs::create_directories(archive.parent_path());
  const std::string line = FolderFormLine(tree, archive, tmp.path() / "list.txt");
  ASSERT_EQ(Call(line).code, 0);
  WriteText(archive.parent_path() / ".B.LZH.unlha-k1ll3d00", "left by a killed u\n");
  const CallResult r = Call(line);
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ListedNames(archive), (std::set<std::string>{"TREE", "TREE/a.txt", "TREE/OUT"}));
  EXPECT_EQ(NamesStartingWith(archive.parent_path(), ".B.LZH."), std::vector<std::string>{});
}

// The same when no archive exists yet: a killed creation left its temporary file.
TEST(NeverPacked, AStaleTemporaryFileOfAnArchiveNotYetMade) {
  TempDir tmp;
  const fs::path tree = tmp.path() / "TREE";
  WriteText(tree / "a.txt", "a\n");
  const fs::path archive = tree / "B.LZH";
  WriteText(tree / ".B.LZH.unlha-00000042", "left by a killed creation\n");
  const CallResult r = Call(FolderFormLine(tree, archive, tmp.path() / "list.txt"));
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ListedNames(archive), (std::set<std::string>{"TREE", "TREE/a.txt"}));
  EXPECT_EQ(NamesStartingWith(tree, ".B.LZH."), std::vector<std::string>{});
}

// A temporary file of the archive that this user may not even read (another user's command) is
// kept out of the archive all the same, not reported as a source that cannot be read.
TEST(NeverPacked, ATemporaryFileThisUserCannotRead) {
  TempDir tmp;
  fs::permissions(tmp.path(), fs::perms::all);
  const fs::path tree = tmp.path() / "TREE";
  WriteText(tree / "a.txt", "a\n");
  fs::permissions(tree, fs::perms::all);
  const fs::path stale = tree / ".B.LZH.unlha-00000777";
  WriteText(stale, "someone else's\n");
  fs::permissions(stale, fs::perms::owner_read | fs::perms::owner_write);
  const std::string line = FolderFormLine(tree, tree / "B.LZH", tmp.path() / "list.txt");
  const CallResult r = CallInChild(line, 1 << 16, tmp.path(), [] { return DropToNobody(); });
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ListedNames(tree / "B.LZH"), (std::set<std::string>{"TREE", "TREE/a.txt"}));
  EXPECT_TRUE(fs::exists(stale)) << "not this user's to remove";
}

// A file that only looks like our temporary files, for another archive, is packed like any.
TEST(NeverPacked, OnlyTheArchivesOwnTemporaryFiles) {
  TempDir tmp;
  const fs::path tree = tmp.path() / "TREE";
  WriteText(tree / ".OTHER.LZH.unlha-00000001", "someone else's\n");
  WriteText(tree / ".B.LZH.unlha-NOTES123", "not ours either\n");
  const fs::path archive = tree / "B.LZH";
  ASSERT_EQ(Call(FolderFormLine(tree, archive, tmp.path() / "list.txt")).code, 0);
  EXPECT_EQ(ListedNames(archive), (std::set<std::string>{"TREE", "TREE/.OTHER.LZH.unlha-00000001",
                                                         "TREE/.B.LZH.unlha-NOTES123"}));
}

// --- Sources that fail --------------------------------------------------------------------------

TEST(FailingSources, TheRestIsArchivedAndTheFirstFailureReported) {
  TempDir tmp(/*enter=*/true);
  WriteText(tmp.path() / "a.txt", "a\n");
  WriteText(tmp.path() / "b.txt", "b\n");
  ASSERT_EQ(::mkfifo("fifo", 0644), 0);
  CallResult r = Call("a -a1 A.LZH fifo a.txt missing.txt b.txt");
  EXPECT_EQ(r.code, UNLHA_ERROR_FILE_OPEN) << r.output;
  EXPECT_EQ(ListedNames(tmp.path() / "A.LZH"), (std::set<std::string>{"a.txt", "b.txt"}));
  r = Call("a -a1 B.LZH missing.txt a.txt fifo");
  EXPECT_EQ(r.code, UNLHA_ERROR_NOT_EXIST) << r.output;
  EXPECT_EQ(ListedNames(tmp.path() / "B.LZH"), std::set<std::string>{"a.txt"});
}

// --- Extraction stays inside its destination ----------------------------------------------------

struct ConfinementCase {
  std::string name;
  std::vector<std::string> entries;  // raw entries, in order
  std::set<std::string> extracted;   // what must be inside the destination afterwards
};

std::ostream& operator<<(std::ostream& os, const ConfinementCase& c) {
  return os << c.name;
}

class Confinement : public ::testing::TestWithParam<ConfinementCase> {};

TEST_P(Confinement, NothingIsWrittenOutsideTheDestination) {
  const ConfinementCase& c = GetParam();
  TempDir tmp;
  const fs::path dest = tmp.path() / "a" / "b" / "dest";
  fs::create_directories(dest);
  std::string bytes;
  for (const auto& e : c.entries)
    bytes += e;
  WriteText(tmp.path() / "EVIL.LZH", bytes + std::string(1, '\0'));
  const Tree outside_before = Snapshot(tmp.path());

  for (const char* command : {"x", "e"}) {
    SCOPED_TRACE(command);
    fs::remove_all(dest);
    fs::create_directories(dest);
    const CallResult r = Call(std::string(command) + " -w1 " + (tmp.path() / "EVIL.LZH").string() +
                              " " + Win(dest) + "\\");
    EXPECT_NE(r.code, 0) << "a refused entry is reported\n" << r.output;
    Tree after = Snapshot(tmp.path());
    std::set<std::string> inside;
    for (auto it = after.begin(); it != after.end();) {
      const std::string prefix = "a/b/dest/";
      if (it->first.rfind(prefix, 0) == 0) {
        inside.insert(it->first.substr(prefix.size()));
        it = after.erase(it);
      } else {
        ++it;
      }
    }
    Tree before = outside_before;
    CompareOptions outside;
    outside.folder_times = false;
    EXPECT_EQ(Differences(before, after, outside), "");
    if (std::string(command) == "x") {
      EXPECT_EQ(inside, c.extracted);
    }
    // Every link made leads to a place inside the destination.
    for (const auto& name : inside) {
      const fs::path p = dest / name;
      if (!fs::is_symlink(p)) continue;
      std::error_code ec;
      const fs::path real = fs::weakly_canonical(p, ec);
      const std::string root = fs::canonical(dest).string() + "/";
      EXPECT_EQ((real.string() + "/").rfind(root, 0), 0u) << name << " leads to " << real;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Library, Confinement,
    ::testing::Values(
        ConfinementCase{"AbsoluteNames",
                        {Level0Entry("/ESCAPED.txt", "x\n"), Level0Entry("\\a\\ESC2.txt", "x\n"),
                         LinkEntry("abs", "/etc")},
                        {"ESCAPED.txt", "a", "a/ESC2.txt"}},
        ConfinementCase{"DotDot",
                        {Level0Entry("..\\..\\UP.txt", "x\n"), Level0Entry("../UP2.txt", "x\n"),
                         Level0Entry("sub/../../UP3.txt", "x\n"), Level0Entry("ok.txt", "ok\n")},
                        {"ok.txt"}},
        ConfinementCase{"LinksLeadingOut",
                        {LinkEntry("up", ".."), LinkEntry("sub/up2", "../../x"),
                         LinkEntry("in", "sub"), Level0Entry("sub/f.txt", "f\n")},
                        {"in", "sub", "sub/f.txt"}},
        // A link through a name: "b" is a link to "." (harmless alone), so "b/.." is the
        // destination's parent although it reads as the destination itself.
        ConfinementCase{"LinkThroughAnotherLink",
                        {LinkEntry("b", "."), LinkEntry("a", "b/.."), LinkEntry("c", "d/.."),
                         LinkEntry("d", "sub/..")},
                        {"b"}},
        // Entries never go through a link extracted before them, nor replace a folder by one.
        ConfinementCase{"LaterEntriesThroughALink",
                        {Level0Entry("keep/x.txt", "x\n"), LinkEntry("in", "keep"),
                         Level0Entry("in/y.txt", "y\n"), Level0Entry("in\\z.txt", "z\n"),
                         LinkEntry("keep", "..")},
                        {"keep", "keep/x.txt", "in"}}),
    [](const auto& info) { return info.param.name; });

// The destination is the user's to name: a link to a folder there is followed, as the links on
// the way to it are. Only links inside it are never followed.
TEST(Extraction, IntoADestinationThatIsALinkToAFolder) {
  TempDir tmp(/*enter=*/true);
  WriteText(tmp.path() / "f.txt", "f\n");
  ASSERT_EQ(Call("a A.LZH f.txt").code, 0);
  fs::create_directories("real");
  fs::create_directory_symlink("real", "restore");
  const CallResult r = Call("x A.LZH restore\\");
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(ReadText(tmp.path() / "real" / "f.txt"), "f\n");
}

// Every damaged or hostile archive of the test data: t, x and the archive check say the same,
// and extraction writes nothing outside its destination.
TEST(DamagedArchives, TestExtractionAndCheckAgreeAndStayInside) {
  for (const char* folder : {"bad", "regression"}) {
    const fs::path dir = testing_support::ArchiveFolder(folder);
    for (const auto& [file, code] : testing_support::ArchiveTable(dir)) {
      SCOPED_TRACE(file);
      TempDir tmp;
      const fs::path archive = tmp.path() / "A.LZH";
      const fs::path dest = tmp.path() / "a" / "b" / "c" / "d" / "dest";
      fs::copy_file(dir / file, archive);
      fs::create_directories(dest);
      const Tree before = Snapshot(tmp.path());
      EXPECT_EQ(Call("t " + archive.string()).code, code);
      EXPECT_EQ(UnlhaCheckArchive(archive.c_str(), 1) != 0, code == 0);
      const CallResult x = Call("x -w1 " + archive.string() + " " + Win(dest) + "\\");
      EXPECT_EQ(x.code, code) << x.output;
      Tree after = Snapshot(tmp.path());
      std::erase_if(after,
                    [](const auto& node) { return node.first.rfind("a/b/c/d/dest/", 0) == 0; });
      CompareOptions outside;
      outside.folder_times = false;
      EXPECT_EQ(Differences(before, after, outside), "");
    }
  }
}

// --- Where the archive is --------------------------------------------------------------------

// An archive named through a link is the file the link leads to (made there when missing); the
// link stays. Names up to the file system's limit take their temporary files beside them.
TEST(ArchivePath, ThroughALinkAndAtTheNameLimit) {
  const struct {
    const char* what;
    std::string named;   // as the command names it
    std::string target;  // where a link leads, when it is one
  } kCases[] = {
      {"link to an archive", "LINK.LZH", "store/REAL.LZH"},
      {"link to no archive yet", "NEW.LZH", "store/NEW-REAL.LZH"},
      {"244-byte name", std::string(240, 'n') + ".LZH", ""},
      {"254-byte name", std::string(250, 'n') + ".LZH", ""},
  };
  TempDir tmp(/*enter=*/true);
  WriteText(tmp.path() / "f.txt", "f\n");
  WriteText(tmp.path() / "g.txt", "g\n");
  fs::create_directory(tmp.path() / "store");
  ASSERT_EQ(Call("a store/REAL.LZH f.txt").code, 0);
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    if (!c.target.empty()) fs::create_symlink(c.target, c.named);
    CallResult r = Call("a " + c.named + " f.txt");
    ASSERT_EQ(r.code, 0) << r.output;
    r = Call("a " + c.named + " g.txt");
    ASSERT_EQ(r.code, 0) << r.output;
    const fs::path file = c.target.empty() ? fs::path(c.named) : fs::path(c.target);
    EXPECT_EQ(fs::is_symlink(c.named), !c.target.empty());
    EXPECT_EQ(ListedNames(file), (std::set<std::string>{"f.txt", "g.txt"}));
  }
  EXPECT_EQ(NamesStartingWith(tmp.path(), "."), std::vector<std::string>{});
}

// Commands racing to create one new archive: one makes it, each other one either adds to it
// after it or hears that it is in use; none loses its temporary file to another's clean-up.
TEST(ArchivePath, RacingCreationsGiveTheLockCode) {
  TempDir tmp;
  WriteText(tmp.path() / "f.txt", Compressible(100000));
  for (int round = 0; round < 20; ++round) {
    fs::remove(tmp.path() / "NEW.LZH");
    std::vector<ProcessResult> results(6);
    std::vector<std::thread> racers;
    for (auto& r : results)
      racers.emplace_back([&] { r = RunUnlha({"a", "NEW.LZH", "f.txt"}, InFolder(tmp.path())); });
    for (auto& t : racers)
      t.join();
    for (const auto& r : results)
      EXPECT_TRUE(r.exit_code == 0 || r.err.find(": 32799: ") != std::string::npos) << r.err;
  }
}

// --- u carries unchanged entries over and replaces changed ones ----------------------------------

class Update : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteText(dir_.path() / "a.txt", Compressible(20000, 1));
    WriteText(dir_.path() / "b.txt", Compressible(20000, 2));
    WriteText(dir_.path() / "c.txt", "c\n");
    for (const char* n : {"a.txt", "b.txt", "c.txt"})
      SetMtime(dir_.path() / n, 1650000000);
    ASSERT_EQ(Call("a A.LZH a.txt b.txt c.txt").code, 0);
    before_ = RawEntries(dir_.path() / "A.LZH");
  }
  TempDir dir_{/*enter=*/true};
  std::map<std::string, std::string> before_;
};

TEST_F(Update, ChangedSizeReplacesOnlyThatEntry) {
  WriteText(dir_.path() / "b.txt", Compressible(20001, 2));
  SetMtime(dir_.path() / "b.txt", 1650000000);  // the same time: the size tells
  const CallResult r = Call("u A.LZH a.txt b.txt c.txt");
  ASSERT_EQ(r.code, 0) << r.output;
  const auto after = RawEntries(dir_.path() / "A.LZH");
  EXPECT_EQ(after.at("a.txt"), before_.at("a.txt"));
  EXPECT_EQ(after.at("c.txt"), before_.at("c.txt"));
  EXPECT_NE(after.at("b.txt"), before_.at("b.txt"));
  EXPECT_NE(r.output.find("0 added, 1 replaced, 2 unchanged"), std::string::npos) << r.output;
}

TEST_F(Update, ChangedTimeReplacesOnlyThatEntry) {
  SetMtime(dir_.path() / "c.txt", 1650000002);  // the same bytes, two seconds later
  const CallResult r = Call("u A.LZH a.txt b.txt c.txt");
  ASSERT_EQ(r.code, 0) << r.output;
  const auto after = RawEntries(dir_.path() / "A.LZH");
  EXPECT_EQ(after.at("a.txt"), before_.at("a.txt"));
  EXPECT_EQ(after.at("b.txt"), before_.at("b.txt"));
  EXPECT_NE(after.at("c.txt"), before_.at("c.txt"));
  EXPECT_NE(r.output.find("  replaced c.txt "), std::string::npos) << r.output;
}

TEST_F(Update, NewFilesAreAddedAndEntriesOfFilesNoLongerNamedStay) {
  WriteText(dir_.path() / "d.txt", "d\n");
  const CallResult r = Call("u A.LZH d.txt");
  ASSERT_EQ(r.code, 0) << r.output;
  const auto after = RawEntries(dir_.path() / "A.LZH");
  EXPECT_EQ(after.size(), 4u);
  for (const char* n : {"a.txt", "b.txt", "c.txt"})
    EXPECT_EQ(after.at(n), before_.at(n));
}

// -c1 and a name every file for replacing whatever its time; a file whose content is proven the
// same keeps its data, and one whose entry would read the same changes nothing at all.
TEST_F(Update, C1AndAddKeepWhatTheContentProvesUnchanged) {
  CallResult r = Call("u -c1 A.LZH a.txt b.txt");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("0 added, 0 replaced, 3 unchanged"), std::string::npos) << r.output;
  EXPECT_EQ(RawEntries(dir_.path() / "A.LZH"), before_);
  SetMtime(dir_.path() / "c.txt", 1650000002);  // the same bytes, two seconds later
  r = Call("a A.LZH c.txt");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("  replaced c.txt (2 -> 2 -lh0-) same content"), std::string::npos)
      << r.output;
  EXPECT_EQ(RawEntries(dir_.path() / "A.LZH").size(), 3u);
}

// The same size and time, one byte different: only the content tells, and it does.
TEST_F(Update, ChangedContentOfTheSameSizeAndTimeIsPackedAgain) {
  std::string content = ReadText(dir_.path() / "a.txt");
  content[content.size() / 2] ^= 1;
  WriteText(dir_.path() / "a.txt", content);
  SetMtime(dir_.path() / "a.txt", 1650000000);
  const CallResult r = Call("u A.LZH a.txt b.txt c.txt");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("0 added, 1 replaced, 2 unchanged"), std::string::npos) << r.output;
  TempDir out;
  ASSERT_EQ(Call("x A.LZH " + out.str() + "/").code, 0);
  EXPECT_EQ(ReadText(out.path() / "a.txt"), content);
}

TEST_F(Update, UnchangedTreeLeavesTheArchiveFileAlone) {
  struct stat before;
  ASSERT_EQ(::stat("A.LZH", &before), 0);
  const CallResult r = Call("u A.LZH a.txt b.txt c.txt");
  ASSERT_EQ(r.code, 0) << r.output;
  struct stat after;
  ASSERT_EQ(::stat("A.LZH", &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);  // not even rewritten
}

// --- Packing on several threads -----------------------------------------------------------------

// Files are packed in pieces on as many threads as asked for; the archive is the same byte for
// byte whatever the number, and every extractor reads it.
TEST(Packing, TheArchiveIsTheSameWhateverTheThreads) {
  TempDir tmp(/*enter=*/true);
  WriteText(tmp.path() / "T" / "big.txt", Compressible(5 << 20, 3));  // three pieces
  for (int i = 0; i < 40; ++i)
    WriteText(tmp.path() / "T" / ("f" + std::to_string(i)), Compressible(1000 + 997 * i, i));
  std::string first;
  for (const char* threads : {"-t1", "-t2", "-t5"}) {
    SCOPED_TRACE(threads);
    fs::remove(tmp.path() / "A.LZH");
    const CallResult r = Call(std::string("a -r1 -x1 ") + threads + " A.LZH .\\ T\\*.*");
    ASSERT_EQ(r.code, 0) << r.output;
    const std::string bytes = ReadText(tmp.path() / "A.LZH");
    if (first.empty()) first = bytes;
    EXPECT_EQ(bytes, first);
  }
  const Tree expected = Snapshot(tmp.path() / "T");
  for (const auto& tool : ExternalTools()) {
    if (!Installed(tool.name)) continue;
    SCOPED_TRACE(tool.name);
    const fs::path dest = tmp.path() / ("by-" + tool.name);
    fs::create_directories(dest);
    ASSERT_TRUE(tool.extract(tmp.path() / "A.LZH", dest));
    CompareOptions files = tool.compare;
    files.folder_times = false;
    EXPECT_EQ(Differences(expected, Snapshot(dest / "T"), files), "");
  }
}

// --- Packing gives up on data that does not pack ----------------------------------------------

// Bytes this process has read so far (all reads, cached or not); nullopt without /proc.
std::optional<uint64_t> BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return std::nullopt;
}

// Random bytes do not pack: after a first stretch the packer stops trying and stores the file,
// so the file is read little more than once, not packed whole and then read again to be stored.
TEST(Packing, IncompressibleDataIsNotPackedWhole) {
  TempDir tmp(/*enter=*/true);
  constexpr size_t kSize = 40 << 20;
  {
    std::mt19937_64 rng(5);
    std::ofstream out("random.bin", std::ios::binary);
    for (size_t i = 0; i < kSize / 8; ++i) {
      const uint64_t w = rng();
      out.write(reinterpret_cast<const char*>(&w), 8);
    }
  }
  const auto before = BytesRead();
  if (!before) GTEST_SKIP() << "no /proc/self/io to count the bytes read";
  const CallResult r = Call("a R.LZH random.bin");
  const uint64_t read = *BytesRead() - *before;
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("-lh0-"), std::string::npos) << r.output;
  EXPECT_LT(read, kSize + kSize / 2) << "read " << read << " bytes of a file of " << kSize;
}

// --- Files that are not archives of ours are never overwritten ---------------------------------

// An LZH archive inside another file (here a tar) is found by the search for self-extractor
// stubs. Rewriting it would keep the archive and lose everything around it.
TEST(NotOverwritten, AFileHoldingAnArchiveAfterOtherBytes) {
  TempDir tmp(/*enter=*/true);
  WriteText(tmp.path() / "f.txt", "f\n");
  ASSERT_EQ(Call("a INNER.LZH f.txt").code, 0);
  std::string bundle(512, '\0');  // a self-extractor: a program, then the archive
  bundle.replace(0, 2, "MZ");
  bundle += ReadText(tmp.path() / "INNER.LZH");
  bundle += std::string(1024, '\0');
  WriteText(tmp.path() / "BUNDLE.LZH", bundle);
  ASSERT_EQ(ListedNames(tmp.path() / "BUNDLE.LZH"), std::set<std::string>{"f.txt"});

  for (const char* command : {"a", "u"}) {
    const CallResult r = Call(std::string(command) + " -c1 BUNDLE.LZH f.txt");
    EXPECT_EQ(r.code, UNLHA_ERROR_NOT_ARC_FILE) << r.output;
    EXPECT_EQ(ReadText(tmp.path() / "BUNDLE.LZH"), bundle);
  }
  // Reading it is fine.
  EXPECT_EQ(Call("t BUNDLE.LZH").code, 0);
}

}  // namespace
}  // namespace lha_library_testing
