// The job run from the argument text to the final report, on a test platform that records the
// message boxes, in a folder of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <set>

#include "main/lha_tool.h"
#include "platform/runtime.h"
#include "platform/text.h"
#include "support/fake_platform.h"
#include "support/fake_unlha32/fake_unlha32_control.h"
#include "support/temp_dir.h"

namespace {

namespace fsys = std::filesystem;
using testing_support::Box;

constexpr wchar_t kConfigTitle[] = L"OUT_CONFIG ﾁｪｯｸｴﾗｰ";
constexpr wchar_t kOutInfoTitle[] = L"OUT_INFOMATION ﾁｪｯｸｴﾗｰ";
constexpr wchar_t kListTitle[] = L"IN_FILELISTﾁｪｯｸｴﾗｰ";

Box Titled(const wchar_t* title, const std::wstring& prompt) {
  return {prompt, title, 0};
}
Box Untitled(platform::ErrorKind kind) {
  return {platform::RuntimeError(kind).Description(), std::nullopt, 0};
}

std::string Job(const std::string& path, const std::vector<std::string>& files,
                const std::string& type, const std::string& lzh, const std::string& date,
                const std::string& extra = "") {
  std::string ini = "[OUT_INFOMATION]\nPath=" + path + "\n" + extra + "[IN_FILELIST]\n";
  for (size_t i = 0; i < files.size(); ++i)
    ini += "FILE" + std::to_string(i + 1) + "=" + files[i] + "\n";
  return ini + "[OUT_CONFIG]\nType_Ini=" + type + "\nLzh_Ini=" + lzh + "\nDate_Ini=" + date + "\n";
}

class JobRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    os_.library_path = QUILLORY_FAKE_UNLHA32;
    dir_.Write("Data/Notes.txt", "notes");
    dir_.Write("Data/Sub Dir/deep.txt", "deep");
    dir_.Write("Data/.secret", "hidden");
    dir_.MakeDir("Out");
  }

  int Run(const std::string& ini, const std::string& argument = "job.ini") {
    dir_.Write("job.ini", ini);
    os_.argument_text = argument;
    return lhatool::Main(os_);
  }
  std::set<std::string> Tree() const {
    std::set<std::string> out;
    for (const auto& e : fsys::recursive_directory_iterator(dir_.path()))
      out.insert(fsys::relative(e.path(), dir_.path()).string());
    return out;
  }

  testing_support::TempDir dir_{/*enter=*/true};
  testing_support::FakePlatform os_;
  testing_support::FakeUnlha32 fake_{QUILLORY_FAKE_UNLHA32};
};

