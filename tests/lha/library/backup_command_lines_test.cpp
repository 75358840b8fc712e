// The two command lines the backup modes build, run exactly as they build them against real
// trees, and the archives checked with every extractor at hand and with the library itself.
#include <gtest/gtest.h>

#include "library_support.h"
#include "support/temp_dir.h"

namespace lha_library_testing {
namespace {

using testing_support::TempDir;

constexpr int64_t kBaseTime = 1700000000;  // 2023-11-14

// Gives every file, link and folder below `root` its own time, deepest first.
void StampTimes(const fs::path& root) {
  std::vector<fs::path> paths;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it)
    paths.push_back(it->path());
  std::sort(paths.begin(), paths.end(), [](const fs::path& a, const fs::path& b) {
    return a.string().size() > b.string().size();
  });
  int64_t t = kBaseTime;
  for (const auto& p : paths)
    SetMtime(p, t += 3601);
}

int CountLinesStartingWith(const std::string& text, const std::string& prefix) {
  int n = 0;
  for (const auto& l : Lines(text))
    if (l.rfind(prefix, 0) == 0) ++n;
  return n;
}

class BackupCommandLines : public ::testing::Test {
 protected:
  void SetUp() override {
    // Folder archiving: two folders, one with blanks in its own and its parent's name.
    const fs::path f1 = tmp_.path() / "src" / "DATA" / "FOLDER1";
    WriteText(f1 / "a.txt", "hello\n");
    WriteText(f1 / "b,c.txt", "comma\n");
    WriteText(f1 / "日本語.txt", "日本語のテキスト\n");
    WriteText(f1 / "zero.bin", "");
    WriteText(f1 / ".hidden", "dot file\n");
    WriteText(f1 / "what?.txt", "a wildcard in a name\n");
    WriteText(f1 / "star*.txt", "another one\n");
    WriteText(f1 / "SUB" / "DEEP" / "numbers.txt", Compressible(200000));
    fs::create_directories(f1 / "EMPTY");
    fs::create_symlink("a.txt", f1 / "link");
    const fs::path f2 = tmp_.path() / "src" / "MY DATA" / "OLD FILES";
    WriteText(f2 / "old file.txt", "old\n");
    WriteText(f2 / "inner, folder" / "x y.txt", Compressible(5000, 7));
    StampTimes(tmp_.path() / "src");

    // File archiving: plain files, one in a folder with a blank, and a pattern.
    const fs::path f = tmp_.path() / "files";
    WriteText(f / "DATA" / "a.txt", "file a\n");
    WriteText(f / "DATA" / "unlisted.txt", "not named\n");
    WriteText(f / "MY DATA" / "b,c.txt", "file b,c\n");
    WriteText(f / "TEXTS" / "one.txt", Compressible(30000, 3));
    WriteText(f / "TEXTS" / "two.TXT", "two\n");
    WriteText(f / "TEXTS" / "日本語.txt", "三\n");
    WriteText(f / "TEXTS" / "empty.txt", "");
    WriteText(f / "TEXTS" / ".hidden.txt", "skipped without -a1\n");
    WriteText(f / "TEXTS" / "notes.md", "does not match\n");
    WriteText(f / "TEXTS" / "sub" / "three.txt", "not recursed into\n");
    StampTimes(f);
    fs::create_directories(tmp_.path() / "out");
  }

  // The list file and command line of folder archiving, as the backup mode builds them.
  std::string FolderCommandLine(const fs::path& archive) {
    std::string list;
    for (const fs::path& folder : {tmp_.path() / "src" / "DATA" / "FOLDER1",
                                   tmp_.path() / "src" / "MY DATA" / "OLD FILES"}) {
      const std::string entry = Win(folder) + "\\";
      list += "\r\n" + QuoteArg(entry + "..\\") + " " + QuoteArg(Win(folder.filename())) + "\\*.*";
    }
    const fs::path list_file = tmp_.path() / "~VB1A2B.TMP";
    WriteText(list_file, list + "\r\n");
    return "u -+ -a1 -x1 -c1 -f0 -jm2 -jp1 -x1 -r2 -a1 " + QuoteArg(Win(archive)) + " @" +
           QuoteArg(Win(list_file));
  }

  std::string FileCommandLine(const fs::path& archive) {
    const fs::path f = tmp_.path() / "files";
    const std::string list = "\r\n" + Win(f / "DATA" / "A.TXT") + "\r\n" +
                             Win(f / "MY DATA" / "B,C.TXT") + "\r\n" + Win(f / "TEXTS" / "*.TXT") +
                             "\r\n";
    const fs::path list_file = tmp_.path() / "~VB1A2C.TMP";
    WriteText(list_file, list);
    return "u -+  -d0 -x0 " + QuoteArg(Win(archive)) + " @" + QuoteArg(Win(list_file));
  }

