// build/unlha as a person uses it: what it prints for archives of any size.
#include <gtest/gtest.h>

#include "library_support.h"
#include "support/temp_dir.h"

namespace lha_library_testing {
namespace {

using testing_support::TempDir;

// A backup of some thousands of files lists more than a megabyte of text: all of it is shown.
TEST(Program, ListsEveryEntryOfALargeArchive) {
  TempDir tmp(/*enter=*/true);
  constexpr int kFiles = 15000;
  fs::create_directories("many");
  for (int i = 0; i < kFiles; ++i)
    std::ofstream("many/file-with-a-longish-name-" + std::to_string(i) + ".txt");
  const CallResult made = Call("a -r1 -x1 BIG.LZH many\\ *.*", 1 << 10);
  ASSERT_EQ(made.code, 0) << made.output;
  const ProcessResult r = RunUnlha({"l", "BIG.LZH"}, InFolder(tmp.path()));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const auto lines = Lines(r.out);
  ASSERT_GT(r.out.size(), 1u << 20);
  EXPECT_EQ(lines.size(), kFiles + 2u);  // a heading, the entries, a summary
  EXPECT_EQ(lines.back().rfind(std::to_string(kFiles) + " entries, ", 0), 0u) << lines.back();
}

}  // namespace
}  // namespace lha_library_testing
