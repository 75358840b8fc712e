// Every result code of the library's table provoked for real, through the C interface and
// through build/unlha; the output text NUL-terminated within the caller's size and cut, never
// overflowing, when the buffer is small.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "format/header_writer.h"
#include "library_support.h"
#include "support/temp_dir.h"

namespace lha_library_testing {
namespace {

using testing_support::TempDir;

// How the command runs: in this process, or in a child as user nobody, or in a child whose
// files may not grow past 64 KiB (writes then fail with EFBIG, a plain write error).
enum class Runner { kInProcess, kNobody, kSmallFiles };

struct Prepared {
  Prepared(std::vector<std::string> a = {}, std::shared_ptr<void> k = nullptr)
      : args(std::move(a)), keep(std::move(k)) {}
  std::vector<std::string> args;
  std::shared_ptr<void> keep;  // what must stay alive while the command runs
  std::string skip;            // why this case cannot run here
};

struct CodeCase {
  CodeCase(std::string n, int32_t c, std::function<Prepared(const fs::path&)> s,
           Runner r = Runner::kInProcess, std::function<void(const fs::path&)> a = nullptr)
      : name(std::move(n)), code(c), setup(std::move(s)), runner(r), after(std::move(a)) {}
  std::string name;
  int32_t code;
  std::function<Prepared(const fs::path& dir)> setup;
  Runner runner;
  // What must hold after the command (the command's own result is already checked).
  std::function<void(const fs::path& dir)> after;
};

std::ostream& operator<<(std::ostream& os, const CodeCase& c) {
  return os << c.name;
}

// One command line from arguments, quoted as build/unlha quotes them.
std::string JoinArgs(const std::vector<std::string>& args) {
  std::string line;
  for (const auto& a : args) {
    if (!line.empty()) line += ' ';
    line += (!a.empty() && a.find_first_of(" \t") == std::string::npos) ? a : "\"" + a + "\"";
  }
  return line;
}

std::string FirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

// f.txt and g.txt stored (not packed) in A.LZH, so data bytes are easy to find.
void MakeArchive(const fs::path& dir) {
  WriteText(dir / "f.txt", "file one\n");
  WriteText(dir / "g.txt", Compressible(3000));
  const CallResult r = Call("a -o0 A.LZH f.txt g.txt");
  EXPECT_EQ(r.code, 0) << r.output;
}

void Patch(const fs::path& archive, const std::function<void(std::string&)>& change) {
  std::string bytes = ReadText(archive);
  change(bytes);
  WriteText(archive, bytes);
}

// An archive holding an entry of a method this library does not unpack, then a plain one.
void MakeForeignMethodArchive(const fs::path& dir) {
  lha::format::NewEntry e;
  e.path = {"old.dat"};
  e.method = "-lh2-";
  e.mtime = 1600000000;
  const std::string data = "\x12\x34 bytes no decoder here reads";
  std::vector<uint8_t> header = lha::format::EncodeLevel2Header(e);
  lha::format::PatchSizesAndCrc(header, data.size(), data.size(), Crc16(data));
  const std::string bytes = std::string(header.begin(), header.end()) + data +
                            Level0Entry("ready.txt", "ready\n") + std::string(1, '\0');
  WriteText(dir / "OLD.LZH", bytes);
}

// A tmpfs of 256 KiB at dir/small, unmounted when the returned handle goes.
std::shared_ptr<void> MountSmallDisk(const fs::path& dir, std::string* skip) {
  const fs::path mnt = dir / "small";
  fs::create_directories(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=256k") != 0) {
    *skip = "cannot mount a small tmpfs here (" + std::string(std::strerror(errno)) + ")";
    return nullptr;
  }
  struct Mounted {
    explicit Mounted(fs::path p) : at(std::move(p)) {}
    Mounted(const Mounted&) = delete;
    ~Mounted() { ::umount2(at.c_str(), MNT_DETACH); }
    fs::path at;
  };
  return std::make_shared<Mounted>(mnt);
}

void ExpectNoTemporaryFiles(const fs::path& dir, const std::string& archive_name) {
  EXPECT_EQ(NamesStartingWith(dir, "." + archive_name + "."), std::vector<std::string>{});
}

std::vector<CodeCase> Cases() {
  std::vector<CodeCase> c;
  // --- The command line ---
  c.push_back({"UnknownCommand", UNLHA_ERROR_COMMAND, [](const fs::path&) {
                 return Prepared{{"q", "A.LZH"}};
               }});
  c.push_back({"UnknownSwitch", UNLHA_ERROR_COMMAND,
               [](const fs::path& d) {
                 WriteText(d / "f.txt", "f\n");
                 return Prepared{{"a", "-z9", "A.LZH", "f.txt"}};
               },
               Runner::kInProcess,
               [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "A.LZH")); }});
  c.push_back({"UnterminatedQuote", UNLHA_ERROR_COMMAND, [](const fs::path&) {
                 return Prepared{{"l", "\"A.LZH"}};
               }});
  c.push_back({"NoArchiveName", UNLHA_ERROR_NO_ARC_NAME, [](const fs::path&) {
                 return Prepared{{"a", "-r2", "-x1"}};
               }});
  c.push_back({"NoArchiveNameToList", UNLHA_ERROR_NO_ARC_NAME,
               [](const fs::path&) { return Prepared{{"l"}}; }});

