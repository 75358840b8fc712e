// The README tables of tests/data/lzh/bad/ and tests/data/lzh/regression/: each damaged or
// once-mishandled archive with the result code it must give.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace testing_support {

// The folder of such archives in the source tree ("bad" or "regression").
inline std::filesystem::path ArchiveFolder(const std::string& name) {
  return std::filesystem::path(QUILLORY_SOURCE_DIR) / "tests/data/lzh" / name;
}

// Rows of the form "| `file` | code | ..." of the folder's README, by file name.
inline std::map<std::string, int32_t> ArchiveTable(const std::filesystem::path& folder) {
  std::map<std::string, int32_t> rows;
  std::ifstream in(folder / "README.md");
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

}  // namespace testing_support
