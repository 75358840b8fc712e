// Every file of tests/data/lzh/bad/ and tests/data/lzh/regression/ against the result code its
// README row gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "test_support.h"

namespace lha::format {
namespace {

namespace fs = std::filesystem;

// Rows of the form "| `file` | code | ..." of a README table.
std::map<std::string, int32_t> ReadTable(const fs::path& readme) {
  std::map<std::string, int32_t> rows;
  std::ifstream in(readme);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("| `", 0) != 0) continue;
    const size_t name_end = line.find("` | ", 3);
    if (name_end == std::string::npos) continue;
    const std::string code = line.substr(name_end + 4, line.find(' ', name_end + 4) - name_end - 4);
    if (code.empty() || code.find_first_not_of("0123456789") != std::string::npos) continue;
    rows[line.substr(3, name_end - 3)] = std::stoi(code);
  }
  return rows;
}

void CheckFolder(const std::string& name) {
  const fs::path folder = fs::path(QUILLORY_SOURCE_DIR) / "tests/data/lzh" / name;
  const std::map<std::string, int32_t> table = ReadTable(folder / "README.md");
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
    const testing::Walk w = testing::WalkArchive(testing::ReadFileBytes(e.path()));
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
