// Fuzz target: ReadInformationFile on arbitrary bytes as the information file, read through the
// POSIX profile reader. The overflow of FILE1 to FILE32767 is the one run-time error it may
// raise; any other, a crash or a sanitizer report is a finding, and so is a value that the text
// conversion does not carry to the ANSI code page and back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "main/lha_tool.h"
#include "platform/env.h"
#include "platform/runtime.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace {

void CheckRoundTrip(const std::wstring& value) {
  if (platform::FromAnsi(platform::ToAnsi(value)) != value) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const testing_support::TempDir dir;
  const std::string path =
      dir.Write("JOB.INI", std::string(reinterpret_cast<const char*>(data), size)).string();
  // A fresh platform per input: its profile reader keeps a parsed file while the file's size and
  // time stamp stay the same, and the next input may be written within the same clock tick.
  const auto os = platform::MakePlatform(platform::Env::Default(), 0, nullptr);
  lhatool::JobSettings settings;
  try {
    lhatool::ReadInformationFile(*os, platform::FromAnsi(path), settings);
  } catch (const platform::RuntimeError& e) {
    if (e.Kind() != platform::ErrorKind::kOverflow) std::abort();
    return 0;
  }
  for (const std::wstring* v : {&settings.Path, &settings.FILENAME, &settings.Type_Ini,
                                &settings.Lzh_Ini, &settings.Date_Ini, &settings.Message})
    CheckRoundTrip(*v);
  for (const std::wstring& entry : settings.entries)
    CheckRoundTrip(entry);
  return 0;
}
