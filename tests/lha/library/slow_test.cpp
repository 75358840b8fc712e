// Large files on tmpfs (ctest label "slow"): packing and extracting a 1 GiB file stay within a
// small, fixed amount of memory.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

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
  const ProcessResult pack = RunUnlha({"a", archive.string(), big.string()});
  ASSERT_EQ(pack.exit_code, 0) << pack.out << pack.err;
  fs::remove(big);
  const ProcessResult unpack =
      RunUnlha({"x", archive.string(), (shm.path() / "out").string() + "/"});
  ASSERT_EQ(unpack.exit_code, 0) << unpack.out << unpack.err;
  EXPECT_EQ(fs::file_size(shm.path() / "out" / "big.bin"), 1ull << 30);
  std::printf("peak resident memory: packing %ld KiB, extracting %ld KiB\n", pack.max_rss_kb,
              unpack.max_rss_kb);
  EXPECT_LT(pack.max_rss_kb, 32 * 1024);
  EXPECT_LT(unpack.max_rss_kb, 32 * 1024);
}

}  // namespace
}  // namespace lha_library_testing
