// cSystem on the POSIX stand-ins: the values they document for a system that is not Windows.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "system/c_system.h"

namespace {

TEST(CSystem, TheRealSystemAnswers) {
  auto os = platform::MakePlatform(platform::Env::Default(), 0, nullptr);
  sys::cSystem system(*os);
  EXPECT_GE(system.OSVersion(), 200);
  EXPECT_EQ(system.WindowsDirectory(), L"/usr");
  EXPECT_FALSE(system.SystemDirectory().empty());
  EXPECT_EQ(system.PlatformId(), 0x50534958);
}

}  // namespace
