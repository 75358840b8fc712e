// Fuzz target: the listing functions of libunlha32.so's C interface on arbitrary bytes as an
// archive file, called as cUnLHA calls them (open, "*.*" first and next, close), then walked
// again with another pattern and checked both ways. The result codes are the library's way to
// refuse input; a crash, a sanitizer report or a broken invariant below is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/temp_dir.h"
#include "unlha32.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// Walks every entry matching `wildcard`; returns how the walk ended: -1 after the last entry,
// otherwise the error code that stopped it.
int32_t Walk(UNLHA_HARC harc, const char* wildcard) {
  INDIVIDUALINFO info;
  int32_t result = UnlhaFindFirst(harc, wildcard, &info);
  while (result == 0)
    result = UnlhaFindNext(harc, &info);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const testing_support::TempDir dir;
  const std::string path =
      dir.Write("archive.lzh", std::string(reinterpret_cast<const char*>(data), size)).string();

  bool listed_whole = false;
  if (const UNLHA_HARC harc = UnlhaOpenArchive(0, path.c_str(), 0)) {
    const int32_t end = Walk(harc, "*.*");
    // FindFirst starts the walk afresh: a walk that selects other entries meets the same end.
    Check(Walk(harc, "?*.T?T") == end);
    Check(UnlhaCloseArchive(harc) == 0);
    listed_whole = end == -1;
  }
  // The check walks the same headers as the listing, and the listing of every header that can
  // be read must succeed: both see the same archive or neither does.
  const bool headers_good = UnlhaCheckArchive(path.c_str(), 0) != 0;
  Check(headers_good == listed_whole);
  // Unpacking every entry reads every header first.
  Check(!UnlhaCheckArchive(path.c_str(), 1) || headers_good);
  return 0;
}