  // What the folder archive must hold: both folders with everything below them.
  Tree FolderExpected() {
    Tree t = Snapshot(tmp_.path() / "src" / "DATA");
    t.merge(Snapshot(tmp_.path() / "src" / "MY DATA"));
    return t;
  }

  // What the file archive must hold: the named files and the visible matches, names only.
  Tree FileExpected() {
    const fs::path f = tmp_.path() / "files";
    Tree t;
    for (const fs::path& p :
         {f / "DATA" / "a.txt", f / "MY DATA" / "b,c.txt", f / "TEXTS" / "one.txt",
          f / "TEXTS" / "two.TXT", f / "TEXTS" / "日本語.txt", f / "TEXTS" / "empty.txt"}) {
      struct stat st;
      ::lstat(p.c_str(), &st);
      t[p.filename().string()] = Node{'f', ReadText(p), st.st_mtim.tv_sec, st.st_mode & 07777u};
    }
    return t;
  }

  // Checks an archive with one extractor: contents, names, folders, times and its listing.
  void CheckWithTool(const ExternalTool& tool, const fs::path& archive, const Tree& expected) {
    SCOPED_TRACE(tool.name);
    const fs::path dest = tmp_.path() / ("by-" + tool.name + std::to_string(++runs_));
    fs::create_directories(dest);
    ASSERT_TRUE(tool.extract(archive, dest));
    EXPECT_EQ(Differences(expected, Snapshot(dest), tool.compare), "");
    std::set<std::string> shown;
    for (const auto& name : TreeNames(expected))
      shown.insert(tool.shown(name));
    EXPECT_EQ(tool.list(archive), shown);
  }

  void CheckWithUnlha(const fs::path& archive, const Tree& expected) {
    const fs::path dest = tmp_.path() / ("by-unlha" + std::to_string(++runs_));
    const ProcessResult r = RunUnlha({"x", archive.string(), dest.string() + "/"});
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    CompareOptions exact;
    exact.perms = true;
    EXPECT_EQ(Differences(expected, Snapshot(dest), exact), "");
    EXPECT_EQ(ListedNames(archive), TreeNames(expected));
    const ProcessResult t = RunUnlha({"t", archive.string()});
    EXPECT_EQ(t.exit_code, 0) << t.out << t.err;
  }

  void CheckEverywhere(const fs::path& archive, const Tree& expected) {
    CheckWithUnlha(archive, expected);
    for (const auto& tool : ExternalTools()) {
      if (!Installed(tool.name)) {
        missing_.push_back(tool.name);
        continue;
      }
      CheckWithTool(tool, archive, expected);
    }
  }

  void ReportMissingTools() {
    if (missing_.empty()) return;
    std::string names;
    for (const auto& m : missing_)
      names += " " + m;
    GTEST_SKIP() << "checked with unlha; not installed (tools/setup.sh --test):" << names;
  }

