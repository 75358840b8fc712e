// Every file of tests/data/lzh/bad/ and tests/data/lzh/regression/ against the result code its
// README row gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "support/archive_tables.h"
#include "test_support.h"

namespace lha::format {
namespace {

namespace fs = std::filesystem;

void CheckFolder(const std::string& name) {
  const fs::path folder = testing_support::ArchiveFolder(name);
  const std::map<std::string, int32_t> table = testing_support::ArchiveTable(folder);
  ASSERT_FALSE(table.empty()) << "no rows in " << folder / "README.md";
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string file = e.path().filename().string();
    if (file == "README.md" || file == "make.py") continue;
    ++files;
    const auto row = table.find(file);
    if (row == table.end()) {
      ADD_FAILURE() << file << " has no README row";
      continue;
    }
    const testing::Walk w = testing::WalkArchive(testing::ReadBytes(e.path()));
    EXPECT_EQ(w.code, row->second) << file << ": " << w.detail;
  }
  EXPECT_EQ(files, table.size()) << "README rows without a file in " << folder;
}

TEST(MalformedArchives, EachGivesItsCode) {
  CheckFolder("bad");
}
TEST(RegressionArchives, EachGivesItsCode) {
  CheckFolder("regression");
}

}  // namespace
}  // namespace lha::format
