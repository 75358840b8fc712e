// Archives made by our level-2 writer, extracted by independent readers. Before the codec
// exists the entries are stored ("-lh0-") files, "-lhd-" folders and symbolic links; each tool
// that is installed (lhasa, bsdtar, 7zz) extracts the archive into a fresh folder, and the tree
// it makes is compared with what was stored: the set of names, each file's bytes and
// modification time, folders, link targets, a read-only file's mode. 7-Zip does not make
// symbolic links (it makes a folder named "link|target") and ignores Unix modes; those checks
// are skipped for it. Folder times are not compared: extracting into a folder changes it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "format/bytes.h"
#include "format/crc16.h"
#include "format/header_writer.h"
#include "format/layout.h"
#include "test_support.h"

namespace lha::format {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing_support::ReadText;

struct Item {
  EntryKind kind;
  std::vector<std::string> path;
  std::string content;  // files; the link target for links
  uint16_t mode;
  int64_t mtime;
};

std::string Join(const std::vector<std::string>& p) {
  std::string s;
  for (const std::string& c : p)
    s += (s.empty() ? "" : "/") + c;
  return s;
}

// A name whose header would be exactly 256 bytes, so the writer must dodge it.
std::string NameHitting256() {
  for (size_t len = 100; len < 250; ++len) {
    NewEntry e;
    e.path = {"top", std::string(len - 4, 'n') + ".txt"};
    e.method = "-lh0-";
    const Bytes h = EncodeLevel2Header(e);
    if (Le16(h, h2::kFirstExtSizeOffset) == 6) return e.path[1];
  }
  ADD_FAILURE() << "no name length reaches 256";
  return "n.txt";
}

std::vector<Item> Items() {
  std::string binary;
  for (int i = 0; i < 256; ++i)
    binary += static_cast<char>(i);
  return {
      {EntryKind::kDirectory, {"top"}, "", 0755, 1600000000},
      {EntryKind::kDirectory, {"top", "empty"}, "", 0700, 1600000100},
      {EntryKind::kFile, {"top", "hello.txt"}, "hello, world\n", 0644, 1709648626},
      {EntryKind::kDirectory, {"top", "sub"}, "", 0755, 1600000200},
      {EntryKind::kFile, {"top", "sub", "deep.bin"}, binary, 0600, 1500000001},
      {EntryKind::kFile,
       {"top", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt"},
       "utf-8 name\n",
       0644,
       1234567890},
      {EntryKind::kFile, {"top", "empty.txt"}, "", 0644, 1000000000},
      {EntryKind::kFile, {"top", "ro.txt"}, "read only\n", 0444, 1111111111},
      {EntryKind::kFile, {"top", NameHitting256()}, "header of 257 bytes\n", 0644, 1222222222},
      {EntryKind::kSymlink, {"top", "link"}, "hello.txt", 0777, 1333333333},
      {EntryKind::kSymlink, {"top", "sub", "uplink"}, "../hello.txt", 0777, 1444444444},
  };
}

Bytes BuildArchive(const std::vector<Item>& items) {
  Bytes archive;
  for (const Item& it : items) {
    NewEntry e;
    e.kind = it.kind;
    e.path = it.path;
    e.method = "-lh0-";
    e.unix_mode = it.mode;
    e.mtime = it.mtime;
    if (it.kind == EntryKind::kSymlink) e.symlink_target = it.content;
    Bytes h = EncodeLevel2Header(e);
    if (it.kind == EntryKind::kFile) {
      const Bytes data = testing::ToBytes(it.content);
      e.declared_size = data.size();
      PatchSizesAndCrc(h, data.size(), data.size(), Crc16Of(data));
      testing::Append(h, data);
    }
    testing::Append(archive, h);
  }
  archive.insert(archive.end(), kEndOfArchiveMarker.begin(), kEndOfArchiveMarker.end());
  return archive;
}

bool Installed(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

struct Tool {
  std::string name;
  std::string command;  // {A}: archive, {D}: destination
  bool makes_links;
  bool honours_modes;
};

class Extraction : public ::testing::TestWithParam<Tool> {};

TEST_P(Extraction, RecreatesEveryEntry) {
  const Tool& tool = GetParam();
  if (!Installed(tool.name)) GTEST_SKIP() << tool.name << " is not installed";
  const fs::path work = fs::temp_directory_path() /
                        ("quillory_interop_" + tool.name + "_" + std::to_string(::getpid()));
  fs::remove_all(work);
  const fs::path dest = work / "out";
  fs::create_directories(dest);
  const fs::path archive = work / "test.lzh";
  const std::vector<Item> items = Items();
  testing_support::WriteBytes(archive, BuildArchive(items));
  std::string cmd = tool.command;
  cmd.replace(cmd.find("{A}"), 3, archive.string());
  cmd.replace(cmd.find("{D}"), 3, dest.string());
  const fs::path log = work / "log.txt";
  const int status = std::system((cmd + " >" + log.string() + " 2>&1").c_str());
  ASSERT_EQ(status, 0) << cmd << "\n" << ReadText(log);

  std::set<std::string> expected, found;
  for (const Item& it : items) {
    const fs::path p = dest / Join(it.path);
    SCOPED_TRACE(tool.name + ": " + Join(it.path));
    expected.insert(Join(it.path));
    struct stat st;
    switch (it.kind) {
      case EntryKind::kDirectory:
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(p)));
        break;
      case EntryKind::kFile:
        ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(p)));
        EXPECT_EQ(ReadText(p), it.content);
        ASSERT_EQ(::lstat(p.c_str(), &st), 0);
        EXPECT_EQ(st.st_mtime, it.mtime);
        if (tool.honours_modes) {
          EXPECT_EQ(st.st_mode & 0200, it.mode & 0200u);
        }
        break;
      case EntryKind::kSymlink:
        if (!tool.makes_links) {
          // 7-Zip makes folders of the stored "link|target" path instead.
          expected.erase(Join(it.path));
          EXPECT_TRUE(fs::is_directory(dest / (Join(it.path) + "|" + it.content)));
          break;
        }
        ASSERT_TRUE(fs::is_symlink(fs::symlink_status(p)));
        EXPECT_EQ(fs::read_symlink(p).string(), it.content);
        break;
    }
  }
  for (auto i = fs::recursive_directory_iterator(dest); i != fs::recursive_directory_iterator();
       ++i) {
    const std::string rel = i->path().lexically_relative(dest).string();
    if (tool.makes_links || rel.find('|') == std::string::npos) found.insert(rel);
  }
  EXPECT_EQ(found, expected);
  if (!HasFailure()) fs::remove_all(work);
}

INSTANTIATE_TEST_SUITE_P(Readers, Extraction,
                         ::testing::Values(Tool{"lhasa", "lhasa xqw={D} {A}", true, true},
                                           Tool{"bsdtar", "bsdtar -xf {A} -C {D}", true, true},
                                           Tool{"7zz", "7zz x -y -o{D} {A}", false, false}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace lha::format
