// Walks every archive of the shared corpus (../shared/lzh-corpus, written by about twenty
// other programs) and compares what the walker reads with two independent records:
//   1. MANIFEST.tsv: per archive the header levels, methods and OS ids seen, and per entry the
//      stored name, method, level, original and packed size ("contents" column);
//   2. lhasa's header dumps (lhasa/expected/<writer>/<archive>-hdr.txt), for the archives that
//      have one: per entry path, method, sizes, level, OS id, data CRC, Unix permissions, ids,
//      symlink target, presence of a header CRC, Windows times and the time stamp.
// DOS time stamps (levels 0/1 without a Unix time) are local time of the writer; lhasa's dumps
// render them in the zone of the machine that made the dumps, so those are compared up to a
// whole number of quarter hours within 14 hours. Names are compared case-insensitively because
// lhasa lowercases all-uppercase names of some systems.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "format/layout.h"
#include "format/listing.h"
#include "format/time_stamp.h"
#include "test_support.h"

namespace lha::format {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(QUILLORY_SHARED_DIR) / "lzh-corpus";

// Archives that must fail, and how far they get first.
struct ExpectedFailure {
  int32_t code;
  size_t entries_before;
  const char* why;
};
const std::map<std::string, ExpectedFailure> kExpectedFailures = {
    {"lhasa/archives/regression/truncated.lzh",
     {UNLHA_ERROR_ARC_READ, 1, "the file ends inside the first entry's packed data"}},
    {"synthetic/archives/s05_l1_wrong_header_crc_ext.lzh",
     {UNLHA_ERROR_HEADER_CRC, 0, "its level-1 ext 0x00 holds a wrong header CRC on purpose"}},
};

// Rows whose "contents" column came from a simpler parser that read these archives wrongly;
// lhasa's header dumps (or the notes beside each) are the reference for them instead.
const std::map<std::string, const char*> kContentsNotComparable = {
    {"lhasa/archives/lha_amiga_122/sfx.run",
     "lists the decoy header inside the Amiga stub; lhasa's dump shows the real entry"},
    {"lhasa/archives/lha_amiga_122/level1.lzh", "joins folder and name without the separator"},
    {"lhasa/archives/lha_amiga_122/level2.lzh", "joins folder and name without the separator"},
};
// PMarc 1.24 wrote month 0 into this DOS date; lhasa rolls it back to December, we take the
// date as absent (CivilFromDos refuses it).
const std::set<std::string> kDateNotComparable = {"lhasa/archives/pmarc124/mtcd.pma"};
// s20's packed size in the manifest is the raw ext 0x42 value, which includes the ext headers.
const std::set<std::string> kPackedSizeNotComparable = {
    "synthetic/archives/s20_l1_ext42_packed_includes_ext.lzh"};

std::vector<std::string> SplitOn(const std::string& s, const std::string& sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t at; (at = s.find(sep, start)) != std::string::npos; start = at + sep.size())
    out.push_back(s.substr(start, at - start));
  out.push_back(s.substr(start));
  return out;
}

// The manifest writes bytes outside printable ASCII as \xHH.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() + 0 && s[i + 1] == 'x' && std::isxdigit(s[i + 2]) &&
        std::isxdigit(s[i + 3])) {
      out += static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A stored name reduced to comparable form: components (Shift_JIS-aware split), absolute flag.
std::string Canonical(const std::string& stored) {
  std::vector<std::string> parts;
  const bool absolute = SplitPath(NormalizeStoredPath(stored, true), parts);
  std::string out = absolute ? "/" : "";
  for (size_t i = 0; i < parts.size(); ++i)
    out += (i ? "/" : "") + parts[i];
  return out;
}

// The manifest's lister read these names from the 8-bit field. The UTF-16 extensions win where
// present; a part only the 8-bit field carries stays Shift_JIS bytes when walked without a decoder.
const std::map<std::string, std::vector<std::string>> kNamesFromUtf16 = {
    {"libarchive/archives/test_read_format_lha_filename_utf16.lzh",
     {"ÜÖÄüöä/äöüÄÖÜ.txt", "ÜÖÄüöä",
      "ÜÖÄüöä/\x83"
      "e\x83X\x83g.txt",
      "テスト/äöüÄÖÜ.txt",
      "\x83"
      "e\x83X\x83g",
      "äöüÄÖÜ.txt"}},
};

std::string OurName(const EntryHeader& h) {
  std::string s = h.absolute ? "/" : "";
  s += h.JoinedPath('/');
  if (h.kind == EntryKind::kSymlink) s += "|" + h.symlink_target;
  return s;
}

std::string OsIdText(uint8_t id) {
  if (id >= 0x20 && id < 0x7F) return std::string(1, static_cast<char>(id));
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02x", id);
  return buf;
}

struct ManifestRow {
  std::string file, kind, levels, methods, os_ids, contents;
};

std::vector<ManifestRow> ReadManifest() {
  std::ifstream in(kCorpus / "MANIFEST.tsv");
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> head = SplitOn(line, "\t");
  const auto col = [&](const char* name) {
    return static_cast<size_t>(std::find(head.begin(), head.end(), name) - head.begin());
  };
  const size_t file = col("file"), kind = col("kind"), levels = col("header_levels"),
               methods = col("methods"), os = col("os_ids"), contents = col("contents");
  std::vector<ManifestRow> rows;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = SplitOn(line, "\t");
    if (f.size() < head.size()) continue;
    rows.push_back({f[file], f[kind], f[levels], f[methods], f[os], f[contents]});
  }
  return rows;
}

