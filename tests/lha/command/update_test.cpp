// a and u on trees in memory: which entries are carried over as they are and which are packed
// again, and what a failing source, a full disk, a broken write or another command leaves of the
// archive.
#include <gtest/gtest.h>

#include <functional>

#include "command_support.h"
#include "support/data.h"

namespace lha_command_testing {
namespace {

using Op = MemEnv::Op;
using testing_support::CompressibleMt;
using testing_support::Random;

// The tree an update starts from: a.txt, b.txt and c.txt, all stamped kThen. Files a case holds
// open (a lock) stay open while the command runs.
struct World {
  World() {
    env.MakeFolders("/work");
    EXPECT_TRUE(env.SetCurrentFolder("/work"));
    Put("a.txt", CompressibleMt(20000, 1));
    Put("b.txt", CompressibleMt(20000, 2));
    Put("c.txt", "c\n");
  }
  void Put(const std::string& name, const std::string& data) {
    env.WriteFile("/work/" + name, data);
    env.SetTime("/work/" + name, kThen);
  }
  // Runs `action` before the first operation `op` on `path`; an errno value it returns fails
  // that operation.
  void Before(Op op, const std::string& path, std::function<int()> action) {
    env.AddHook([op, path, action, done = false](const MemEnv::Call& c) mutable {
      if (done || c.op != op || c.path != path) return 0;
      done = true;
      return action();
    });
  }

