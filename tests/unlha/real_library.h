// cUnLHA bound to the real libunlha32.so, and its listing as comparable paths.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/text.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"
#include "unlha/cunlha.h"

namespace unlha_real {

// What the listing shows: FilePath and FileName joined, "\" turned into "/", without the root.
inline std::set<std::string> CUnlhaListing(unlha::cUnLHA& lha, int16_t count) {
  std::set<std::string> names;
  for (int16_t i = 0; i < count; ++i) {
    std::string path = platform::ToUtf8(lha.FilePath(i) + lha.FileName(i));
    for (auto& c : path)
      c = c == '\\' ? '/' : c;
    names.insert(path[0] == '/' ? path.substr(1) : path);
  }
  return names;
}

class RealLibrary : public ::testing::Test {
 protected:
  RealLibrary() { os_.library_path = QUILLORY_REAL_UNLHA32; }
  testing_support::FakePlatform os_;
  testing_support::TempDir dir_;
};

}  // namespace unlha_real
