#include <algorithm>
#include <string>

#include "main/lha_tool.h"
#include "platform/runtime.h"
#include "platform/text.h"

namespace lhatool {
namespace {

constexpr char kOutInformation[] = "OUT_INFOMATION";
constexpr char kInFileList[] = "IN_FILELIST";
constexpr char kOutConfig[] = "OUT_CONFIG";
constexpr char kPassword[] = "PASSWORD";

struct Value {
  std::wstring text;
  uint32_t count;  // bytes the profile reader copied
};

// One key through the profile reader: a buffer of 256 blanks, of which it may fill 255.
Value ReadValue(platform::Platform& os, const char* section, const std::string& key,
                const std::string& file, bool first_character_only) {
  std::string buffer(256, ' ');  // 256 blanks, in any ANSI code page
  const uint32_t n =
      os.GetPrivateProfileStringA(section, key.c_str(), "", buffer.data(), 255, file.c_str());
  // n counts bytes: for a value of multi-byte characters the first n characters run on into
  // the NUL and the blanks after it, which the cut at the last NUL takes off again.
  const size_t wanted = first_character_only ? 1 : n;
  const bool ascii = std::all_of(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(wanted),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  // An ASCII start is its own first characters: most job files are ASCII, and thousands of keys
  // need not convert 256 bytes each.
  const std::wstring taken =
      ascii ? std::wstring(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(wanted))
            : platform::FromAnsi(buffer).substr(0, wanted);
  return {CutAtNul(platform::UCase(taken)), n};
}

}  // namespace

std::wstring CutAtNul(std::wstring_view text) {
  const size_t nul = text.rfind(L'\0');
  return std::wstring(nul == std::wstring_view::npos ? text : text.substr(0, nul));
}

bool ReadInformationFile(platform::Platform& os, const std::wstring& path, JobSettings& settings) {
  const std::string file = platform::ToAnsi(path);
  settings.FILENAME = ReadValue(os, kOutInformation, "FILENAME", file, false).text;
  settings.Path = ReadValue(os, kOutInformation, "Path", file, false).text;

  for (int16_t i = 0;; i = platform::ToInt16(i + 1)) {
    const int16_t number = platform::ToInt16(int64_t{i} + 1);
    Value v = ReadValue(os, kInFileList, "FILE" + std::to_string(number), file, false);
    if (v.count == 0) break;
    settings.entries.ResizePreserve(i);
    settings.entries.Set(i, std::move(v.text));
  }

  settings.Type_Ini = ReadValue(os, kOutConfig, "Type_Ini", file, true).text;
  settings.Lzh_Ini = ReadValue(os, kOutConfig, "Lzh_Ini", file, true).text;
  settings.Date_Ini = ReadValue(os, kOutConfig, "Date_Ini", file, true).text;
  settings.Message = ReadValue(os, kPassword, "Message", file, true).text;
  return true;
}

}  // namespace lhatool