  MemEnv env;
  std::vector<platform::File> held;
};

enum class Fate {
  kCarried,  // the old entry, byte for byte
  kPacked,   // packed from the file as it is now
  kAbsent,
};

std::ostream& operator<<(std::ostream& os, Fate f) {
  return os << (f == Fate::kCarried ? "carried" : f == Fate::kPacked ? "packed" : "absent");
}

struct UpdateCase {
  const char* name;
  std::function<void(World&)> prepare;
  const char* command;
  int32_t code;
  std::map<std::string, Fate> fates;  // of every entry the archive holds afterwards, and more
  bool rewritten;                     // false: A.LZH is the same file, untouched
};

std::ostream& operator<<(std::ostream& os, const UpdateCase& c) {
  return os << c.name;
}

const std::map<std::string, Fate> kAllCarried = {
    {"a.txt", Fate::kCarried}, {"b.txt", Fate::kCarried}, {"c.txt", Fate::kCarried}};

std::map<std::string, Fate> With(std::map<std::string, Fate> fates) {
  for (const auto& [name, fate] : kAllCarried)
    fates.try_emplace(name, fate);
  return fates;
}

// b.txt one byte longer, time stamp unchanged: only the size tells.
void GrowB(World& w) {
  w.Put("b.txt", CompressibleMt(20001, 2));
}

const UpdateCase kUpdateCases[] = {
    {"NothingChanged", [](World&) {}, "u A.LZH a.txt b.txt c.txt", 0, kAllCarried, false},
    {"SizeChanged", GrowB, "u A.LZH a.txt b.txt c.txt", 0, With({{"b.txt", Fate::kPacked}}), true},
    {"TimeChanged", [](World& w) { w.env.SetTime("/work/c.txt", kThen + 2); },
     "u A.LZH a.txt b.txt c.txt", 0, With({{"c.txt", Fate::kPacked}}), true},
    // Same size, same time, other bytes: the content decides, never the stamp.
    {"SameStampOtherContent", [](World& w) { w.Put("b.txt", CompressibleMt(20000, 3)); },
     "u A.LZH a.txt b.txt c.txt", 0, With({{"b.txt", Fate::kPacked}}), true},
    {"C1PacksWhateverTheStamp", [](World& w) { w.Put("b.txt", CompressibleMt(20000, 3)); },
     "u -c1 A.LZH b.txt", 0, With({{"b.txt", Fate::kPacked}}), true},
    {"AddPacksWhateverTheStamp", [](World& w) { w.Put("c.txt", "C\n"); }, "a A.LZH c.txt", 0,
     With({{"c.txt", Fate::kPacked}}), true},
    {"NewFileAddedOthersStay", [](World& w) { w.Put("d.txt", "d\n"); }, "u A.LZH d.txt", 0,
     With({{"d.txt", Fate::kPacked}}), true},

    // --- Sources that fail: the rest is packed, a changed entry keeps its old form ---------------
    {"ChangedSourceVanishes",
     [](World& w) {
       GrowB(w);
       w.Put("e.txt", "e\n");
       w.Before(Op::kOpen, "/work/b.txt", [&w] {
         w.env.Remove("/work/b.txt");
         return 0;
       });
     },
     "u A.LZH a.txt b.txt c.txt e.txt", UNLHA_ERROR_NOT_EXIST, With({{"e.txt", Fate::kPacked}}),
     true},
    {"ReadErrorInAChangedSource",
     [](World& w) {
       GrowB(w);
       w.Put("e.txt", "e\n");
       w.env.FailReads("/work/b.txt", 1000);
     },
     "u A.LZH a.txt b.txt c.txt e.txt", UNLHA_ERROR_FILE_OPEN, With({{"e.txt", Fate::kPacked}}),
     true},
    {"FirstFailureIsReported",
     [](World& w) {
       for (const char* n : {"d.txt", "e.txt", "f.txt"})
         w.Put(n, n);
       w.env.FailReads("/work/d.txt", 0);
       w.Before(Op::kOpen, "/work/e.txt", [] { return ENOENT; });
     },
     "u A.LZH d.txt e.txt f.txt", UNLHA_ERROR_FILE_OPEN,
     With({{"d.txt", Fate::kAbsent}, {"e.txt", Fate::kAbsent}, {"f.txt", Fate::kPacked}}), true},
    {"NotAFileNamedByTheCommand",
     [](World& w) {
       w.env.MakeSpecialFile("/work/fifo");
       w.Put("d.txt", "d\n");
     },
     "a -a1 A.LZH fifo d.txt", UNLHA_ERROR_FILE_OPEN, With({{"d.txt", Fate::kPacked}}), true},
    {"NothingCouldBePacked",
     [](World& w) {
       GrowB(w);
       w.env.FailReads("/work/b.txt", 0);
     },
     "u A.LZH b.txt", UNLHA_ERROR_FILE_OPEN, kAllCarried, false},

    // --- The new archive cannot be written: the old one stays as it was --------------------------
    {"DiskFull",
     [](World& w) {
       w.Put("b.txt", Random(300000, 7));
       w.env.SetSpaceLimit(w.env.UsedSpace() + 50000);
     },
     "u A.LZH b.txt", UNLHA_ERROR_DISK_SPACE, kAllCarried, false},
    {"WriteError",
     [](World& w) {
       GrowB(w);
       w.env.AddHook([](const MemEnv::Call& c) {
         const bool temporary = c.path.rfind("/work/.A.LZH.unlha-", 0) == 0;
         return c.op == Op::kWrite && temporary ? EIO : 0;
       });
     },
     "u A.LZH b.txt", UNLHA_ERROR_CANNOT_WRITE, kAllCarried, false},
    {"NoRoomForTheTemporaryFile",
     [](World& w) {
       GrowB(w);
       w.env.SetModeOf("/work", 0555);
     },
     "u A.LZH b.txt", UNLHA_ERROR_TEMP_FILE, kAllCarried, false},
    {"ArchiveInUse",
     [](World& w) {
       GrowB(w);
       w.held.push_back(w.env.OpenFile("/work/A.LZH", nullptr));
       EXPECT_TRUE(w.held.back().TryLockShared());
     },
     "u A.LZH b.txt", UNLHA_ERROR_ALREADY_RUNNING, kAllCarried, false},
};

class Update : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(Update, CarriesOverWhatIsUnchangedAndKeepsTheOldArchiveOnFailure) {
  const UpdateCase& c = GetParam();
  World w;
  ASSERT_EQ(RunCommand(w.env, "a A.LZH a.txt b.txt c.txt").code, 0);
  const auto before = Entries(w.env, "A.LZH");
  const auto old_bytes = w.env.ReadFile("A.LZH");
  const auto old_file = w.env.Status("A.LZH", platform::File::Links::kNotFollowed);

