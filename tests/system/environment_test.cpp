// The start-up environment check against the fake archiver library.
#include "system/environment.h"

#include <gtest/gtest.h>

#include "platform/runtime.h"
#include "support/fake_platform.h"
#include "support/fake_unlha32/fake_unlha32_control.h"
#include "support/temp_dir.h"

namespace {

using testing_support::Box;

const Box kOldSystemBox{L"Quillory は、 'Windows NT 3.51' では動作しません。", L"Quillory", 272};
const Box kMissingLibraryBox{L"Quillory には、 'UnLHA32.DLL' が必要なんですよ。\rヽ( ´ー｀)丿ﾌｯ",
                             L"Quillory", 16};
const Box kOldLibraryBox{
    L"UnLHA32.DLL は、Version 0.87 で動作確認しました。\r\r"
    L"これ未満のﾊﾞｰｼﾞｮﾝでの動作には、支障があるかもしれません。DLLのﾊﾞｰｼﾞｮﾝについて - Quillory",
    L"Quillory", 16};

class EnvironmentTest : public ::testing::Test {
 protected:
  EnvironmentTest() { os_.library_path = QUILLORY_FAKE_UNLHA32; }

  // The exit status when the check ends the process, or -1 when it returns true.
  int Check() {
    unlha::ArchiverLibrary library(os_);
    try {
      EXPECT_TRUE(sys::CheckEnvironment(os_, library));
      return -1;
    } catch (const platform::ProcessEnd& end) {
      return end.status;
    }
  }

  testing_support::FakePlatform os_;
  testing_support::FakeUnlha32 fake_{QUILLORY_FAKE_UNLHA32};
};

TEST_F(EnvironmentTest, RefusesSystemsOlderThan4) {
  const struct {
    uint32_t major, minor;
    int status;
  } cases[] = {{3, 51, 2}, {3, 99, 2}, {0, 0, 2}, {4, 0, -1}, {4, 10, -1}, {6, 1, -1}};
  for (const auto& c : cases) {
    os_.boxes.clear();
    os_.searched_libraries.clear();
    os_.os_major = c.major;
    os_.os_minor = c.minor;
    EXPECT_EQ(Check(), c.status) << c.major << "." << c.minor;
    if (c.status == 2) {
      EXPECT_EQ(os_.boxes, std::vector<Box>{kOldSystemBox});
      EXPECT_TRUE(os_.searched_libraries.empty());  // ends before looking for the library
    } else {
      EXPECT_TRUE(os_.boxes.empty());
    }
  }
}

TEST_F(EnvironmentTest, RefusesAMissingLibrary) {
  os_.library_path.clear();
  EXPECT_EQ(Check(), 2);
  EXPECT_EQ(os_.boxes, std::vector<Box>{kMissingLibraryBox});
  EXPECT_EQ(os_.searched_libraries, std::vector<std::string>{QUILLORY_EXPECTED_LIBRARY});
  EXPECT_TRUE(fake_.Calls().empty());
}

TEST_F(EnvironmentTest, WarnsAboutAnOldLibraryAndGoesOn) {
  const struct {
    uint16_t version;
    bool warned;
  } cases[] = {{86, true}, {0, true}, {87, false}, {100, false}, {230, false}};
  for (const auto& c : cases) {
    os_.boxes.clear();
    fake_.Script().version = c.version;
    EXPECT_EQ(Check(), -1) << c.version;
    EXPECT_EQ(os_.boxes, c.warned ? std::vector<Box>{kOldLibraryBox} : std::vector<Box>{})
        << c.version;
  }
}

TEST_F(EnvironmentTest, ALibraryThatCannotBeLoadedIsARuntimeError) {
  testing_support::TempDir dir;
  os_.library_path = dir.Write(QUILLORY_EXPECTED_LIBRARY, "not a library").string();
  unlha::ArchiverLibrary library(os_);
  try {
    sys::CheckEnvironment(os_, library);
    ADD_FAILURE() << "loading must fail";
  } catch (const platform::RuntimeError& e) {
    EXPECT_EQ(e.Kind(), platform::ErrorKind::kLibraryNotFound);
  }
  EXPECT_TRUE(os_.boxes.empty());
}

}  // namespace