struct ManifestEntry {
  std::string name, method;
  int level = 0;
  uint64_t original = 0, packed = 0;
};

struct ManifestContents {
  std::vector<ManifestEntry> entries;  // long lists give only the first ones ...
  size_t total = 0;                    // ... and then "... (N entries)"
};

// One "name [-lh5- L1, 18092->6996]" item.
std::optional<ManifestEntry> ParseEntry(const std::string& item) {
  const size_t open = item.rfind(" [");
  if (open == std::string::npos || item.back() != ']') return std::nullopt;
  std::istringstream in(item.substr(open + 2, item.size() - open - 3));
  ManifestEntry e;
  char l = 0, comma = 0, dash = 0, gt = 0;
  if (!(in >> e.method >> l >> e.level >> comma >> e.original >> dash >> gt >> e.packed) ||
      l != 'L' || comma != ',' || dash != '-' || gt != '>' || e.method.size() != 5)
    return std::nullopt;
  e.name = Unescape(item.substr(0, open));
  return e;
}

// "item; item; ..." (synthetic rows put a description and "||" first); long lists end in
// "... (N entries)".
std::optional<ManifestContents> ParseContents(const std::string& contents) {
  std::string list = contents;
  if (const size_t bars = list.find(" || "); bars != std::string::npos)
    list = list.substr(bars + 4);
  ManifestContents out;
  if (list.empty()) return out;
  for (const std::string& item : SplitOn(list, "; ")) {
    if (item.rfind("... (", 0) == 0) {
      out.total = std::stoul(item.substr(5));
      return out;
    }
    const std::optional<ManifestEntry> e = ParseEntry(item);
    if (!e) return std::nullopt;
    out.entries.push_back(*e);
  }
  out.total = out.entries.size();
  return out;
}

using HdrBlock = std::map<std::string, std::string>;

std::vector<HdrBlock> ReadHeaderDump(const fs::path& path) {
  std::vector<HdrBlock> blocks(1);
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line == "--") {
      blocks.emplace_back();
      continue;
    }
    const size_t colon = line.find(": ");
    if (colon != std::string::npos) blocks.back()[line.substr(0, colon)] = line.substr(colon + 2);
  }
  if (blocks.back().empty()) blocks.pop_back();
  return blocks;
}

bool SameInstantUpToZone(int64_t a, int64_t b) {
  const int64_t d = a - b;
  return d % 900 == 0 && d >= -14 * 3600 && d <= 14 * 3600;
}