  c.prepare(w);
  const Outcome r = RunCommand(w.env, c.command);
  EXPECT_EQ(r.code, c.code) << r.log;

  const auto after = Entries(w.env, "A.LZH");
  std::map<std::string, Fate> fates;
  for (const auto& [name, expected] : c.fates) {
    const auto it = after.find(name);
    if (it == after.end()) {
      fates[name] = Fate::kAbsent;
    } else if (before.count(name) && it->second.raw == before.at(name).raw) {
      fates[name] = Fate::kCarried;
    } else {
      fates[name] = Fate::kPacked;
      EXPECT_EQ(it->second.data, w.env.ReadFile(name)) << name;
    }
  }
  EXPECT_EQ(fates, c.fates) << r.log;
  size_t present = 0;
  for (const auto& [name, fate] : c.fates)
    present += fate != Fate::kAbsent;
  EXPECT_EQ(after.size(), present) << "no entries but these";

  const auto now_file = w.env.Status("A.LZH", platform::File::Links::kNotFollowed);
  ASSERT_TRUE(now_file);
  EXPECT_EQ(!now_file->SameFileAs(*old_file), c.rewritten);
  if (!c.rewritten) {
    EXPECT_TRUE(w.env.ReadFile("A.LZH") == old_bytes) << "the old archive as it was";
  }
  w.held.clear();
  EXPECT_EQ(RunCommand(w.env, "t A.LZH").code, 0);
  EXPECT_EQ(TemporaryFiles(w.env, "/work"), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Memory, Update, ::testing::ValuesIn(kUpdateCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- A new archive -------------------------------------------------------------------------------

struct CreationCase {
  const char* name;
  std::function<void(World&)> prepare;
  int32_t code;
  std::optional<std::string> left;  // what NEW.LZH holds afterwards; nullopt: no file
};

std::ostream& operator<<(std::ostream& os, const CreationCase& c) {
  return os << c.name;
}

const CreationCase kCreationCases[] = {
    // Another command makes the archive between our start and our rename: ours does not
    // replace it, and the caller hears that the archive was in use.
    {"AnotherCommandCreatesItMeanwhile",
     [](World& w) {
       w.env.AddHook([&w](const MemEnv::Call& c) {
         if (c.op == Op::kRename && c.to == "/work/NEW.LZH") w.env.WriteFile(c.to, "theirs");
         return 0;
       });
     },
     UNLHA_ERROR_ALREADY_RUNNING, "theirs"},
    {"DiskFull", [](World& w) { w.env.SetSpaceLimit(w.env.UsedSpace() + 100); },
     UNLHA_ERROR_DISK_SPACE, std::nullopt},
    // Where no temporary file can be made, no archive can be either.
    {"FolderTakesNoFile", [](World& w) { w.env.SetModeOf("/work", 0555); },
     UNLHA_ERROR_ARC_FILE_OPEN, std::nullopt},
    // A failure nobody foresaw is reported as one, never as success or as something it is not.
    {"UnforeseenFailure",
     [](World& w) {
       w.env.AddHook([](const MemEnv::Call& c) -> int {
         if (c.op == Op::kWrite) throw std::logic_error("unforeseen");
         return 0;
       });
     },
     UNLHA_ERROR_INTERNAL, std::nullopt},
    {"NotAnArchiveThere", [](World& w) { w.env.WriteFile("/work/NEW.LZH", "plain text\n"); },
     UNLHA_ERROR_NOT_ARC_FILE, "plain text\n"},
    // Its headers are read while the rest starts: what is wrong with it is still what is said.
    {"NotAnArchiveWhereNoFileCanBeMade",
     [](World& w) {
       w.env.WriteFile("/work/NEW.LZH", "plain text\n");
       w.env.SetModeOf("/work", 0555);
     },
     UNLHA_ERROR_NOT_ARC_FILE, "plain text\n"},
};

class Creation : public ::testing::TestWithParam<CreationCase> {};

TEST_P(Creation, FailsWithoutLeavingAnythingBehind) {
  const CreationCase& c = GetParam();
  World w;
  c.prepare(w);
  const Outcome r = RunCommand(w.env, "a NEW.LZH a.txt b.txt");
  EXPECT_EQ(r.code, c.code) << r.log;
  EXPECT_EQ(w.env.ReadFile("/work/NEW.LZH"), c.left);
  EXPECT_EQ(TemporaryFiles(w.env, "/work"), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Memory, Creation, ::testing::ValuesIn(kCreationCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- A source that changes while it is read ------------------------------------------------------

struct ChangeCase {
  const char* name;
  std::optional<std::string> now;  // b.txt afterwards; nullopt: removed
  bool by_rename;                  // the new data comes as another file renamed over b.txt
  // The archive already holds b.txt as it is at first, so u compares before it packs; the
  // writer sets the time back, as a copy keeping times would: only the change time tells.
  bool while_compared = false;
};

std::ostream& operator<<(std::ostream& os, const ChangeCase& c) {
  return os << c.name;
}

const std::string kBefore = CompressibleMt(5 << 20, 4);  // read in several pieces

const ChangeCase kChangeCases[] = {
    {"Grows", kBefore + CompressibleMt(5000, 5), false},
    {"Shrinks", kBefore.substr(0, 1000), false},
    {"RewrittenInPlace", CompressibleMt(5 << 20, 6), false},
    {"ReplacedByAnotherFile", CompressibleMt(5 << 20, 6), true},
    {"Removed", std::nullopt, false},
    // Only the part already compared changes: the comparison's own reading cannot see it.
    {"RewrittenWhileCompared",
     [] {
       std::string s = kBefore;
       s[0] ^= 1;
       return s;
     }(),
     false, true},
};

class ChangingSource : public ::testing::TestWithParam<ChangeCase> {};

// The entry is never torn: it holds the file whole as it was or whole as it is, or the source
// is reported and the old entry kept.
TEST_P(ChangingSource, NeverGivesATornEntry) {
  const ChangeCase& c = GetParam();
  World w;
  if (c.while_compared) w.Put("b.txt", kBefore);
  ASSERT_EQ(RunCommand(w.env, "a A.LZH a.txt b.txt c.txt").code, 0);
  const std::string archived = *w.env.ReadFile("/work/b.txt");
  if (!c.while_compared) w.Put("b.txt", kBefore);
  const int64_t mtime = w.env.Status("/work/b.txt", platform::File::Links::kNotFollowed)->mtime;
  // Once the first piece is read, a writer comes along (later, as writers do).
  bool done = false;
  w.env.AddHook([&w, &c, &done, mtime](const MemEnv::Call& call) {
    if (done || call.op != Op::kRead || call.path != "/work/b.txt" || call.offset == 0) return 0;
    done = true;
    w.env.SetNow(w.env.Now() + 10);
    if (!c.now) {
      w.env.Remove("/work/b.txt");
    } else if (c.by_rename) {
      w.env.WriteFile("/work/b.new", *c.now);
      w.env.OpenFolder("/work", nullptr).RenameIn("b.new", "b.txt", true);
    } else {
      w.env.WriteFile("/work/b.txt", *c.now);
      if (c.while_compared) w.env.SetTime("/work/b.txt", mtime);
    }
    return 0;
  });
  const Outcome r = RunCommand(w.env, "u A.LZH a.txt b.txt c.txt");
  ASSERT_TRUE(done) << "b.txt was read in one go: nothing changed under the reader";
  ASSERT_TRUE(r.code == 0 || r.code == UNLHA_ERROR_FILE_OPEN || r.code == UNLHA_ERROR_NOT_EXIST)
      << r.log;
  EXPECT_EQ(RunCommand(w.env, "t A.LZH").code, 0);
  const std::string stored = Entries(w.env, "A.LZH").at("b.txt").data;
  if (r.code == 0 && c.while_compared) {
    EXPECT_TRUE(stored == c.now) << "an entry of what the file no longer holds";
  } else if (r.code == 0) {
    EXPECT_TRUE(stored == kBefore || stored == c.now)
        << "a torn entry of " << stored.size() << " bytes";
  } else {
    EXPECT_TRUE(stored == archived) << "the old entry";
  }
}

INSTANTIATE_TEST_SUITE_P(Memory, ChangingSource, ::testing::ValuesIn(kChangeCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace lha_command_testing
