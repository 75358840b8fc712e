#include "box_text.h"

#include "platform/platform.h"

namespace platform {
namespace {

std::wstring BoxIcon(int style) {
  switch (style & 0xF0) {
    case kMbIconCritical:
      return L" (error)";
    case kMbIconExclamation:
      return L" (warning)";
    case 0x20:
      return L" (question)";
    case 0x40:
      return L" (information)";
    default:
      return L"";
  }
}

}  // namespace

std::wstring BoxText(const std::wstring& prompt, const std::optional<std::wstring>& title,
                     int style) {
  std::wstring out = L"[" + (title ? *title : kAppTitle) + L"]" + BoxIcon(style) + L"\n";
  for (size_t i = 0; i < prompt.size(); ++i) {
    const wchar_t c = prompt[i];
    if (c == L'\r' || c == L'\n') {
      if (c == L'\r' && i + 1 < prompt.size() && prompt[i + 1] == L'\n') ++i;
      out += L'\n';
    } else {
      out += c;
    }
  }
  return out + L"\n[OK]\n";
}

}  // namespace platform
