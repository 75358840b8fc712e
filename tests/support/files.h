// Whole files on disk, for tests: read in one piece, written with the folders above them made.
// Paths are std::filesystem paths, so how a narrow name becomes one stays the caller's choice.
// Failures are not reported here: a file that cannot be read reads as empty, and a write that
// fails leaves the file missing or short, which the test's own checks then show.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// The bytes of the file `path`, as they are (no newline translation).
inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

// Replaces the file `path` by `content`, making the folders above it first.
inline void WriteText(const std::filesystem::path& path, std::string_view content) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(content.data(), static_cast<std::streamsize>(content.size()));
}

inline void WriteBytes(const std::filesystem::path& path, std::span<const uint8_t> content) {
  WriteText(path, std::string_view(reinterpret_cast<const char*>(content.data()), content.size()));
}

}  // namespace testing_support
