// Names in the code pages of archives, through the system's own converters.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/text.h"

namespace platform {
namespace {

// `bytes` in code page `cp` as UTF-16; nullopt when they are not valid there.
std::optional<std::wstring> Wide(std::string_view bytes, UINT cp) {
  if (bytes.empty()) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  const int n = ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), n);
  return wide;
}

// UTF-16 in code page `cp`; nullopt when a character has no exact form there (no best fit, no
// default character: a name is never approximated).
std::optional<std::string> Narrow(std::wstring_view wide, UINT cp) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  const bool utf8 = cp == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL defaulted = FALSE;
  BOOL* defaulted_out = utf8 ? nullptr : &defaulted;  // CP_UTF8 takes no such flag
  const int n =
      ::WideCharToMultiByte(cp, flags, wide.data(), size, nullptr, 0, nullptr, defaulted_out);
  if (n <= 0 || defaulted) return std::nullopt;
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(cp, flags, wide.data(), size, out.data(), n, nullptr, defaulted_out);
  return out;
}

}  // namespace

std::optional<std::string> ConvertCodePage(std::string_view bytes, uint32_t from, uint32_t to) {
  const auto wide = Wide(bytes, from);
  if (!wide) return std::nullopt;
  return Narrow(*wide, to);
}

std::string DecodeArchiveName(std::string_view stored, std::optional<uint32_t> declared) {
  if (std::all_of(stored.begin(), stored.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::string(stored);
  if (declared) {
    if (auto utf8 = ConvertCodePage(stored, *declared, kCodePageUtf8)) return *utf8;
  }
  // Without a declaration a name is in the code page of the system that wrote it: this one's.
  if (auto utf8 = ConvertCodePage(stored, ::GetACP(), kCodePageUtf8)) return *utf8;
  return std::string(stored);
}

uint32_t DefaultArchiveCodePage() {
  return kCodePageShiftJis;
}

uint8_t ArchiveOsId() {
  return 'M';
}

}  // namespace platform
