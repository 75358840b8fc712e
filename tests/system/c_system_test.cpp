#include "system/c_system.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/runtime.h"
#include "platform/text.h"
#include "support/fake_platform.h"

namespace {

// Fills the folder buffers with a text, its NUL and junk after it.
class FolderPlatform : public testing_support::FakePlatform {
 public:
  uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) override {
    return Fill(buffer, size, "/usr", "JUNK");
  }
  uint32_t GetSystemDirectoryA(char* buffer, uint32_t size) override {
    return Fill(buffer, size, platform::ToAnsi(L"/lib/システム"), "MORE");
  }
  uint32_t last_size = 0;

 private:
  uint32_t Fill(char* buffer, uint32_t size, const std::string& text, const std::string& junk) {
    last_size = size;
    std::memset(buffer, 'x', size);  // nothing of the rest may come back
    const std::string bytes = text + '\0' + junk;
    std::memcpy(buffer, bytes.data(), bytes.size());
    return static_cast<uint32_t>(text.size());
  }
};

TEST(CSystem, OSVersionIsMajorTimes100PlusMinor) {
  const struct {
    uint32_t major, minor;
    int16_t version;
  } cases[] = {{3, 51, 351}, {4, 0, 400}, {4, 10, 410}, {6, 1, 601}, {327, 67, 32767}};
  for (const auto& c : cases) {
    testing_support::FakePlatform os;
    os.os_major = c.major;
    os.os_minor = c.minor;
    EXPECT_EQ(sys::cSystem(os).OSVersion(), c.version) << c.major << "." << c.minor;
  }
}

TEST(CSystem, OSVersionOverflowsOutside16Bits) {
  const struct {
    uint32_t major, minor;
  } cases[] = {{327, 68}, {400, 0}, {0x7FFFFFFF, 0}, {21474837, 0}};
  for (const auto& c : cases) {
    testing_support::FakePlatform os;
    os.os_major = c.major;
    os.os_minor = c.minor;
    try {
      sys::cSystem(os).OSVersion();
      ADD_FAILURE() << c.major << "." << c.minor << " must overflow";
    } catch (const platform::RuntimeError& e) {
      EXPECT_EQ(e.Kind(), platform::ErrorKind::kOverflow);
    }
  }
}

TEST(CSystem, FoldersEndAtTheFirstNul) {
  FolderPlatform os;
  sys::cSystem system(os);
  EXPECT_EQ(system.WindowsDirectory(), L"/usr");
  EXPECT_EQ(os.last_size, 512u);
  EXPECT_EQ(system.SystemDirectory(), L"/lib/システム");
  EXPECT_EQ(system.PlatformId(), 2);
}

}  // namespace
