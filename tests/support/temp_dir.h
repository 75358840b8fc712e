// A fresh folder for one test, removed with everything in it afterwards. While it lives it can
// also be the current folder, so that relative Windows paths in a test resolve inside it.
#pragma once

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>

#include "support/files.h"

namespace testing_support {

class TempDir {
 public:
  explicit TempDir(bool enter = false,
                   const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
    // A name nobody else has: create_directory fails on one that exists.
    std::random_device seed;
    for (int attempt = 0; path_.empty(); ++attempt) {
      if (attempt == 100) throw std::runtime_error("no temporary folder in " + parent.string());
      const auto candidate = parent / ("quillory-test-" + std::to_string(seed()));
      if (std::filesystem::create_directory(candidate)) path_ = candidate;
    }
    if (enter) {
      previous_ = std::filesystem::current_path();
      std::filesystem::current_path(path_);
    }
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    if (!previous_.empty()) std::filesystem::current_path(previous_);
    std::error_code ec;
    // Folders made read-only by a test must become writable again to be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
  }

  const std::filesystem::path& path() const { return path_; }
  // The folder's path in UTF-8, as Env paths are.
  std::string str() const {
    const std::u8string u8 = path_.u8string();
    return std::string(u8.begin(), u8.end());
  }

  // Writes `content` to the file `relative` (folders made as needed); returns its path.
  std::filesystem::path Write(const std::string& relative, const std::string& content) const {
    const auto p = path_ / Utf8(relative);
    WriteText(p, content);
    return p;
  }
  std::filesystem::path MakeDir(const std::string& relative) const {
    const auto p = path_ / Utf8(relative);
    std::filesystem::create_directories(p);
    return p;
  }
  std::string Read(const std::string& relative) const { return ReadText(path_ / Utf8(relative)); }

 private:
  // A relative path given in UTF-8 (a narrow string is not UTF-8 to std::filesystem on Windows).
  static std::filesystem::path Utf8(const std::string& relative) {
    return std::filesystem::path(std::u8string(relative.begin(), relative.end()));
  }

  std::filesystem::path path_;
  std::filesystem::path previous_;
};

}  // namespace testing_support