  // --- The archive itself ---
  c.push_back({"FolderAtTheArchivePath", UNLHA_ERROR_ARC_FILE_OPEN, [](const fs::path& d) {
                 fs::create_directories(d / "A.LZH");
                 WriteText(d / "f.txt", "f\n");
                 return Prepared{{"a", "A.LZH", "f.txt"}};
               }});
  c.push_back({"ArchiveFolderMissing", UNLHA_ERROR_ARC_FILE_OPEN,
               [](const fs::path& d) {
                 WriteText(d / "f.txt", "f\n");
                 return Prepared{{"a", "MISSING\\A.LZH", "f.txt"}};
               },
               Runner::kInProcess,
               [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "MISSING")); }});
  c.push_back({"NewArchiveInAFolderThatMayNotBeWritten", UNLHA_ERROR_ARC_FILE_OPEN,
               [](const fs::path& d) {
                 fs::permissions(d, fs::perms::all);
                 WriteText(d / "f.txt", "f\n");
                 fs::create_directories(d / "ro");
                 fs::permissions(d / "ro", fs::perms::owner_all | fs::perms::others_read |
                                               fs::perms::others_exec);
                 return Prepared{{"a", "ro\\A.LZH", "f.txt"}};
               },
               Runner::kNobody, [](const fs::path& d) { EXPECT_TRUE(fs::is_empty(d / "ro")); }});
  c.push_back({"NoArchiveToExtract", UNLHA_ERROR_ARC_FILE_OPEN, [](const fs::path&) {
                 return Prepared{{"x", "NONE.LZH"}};
               }});
  for (const char* command : {"a", "u", "t", "x"}) {
    c.push_back({std::string("NotAnArchive_") + command, UNLHA_ERROR_NOT_ARC_FILE,
                 [command](const fs::path& d) {
                   WriteText(d / "X.LZH", "plain text, not an archive\n");
                   WriteText(d / "f.txt", "f\n");
                   return Prepared{{command, "X.LZH", "f.txt"}};
                 },
                 Runner::kInProcess,
                 [](const fs::path& d) {
                   EXPECT_EQ(ReadText(d / "X.LZH"), "plain text, not an archive\n");
                   ExpectNoTemporaryFiles(d, "X.LZH");
                 }});
  }

  // A restore from the wrong file leaves no empty destination behind.
  c.push_back({"NotAnArchiveToExtractInto", UNLHA_ERROR_NOT_ARC_FILE,
               [](const fs::path& d) {
                 WriteText(d / "X.LZH", "plain text, not an archive\n");
                 return Prepared{{"x", "X.LZH", "restore\\"}};
               },
               Runner::kInProcess,
               [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "restore")); }});

  // --- Damaged archives: the second entry's header, so the first is a sound entry ---
  c.push_back({"HeaderBroken", UNLHA_ERROR_HEADER_BROKEN, [](const fs::path& d) {
                 MakeArchive(d);
                 Patch(d / "A.LZH", [](std::string& b) { b[SecondHeaderOffset(b) + 20] = 5; });
                 return Prepared{{"t", "A.LZH"}};
               }});
  c.push_back({"HeaderBrokenOnExtraction", UNLHA_ERROR_HEADER_BROKEN,
               [](const fs::path& d) {
                 MakeArchive(d);
                 Patch(d / "A.LZH", [](std::string& b) { b[SecondHeaderOffset(b) + 20] = 5; });
                 return Prepared{{"x", "A.LZH", "out\\"}};
               },
               Runner::kInProcess,
               [](const fs::path& d) { EXPECT_EQ(ReadText(d / "out" / "f.txt"), "file one\n"); }});
  c.push_back({"HeaderCrc", UNLHA_ERROR_HEADER_CRC, [](const fs::path& d) {
                 MakeArchive(d);
                 Patch(d / "A.LZH", [](std::string& b) { b[SecondHeaderOffset(b) + 32] ^= 0x20; });
                 return Prepared{{"l", "A.LZH"}};
               }});
  c.push_back({"HeaderCrcOnUpdate", UNLHA_ERROR_HEADER_CRC,
               [](const fs::path& d) {
                 MakeArchive(d);
                 Patch(d / "A.LZH", [](std::string& b) { b[SecondHeaderOffset(b) + 32] ^= 0x20; });
                 WriteText(d / "new.txt", "new\n");
                 WriteText(d / "A.BYTES", ReadText(d / "A.LZH"));
                 return Prepared{{"u", "A.LZH", "new.txt"}};
               },
               Runner::kInProcess,
               [](const fs::path& d) {
                 EXPECT_TRUE(ReadText(d / "A.LZH") == ReadText(d / "A.BYTES"));
                 ExpectNoTemporaryFiles(d, "A.LZH");
               }});
  for (const char* command : {"t", "x", "l"}) {
    c.push_back({std::string("Truncated_") + command, UNLHA_ERROR_ARC_READ,
                 [command](const fs::path& d) {
                   MakeArchive(d);
                   Patch(d / "A.LZH",
                         [](std::string& b) { b.resize(SecondHeaderOffset(b) + 200); });
                   return Prepared{{command, "A.LZH", "out\\"}};
                 },
                 Runner::kInProcess,
                 [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "out" / "g.txt")); }});
  }
  c.push_back({"DataCrcOnTest", UNLHA_ERROR_FILE_CRC, [](const fs::path& d) {
                 MakeArchive(d);
                 Patch(d / "A.LZH", [](std::string& b) { b[Le(b, 0, 2) + 2] ^= 0x01; });
                 return Prepared{{"t", "A.LZH"}};
               }});
  c.push_back({"Level0DataCrcOnTest", UNLHA_ERROR_FILE_CRC, [](const fs::path& d) {
                 std::string entry = Level0Entry("f.txt", "level zero\n");
                 entry.back() ^= 0x01;  // the data's last byte
                 WriteText(d / "A.LZH", entry + std::string(1, '\0'));
                 return Prepared{{"t", "A.LZH"}};
               }});
  c.push_back({"DataCrcOnExtraction", UNLHA_ERROR_FILE_CRC,
               [](const fs::path& d) {
                 MakeArchive(d);
                 Patch(d / "A.LZH", [](std::string& b) { b[Le(b, 0, 2) + 2] ^= 0x01; });
                 return Prepared{{"x", "A.LZH", "out\\"}};
               },
               Runner::kInProcess,
               [](const fs::path& d) {
                 // The bad file is not left behind; the good one is extracted.
                 EXPECT_FALSE(fs::exists(d / "out" / "f.txt"));
                 EXPECT_EQ(ReadText(d / "out" / "g.txt"), Compressible(3000));
               }});
  c.push_back({"MethodOnTest", UNLHA_ERROR_METHOD, [](const fs::path& d) {
                 MakeForeignMethodArchive(d);
                 return Prepared{{"t", "OLD.LZH"}};
               }});
  c.push_back({"MethodOnExtraction", UNLHA_ERROR_METHOD,
               [](const fs::path& d) {
                 MakeForeignMethodArchive(d);
                 return Prepared{{"x", "OLD.LZH", "out\\"}};
               },
               Runner::kInProcess,
               [](const fs::path& d) {
                 EXPECT_FALSE(fs::exists(d / "out" / "old.dat"));
                 EXPECT_EQ(ReadText(d / "out" / "ready.txt"), "ready\n");
               }});

  // --- Sources ---
  c.push_back({"MissingSource", UNLHA_ERROR_NOT_EXIST,
               [](const fs::path& d) {
                 WriteText(d / "f.txt", "f\n");
                 return Prepared{{"a", "B.LZH", "missing.txt", "f.txt"}};
               },
               Runner::kInProcess,
               [](const fs::path& d) {
                 EXPECT_EQ(ListedNames(d / "B.LZH"), std::set<std::string>{"f.txt"});
               }});
  // Names that exist but give nothing to pack must not end in success with nothing packed.
  const auto no_archive = [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "B.LZH")); };
  c.push_back({"FolderWithoutRecursion", UNLHA_ERROR_NOT_EXIST,
               [](const fs::path& d) {
                 WriteText(d / "sub" / "in.txt", "in\n");
                 WriteText(d / "f.txt", "f\n");
                 return Prepared{{"u", "B.LZH", "sub", "f.txt"}};
               },
               Runner::kInProcess,
               [](const fs::path& d) {
                 EXPECT_EQ(ListedNames(d / "B.LZH"), std::set<std::string>{"f.txt"});
               }});
  c.push_back({"WildcardMatchingOnlyFolders", UNLHA_ERROR_NOT_EXIST,
               [](const fs::path& d) {
                 WriteText(d / "data" / "sub" / "in.txt", "in\n");
                 return Prepared{{"u", "B.LZH", "data\\*"}};
               },
               Runner::kInProcess, no_archive});
  c.push_back({"NoNamesAtAll", UNLHA_ERROR_NOT_EXIST,
               [](const fs::path& d) {
                 WriteText(d / "empty.lst", "\r\n\r\n");
                 return Prepared{{"u", "B.LZH", "@empty.lst"}};
               },
               Runner::kInProcess, no_archive});
  c.push_back({"HiddenFileWithoutA1", UNLHA_ERROR_NOT_EXIST,
               [](const fs::path& d) {
                 WriteText(d / ".profile", "p\n");
                 return Prepared{{"u", "B.LZH", ".profile"}};
               },
               Runner::kInProcess, no_archive});
  c.push_back({"MissingListFile", UNLHA_ERROR_NOT_EXIST, [](const fs::path&) {
                 return Prepared{{"a", "B.LZH", "@nolist.txt"}};
               }});
  c.push_back({"FifoSource", UNLHA_ERROR_FILE_OPEN,
               [](const fs::path& d) {
                 WriteText(d / "f.txt", "f\n");
                 ::mkfifo((d / "fifo").c_str(), 0644);
                 return Prepared{{"a", "-a1", "B.LZH", "fifo", "f.txt"}};
               },
               Runner::kInProcess,
               [](const fs::path& d) {
                 EXPECT_EQ(ListedNames(d / "B.LZH"), std::set<std::string>{"f.txt"});
               }});
  c.push_back({"UnreadableSource", UNLHA_ERROR_FILE_OPEN,
               [](const fs::path& d) {
                 fs::permissions(d, fs::perms::all);
                 WriteText(d / "f.txt", "f\n");
                 WriteText(d / "secret.txt", "s\n");
                 fs::permissions(d / "secret.txt", fs::perms::owner_read | fs::perms::owner_write);
                 return Prepared{{"a", "B.LZH", "secret.txt", "f.txt"}};
               },
               Runner::kNobody,
               [](const fs::path& d) {
                 EXPECT_EQ(ListedNames(d / "B.LZH"), std::set<std::string>{"f.txt"});
               }});
  c.push_back({"UnwritableDestination", UNLHA_ERROR_FILE_OPEN,
               [](const fs::path& d) {
                 MakeArchive(d);
                 fs::permissions(d, fs::perms::owner_all | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
                 fs::create_directories(d / "ro");
                 fs::permissions(d / "ro", fs::perms::owner_all | fs::perms::others_read |
                                               fs::perms::others_exec);
                 return Prepared{{"x", "A.LZH", "ro\\"}};
               },
               Runner::kNobody, [](const fs::path& d) { EXPECT_TRUE(fs::is_empty(d / "ro")); }});
  c.push_back({"SameStoredNameTwice", UNLHA_ERROR_ALREADY_EXIST,
               [](const fs::path& d) {
                 WriteText(d / "one" / "same.txt", "first\n");
                 WriteText(d / "two" / "same.txt", "second\n");
                 return Prepared{{"a", "-x0", "B.LZH", "one\\same.txt", "two\\same.txt"}};
               },
               Runner::kInProcess,
               [](const fs::path& d) {
                 const ProcessResult x = RunUnlha({"x", "B.LZH", "check/"}, InFolder(d));
                 EXPECT_EQ(x.exit_code, 0) << x.out;
                 EXPECT_EQ(ReadText(d / "check" / "same.txt"), "first\n");
               }});

  // --- Extraction ---
  c.push_back({"ExistingFileOnExtraction", UNLHA_ERROR_ALREADY_EXIST,
               [](const fs::path& d) {
                 MakeArchive(d);
                 WriteText(d / "out" / "f.txt", "mine\n");
                 return Prepared{{"x", "A.LZH", "out\\"}};
               },
               Runner::kInProcess,
               [](const fs::path& d) {
                 EXPECT_EQ(ReadText(d / "out" / "f.txt"), "mine\n");
                 EXPECT_EQ(ReadText(d / "out" / "g.txt"), Compressible(3000));
               }});
  c.push_back(
      {"FileWhereAFolderMustGo", UNLHA_ERROR_MAKE_DIRECTORY,
       [](const fs::path& d) {
         WriteText(d / "sub" / "f.txt", "f\n");
         EXPECT_EQ(Call("a -x1 S.LZH sub\\f.txt").code, 0);
         WriteText(d / "out" / "sub", "a file in the way\n");
         return Prepared{{"x", "S.LZH", "out\\"}};
       },
       Runner::kInProcess,
       [](const fs::path& d) { EXPECT_EQ(ReadText(d / "out" / "sub"), "a file in the way\n"); }});
  c.push_back({"DestinationIsAFile", UNLHA_ERROR_MAKE_DIRECTORY, [](const fs::path& d) {
                 MakeArchive(d);
                 return Prepared{{"x", "A.LZH", "f.txt\\"}};
               }});

  // --- Writing ---
  c.push_back({"ArchiveWriteError", UNLHA_ERROR_CANNOT_WRITE,
               [](const fs::path& d) {
                 MakeArchive(d);
                 WriteText(d / "big.bin", Random(300000, 42));
                 WriteText(d / "A.BYTES", ReadText(d / "A.LZH"));
                 return Prepared{{"a", "A.LZH", "big.bin"}};
               },
               Runner::kSmallFiles,
               [](const fs::path& d) {
                 EXPECT_TRUE(ReadText(d / "A.LZH") == ReadText(d / "A.BYTES"));
                 ExpectNoTemporaryFiles(d, "A.LZH");
               }});
  c.push_back({"ExtractionWriteError", UNLHA_ERROR_CANNOT_WRITE,
               [](const fs::path& d) {
                 WriteText(d / "big.bin", Random(300000, 42));
                 EXPECT_EQ(Call("a B.LZH big.bin").code, 0);
                 return Prepared{{"x", "B.LZH", "out\\"}};
               },
               Runner::kSmallFiles,
               [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "out" / "big.bin")); }});
  c.push_back({"NoSpaceForTheArchive", UNLHA_ERROR_DISK_SPACE,
               [](const fs::path& d) {
                 Prepared p;
                 p.keep = MountSmallDisk(d, &p.skip);
                 if (!p.keep) return p;
                 WriteText(d / "f.txt", "f\n");
                 EXPECT_EQ(Call("a small\\A.LZH f.txt").code, 0);
                 WriteText(d / "A.BYTES", ReadText(d / "small" / "A.LZH"));
                 WriteText(d / "big.bin", Random(400000, 42));
                 p.args = {"a", "small\\A.LZH", "big.bin"};
                 return p;
               },
               Runner::kInProcess,
               [](const fs::path& d) {
                 EXPECT_TRUE(ReadText(d / "small" / "A.LZH") == ReadText(d / "A.BYTES"));
                 ExpectNoTemporaryFiles(d / "small", "A.LZH");
               }});
  c.push_back(
      {"NoSpaceForExtraction", UNLHA_ERROR_DISK_SPACE,
       [](const fs::path& d) {
         Prepared p;
         p.keep = MountSmallDisk(d, &p.skip);
         if (!p.keep) return p;
         WriteText(d / "big.bin", Random(400000, 42));
         EXPECT_EQ(Call("a B.LZH big.bin").code, 0);
         p.args = {"x", "B.LZH", "small\\out\\"};
         return p;
       },
       Runner::kInProcess,
       [](const fs::path& d) { EXPECT_FALSE(fs::exists(d / "small" / "out" / "big.bin")); }});
  c.push_back({"TemporaryFileCannotBeCreated", UNLHA_ERROR_TEMP_FILE,
               [](const fs::path& d) {
                 fs::permissions(d, fs::perms::all);
                 WriteText(d / "f.txt", "f\n");
                 WriteText(d / "ro" / "x.txt", "x\n");
                 EXPECT_EQ(Call("a ro\\A.LZH ro\\x.txt").code, 0);
                 WriteText(d / "A.BYTES", ReadText(d / "ro" / "A.LZH"));
                 fs::permissions(d / "ro", fs::perms::owner_all | fs::perms::others_read |
                                               fs::perms::others_exec);
                 return Prepared{{"a", "ro\\A.LZH", "f.txt"}};
               },
               Runner::kNobody,
               [](const fs::path& d) {
                 EXPECT_TRUE(ReadText(d / "ro" / "A.LZH") == ReadText(d / "A.BYTES"));
               }});

  // --- Another command holds the archive ---
  for (const char* command : {"u", "t", "x"}) {
    c.push_back({std::string("ArchiveInUse_") + command, UNLHA_ERROR_ALREADY_RUNNING,
                 [command](const fs::path& d) {
                   MakeArchive(d);
                   WriteText(d / "A.BYTES", ReadText(d / "A.LZH"));
                   WriteText(d / "new.txt", "new\n");
                   auto holder = std::make_shared<LockHolder>(d / "A.LZH");
                   EXPECT_TRUE(holder->locked());
                   const std::string last = std::string(command) == "u" ? "new.txt" : "out\\";
                   return Prepared{{command, "A.LZH", last}, holder};
                 },
                 Runner::kInProcess,
                 [](const fs::path& d) {
                   EXPECT_TRUE(ReadText(d / "A.LZH") == ReadText(d / "A.BYTES"));
                   EXPECT_FALSE(fs::exists(d / "out" / "f.txt"));
                 }});
  }
  return c;
}

