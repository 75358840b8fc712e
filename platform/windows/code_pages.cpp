// Names in the code pages of archives, through Windows' own converters.
#include <windows.h>

#include <algorithm>
#include <string>

#include "platform/text.h"

namespace platform {
namespace {

std::optional<std::wstring> ToWide(std::string_view bytes, uint32_t code_page) {
  if (bytes.empty()) return std::wstring();
  const int length = static_cast<int>(bytes.size());
  const int n =
      ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (n <= 0) return std::nullopt;  // invalid in that code page, or a code page Windows lacks
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), length, out.data(), n);
  return out;
}

std::optional<std::string> FromWide(std::wstring_view text, uint32_t code_page) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  // UTF-8 refuses lone surrogates; any other code page is asked for no approximations, and a
  // character it had to replace by its default one fails the conversion.
  const bool utf8 = code_page == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL defaulted = FALSE;
  BOOL* used_default = utf8 ? nullptr : &defaulted;
  const int n = ::WideCharToMultiByte(code_page, flags, text.data(), length, nullptr, 0, nullptr,
                                      used_default);
  if (n <= 0 || defaulted) return std::nullopt;
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(code_page, flags, text.data(), length, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::optional<std::string> ConvertCodePage(std::string_view bytes, uint32_t from, uint32_t to) {
  const auto wide = ToWide(bytes, from);
  return wide ? FromWide(*wide, to) : std::nullopt;
}

std::string DecodeArchiveName(std::string_view stored, std::optional<uint32_t> declared) {
  if (std::all_of(stored.begin(), stored.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::string(stored);  // the same in every code page names are written in
  if (declared) {
    if (auto utf8 = ConvertCodePage(stored, *declared, CP_UTF8)) return *utf8;
  }
  // Undeclared names are in the writer's ANSI code page, most likely the reader's own; what is
  // not valid there travels byte for byte (UTF-8 among it), as on POSIX.
  if (auto utf8 = ConvertCodePage(stored, ::GetACP(), CP_UTF8)) return *utf8;
  return std::string(stored);
}

uint32_t DefaultArchiveCodePage() {
  return ::GetACP();
}

}  // namespace platform
