// The archiving modes against the fake archiver library: the list file and the command line
// that reach the library, and what the modes make of its verdict.
#include <gtest/gtest.h>

#include <filesystem>

#include "backup/backup_modes.h"
#include "platform/text.h"
#include "support/fake_platform.h"
#include "support/fake_unlha32/fake_unlha32_control.h"
#include "support/temp_dir.h"

namespace {

namespace fsys = std::filesystem;
using testing_support::Box;

class ArchiveModesTest : public ::testing::Test {
 protected:
  ArchiveModesTest() {
    os_.library_path = QUILLORY_FAKE_UNLHA32;
    os_.temp_files_fail = true;  // the list file goes to the output folder, not to "/"
    path_ = platform::FromAnsi(dir_.str()) + L"\\My Out\\";
    dir_.MakeDir("My Out");
  }

  using Mode = bool (*)(const backup::BackupJob&, const std::wstring&);
  bool Run(Mode mode, const std::vector<std::wstring>& entries, const std::wstring& archive) {
    backup::EntryList list;
    for (size_t i = 0; i < entries.size(); ++i) {
      list.ResizePreserve(static_cast<int16_t>(i));
      list.Set(static_cast<int>(i), entries[i]);
    }
    unlha::ArchiverLibrary library(os_);
    return mode({os_, library, list, path_}, archive);
  }
  bool Folders(const std::vector<std::wstring>& entries, const std::wstring& archive) {
    return Run(backup::ArchiveFolders, entries, archive);
  }
  bool Files(const std::vector<std::wstring>& entries, const std::wstring& archive) {
    return Run(backup::ArchiveFiles, entries, archive);
  }
  std::string ListFile() const { return platform::ToAnsi(path_) + "Dummy.tmp"; }
  fsys::path ListFileOnDisk() const { return dir_.path() / "My Out" / "Dummy.tmp"; }
  std::string CommandLine() { return fake_.Record().command_line; }

  testing_support::TempDir dir_;
  testing_support::FakePlatform os_;
  testing_support::FakeUnlha32 fake_{QUILLORY_FAKE_UNLHA32};
  std::wstring path_;
};

TEST_F(ArchiveModesTest, FoldersGoToTheLibraryAsBaseFolderLines) {
  EXPECT_TRUE(Folders({L"C:\\DATA\\FOLDER1\\", L"C:\\MY DATA\\OLD FILES\\", L"C:\\"},
                      L"C:\\BACKUP\\DATA.LZH"));
  ASSERT_EQ(os_.written_files.size(), 1u);
  EXPECT_EQ(os_.written_files[0].first, ListFile());
  EXPECT_EQ(os_.written_files[0].second,
            "\r\n"
            "C:\\DATA\\FOLDER1\\..\\ FOLDER1\\*.*\r\n"
            "\"C:\\MY DATA\\OLD FILES\\..\\\" \"OLD FILES\"\\*.*\r\n"
            "C:\\..\\ \\*.*\r\n");
  // The list file's name holds a blank, so it stands quoted after the "@".
  EXPECT_EQ(CommandLine(), "u -+ -a1 -x1 -c1 -f0 -jm2 -jp1 -x1 -r2 -a1 C:\\BACKUP\\DATA.LZH @\"" +
                               ListFile() + "\"");
  EXPECT_EQ(fake_.Calls(),
            (std::vector<std::string>{"UnlhaSetBackGroundMode", "UnlhaSetCursorMode", "Unlha"}));
  EXPECT_EQ(fake_.Record().background_set, 0);
  EXPECT_EQ(fake_.Record().cursor_set, 0);
  EXPECT_EQ(fake_.Record().command_hwnd, 0);
  EXPECT_EQ(fake_.Record().buffer_size, 20800u);
  EXPECT_EQ(os_.deleted_files, std::vector<std::string>{ListFile()});
  EXPECT_FALSE(fsys::exists(ListFileOnDisk()));
  EXPECT_TRUE(os_.boxes.empty());
}

TEST_F(ArchiveModesTest, FilesGoToTheLibraryAsTheyStand) {
  EXPECT_TRUE(Files({L"C:\\DATA\\A.TXT", L"C:\\MY DATA\\B,C.TXT", L"C:\\DATA\\*.TXT"},
                    L"C:\\MY BACKUP\\FILES.LZH"));
  ASSERT_EQ(os_.written_files.size(), 1u);
  EXPECT_EQ(os_.written_files[0].second,
            "\r\nC:\\DATA\\A.TXT\r\nC:\\MY DATA\\B,C.TXT\r\nC:\\DATA\\*.TXT\r\n");
  // Two blanks after "-+"; a new archive in a folder with a blank, in its long form, quoted.
  EXPECT_EQ(CommandLine(), "u -+  -d0 -x0 \"C:\\MY BACKUP\\FILES.LZH\" @\"" + ListFile() + "\"");
}

TEST_F(ArchiveModesTest, ALibraryErrorIsShownAndTheListFileRemoved) {
  fake_.Script().command_result = UNLHA_ERROR_NOT_ARC_FILE;
  EXPECT_FALSE(Folders({L"C:\\DATA\\"}, L"C:\\X.LZH"));
  EXPECT_EQ(os_.boxes,
            (std::vector<Box>{{L"指定されたﾌｧｲﾙはLzhﾌｧｲﾙではありません。", L"Quillory", 48}}));
  EXPECT_FALSE(fsys::exists(ListFileOnDisk()));

  os_.boxes.clear();
  fake_.Script().command_result = 70000;
  EXPECT_FALSE(Files({L"C:\\A.TXT"}, L"C:\\X.LZH"));
  EXPECT_EQ(os_.boxes, (std::vector<Box>{{L"未知のｴﾗｰです。&H11170", L"Quillory", 48}}));
}

TEST_F(ArchiveModesTest, AListFileThatCannotBeDeletedFailsTheModeWithoutABox) {
  os_.deleting_fails = true;
  EXPECT_FALSE(Folders({L"C:\\DATA\\"}, L"C:\\X.LZH"));
  EXPECT_TRUE(os_.boxes.empty());
  EXPECT_TRUE(fsys::exists(ListFileOnDisk()));
}

TEST_F(ArchiveModesTest, ErrorsOnTheWayAreTrappedAndLeaveTheListFile) {
  // A library without some entry points: binding Unlha fails after the list file was written.
  os_.library_path = QUILLORY_FAKE_UNLHA32_PARTIAL;
  EXPECT_FALSE(Files({L"C:\\A.TXT"}, L"C:\\X.LZH"));
  EXPECT_TRUE(os_.boxes.empty());
  EXPECT_TRUE(fsys::exists(ListFileOnDisk()));
  // No output folder to fall back on: the list file cannot be made at all.
  path_ = platform::FromAnsi(dir_.str()) + L"\\missing\\";
  EXPECT_FALSE(Folders({L"C:\\DATA\\"}, L"C:\\X.LZH"));
  EXPECT_TRUE(os_.boxes.empty());
}

}  // namespace