TEST_F(JobRunTest, EachValidationStopsWithItsOwnBoxAndWritesNothing) {
  const struct {
    std::string ini;
    std::string argument;
    Box box;
    int status;
  } cases[] = {
      {"", "", Titled(L"情報ﾌｧｲﾙｴﾗｰ", L"情報ﾌｧｲﾙが設定されていません"), 2},
      {"", "missing.ini", Titled(L"情報ﾌｧｲﾙｴﾗｰ", L"情報ﾌｧｲﾙ missing.ini が存在しません"), 2},
      {"", "Data", Titled(L"情報ﾌｧｲﾙｴﾗｰ", L"情報ﾌｧｲﾙ Data が存在しません"), 2},
      {"", "Data\\.secret", Titled(L"情報ﾌｧｲﾙｴﾗｰ", L"情報ﾌｧｲﾙ Data\\.secret が存在しません"), 2},
      {Job("out", {"data\\notes.txt"}, "2", "0", "0"), "job.ini",
       Titled(kConfigTitle, L"Type_Ini ｴﾗｰ!!"), 2},
      {Job("out", {"data\\notes.txt"}, "0", "9", "0"), "job.ini",
       Titled(kConfigTitle, L"Lzh_Ini ｴﾗｰ!!"), 2},
      {Job("out", {"data\\notes.txt"}, "0", "0", "3"), "job.ini",
       Titled(kConfigTitle, L"Data_Ini ｴﾗｰ!!"), 2},
      {Job("nowhere", {"data\\notes.txt"}, "0", "0", "0"), "job.ini",
       Titled(kOutInfoTitle, L"出力ﾊﾟｽ情報のﾃﾞｨﾚｸﾄﾘが存在しません。"), 2},
      {Job("out", {"data\\notes.txt"}, "0", "1", "0"), "job.ini",
       Titled(kOutInfoTitle, L"出力ﾌｧｲﾙ情報が存在しません。"), 2},
      {Job("out", {"data\\notes.txt", "data\\"}, "0", "0", "0"), "job.ini",
       Titled(kListTitle, L"ﾌｧｲﾙ名が存在しません。"), 2},
      {Job("out", {"data\\", "data"}, "1", "0", "0"), "job.ini",
       Titled(kListTitle, L"ﾌｧｲﾙ名が存在しています。"), 2},
      {Job("out", {"data\\notes.txt", "data\\none.txt", "data\\gone.txt"}, "0", "0", "0"),
       "job.ini", Titled(kListTitle, L"指定ﾌｧｲﾙ名が存在しません。"), 2},
      {Job("out", {"data\\.secret"}, "0", "0", "0"), "job.ini",
       Titled(kListTitle, L"指定ﾌｧｲﾙ名が存在しません。"), 2},
      {Job("out", {"nodata\\"}, "1", "0", "1"), "job.ini",
       Titled(kListTitle, L"指定ﾌｫﾙﾀﾞ名が存在しません。"), 2},
      {Job("", {"data\\none.txt"}, "0", "0", "1"), "job.ini",  // "\" exists: the check passes
       Titled(kListTitle, L"指定ﾌｧｲﾙ名が存在しません。"), 2},
      {Job("out", {"data\\notes.txt"}, "x", "0", "0"), "job.ini",
       Untitled(platform::ErrorKind::kTypeMismatch), 3},
      {"[OUT_INFOMATION]\nPath=out\n[IN_FILELIST]\nFILE1=data\\notes.txt\n", "job.ini",
       Untitled(platform::ErrorKind::kTypeMismatch), 3},
      {Job("out", {"data\\notes.txt"}, "0", "-", "0"), "job.ini",
       Untitled(platform::ErrorKind::kTypeMismatch), 3},
      {Job("out", {}, "1", "0", "1"), "job.ini",
       Untitled(platform::ErrorKind::kSubscriptOutOfRange), 3},
  };
  for (const auto& c : cases) {
    os_.boxes.clear();
    dir_.Write("job.ini", c.ini);
    const auto before = Tree();
    os_.argument_text = c.argument;
    EXPECT_EQ(lhatool::Main(os_), c.status) << c.ini;
    ASSERT_EQ(os_.boxes.size(), 1u) << c.ini;
    EXPECT_EQ(os_.boxes[0], c.box) << platform::ToAnsi(os_.boxes[0].prompt);
    EXPECT_EQ(Tree(), before) << c.ini;
  }
}

TEST_F(JobRunTest, TheEnvironmentIsCheckedFirstForEveryJob) {
  os_.library_path.clear();
  EXPECT_EQ(Run(Job("out", {"data\\notes.txt"}, "0", "0", "0")), 2);
  ASSERT_EQ(os_.boxes.size(), 1u);
  EXPECT_EQ(os_.boxes[0].style, 16);
  EXPECT_TRUE(fsys::is_empty(dir_.path() / "Out"));

  os_.boxes.clear();
  os_.library_path = QUILLORY_FAKE_UNLHA32;
  fake_.Script().version = 86;  // only a warning: the job runs after it
  EXPECT_EQ(Run(Job("out", {"data\\notes.txt"}, "0", "0", "0") + "[PASSWORD]\nMessage=0\n"), 0);
  ASSERT_EQ(os_.boxes.size(), 2u);
  EXPECT_EQ(os_.boxes[1], Titled(L"終了", L"処理終了"));
  EXPECT_EQ(dir_.Read("Out/Notes.txt"), "notes");
}

TEST_F(JobRunTest, ALowerCaseJobFindsMixedCaseFilesAndCopiesThem) {
  EXPECT_EQ(Run(Job("out", {"data\\notes.txt", "data\\sub dir\\*.TXT"}, "0", "0", "0")), 0);
  EXPECT_TRUE(os_.boxes.empty());
  EXPECT_EQ(dir_.Read("Out/Notes.txt"), "notes");
  EXPECT_EQ(dir_.Read("Out/deep.txt"), "deep");
}

