// x and e on archives in memory: nothing is written outside the destination whatever the entries
// say or the tree does meanwhile, an existing file is replaced only with -w1, folders take their
// modes and times last, and a file that cannot be written whole is not left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>

#include "command_support.h"
#include "support/archive_tables.h"
#include "support/files.h"

namespace lha_command_testing {
namespace {

using Kind = platform::fs::Kind;
using Op = MemEnv::Op;

// A tree with an archive in /work and a destination three folders down, so that every ".."
// an entry might climb lands on something that must stay as it is.
constexpr const char* kDest = "/work/a/b/dest";

void SetUpTree(MemEnv& env) {
  env.MakeFolders(kDest);
  env.WriteFile("/work/outside/keep.txt", "keep\n");
  EXPECT_TRUE(env.SetCurrentFolder("/work"));
}

std::function<void(MemEnv&)> Archive(std::vector<std::string> entries) {
  return [entries](MemEnv& env) { env.WriteFile("/work/EVIL.LZH", ArchiveOf(entries)); };
}

std::function<void(MemEnv&)> BadArchive(const std::string& name) {
  return [name](MemEnv& env) {
    const auto path = testing_support::ArchiveFolder("bad") / name;
    ASSERT_TRUE(std::filesystem::is_regular_file(path)) << name;
    env.WriteFile("/work/EVIL.LZH", testing_support::ReadText(path));
  };
}

// Everything but the destination and what is in it.
std::map<std::string, MemEnv::NodeInfo> Outside(MemEnv& env) {
  auto tree = env.Tree("/");
  std::erase_if(tree, [](const auto& node) { return node.first.rfind("work/a/b/dest", 0) == 0; });
  return tree;
}

std::set<std::string> Inside(MemEnv& env) {
  std::set<std::string> names;
  for (const auto& [name, info] : env.Tree(kDest))
    names.insert(name);
  return names;
}

struct ConfinementCase {
  const char* name;
  std::function<void(MemEnv&)> prepare;
  int32_t code;                                 // of x
  std::optional<std::set<std::string>> inside;  // what x leaves in the destination
};

std::ostream& operator<<(std::ostream& os, const ConfinementCase& c) {
  return os << c.name;
}

// Once the extractor has looked whether "sub/g.txt" exists, the folder "sub" is moved away and
// a link to /work/outside takes its place: the file must still go into the folder that was
// looked at, never through the link.
void SwapInALinkOnTheWay(MemEnv& env) {
  env.AddHook([&env, done = false](const MemEnv::Call& c) mutable {
    if (done || c.op != Op::kStatus || c.path != std::string(kDest) + "/sub/g.txt") return 0;
    done = true;
    const platform::File dest = env.OpenFolder(kDest, nullptr);
    EXPECT_TRUE(dest.RenameIn("sub", "moved", false));
    EXPECT_TRUE(dest.MakeLinkIn("/work/outside", "sub"));
    return 0;
  });
}

const ConfinementCase kConfinementCases[] = {
    {"DotDotNames",
     Archive({FileEntry("../../UP.txt", "x"), FileEntry("../UP2.txt", "x"),
              FileEntry("sub/../../UP3.txt", "x"), FileEntry("ok.txt", "ok")}),
     UNLHA_ERROR_FILE_OPEN, std::set<std::string>{"ok.txt"}},
    {"LinksLeadingOut",
     Archive({LinkEntry("up", ".."), LinkEntry("sub/up2", "../../x"), LinkEntry("abs", "/etc"),
              LinkEntry("in", "sub"), FileEntry("sub/f.txt", "f")}),
     UNLHA_ERROR_FILE_OPEN, std::set<std::string>{"in", "sub", "sub/f.txt"}},
    // "b" leads to "." (harmless alone), so "b/.." is the destination's parent; "sub/b" leads
    // to the destination, so "sub/b/.." is its parent too.
    {"LinkThroughAnotherLink",
     Archive({LinkEntry("b", "."), LinkEntry("a", "b/.."), LinkEntry("c", "d/.."),
              LinkEntry("d", "sub/.."), LinkEntry("sub/b", ".."), LinkEntry("sub/a", "b/..")}),
     UNLHA_ERROR_FILE_OPEN, std::set<std::string>{"b", "sub", "sub/b"}},
    {"LaterEntriesThroughAnExtractedLink",
     Archive({FileEntry("keep/x.txt", "x"), LinkEntry("in", "keep"), FileEntry("in/y.txt", "y"),
              LinkEntry("keep", "..")}),
     UNLHA_ERROR_MAKE_DIRECTORY, std::set<std::string>{"keep", "keep/x.txt", "in"}},
    {"ALinkInTheDestinationAlready",
     [](MemEnv& env) {
       env.MakeLink("/work/outside", std::string(kDest) + "/pre");
       Archive({FileEntry("pre/f.txt", "f"), FileEntry("ok.txt", "ok")})(env);
     },
     UNLHA_ERROR_MAKE_DIRECTORY, std::set<std::string>{"pre", "ok.txt"}},
    {"ALinkSwappedInOnTheWay",
     [](MemEnv& env) {
       Archive({FileEntry("sub/f.txt", "f"), FileEntry("sub/g.txt", "g")})(env);
       SwapInALinkOnTheWay(env);
     },
     0, std::set<std::string>{"moved", "moved/f.txt", "moved/g.txt", "sub"}},
    // Names Windows would take for a stream, a device or a shorter name are never made there,
    // and are made like any other where the system holds them as they are.
    {"NamesWindowsMisreads",
     [](MemEnv& env) {
       env.RefuseWindowsNames();
       Archive({FileEntry("a:stream", "x"), FileEntry("CON.txt", "x"), FileEntry("sub/nul", "x"),
                FileEntry("Com1", "x"), FileEntry("dot.", "x"), FileEntry("blank ", "x"),
                FileEntry("ask?", "x"), FileEntry("ok.txt", "ok"), FileEntry("CONSOLE", "x")})(env);
     },
     UNLHA_ERROR_FILE_OPEN, std::set<std::string>{"ok.txt", "CONSOLE"}},
    {"NamesOnlyWindowsMisreads",
     Archive({FileEntry("a:stream", "x"), FileEntry("CON.txt", "x"), FileEntry("dot.", "x")}), 0,
     std::set<std::string>{"a:stream", "CON.txt", "dot."}},
    // A name cut at its NUL would be another name ("..", or a shorter one).
    {"NulInAFileName", BadArchive("nul_in_file_name.lzh"), UNLHA_ERROR_HEADER_BROKEN, std::nullopt},
    {"NulInAFolderName", BadArchive("nul_in_folder_name.lzh"), UNLHA_ERROR_HEADER_BROKEN,
     std::nullopt},
    {"NulInALinkTarget", BadArchive("nul_in_link_target.lzh"), UNLHA_ERROR_HEADER_BROKEN,
     std::nullopt},
};

class Confinement : public ::testing::TestWithParam<ConfinementCase> {};

TEST_P(Confinement, NothingIsWrittenOutsideTheDestination) {
  const ConfinementCase& c = GetParam();
  for (const std::string command : {"x", "e"}) {
    SCOPED_TRACE(command);
    MemEnv env;
    SetUpTree(env);
    c.prepare(env);
    const auto outside = Outside(env);
    const Outcome r = RunCommand(env, command + " -w1 EVIL.LZH a\\b\\dest\\");
    EXPECT_EQ(Outside(env), outside) << r.log;
    if (command == "x") {
      EXPECT_EQ(r.code, c.code) << r.log;
      if (c.inside) {
        EXPECT_EQ(Inside(env), *c.inside) << r.log;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Memory, Confinement, ::testing::ValuesIn(kConfinementCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Replacing what is there ---------------------------------------------------------------------
struct ReplaceCase {
  const char* name;
  std::function<void(MemEnv&)> existing;  // what is at /work/out/f.txt before
  bool w1;
  int32_t code;
  Kind kind;         // what is there afterwards
  std::string data;  // a file's data, a link's target
};

std::ostream& operator<<(std::ostream& os, const ReplaceCase& c) {
  return os << c.name;
}

void AFile(MemEnv& env) {
  env.WriteFile("/work/out/f.txt", "mine\n");
}
void ALinkOut(MemEnv& env) {
  env.MakeLink("/work/target", "/work/out/f.txt");
}

const ReplaceCase kReplaceCases[] = {
    {"NothingThere", [](MemEnv&) {}, false, 0, Kind::kFile, "archived\n"},
    {"FileKeptWithoutW1", AFile, false, UNLHA_ERROR_ALREADY_EXIST, Kind::kFile, "mine\n"},
    {"FileReplacedWithW1", AFile, true, 0, Kind::kFile, "archived\n"},
    {"ReadOnlyFileReplacedWithW1",
     [](MemEnv& env) { env.WriteFile("/work/out/f.txt", "mine\n", 0444); }, true, 0, Kind::kFile,
     "archived\n"},
    {"LinkKeptWithoutW1", ALinkOut, false, UNLHA_ERROR_ALREADY_EXIST, Kind::kSymlink,
     "/work/target"},
    {"LinkReplacedNotWrittenThrough", ALinkOut, true, 0, Kind::kFile, "archived\n"},
    {"FolderInTheWay", [](MemEnv& env) { env.MakeFolders("/work/out/f.txt"); }, true,
     UNLHA_ERROR_ALREADY_EXIST, Kind::kFolder, ""},
};

class Replacement : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(Replacement, OnlyWithW1AndNeverThroughALink) {
  const ReplaceCase& c = GetParam();
  MemEnv env;
  SetUpTree(env);
  env.WriteFile("/work/A.LZH", ArchiveOf({FileEntry("f.txt", "archived\n"), FileEntry("g", "g")}));
  env.WriteFile("/work/target", "theirs\n");
  env.MakeFolders("/work/out");
  c.existing(env);
  const Outcome r = RunCommand(env, std::string("x ") + (c.w1 ? "-w1 " : "") + "A.LZH out\\");
  EXPECT_EQ(r.code, c.code) << r.log;
  const auto tree = env.Tree("/work/out");
  ASSERT_TRUE(tree.count("f.txt"));
  EXPECT_EQ(tree.at("f.txt").kind, c.kind);
  EXPECT_EQ(tree.at("f.txt").data, c.data);
  EXPECT_EQ(env.ReadFile("/work/out/g"), "g") << "the rest is extracted";
  EXPECT_EQ(env.ReadFile("/work/target"), "theirs\n");
  EXPECT_EQ(TemporaryFiles(env, "/work/out"), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Memory, Replacement, ::testing::ValuesIn(kReplaceCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Folders last --------------------------------------------------------------------------------
// A read-only folder takes its files first and its mode after; writing the files changed the
// folders' times, so those are set last too, the deepest first: a folder its owner may not
// search would keep the extractor out of the folders below it. Run as a user the modes bind.
TEST(Extraction, FoldersTakeTheirModesAndTimesLast) {
  MemEnv env;
  SetUpTree(env);
  env.SetNow(kThen + 1000);
  env.WriteFile("/work/A.LZH",
                ArchiveOf({FolderEntry("ro", 0555, kThen), FolderEntry("ro/sub", 0500, kThen + 10),
                           FileEntry("ro/sub/f.txt", "f", 0444, kThen + 20),
                           FileEntry("ro/g.txt", "g", 0600, kThen + 30),
                           FolderEntry("closed", 0600, kThen + 40),
                           FolderEntry("closed/in", 0750, kThen + 50)}));
  const Outcome r = RunCommand(env, "x A.LZH out\\");
  EXPECT_EQ(r.code, 0) << r.log;
  using Info = MemEnv::NodeInfo;
  const std::map<std::string, Info> expected = {
      {"ro", Info{Kind::kFolder, 0555, kThen, 0, ""}},
      {"ro/sub", Info{Kind::kFolder, 0500, kThen + 10, 0, ""}},
      {"ro/sub/f.txt", Info{Kind::kFile, 0444, kThen + 20, 0, "f"}},
      {"ro/g.txt", Info{Kind::kFile, 0600, kThen + 30, 0, "g"}},
      {"closed", Info{Kind::kFolder, 0600, kThen + 40, 0, ""}},
      {"closed/in", Info{Kind::kFolder, 0750, kThen + 50, 0, ""}},
  };
  EXPECT_EQ(env.Tree("/work/out"), expected);
}

// --- Files that cannot be written whole ----------------------------------------------------------
struct FaultCase {
  const char* name;
  std::function<void(MemEnv&)> fault;
  int32_t code;
  bool rest;  // whether the entry after the failing one is extracted
};

std::ostream& operator<<(std::ostream& os, const FaultCase& c) {
  return os << c.name;
}

const FaultCase kFaultCases[] = {
    {"DiskFull", [](MemEnv& env) { env.SetSpaceLimit(env.UsedSpace() + 1000); },
     UNLHA_ERROR_DISK_SPACE, true},
    {"WriteError",
     [](MemEnv& env) {
       env.AddHook([](const MemEnv::Call& c) {
         return c.op == Op::kWrite && c.path.rfind("/work/out/.big.bin.unlha-", 0) == 0 ? EIO : 0;
       });
     },
     UNLHA_ERROR_CANNOT_WRITE, true},
    // Damage in the archive ends the command: what came before stays, nothing half-made does.
    {"ArchiveReadError", [](MemEnv& env) { env.FailReads("/work/A.LZH", 50000); },
     UNLHA_ERROR_ARC_READ, false},
};

class ExtractionFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(ExtractionFault, LeavesNoTornFile) {
  const FaultCase& c = GetParam();
  MemEnv env;
  SetUpTree(env);
  std::string big(100000, '\0');
  for (size_t i = 0; i < big.size(); ++i)
    big[i] = static_cast<char>(i * 7919 >> 3);
  env.WriteFile("/work/A.LZH", ArchiveOf({FileEntry("first.txt", "1"), FileEntry("big.bin", big),
                                          FileEntry("ok.txt", "ok")}));
  c.fault(env);
  const Outcome r = RunCommand(env, "x A.LZH out\\");
  EXPECT_EQ(r.code, c.code) << r.log;
  EXPECT_EQ(env.ReadFile("/work/out/first.txt"), "1");
  EXPECT_EQ(env.ReadFile("/work/out/big.bin"), std::nullopt);
  EXPECT_EQ(env.ReadFile("/work/out/ok.txt").has_value(), c.rest);
  EXPECT_EQ(TemporaryFiles(env, "/work/out"), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Memory, ExtractionFault, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lha_command_testing
