// The progress the commands tell, and the cursor mode's line that shows it on a terminal.
#include <gtest/gtest.h>

#include <map>

#include "api/progress_line.h"
#include "command/commands.h"
#include "support/data.h"
#include "support/temp_dir.h"

namespace {

using lha::api::ProgressLine;
using lha::api::ProgressText;
using namespace std::chrono_literals;

constexpr uint64_t kKiB = 1024, kMiB = 1024 * kKiB, kGiB = 1024 * kMiB;

struct TextCase {
  const char* what;
  uint64_t done;
  std::optional<uint64_t> total, rate;
  std::string name;
  size_t columns;
  std::string want;
};

TEST(ProgressText, DoneOfTotalRateAndAName) {
  const TextCase cases[] = {
      {"bytes", 512, 2 * kKiB, std::nullopt, "a.txt", 79, " 25%  512 B of 2.0 KiB  a.txt"},
      {"units and rate", 12 * kMiB + 300 * kKiB, 27 * kMiB, 5 * kMiB + 100 * kKiB, "docs/l1.txt",
       79, " 45%  12.3 MiB of 27.0 MiB  5.1 MiB/s  docs/l1.txt"},
      {"no total yet", 3 * kGiB, std::nullopt, 100 * kMiB, "big.iso", 79,
       "3.0 GiB  100.0 MiB/s  big.iso"},
      {"nothing to do is done", 0, 0, std::nullopt, "empty", 79, "100%  0 B of 0 B  empty"},
      {"a file that grew stays at 100%", 3000, 2 * kKiB, std::nullopt, "", 79,
       "100%  2.9 KiB of 2.0 KiB"},
      {"a long name keeps its end", kKiB, 2 * kKiB, std::nullopt, "folder/sub/letters/letter1.txt",
       40, " 50%  1.0 KiB of 2.0 KiB  ...letter1.txt"},
      {"wide characters take two columns", 0, kKiB, std::nullopt, "写真/撮影メモ.txt", 34,
       "  0%  0 B of 1.0 KiB  ...メモ.txt"},
      {"controls and bytes not UTF-8 show as ?", 0, std::nullopt, std::nullopt,
       "a\x1b[2J\xc2\x9b"
       "b\xff\r",
       79, "0 B  a?[2J?b??"},
      {"no room for a name", 0, kKiB, std::nullopt, "name", 22, "  0%  0 B of 1.0 KiB"},
  };
  for (const auto& c : cases) {
    size_t width = 0;
    const std::string text = ProgressText(c.done, c.total, c.rate, c.name, c.columns, &width);
    EXPECT_EQ(text, c.want) << c.what;
    EXPECT_LE(width, c.columns) << c.what;
  }
}

// A terminal that records what is written to it, and a clock the test moves.
struct FakeTerminal {
  std::vector<std::string> writes;
  std::chrono::steady_clock::time_point now{};
  ProgressLine::Writer Writer() {
    return [this](std::string_view s) { writes.emplace_back(s); };
  }
  ProgressLine::Clock Clock() {
    return [this] { return now; };
  }
};

TEST(ProgressLine, DrawnAtOnceThenAtMostEveryIntervalAndBlankedAtTheEnd) {
  FakeTerminal t;
  {
    ProgressLine line(t.Writer(), t.Clock());
    line.Total(4 * kKiB);
    line.Entry("a.txt", 2 * kKiB);  // the first entry shows at once
    t.now += 100ms;
    line.EntryDone(kKiB);
    t.now += 150ms;
    line.EntryDone(2 * kKiB);  // a quarter of a second on: drawn, with the rate
    t.now += 100ms;
    line.Entry("folder-with-a-long-name/b.bin", 2 * kKiB);
    t.now += 400ms;
    // b.bin was skipped or failed: it counts as done all the same once the next entry comes.
    line.Entry("c", 0);
  }
  const std::vector<std::string> want = {
      "\r  0%  0 B of 4.0 KiB  a.txt",
      "\r 50%  2.0 KiB of 4.0 KiB  8.0 KiB/s  a.txt",
      "\r100%  4.0 KiB of 4.0 KiB  5.3 KiB/s  c" + std::string(4, ' '),  // over the longer line
      "\r" + std::string(42, ' ') + "\r",
  };
  EXPECT_EQ(t.writes, want);
}

TEST(ProgressLine, NothingDrawnNothingBlanked) {
  FakeTerminal t;
  { ProgressLine line(t.Writer(), t.Clock()); }
  EXPECT_TRUE(t.writes.empty());
}

// --- What the commands tell --------------------------------------------------------------------

struct Told {
  uint64_t bytes = 0;
  uint64_t done = 0;  // the last EntryDone
};

class RecordedProgress final : public lha::command::Progress {
 public:
  bool Shown() const override { return true; }
  void Total(uint64_t bytes) override { total = bytes; }
  void Entry(const std::string& name, uint64_t bytes) override {
    entries[name] = {bytes, 0};
    current = &entries[name];
  }
  void EntryDone(uint64_t bytes) override { current->done = bytes; }