TEST_F(JobRunTest, EveryFormOfThePathEndsUpAsTheSameFolder) {
  for (const char* path : {"out", "out\\", "OUT   ", "./out/"}) {
    fsys::remove_all(dir_.path() / "Out");
    dir_.MakeDir("Out");
    EXPECT_EQ(Run(Job(path, {"data\\notes.txt"}, "0", "0", "0")), 0) << path;
    EXPECT_EQ(dir_.Read("Out/Notes.txt"), "notes") << path;
  }
}

TEST_F(JobRunTest, TheDatedFolderIsMadeOnceAndUsedAgain) {
  const std::string ini =
      Job("out", {"data\\sub dir\\"}, "1", "0", "1", "") + "[PASSWORD]\nMessage=0\n";
  EXPECT_EQ(Run(ini), 0);
  EXPECT_EQ(dir_.Read("Out/20261206/Sub Dir/deep.txt"), "deep");
  dir_.Write("Data/Sub Dir/second.txt", "2");
  EXPECT_EQ(Run(ini), 0);
  EXPECT_EQ(dir_.Read("Out/20261206/Sub Dir/second.txt"), "2");
  EXPECT_EQ(os_.boxes,
            (std::vector<Box>{Titled(L"終了", L"処理終了"), Titled(L"終了", L"処理終了")}));
}

TEST_F(JobRunTest, AFileWithTheDatesNameIsUsedAsItIs) {
  dir_.Write("Out/20261206", "a file, not a folder");
  EXPECT_EQ(Run(Job("out", {"data\\notes.txt"}, "0", "0", "1")), 1);
  EXPECT_EQ(os_.boxes, std::vector<Box>{Titled(L"終了", L"異常終了")});
  EXPECT_EQ(dir_.Read("Out/20261206"), "a file, not a folder");
}

TEST_F(JobRunTest, ADatedFolderThatCannotBeMadeGoesToTheErrorHandler) {
  // Nobody, root included, may make a folder in /proc.
  if (!fsys::is_directory("/proc/self")) GTEST_SKIP() << "needs /proc";
  EXPECT_EQ(Run(Job("/proc", {"data\\notes.txt"}, "0", "0", "1")), 3);
  ASSERT_EQ(os_.boxes.size(), 1u);
  EXPECT_EQ(os_.boxes[0].title, std::nullopt);
  EXPECT_TRUE(os_.boxes[0].prompt.starts_with(
      platform::RuntimeError(platform::ErrorKind::kPathFileAccess).Description()));
}

TEST_F(JobRunTest, TheFinalReportFollowsTheResultAndMessage) {
  const struct {
    std::string message;
    std::vector<std::string> files;
    std::vector<Box> boxes;
    int status;
  } cases[] = {
      {"", {"data\\notes.txt"}, {}, 0},
      {"[PASSWORD]\nMessage=1\n", {"data\\notes.txt"}, {}, 0},
      {"[PASSWORD]\nMessage=0\n", {"data\\notes.txt"}, {Titled(L"終了", L"処理終了")}, 0},
      // the second of three entries cannot be copied: a folder stands where it would go
      {"[PASSWORD]\nMessage=0\n",
       {"data\\sub dir\\deep.txt", "data\\notes.txt", "job.ini"},
       {Titled(L"終了", L"異常終了")},
       1},
  };
  for (const auto& c : cases) {
    os_.boxes.clear();
    const bool blocked = c.files.size() == 3;
    fsys::remove_all(dir_.path() / "Out");
    dir_.MakeDir(blocked ? "Out/Notes.txt" : "Out");
    EXPECT_EQ(Run(Job("out", c.files, "0", "0", "0") + c.message), c.status) << c.message;
    EXPECT_EQ(os_.boxes, c.boxes) << c.message;
    if (blocked) {
      EXPECT_EQ(dir_.Read("Out/deep.txt"), "deep");
      EXPECT_TRUE(fsys::exists(dir_.path() / "Out/job.ini"));
    }
  }
}

}  // namespace
