// A fresh folder for one test, removed with everything in it afterwards. While it lives it can
// also be the current folder, so that relative Windows paths in a test resolve inside it.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/files.h"

namespace testing_support {

class TempDir {
 public:
  explicit TempDir(bool enter = false,
                   const std::filesystem::path& parent = std::filesystem::temp_directory_path()) {
    std::string tmpl = (parent / "quillory-test-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
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
  std::string str() const { return path_.string(); }

  // Writes `content` to the file `relative` (folders made as needed); returns its path.
  std::filesystem::path Write(const std::string& relative, const std::string& content) const {
    const auto p = path_ / relative;
    WriteText(p, content);
    return p;
  }
  std::filesystem::path MakeDir(const std::string& relative) const {
    const auto p = path_ / relative;
    std::filesystem::create_directories(p);
    return p;
  }
  std::string Read(const std::string& relative) const { return ReadText(path_ / relative); }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

}  // namespace testing_support
