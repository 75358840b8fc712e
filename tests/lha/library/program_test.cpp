// build/unlha as a person uses it: what it prints for archives of any size, and the progress
// line it shows on a terminal.
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>

#include <thread>

#include "library_support.h"
#include "support/temp_dir.h"

namespace lha_library_testing {
namespace {

using testing_support::TempDir;

// A backup of some thousands of files lists more than a megabyte of text: all of it is shown.
TEST(Program, ListsEveryEntryOfALargeArchive) {
  TempDir tmp(/*enter=*/true);
  constexpr int kFiles = 15000;
  fs::create_directories("many");
  for (int i = 0; i < kFiles; ++i)
    std::ofstream("many/file-with-a-longish-name-" + std::to_string(i) + ".txt");
  const CallResult made = Call("a -r1 -x1 BIG.LZH many\\ *.*", 1 << 10);
  ASSERT_EQ(made.code, 0) << made.output;
  const ProcessResult r = RunUnlha({"l", "BIG.LZH"}, InFolder(tmp.path()));
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const auto lines = Lines(r.out);
  ASSERT_GT(r.out.size(), 1u << 20);
  EXPECT_EQ(lines.size(), kFiles + 2u);  // a heading, the entries, a summary
  EXPECT_EQ(lines.back().rfind(std::to_string(kFiles) + " entries, ", 0), 0u) << lines.back();
}

// build/unlha with its standard error on a pseudo-terminal of its own (raw, so that its bytes
// arrive as written) and its standard output in a file; `err` is what the terminal received.
ProcessResult RunUnlhaOnTerminal(const std::vector<std::string>& args, const fs::path& cwd) {
  int master = -1, slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    ADD_FAILURE() << "no pseudo-terminal: " << std::strerror(errno);
    return {};
  }
  termios raw;
  ::tcgetattr(slave, &raw);
  ::cfmakeraw(&raw);
  ::tcsetattr(slave, TCSANOW, &raw);
  ::fcntl(master, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave, F_SETFD, FD_CLOEXEC);
  // Drained while the program runs, so that it never waits on a full terminal; the read fails
  // once no one holds the terminal's other end.
  std::string received;
  std::thread reader([&] {
    char chunk[4096];
    ssize_t n;
    while ((n = ::read(master, chunk, sizeof chunk)) > 0)
      received.append(chunk, static_cast<size_t>(n));
  });
  ProcessOptions options = InFolder(cwd);
  options.before_exec = [slave] { ::dup2(slave, 2); };
  ProcessResult r = RunUnlha(args, options);
  ::close(slave);
  reader.join();
  ::close(master);
  r.err = received;
  return r;
}

struct ProgressCase {
  std::string what;
  std::vector<std::string> args;
  bool terminal;
  bool progress;        // whether a progress line is drawn
  std::string summary;  // how the output text ends
};

void PrintTo(const ProgressCase& c, std::ostream* os) {
  *os << c.what;
}

class ProgressOnTerminal : public ::testing::TestWithParam<ProgressCase> {};

TEST_P(ProgressOnTerminal, OnlyOnATerminalAndNeverInTheOutputText) {
  const ProgressCase& c = GetParam();
  TempDir tmp(/*enter=*/true);
  WriteText("src/notes.txt", Compressible(300000));
  WriteText("src/sub/撮影メモ.txt", Compressible(2000, 3));
  ASSERT_EQ(Call("a -r1 -x1 A.LZH src\\ *.*").code, 0);
  const ProcessResult r =
      c.terminal ? RunUnlhaOnTerminal(c.args, tmp.path()) : RunUnlha(c.args, InFolder(tmp.path()));
  ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find('\r'), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(c.summary), std::string::npos) << r.out;
  if (!c.progress) {
    EXPECT_EQ(r.err, "");
    return;
  }
  // A line that rewrites itself, "NN%  <done> of <total>  ...  <name>", on standard error only,
  // the total of both files from the start...
  EXPECT_EQ(r.err.rfind('\r', 0), 0u) << r.err;
  EXPECT_NE(r.err.find("% "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find(" of 294.9 KiB  "), std::string::npos) << r.err;  // 302,000 bytes
  EXPECT_EQ(r.err.find('\n'), std::string::npos) << r.err;
  // ...and blanked at the end, the cursor back where the next output starts a clean line.
  ASSERT_EQ(r.err.back(), '\r') << r.err;
  const size_t wipe = r.err.rfind('\r', r.err.size() - 2);
  ASSERT_NE(wipe, std::string::npos) << r.err;
  const std::string blanks = r.err.substr(wipe + 1, r.err.size() - wipe - 2);
  EXPECT_FALSE(blanks.empty());
  EXPECT_EQ(blanks.find_first_not_of(' '), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Program, ProgressOnTerminal,
    ::testing::Values(
        ProgressCase{"TestOnTerminal", {"t", "A.LZH"}, true, true, "2 entries tested good"},
        ProgressCase{"ExtractOnTerminal", {"x", "A.LZH", "out/"}, true, true, "2 extracted"},
        ProgressCase{
            "AddOnTerminal", {"a", "-r1", "-x1", "B.LZH", "src/", "*.*"}, true, true, "2 added"},
        ProgressCase{"UpdateOnTerminal",
                     {"u", "-r1", "-x1", "A.LZH", "src/", "*.*"},
                     true,
                     true,
                     "2 unchanged"},
        ProgressCase{
            "QuietTestOnTerminal", {"t", "-q", "A.LZH"}, true, false, "2 entries tested good"},
        ProgressCase{"QuietAddOnTerminal",
                     {"-q", "a", "-r1", "-x1", "B.LZH", "src/", "*.*"},
                     true,
                     false,
                     "2 added"},
        ProgressCase{"TestInAPipe", {"t", "A.LZH"}, false, false, "2 entries tested good"},
        ProgressCase{"ExtractInAPipe", {"x", "A.LZH", "out/"}, false, false, "2 extracted"}),
    [](const auto& info) { return info.param.what; });

}  // namespace
}  // namespace lha_library_testing
