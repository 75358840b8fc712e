// The profile reader through the platform, on real files.
#include <gtest/gtest.h>

#include <memory>

#include "platform/platform.h"
#include "support/temp_dir.h"

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  std::string Get(const std::string& content, const char* section, const char* key,
                  uint32_t size = 255, uint32_t* count = nullptr) {
    const auto file = dir_.Write("job.ini", content);
    return GetFrom(file.string(), section, key, size, count);
  }
  std::string GetFrom(const std::string& file, const char* section, const char* key,
                      uint32_t size = 255, uint32_t* count = nullptr) {
    std::string buffer(size + 1, '#');
    const uint32_t n =
        os_->GetPrivateProfileStringA(section, key, "", buffer.data(), size, file.c_str());
    if (count) *count = n;
    EXPECT_EQ(buffer[n], '\0');
    return buffer.substr(0, n);
  }

  testing_support::TempDir dir_;
  std::unique_ptr<platform::Platform> os_ =
      platform::MakePlatform(platform::Env::Default(), 0, nullptr);
};

TEST_F(ProfileTest, FollowsTheWindowsRules) {
  const std::string ini =
      "\xEF\xBB\xBF"  // byte-order mark
      "; a comment line\r\n"
      "garbage line without equals\n"
      "[ out_config ]\r"
      "  type_ini  =  1  \r\n"
      "Lzh_Ini=\"0 \"\n"
      "Date_Ini='1'\n"
      "Quoted=\"unbalanced'\n"
      "Type_Ini=9\n"
      "Empty=\n"
      "[OUT_CONFIG]\n"
      "Message=from a repeated section\n"
      "[Other]\n"
      "Type_Ini=7\n";
  const struct {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"OUT_CONFIG", "Type_Ini", "1"},  // names ignore case and blanks; first key wins
      {"OUT_CONFIG", "Lzh_Ini", "0 "},  // quotes come off, what they hold stays
      {"OUT_CONFIG", "DATE_INI", "1"},
      {"OUT_CONFIG", "Quoted", "\"unbalanced'"},
      {"OUT_CONFIG", "Empty", ""},
      {"OUT_CONFIG", "Message", ""},  // only the first section of a name counts
      {"OTHER", "type_ini", "7"},
      {"OUT_CONFIG", "; a comment line", ""},
      {"MISSING", "Type_Ini", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Get(ini, c.section, c.key), c.value) << c.key;
}

TEST_F(ProfileTest, LineEndsOfEveryKind) {
  EXPECT_EQ(Get("[S]\rA=1\rB=2", "S", "B"), "2");
  EXPECT_EQ(Get("[S]\nA=1\nB=2\n", "S", "B"), "2");
  EXPECT_EQ(Get("[S]\r\nA=1\r\nB=2\r\n", "S", "A"), "1");
}

TEST_F(ProfileTest, LongValuesAreCutWithoutHalfACharacter) {
  uint32_t n = 0;
  EXPECT_EQ(Get("[S]\nK=" + std::string(300, 'x') + "\n", "S", "K", 255, &n),
            std::string(254, 'x'));
  EXPECT_EQ(n, 254u);
  std::string jp;
  for (int i = 0; i < 100; ++i)
    jp += "日";  // 300 bytes
  const std::string got = Get("[S]\nK=" + jp + "\n", "S", "K", 255, &n);
  EXPECT_EQ(n, 252u);  // 84 whole characters; a fifth of a 255th byte would split one
  EXPECT_EQ(got, jp.substr(0, 252));
}

TEST_F(ProfileTest, DoubleByteValuesComeBackWhole) {
  uint32_t n = 0;
  EXPECT_EQ(Get("[S]\nPath=C:\\バックアップ\\データ\n", "S", "Path", 255, &n),
            "C:\\バックアップ\\データ");
  EXPECT_EQ(n, std::string("C:\\バックアップ\\データ").size());
}

TEST_F(ProfileTest, AMissingFileReadsAsEmptyValues) {
  uint32_t n = 7;
  EXPECT_EQ(GetFrom((dir_.path() / "none.ini").string(), "S", "K", 255, &n), "");
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(GetFrom(dir_.str(), "S", "K"), "");  // a folder is no profile either
}

TEST_F(ProfileTest, SeesAFileChangedBetweenReads) {
  EXPECT_EQ(Get("[S]\nK=old\n", "S", "K"), "old");
  EXPECT_EQ(Get("[S]\nK=newer\n", "S", "K"), "newer");
}

TEST_F(ProfileTest, ArbitraryBytesNeverBreakTheReader) {
  std::string noise;
  uint32_t x = 12345;
  for (int i = 0; i < 200000; ++i) {
    x = x * 1103515245 + 12345;
    noise += static_cast<char>(x >> 16);
  }
  noise += "\n[S]\nK=found\n";
  EXPECT_EQ(Get(noise, "S", "K"), "found");
  EXPECT_EQ(Get(std::string("[S]\nK=a\0b\n", 10), "S", "K").size(), 3u);
}

}  // namespace