std::function<bool()> Preparation(Runner runner) {
  switch (runner) {
    case Runner::kNobody:
      return [] { return DropToNobody(); };
    case Runner::kSmallFiles:
      return [] {
        const rlimit small{64 << 10, 64 << 10};
        return ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &small) == 0;
      };
    default:
      return nullptr;
  }
}

class ResultCode : public ::testing::TestWithParam<CodeCase> {
 protected:
  CallResult Invoke(const CodeCase& c, const Prepared& p, const fs::path& dir, uint32_t size) {
    const std::string line = JoinArgs(p.args);
    if (c.runner == Runner::kInProcess) return Call(line, size);
    return CallInChild(line, size, dir, Preparation(c.runner));
  }
};

TEST_P(ResultCode, ThroughTheCInterfaceAndTheProgram) {
  const CodeCase& c = GetParam();
  CallResult full;
  {
    TempDir dir(/*enter=*/true);
    const Prepared p = c.setup(dir.path());
    if (!p.skip.empty()) GTEST_SKIP() << p.skip;
    full = Invoke(c, p, dir.path(), 1 << 16);
    EXPECT_EQ(full.code, c.code) << JoinArgs(p.args) << "\n" << full.output;
    EXPECT_NE(full.output.find("error"), std::string::npos) << full.output;
    if (c.after) c.after(dir.path());
  }
  // A small buffer holds the start of the same text and its NUL, and nothing past its size.
  for (uint32_t size : {1u, 2u, 10u}) {
    SCOPED_TRACE("buffer of " + std::to_string(size) + " bytes");
    TempDir dir(/*enter=*/true);
    const Prepared p = c.setup(dir.path());
    const CallResult small = Invoke(c, p, dir.path(), size);
    EXPECT_EQ(small.code, c.code);
    EXPECT_LE(small.output.size(), size - 1);
    EXPECT_EQ(full.output.substr(0, small.output.size()), small.output);
  }
  // build/unlha: exit status 1, the code and its message on standard error, the log on stdout.
  if (c.runner == Runner::kNobody && !NobodyCanRunUnlha())
    GTEST_SKIP() << "user nobody cannot reach " << QUILLORY_UNLHA << "; checked the C interface";
  TempDir dir(/*enter=*/true);
  const Prepared p = c.setup(dir.path());
  ProcessOptions options;
  options.cwd = dir.path();
  options.as_nobody = c.runner == Runner::kNobody;
  if (c.runner == Runner::kSmallFiles) {
    options.before_exec = [] {
      const rlimit small{64 << 10, 64 << 10};
      ::signal(SIGXFSZ, SIG_IGN);
      ::setrlimit(RLIMIT_FSIZE, &small);
    };
  }
  const ProcessResult r = RunUnlha(p.args, options);
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(r.err, UnlhaErrorLine(c.code));
  EXPECT_EQ(FirstLine(r.out), FirstLine(full.output));
  if (c.after) c.after(dir.path());
}

