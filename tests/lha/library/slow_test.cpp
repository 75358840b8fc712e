// Large archives on tmpfs (ctest label "slow"): u killed with SIGKILL at several points leaves
// the old archive as it was, and what it leaves behind is never packed; packing and extracting
// a 1 GiB file stay within a small, fixed amount of memory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/statvfs.h>

#include <chrono>
#include <random>
#include <thread>

#include "library_support.h"

namespace lha_library_testing {
namespace {

// A fresh folder on /dev/shm, removed afterwards; empty path when there is no room there.
class ShmDir {
 public:
  explicit ShmDir(uint64_t needed) {
    struct statvfs st;
    if (::statvfs("/dev/shm", &st) != 0 ||
        static_cast<uint64_t>(st.f_bavail) * st.f_frsize < needed)
      return;
    std::string tmpl = "/dev/shm/quillory-slow-XXXXXX";
    if (::mkdtemp(tmpl.data())) path_ = tmpl;
  }
  ~ShmDir() {
    std::error_code ec;
    if (!path_.empty()) fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void WriteRandomFile(const fs::path& p, size_t size, uint32_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<uint64_t> block(1 << 17);
  std::ofstream out(p, std::ios::binary);
  for (size_t done = 0; done < size; done += block.size() * 8) {
    for (auto& w : block)
      w = rng();
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(std::min(block.size() * 8, size - done)));
  }
}

bool SameBytes(const fs::path& a, const fs::path& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  std::vector<char> ba(1 << 20), bb(1 << 20);
  while (true) {
    fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
    fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
    if (fa.gcount() != fb.gcount()) return false;
    if (fa.gcount() == 0) return true;
    if (!std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin())) return false;
  }
}

// The size of the largest temporary file of the archive; -1 when there is none.
int64_t TemporarySize(const fs::path& dir, const std::string& archive_name) {
  int64_t size = -1;
  for (const auto& name : NamesStartingWith(dir, "." + archive_name + ".")) {
    std::error_code ec;
    const auto n = fs::file_size(dir / name, ec);
    if (!ec) size = std::max<int64_t>(size, static_cast<int64_t>(n));
  }
  return size;
}

// Starts build/unlha and kills it with SIGKILL once a temporary file of the archive holds
// `kill_at` bytes; false when it ended before that.
bool KillWhenTemporaryReaches(const std::vector<std::string>& args, const fs::path& out_dir,
                              const std::string& archive_name, uint64_t kill_at) {
  std::vector<std::string> argv{QUILLORY_UNLHA};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (auto& a : argv)
    cargv.push_back(a.data());
  cargv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null_fd = ::open("/dev/null", O_WRONLY);
    ::dup2(null_fd, 1);
    ::execv(cargv[0], cargv.data());
    ::_exit(127);
  }
  bool killed = false;
  while (true) {
    int status;
    if (::waitpid(pid, &status, WNOHANG) == pid) break;
    if (TemporarySize(out_dir, archive_name) >= static_cast<int64_t>(kill_at)) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      killed = WIFSIGNALED(status);
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return killed;
}

// The backed-up folder holds the output folder: whatever a killed u leaves there lies in the
// way of the next one.
TEST(KilledUpdate, OldArchiveStaysAndLeftoversAreNeverPacked) {
  ShmDir shm(3ull << 30);
  if (shm.path().empty()) GTEST_SKIP() << "needs 3 GiB free on the tmpfs /dev/shm";
  const fs::path tree = shm.path() / "TREE";
  const fs::path out = tree / "OUT";
  fs::create_directories(out);
  for (int i = 0; i < 4; ++i)
    WriteRandomFile(tree / ("part" + std::to_string(i)), 64 << 20, i);
  WriteText(tree / "small.txt", "small\n");
  const fs::path archive = out / "BIG.LZH";
  const fs::path list = shm.path() / "list.txt";
  WriteText(list, "\r\n" + Win(tree) + "\\..\\ TREE\\*.*\r\n");
  // Stored (-o0): the random parts would not pack anyway.
  const std::vector<std::string> update{"u",    "-+",         "-a1",          "-x1", "-f0",
                                        "-jm2", "-jp1",       "-x1",          "-r2", "-a1",
                                        "-o0",  Win(archive), "@" + Win(list)};
  ProcessResult r = RunUnlha(update);
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  const ProcessResult tested = RunUnlha({"t", archive.string()});
  ASSERT_EQ(tested.exit_code, 0) << tested.out << tested.err;
  const uint64_t size = fs::file_size(archive);
  const fs::path saved = shm.path() / "saved.lzh";
  fs::copy_file(archive, saved);
  // A private archive: nothing the commands write beside it may show others its data.
  const auto kPrivate = fs::perms::owner_read | fs::perms::owner_write;
  fs::permissions(archive, kPrivate);

  int kills = 0;
  for (const double point : {0.0, 0.3, 0.6, 0.95}) {
    SCOPED_TRACE("killed at " + std::to_string(point));
    WriteText(tree / ("new" + std::to_string(kills) + ".txt"), "new\n");
    if (!KillWhenTemporaryReaches(update, out, "BIG.LZH", static_cast<uint64_t>(point * size)))
      continue;
    ++kills;
    // The archive is the old one, byte for byte, and that one was tested sound above.
    EXPECT_TRUE(SameBytes(archive, saved)) << "the old archive changed";
    EXPECT_FALSE(NamesStartingWith(out, ".BIG.LZH.").empty()) << "a killed u leaves its file";
    for (const auto& name : NamesStartingWith(out, ".BIG.LZH."))
      EXPECT_EQ(fs::status(out / name).permissions(), kPrivate) << name;
  }
  EXPECT_GE(kills, 2) << "too few kills landed inside the command";

  // The next u packs the new files, none of the leftovers, and clears them away.
  r = RunUnlha(update);
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  for (const auto& name : ListedNames(archive))
    EXPECT_EQ(name.find(".BIG.LZH."), std::string::npos) << name << " was packed";
  EXPECT_TRUE(ListedNames(archive).count("TREE/new0.txt"));
  EXPECT_EQ(NamesStartingWith(out, ".BIG.LZH."), std::vector<std::string>{});
  EXPECT_EQ(fs::status(archive).permissions(), kPrivate);
  const ProcessResult t = RunUnlha({"t", archive.string()});
  EXPECT_EQ(t.exit_code, 0) << t.out << t.err;
}

// A creation killed half-way leaves no archive at all, only its temporary file.
TEST(KilledUpdate, KilledCreationLeavesNoArchive) {
  ShmDir shm(1ull << 30);
  if (shm.path().empty()) GTEST_SKIP() << "needs 1 GiB free on the tmpfs /dev/shm";
  WriteRandomFile(shm.path() / "part", 128 << 20, 7);
  const fs::path archive = shm.path() / "NEW.LZH";
  const std::vector<std::string> add{"a", "-o0", archive.string(), (shm.path() / "part").string()};
  ASSERT_TRUE(KillWhenTemporaryReaches(add, shm.path(), "NEW.LZH", 64 << 20))
      << "the command ended before it could be killed";
  EXPECT_FALSE(fs::exists(archive));
  const ProcessResult r = RunUnlha(add);
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(NamesStartingWith(shm.path(), ".NEW.LZH."), std::vector<std::string>{});
  EXPECT_EQ(ListedNames(archive), std::set<std::string>{"part"});
}

// build/unlha run under peak_rss; its peak resident memory in KiB, or -1.
long PeakMemoryOf(const std::vector<std::string>& args, const fs::path& report) {
  std::vector<std::string> argv{QUILLORY_PEAK_RSS, report.string(), QUILLORY_UNLHA};
  argv.insert(argv.end(), args.begin(), args.end());
  const ProcessResult r = RunProcess(argv);
  EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
  long kib = -1;
  std::ifstream(report) >> kib;
  return kib;
}

// Peak memory (the kernel's maximum resident set, as /usr/bin/time -f %M reports it) of packing
// and of extracting one file of 1 GiB.
TEST(BoundedMemory, PackingAndExtractingOneGibibyte) {
  ShmDir shm(3ull << 30);
  if (shm.path().empty()) GTEST_SKIP() << "needs 3 GiB free on the tmpfs /dev/shm";
  const fs::path big = shm.path() / "big.bin";
  {
    std::ofstream(big, std::ios::binary);  // a sparse file of zeros: packs fast, fills nothing
  }
  fs::resize_file(big, 1ull << 30);
  const fs::path archive = shm.path() / "BIG.LZH";
  const long pack = PeakMemoryOf({"a", archive.string(), big.string()}, shm.path() / "rss");
  fs::remove(big);
  const long unpack = PeakMemoryOf({"x", archive.string(), (shm.path() / "out").string() + "/"},
                                   shm.path() / "rss");
  EXPECT_EQ(fs::file_size(shm.path() / "out" / "big.bin"), 1ull << 30);
  std::printf("peak resident memory: packing %ld KiB, extracting %ld KiB\n", pack, unpack);
  EXPECT_GT(pack, 0);
  EXPECT_GT(unpack, 0);
#ifdef QUILLORY_SANITIZED
  // Shadow memory and the quarantine of freed blocks are the sanitizer's, not the library's
  // (about 25 MiB here): the bound is the uninstrumented build's.
  return;
#endif
  EXPECT_LT(pack, 32 * 1024);
  EXPECT_LT(unpack, 32 * 1024);
}

}  // namespace
}  // namespace lha_library_testing