void CompareWithHeaderDump(const std::string& file, const std::vector<EntryHeader>& entries,
                           const fs::path& dump) {
  const std::vector<HdrBlock> blocks = ReadHeaderDump(dump);
  ASSERT_EQ(entries.size(), blocks.size()) << file;
  for (size_t i = 0; i < blocks.size(); ++i) {
    const HdrBlock& b = blocks[i];
    const EntryHeader& h = entries[i];
    const auto get = [&](const char* key) {
      const auto it = b.find(key);
      return it == b.end() ? std::string() : it->second;
    };
    SCOPED_TRACE(file + " entry " + std::to_string(i));
    std::string ours = (h.absolute ? "/" : "") + h.JoinedPath('/');
    if (h.kind == EntryKind::kDirectory) ours += "/";
    // The dump is line-based, so a name with a newline (badterm.lzh) is cut there.
    if (ours.find('\n') == std::string::npos) {
      EXPECT_EQ(Lower(ours), Lower(get("path") + get("filename")));
    }
    if (h.kind == EntryKind::kSymlink) {
      EXPECT_EQ(h.symlink_target, get("symlink_target"));
    }
    // lhasa reports Amiga folders stored as "-lh0-" under "-lhd-", and LHARK's own -lh7-
    // under "-lk7-"; we keep the method as stored.
    std::string method(h.method_id());
    if (h.kind == EntryKind::kDirectory && h.IsMethod(method::kStored)) method = "-lhd-";
    if (IsLharkMethod(h)) method = "-lk7-";
    EXPECT_EQ(method, get("compress_method"));
    EXPECT_EQ(std::to_string(h.packed_size), get("compressed_length"));
    EXPECT_EQ(std::to_string(h.original_size), get("length"));
    EXPECT_EQ(std::to_string(h.level), get("header_level"));
    EXPECT_EQ(std::to_string(h.os_id), SplitOn(get("os_type"), " ")[0]);
    char crc[8];
    std::snprintf(crc, sizeof crc, "%04x", h.data_crc);
    EXPECT_EQ(crc, get("crc"));
    EXPECT_EQ(h.has_header_crc, b.count("common_crc") == 1);
    if (b.count("unix_perms")) {
      EXPECT_EQ(h.unix_mode, std::stoi(get("unix_perms"), nullptr, 8));
      EXPECT_EQ(h.unix_uid, std::stoi(get("unix_uid")));
      EXPECT_EQ(h.unix_gid, std::stoi(get("unix_gid")));
    }
    if (b.count("win_modification_time")) {
      ASSERT_TRUE(h.windows_times.has_value());
      EXPECT_EQ(std::to_string(h.windows_times->creation), get("win_creation_time"));
      EXPECT_EQ(std::to_string(h.windows_times->last_write), get("win_modification_time"));
      EXPECT_EQ(std::to_string(h.windows_times->last_access), get("win_access_time"));
    }
    if (kDateNotComparable.count(file)) continue;
    const std::optional<int64_t> ours_time = ModificationTime(h, UtcAsLocalTime());
    ASSERT_EQ(ours_time.has_value(), b.count("timestamp") == 1);
    if (!ours_time) continue;
    const int64_t theirs = std::stoll(get("timestamp"));
    if (h.unix_mtime) {
      EXPECT_EQ(*ours_time, theirs);
    } else {
      EXPECT_TRUE(SameInstantUpToZone(*ours_time, theirs)) << *ours_time << " vs " << theirs;
    }
  }
}

class Corpus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kCorpus / "MANIFEST.tsv"))
      GTEST_SKIP() << "no shared corpus at " << kCorpus << " (a fresh clone has none)";
  }
};

TEST_F(Corpus, EveryArchiveWalksAsRecorded) {
  size_t archives = 0, clean = 0, failed_as_expected = 0, with_dump = 0, compared_contents = 0;
  std::set<std::string> seen;
  for (const ManifestRow& row : ReadManifest()) {
    if (row.kind.rfind("archive", 0) != 0) continue;
    ++archives;
    seen.insert(row.file);
    SCOPED_TRACE(row.file);
    const testing::Walk w = testing::WalkArchive(testing::ReadBytes(kCorpus / row.file));

    if (const auto fail = kExpectedFailures.find(row.file); fail != kExpectedFailures.end()) {
      EXPECT_EQ(w.code, fail->second.code) << fail->second.why;
      EXPECT_EQ(w.entries.size(), fail->second.entries_before);
      ++failed_as_expected;
      continue;
    }
    ASSERT_EQ(w.code, 0) << w.detail;
    ASSERT_FALSE(w.entries.empty());
    ++clean;

    std::set<std::string> levels, methods, os_ids;
    for (const EntryHeader& h : w.entries) {
      levels.insert(std::to_string(h.level));
      methods.insert(std::string(h.method_id()));
      os_ids.insert(h.level == 0 ? "-" : OsIdText(h.os_id));
    }
    const auto as_set = [](const std::string& s) {
      std::set<std::string> out;
      if (!s.empty())
        for (const std::string& x : SplitOn(s, ","))
          out.insert(x.empty() ? " " : x);
      return out;
    };
    // Empty where the manifest's parser gave up; wrong where it misread the entries.
    if (!row.levels.empty() && !kContentsNotComparable.count(row.file)) {
      EXPECT_EQ(levels, as_set(row.levels));
      EXPECT_EQ(methods, as_set(row.methods));
      EXPECT_EQ(os_ids, as_set(row.os_ids == " " ? std::string(" ") : row.os_ids));
    }

    if (!kContentsNotComparable.count(row.file)) {
      const std::optional<ManifestContents> listed = ParseContents(row.contents);
      EXPECT_TRUE(listed.has_value()) << "contents column not understood: " << row.contents;
      if (listed && listed->total != 0) {
        ++compared_contents;
        ASSERT_EQ(listed->total, w.entries.size());
        for (size_t i = 0; i < listed->entries.size(); ++i) {
          const ManifestEntry& m = listed->entries[i];
          const EntryHeader& h = w.entries[i];
          const auto utf16 = kNamesFromUtf16.find(row.file);
          const std::string listed = utf16 == kNamesFromUtf16.end() ? m.name : utf16->second.at(i);
          EXPECT_EQ(Canonical(listed), Canonical(OurName(h))) << "entry " << i;
          EXPECT_EQ(m.method, h.method_id()) << "entry " << i;
          EXPECT_EQ(m.level, h.level) << "entry " << i;
          EXPECT_EQ(m.original, h.original_size) << "entry " << i;
          if (!kPackedSizeNotComparable.count(row.file)) {
            EXPECT_EQ(m.packed, h.packed_size) << "entry " << i;
          }
        }
      }
    }

    const std::string prefix = "lhasa/archives/";
    if (row.file.rfind(prefix, 0) == 0) {
      const fs::path dump =
          kCorpus / ("lhasa/expected/" + row.file.substr(prefix.size()) + "-hdr.txt");
      if (fs::exists(dump)) {
        ++with_dump;
        CompareWithHeaderDump(row.file, w.entries, dump);
      }
    }
  }
  // Every archive file of the corpus is in the manifest, so none escapes the walk.
  for (const char* dir :
       {"lhasa/archives", "libarchive/archives", "jlha/archives", "synthetic/archives"}) {
    for (const auto& e : fs::recursive_directory_iterator(kCorpus / dir)) {
      if (!e.is_regular_file() || e.path().filename() == "README" ||
          e.path().filename() == "README.md")
        continue;
      EXPECT_TRUE(seen.count(fs::relative(e.path(), kCorpus).generic_string()))
          << e.path() << " is not in the manifest";
    }
  }
  std::printf(
      "corpus: %zu archives, %zu walk cleanly, %zu fail as expected; %zu compared with "
      "the manifest's entry list, %zu with lhasa's header dumps\n",
      archives, clean, failed_as_expected, compared_contents, with_dump);
  EXPECT_EQ(archives, clean + failed_as_expected);
}

