// Names in the code pages of archives, through iconv.
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "platform/text.h"

namespace platform {
namespace {

// The iconv name of a Windows code page we convert; null for one we do not know.
const char* IconvName(uint32_t code_page) {
  switch (code_page) {
    case kCodePageShiftJis:
      return "CP932";  // Microsoft's Shift_JIS: 5C is the backslash, as on Windows
    case kCodePageUtf8:
      return "UTF-8";
    case 1252:
      return "CP1252";
    default:
      return nullptr;
  }
}

bool IsValidUtf8(std::string_view bytes) {
  return ConvertCodePage(bytes, kCodePageUtf8, kCodePageUtf8).has_value();
}

}  // namespace

std::optional<std::string> ConvertCodePage(std::string_view bytes, uint32_t from, uint32_t to) {
  const char* from_name = IconvName(from);
  const char* to_name = IconvName(to);
  if (!from_name || !to_name) return std::nullopt;
  iconv_t cd = ::iconv_open(to_name, from_name);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());  // iconv's interface; it never writes there
  size_t in_left = bytes.size();
  char* put = out.data();
  size_t out_left = out.size();
  // An invalid sequence, or a character the target lacks, stops it: nothing is approximated.
  const size_t done = ::iconv(cd, &in, &in_left, &put, &out_left);
  const bool ok = done != static_cast<size_t>(-1) && in_left == 0 &&
                  ::iconv(cd, nullptr, nullptr, &put, &out_left) != static_cast<size_t>(-1);
  ::iconv_close(cd);
  if (!ok || done != 0) return std::nullopt;  // done > 0: characters converted inexactly
  out.resize(out.size() - out_left);
  return out;
}

std::string DecodeArchiveName(std::string_view stored, std::optional<uint32_t> declared) {
  if (std::all_of(stored.begin(), stored.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::string(stored);  // the same in every code page names are written in
  if (declared) {
    if (auto utf8 = ConvertCodePage(stored, *declared, kCodePageUtf8)) return *utf8;
  }
  if (IsValidUtf8(stored)) return std::string(stored);
  if (auto utf8 = ConvertCodePage(stored, kCodePageShiftJis, kCodePageUtf8)) return *utf8;
  return std::string(stored);
}

uint32_t DefaultArchiveCodePage() {
  return kCodePageUtf8;
}

uint8_t ArchiveOsId() {
  return 'U';
}

}  // namespace platform