INSTANTIATE_TEST_SUITE_P(Library, ResultCode, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

// A second call in the same process while a command runs gets 32799 at once, and
// UnlhaGetRunning reports the running command.
TEST(ResultCodeInProcess, SecondCallWhileOneRuns) {
  TempDir dir(/*enter=*/true);
  WriteText(dir.path() / "big.txt", Compressible(12 << 20));
  ASSERT_EQ(UnlhaGetRunning(), 0);
  std::atomic<bool> done{false};
  int32_t first = -1;
  std::thread worker([&] {
    first = Call("a BIG.LZH big.txt").code;
    done = true;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!UnlhaGetRunning() && !done && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  const bool seen_running = UnlhaGetRunning() != 0;
  const CallResult second = Call("l BIG.LZH", 10);
  const bool overlapped = !done;
  worker.join();
  EXPECT_EQ(first, 0);
  EXPECT_EQ(UnlhaGetRunning(), 0);
  ASSERT_TRUE(seen_running) << "the first command was never seen running";
  if (!overlapped) GTEST_SKIP() << "the first command ended before the second call was made";
  EXPECT_EQ(second.code, UNLHA_ERROR_ALREADY_RUNNING);
  EXPECT_EQ(Call("l BIG.LZH").code, 0);
}

// Background mode runs the command on a thread of its own: the same results, and the caller's
// thread keeps its priority.
TEST(ResultCodeInProcess, BackgroundModeGivesTheSameResults) {
  TempDir dir(/*enter=*/true);
  WriteText(dir.path() / "f.txt", "f\n");
  UnlhaSetBackGroundMode(1);
  const int before = ::getpriority(PRIO_PROCESS, 0);
  const CallResult made = Call("a A.LZH f.txt");
  const CallResult missing = Call("a A.LZH missing.txt");
  const int after = ::getpriority(PRIO_PROCESS, 0);
  UnlhaSetBackGroundMode(0);
  EXPECT_EQ(made.code, 0) << made.output;
  EXPECT_EQ(missing.code, UNLHA_ERROR_NOT_EXIST);
  EXPECT_EQ(before, after);
  EXPECT_EQ(ListedNames(dir.path() / "A.LZH"), std::set<std::string>{"f.txt"});
}

}  // namespace
}  // namespace lha_library_testing
