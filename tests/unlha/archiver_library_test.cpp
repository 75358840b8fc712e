// The binding to the archiver library by name.
#include "unlha/archiver_library.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "support/fake_platform.h"
#include "support/fake_unlha32/fake_unlha32_control.h"

namespace {

using ::testing::ElementsAre;

// A platform whose library search reports a path too long for the buffer by the size it needs,
// as the Windows search and the POSIX stand-in both do.
class LongPathPlatform : public testing_support::FakePlatform {
 public:
  uint32_t SearchPathA(const char*, const char*, const char*, uint32_t buffer_length, char* buffer,
                       char**) override {
    if (library_path.size() + 1 > buffer_length)
      return static_cast<uint32_t>(library_path.size() + 1);
    std::memcpy(buffer, library_path.c_str(), library_path.size() + 1);
    return static_cast<uint32_t>(library_path.size());
  }
};

TEST(ArchiverLibraryTest, LibraryOnALongPathIsFoundWithALargerBuffer) {
  namespace fs = std::filesystem;
  const fs::path top =
      fs::temp_directory_path() / ("quillory-unlha-" + std::to_string(std::random_device{}()));
  fs::path folder = top;
  for (int level = 0; level < 4; ++level)
    folder /= std::string(180, 'd');
  fs::create_directories(folder);
  const fs::path link = folder / "libunlha32.so";
  fs::create_symlink(QUILLORY_FAKE_UNLHA32, link);

  LongPathPlatform os;
  os.library_path = link.string();
  ASSERT_GT(os.library_path.size(), 600u);
  testing_support::FakeUnlha32 fake(QUILLORY_FAKE_UNLHA32);
  fake.Script().version = 123;
  unlha::ArchiverLibrary library(os);
  EXPECT_EQ(UNLHA_ENTRY(library, UnlhaGetVersion)(), 123);
  EXPECT_THAT(os.loaded_libraries, ElementsAre(link.string()));
  fs::remove_all(top);
}

}  // namespace