// Self-extractors: the archive is found behind each stub, at the offset lhasa finds it.
TEST_F(Corpus, SelfExtractorsAreFound) {
  const std::map<std::string, uint64_t> offsets = {
      {"lhasa/archives/explzh_723/declha_sfx_ansi.exe", 36352},
      {"lhasa/archives/explzh_723/declha_sfx_unicode.exe", 66532},
      {"lhasa/archives/lh2_222/sfx.exe", 22961},
      {"lhasa/archives/lha213/sfx.exe", 1636},
      {"lhasa/archives/lha255e/sfx.exe", 1702},
      {"lhasa/archives/lha_amiga_122/sfx.run", 6112},
      {"lhasa/archives/lharc113/sfx.com", 1263},
      {"lhasa/archives/larc333/sfx.com", 594},
      {"lhasa/archives/pmarc2/sfx.com", 2157},
  };
  for (const auto& [file, offset] : offsets) {
    const testing::Walk w = testing::WalkArchive(testing::ReadBytes(kCorpus / file));
    EXPECT_EQ(w.code, 0) << file << ": " << w.detail;
    EXPECT_EQ(w.archive_offset, offset) << file;
  }
}

// The synthetic level-2 padding and header-CRC cases, as docs/lzh-format.md says we read them.
TEST_F(Corpus, PaddingAndMissingHeaderCrc) {
  const auto walk = [](const char* name) {
    return testing::WalkArchive(testing::ReadBytes(kCorpus / "synthetic/archives" / name));
  };
  for (const char* name : {"s01_l2_padding_byte.lzh", "s02_l2_size_low_byte_zero_no_padding.lzh",
                           "s03_l2_crc_ext_info_byte_instead_of_padding.lzh"}) {
    const testing::Walk w = walk(name);
    ASSERT_EQ(w.code, 0) << name << ": " << w.detail;
    ASSERT_EQ(w.entries.size(), 2u) << name;  // the entry after the 256-byte one is reached
    EXPECT_EQ(w.entries[1].path, std::vector<std::string>{"second.txt"}) << name;
    EXPECT_TRUE(w.end_marker) << name;
  }
  EXPECT_EQ(walk("s01_l2_padding_byte.lzh").entries[0].header_size, 257u);
  EXPECT_EQ(walk("s02_l2_size_low_byte_zero_no_padding.lzh").entries[0].header_size, 256u);

  const testing::Walk no_crc = walk("s04_l2_without_crc_ext.lzh");
  ASSERT_EQ(no_crc.code, 0) << no_crc.detail;
  EXPECT_FALSE(no_crc.entries.at(0).has_header_crc);
  EXPECT_EQ(walk("s05_l1_wrong_header_crc_ext.lzh").code, UNLHA_ERROR_HEADER_CRC);
}

}  // namespace
}  // namespace lha::format
