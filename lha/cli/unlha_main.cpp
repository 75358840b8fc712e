// unlha: the archiver library for people. Restores (extracts), lists, tests and creates
// archives by hand:  unlha <command> [switches] <archive> [more ...]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "messages/result_codes.h"
#include "platform/text.h"
#include "unlha32.h"

namespace {

constexpr char kHelp[] =
    R"(usage: unlha <command> [switches] <archive> [base-folder/] [names ...] [@list-file ...]

Restore a backup:      unlha x BACKUP.LZH restore/
List an archive:       unlha l BACKUP.LZH
Test an archive:       unlha t BACKUP.LZH

Commands
  a   add the named files, replacing entries of the same stored name
  u   update: add new files, replace entries whose file's content changed
  x   extract with stored paths into the base folder (the current folder when none)
  e   extract names only, without their folders
  l   list the entries; v lists with more detail
  t   test: unpack every entry and check its CRC

Switches
  -a1  include hidden and system files (-a0, the default, skips hidden files)
  -x1  store paths relative to the base folder (-x0, the default, stores names only)
  -r1  recurse into folders; -r2 also store the folders, so empty ones survive; -r0 none
  -c1  with u: replace every named file whatever its time stamp (content still decides)
  -o5  pack with -lh5- (the default); -o6 with -lh6-; -o7 with -lh7-; -o0 store only
  -w1  extraction replaces existing files (-w0, the default, leaves them and reports 32784)
  -cp932  store names in code page 932 (Shift_JIS) for Japanese Windows tools; names it
       cannot hold stay UTF-8 (-cp65001: UTF-8, the default)
  -t1  pack on one thread (-t<n>: n threads; by default every processor, or UNLHA32_THREADS)
  -d0 -h2 -+ -f0 -jm2 -jp1  accepted; they change nothing (sources are always kept, headers
       are always level 2)
  -q   quiet: no progress line (a, u, x, e and t show one on standard error when it is a
       terminal: bytes done of the total, the rate and the current name)

Names may hold the wildcards * and ? (in their last part); "*.*" matches every name. A list
file names one file or folder per line. Paths use "\" or "/"; names match without regard to
case. The exit status is 0 on success and 1 when the library reports an error, whose code and
message are shown on standard error.
)";

// One argument as a token of the command line: quoted when it holds a blank or is empty.
std::string Token(const char* arg) {
  const std::string s = arg;
  if (!s.empty() && s.find_first_of(" \t") == std::string::npos) return s;
  return "\"" + s + "\"";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kHelp, argc < 2 ? stderr : stdout);
    return argc < 2 ? 2 : 0;
  }
  // -q is this program's own switch, wherever it stands: the library would refuse it.
  std::string command_line;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-q") == 0) {
      quiet = true;
      continue;
    }
    if (!command_line.empty()) command_line += ' ';
    command_line += Token(argv[i]);
  }
  // The library draws the progress line only on a terminal, never into the output text.
  UnlhaSetCursorMode(quiet ? 0 : 1);
  // Room for the log of a command over an archive of many thousands of entries. The buffer comes
  // from calloc, so the pages the text does not reach are never touched.
  constexpr uint32_t kOutputSize = 64u << 20;
  std::unique_ptr<char, decltype(&std::free)> output(
      static_cast<char*>(std::calloc(kOutputSize, 1)), &std::free);
  if (!output) {
    std::fputs("unlha: out of memory\n", stderr);
    return 1;
  }
  const int32_t code = Unlha(0, command_line.c_str(), output.get(), kOutputSize);
  const size_t shown = std::strlen(output.get());
  std::fwrite(output.get(), 1, shown, stdout);
  std::fflush(stdout);
  // The library cuts a longer text at a character boundary, up to 3 bytes short of the end.
  if (shown + 4 >= kOutputSize)
    std::fprintf(stderr, "unlha: the output was cut after %zu bytes\n", shown);
  if (code == 0) return 0;
  std::fprintf(stderr, "unlha: %d: %s\n", code,
               platform::ToAnsi(messages::ResultCodeMessage(code)).c_str());
  return 1;
}
