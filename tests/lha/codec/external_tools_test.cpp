// Streams written by our encoder, wrapped in a minimal level-2 archive, extracted by other LZH
// programs (when installed) and compared byte for byte.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "codec_test_support.h"
#include "support/archive_builder.h"

namespace lha::codec::testing {
namespace {

namespace fs = std::filesystem;

// One level-2 entry (ext 00 header CRC, ext 01 name) and the end-of-archive byte.
Bytes Level2Archive(Method m, const std::string& name, std::span<const uint8_t> original,
                    const Bytes& packed) {
  using namespace testing_support;
  Bytes a = Level23Header(2, Info(m).id, static_cast<uint32_t>(packed.size()),
                          static_cast<uint32_t>(original.size()),
                          1767225600,  // 2026-01-01 00:00:00 UTC
                          Crc16(original), 'M', {CrcExt(), NameExt(name)});
  // A header size that is a multiple of 256 starts with the end-of-archive byte.
  if (a.size() % 256 == 0) throw std::logic_error("pick another name length");
  Append(a, packed);
  a.push_back(0);
  return a;
}

bool Installed(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

struct Tool {
  const char* name;
  const char* extract;  // %A archive, %D destination folder
};
const Tool kTools[] = {
    {"lhasa", "cd %D && lhasa xq %A"},
    {"bsdtar", "bsdtar -xf %A -C %D"},
    {"7zz", "7zz x -y -bd -o%D %A"},
};

std::string Fill(std::string cmd, const fs::path& archive, const fs::path& dir) {
  for (auto [key, value] : {std::pair{"%A", archive.string()}, std::pair{"%D", dir.string()}}) {
    size_t at;
    while ((at = cmd.find(key)) != std::string::npos)
      cmd.replace(at, 2, "'" + value + "'");
  }
  return cmd + " >/dev/null 2>&1";
}

struct Sample {
  std::string name;
  Bytes data;
};

std::vector<Sample> Samples() {
  Bytes distinct(256);
  for (int i = 0; i < 256; ++i)
    distinct[i] = static_cast<uint8_t>(255 - i);
  Bytes multi = RandomBytes(150000, 41);  // ~150 000 literals: at least three blocks
  Bytes text = TextLike(100000, 42);
  multi.insert(multi.end(), text.begin(), text.end());
  return {
      // The pre-code table of these would be a single symbol in the first block.
      {"one_byte", {'Q'}},       {"all_c_lengths_equal", distinct},
      {"run", Bytes(5000, 'r')}, {"one_block_text", TextLike(30000, 43)},
      {"multi_block", multi},
  };
}

TEST(ExternalTools, ExtractOurStreamsByteForByte) {
  std::vector<const Tool*> tools;
  for (const auto& t : kTools)
    if (Installed(t.name)) tools.push_back(&t);
  if (tools.empty()) GTEST_SKIP() << "none of lhasa, bsdtar, 7zz is installed";
  // A folder of this run's own: other runs of the suite may be going on at the same time.
  std::string name = (fs::path(::testing::TempDir()) / "quillory_codec_external_XXXXXX").string();
  ASSERT_NE(::mkdtemp(name.data()), nullptr);
  const fs::path root = name;
  for (Method m : {Method::kLh5, Method::kLh6, Method::kLh7}) {
    for (const auto& s : Samples()) {
      const std::string file = s.name + ".bin";
      const Bytes archive = Level2Archive(m, file, s.data, Encode(m, s.data));
      const fs::path path = root / (s.name + std::string(Info(m).id.substr(1, 3)) + ".lzh");
      testing_support::WriteBytes(path, archive);
      for (const Tool* t : tools) {
        SCOPED_TRACE(std::string(t->name) + " " + std::string(Info(m).id) + " " + s.name);
        const fs::path dir = root / "x";
        fs::remove_all(dir);
        fs::create_directories(dir);
        EXPECT_EQ(std::system(Fill(t->extract, path, dir).c_str()), 0);
        EXPECT_EQ(ReadBytes(dir / file), s.data);
      }
    }
  }
  if (!HasFailure()) fs::remove_all(root);
}

}  // namespace
}  // namespace lha::codec::testing
