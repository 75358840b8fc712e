// The command-line and response-file parser on arbitrary bytes: the input up to the first NUL
// is the command line, the rest the content of every response file it names.
#include <cstdint>
#include <string>

#include "command/command_line.h"
#include "common/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string line = input.substr(0, nul);
  const std::string response = nul == std::string::npos ? std::string() : input.substr(nul + 1);
  try {
    const auto c = lha::command::Parse(
        line, [&](const std::string&) -> std::optional<std::string> { return response; });
    for (const auto& n : c.names) {
      if (n.name.empty()) __builtin_trap();  // an empty name is never handed on
    }
  } catch (const lha::Error&) {
  }
  return 0;
}