  std::optional<uint64_t> total;
  std::map<std::string, Told> entries;
  Told* current = nullptr;
};

struct CommandCase {
  const char* what;
  const char* command_line;
  std::optional<uint64_t> total;
  std::map<std::string, uint64_t> entries;  // name -> bytes, every one told done in full
};

// big.dat takes more than one piece of the parallel packer (2 MiB): its bytes count as the pieces
// are written, however many threads packed them.
constexpr uint64_t kText = 1000, kRandom = 70000, kBig = 2 * kMiB + 4321;

TEST(CommandProgress, TotalsAndEntriesOfEachCommand) {
  const CommandCase cases[] = {
      {"a packs the files; folders hold no data",
       "a -r2 -x1 NEW.LZH src\\ *.*",
       kText + kRandom + kBig,
       {{"a.txt", kText}, {"big.dat", kBig}, {"sub", 0}, {"sub/b.bin", kRandom}}},
      {"u reads every named file, to compare it with its entry: unchanged ones count as kept",
       "u -r1 -x1 A.LZH src\\ *.*",
       kText + kRandom + kBig,
       {{"a.txt", kText}, {"big.dat", kBig}, {"sub/b.bin", kRandom}}},
      {"u packs again a file found changed", "u -x1 A.LZH new\\ a.txt", kText, {{"a.txt", kText}}},
      {"t unpacks every entry",
       "t A.LZH",
       kText + kRandom + kBig,
       {{"a.txt", kText}, {"big.dat", kBig}, {"sub/b.bin", kRandom}}},
      {"t totals only the entries named", "t A.LZH *.txt", kText, {{"a.txt", kText}}},
      {"x writes every entry",
       "x A.LZH out\\",
       kText + kRandom + kBig,
       {{"a.txt", kText}, {"big.dat", kBig}, {"sub/b.bin", kRandom}}},
      {"e skips the folders", "e A.LZH out\\ sub\\*.*", kRandom, {{"sub/b.bin", kRandom}}},
  };
  for (const auto& c : cases) {
    testing_support::TempDir tmp(/*enter=*/true);
    tmp.Write("src/a.txt", std::string(kText, 'a'));
    // Random bytes: packed, found no smaller, stored.
    tmp.Write("src/sub/b.bin", testing_support::Random(kRandom, 7));
    tmp.Write("src/big.dat", std::string(kBig, 'b'));
    platform::Env& env = platform::Env::Default();
    lha::command::OutputLog log(1 << 16);
    lha::command::Progress silent;
    ASSERT_EQ(lha::command::Execute(env, "a -r1 -x1 A.LZH src\\ *.*", log, silent), 0)
        << log.text();
    tmp.Write("new/a.txt", std::string(kText, 'z'));  // a.txt's size, other bytes

    RecordedProgress told;
    ASSERT_EQ(lha::command::Execute(env, c.command_line, log, told), 0) << c.what << log.text();
    EXPECT_EQ(told.total, c.total) << c.what;
    std::map<std::string, uint64_t> bytes;
    for (const auto& [name, t] : told.entries) {
      bytes[name] = t.bytes;
      EXPECT_EQ(t.done, t.bytes) << c.what << ": " << name;
    }
    EXPECT_EQ(bytes, c.entries) << c.what;
  }
}

}  // namespace