  TempDir tmp_;
  int runs_ = 0;
  std::vector<std::string> missing_;
};

TEST_F(BackupCommandLines, FolderFormPacksBothFoldersForEveryExtractor) {
  const fs::path archive = tmp_.path() / "out" / "DATA.LZH";
  const std::string line = FolderCommandLine(archive);
  const CallResult r = Call(line);
  ASSERT_EQ(r.code, 0) << line << "\n" << r.output;
  EXPECT_NE(r.output.find("0 failed."), std::string::npos) << r.output;
  CheckEverywhere(archive, FolderExpected());
  ReportMissingTools();
}

TEST_F(BackupCommandLines, FileFormPacksTheNamedFilesAndVisibleMatches) {
  const fs::path archive = tmp_.path() / "out" / "FILES.LZH";
  const std::string line = FileCommandLine(archive);
  const CallResult r = Call(line);
  ASSERT_EQ(r.code, 0) << line << "\n" << r.output;
  CheckEverywhere(archive, FileExpected());
  ReportMissingTools();
}

TEST_F(BackupCommandLines, FileFormUpdateReplacesOnlyTheChangedFile) {
  const fs::path archive = tmp_.path() / "out" / "FILES.LZH";
  const std::string line = FileCommandLine(archive);
  ASSERT_EQ(Call(line).code, 0);

  const fs::path changed = tmp_.path() / "files" / "TEXTS" / "two.TXT";
  WriteText(changed, "two, longer now\n");
  SetMtime(changed, kBaseTime + 999999);
  const CallResult r = Call(line);
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(CountLinesStartingWith(r.output, "  replaced two.TXT "), 1) << r.output;
  EXPECT_EQ(CountLinesStartingWith(r.output, "  replaced "), 1) << r.output;
  EXPECT_EQ(CountLinesStartingWith(r.output, "  added "), 0) << r.output;
  EXPECT_NE(r.output.find("0 added, 1 replaced, 5 unchanged, 0 failed."), std::string::npos)
      << r.output;
  CheckEverywhere(archive, FileExpected());
  ReportMissingTools();
}

TEST_F(BackupCommandLines, FileFormUpdateOfAnUnchangedTreeChangesNothing) {
  const fs::path archive = tmp_.path() / "out" / "FILES.LZH";
  const std::string line = FileCommandLine(archive);
  ASSERT_EQ(Call(line).code, 0);
  const std::string before = ReadText(archive);
  const CallResult r = Call(line);
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(CountLinesStartingWith(r.output, "  "), 0) << r.output;
  EXPECT_EQ(ReadText(archive), before);
}

// The folder form passes -c1: every named file may replace its entry, yet what the content
// proves unchanged keeps its entry; the changed file and its folder (a new time) are replaced,
// and the archive extracts as the tree stands.
TEST_F(BackupCommandLines, FolderFormUpdateReplacesWhatChangedAndStaysCorrect) {
  const fs::path archive = tmp_.path() / "out" / "DATA.LZH";
  const std::string line = FolderCommandLine(archive);
  ASSERT_EQ(Call(line).code, 0);

  const fs::path changed =
      tmp_.path() / "src" / "DATA" / "FOLDER1" / "SUB" / "DEEP" / "numbers.txt";
  WriteText(changed, Compressible(210000, 9));
  SetMtime(changed, kBaseTime + 999999);
  SetMtime(changed.parent_path(), kBaseTime + 7200);
  const CallResult r = Call(line);
  ASSERT_EQ(r.code, 0) << r.output;
  const Tree expected = FolderExpected();
  EXPECT_EQ(CountLinesStartingWith(r.output, "  replaced FOLDER1/SUB/DEEP/numbers.txt "), 1)
      << r.output;
  EXPECT_EQ(CountLinesStartingWith(r.output, "  replaced FOLDER1/SUB/DEEP "), 1) << r.output;
  EXPECT_EQ(CountLinesStartingWith(r.output, "  replaced "), 2) << r.output;
  EXPECT_EQ(CountLinesStartingWith(r.output, "  added "), 0) << r.output;
  CheckEverywhere(archive, expected);
  ReportMissingTools();
}

// The same line without -c1: only the entry whose file changed is packed again.
TEST_F(BackupCommandLines, FolderFormWithoutC1ReplacesOnlyTheChangedEntry) {
  const fs::path archive = tmp_.path() / "out" / "DATA.LZH";
  std::string line = FolderCommandLine(archive);
  line.replace(line.find(" -c1"), 4, "");
  ASSERT_EQ(Call(line).code, 0);

  const fs::path changed = tmp_.path() / "src" / "MY DATA" / "OLD FILES" / "old file.txt";
  WriteText(changed, "old, changed\n");
  SetMtime(changed, kBaseTime + 999999);
  const CallResult r = Call(line);
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_EQ(CountLinesStartingWith(r.output, "  replaced OLD FILES/old file.txt "), 1) << r.output;
  EXPECT_EQ(CountLinesStartingWith(r.output, "  replaced "), 1) << r.output;
  EXPECT_EQ(CountLinesStartingWith(r.output, "  added "), 0) << r.output;
  CheckEverywhere(archive, FolderExpected());
  ReportMissingTools();
}

// The same lines through build/unlha, one argument per token as a shell would split them.
TEST_F(BackupCommandLines, UnlhaProgramRunsTheFolderForm) {
  const fs::path archive = tmp_.path() / "out" / "DATA.LZH";
  FolderCommandLine(archive);
  const ProcessResult r =
      RunUnlha({"u", "-+", "-a1", "-x1", "-c1", "-f0", "-jm2", "-jp1", "-x1", "-r2", "-a1",
                Win(archive), "@" + Win(tmp_.path() / "~VB1A2B.TMP")});
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("0 failed."), std::string::npos) << r.out;
  CheckWithUnlha(archive, FolderExpected());
}

}  // namespace
}  // namespace lha_library_testing
