#include "platform/text.h"

#include <algorithm>
#include <cstdint>

namespace platform {
namespace {

struct CaseMapping {
  char32_t from;
  char32_t to;
};
#include "case_tables.inc"

constexpr char32_t kEscapeBase = 0xDC00;  // U+DC80..U+DCFF stand for the bytes 0x80..0xFF

template <size_t N>
wchar_t MapCase(const CaseMapping (&table)[N], wchar_t c) {
  const auto* it = std::lower_bound(std::begin(table), std::end(table), static_cast<char32_t>(c),
                                    [](const CaseMapping& m, char32_t v) { return m.from < v; });
  return (it != std::end(table) && it->from == static_cast<char32_t>(c))
             ? static_cast<wchar_t>(it->to)
             : c;
}

// Length of the valid UTF-8 sequence at s[i], or 0 when the byte there does not start one.
// Surrogates are accepted only when they are not the escape range, so every escaped byte
// comes back as itself.
size_t ValidSequenceLength(std::string_view s, size_t i, char32_t* out) {
  const auto b0 = static_cast<uint8_t>(s[i]);
  if (b0 < 0x80) {
    *out = b0;
    return 1;
  }
  size_t len;
  char32_t cp;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<uint8_t>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF) return 0;
  if (cp >= kEscapeBase + 0x80 && cp <= kEscapeBase + 0xFF) return 0;
  *out = cp;
  return len;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

std::string ToAnsi(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (wchar_t wc : text) {
    const auto cp = static_cast<char32_t>(wc);
    if (cp >= kEscapeBase + 0x80 && cp <= kEscapeBase + 0xFF) {
      out += static_cast<char>(cp - kEscapeBase);
    } else if (cp > 0x10FFFF) {
      out += "\xEF\xBF\xBD";  // U+FFFD: wchar_t can hold values no code page can
    } else {
      AppendUtf8(out, cp);
    }
  }
  return out;
}

std::wstring FromAnsi(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    char32_t cp;
    if (size_t len = ValidSequenceLength(bytes, i, &cp)) {
      out += static_cast<wchar_t>(cp);
      i += len;
    } else {
      out += static_cast<wchar_t>(kEscapeBase + static_cast<uint8_t>(bytes[i]));
      ++i;
    }
  }
  return out;
}

wchar_t UpperChar(wchar_t c) {
  if (c < 0x80) return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c;
  return MapCase(kUpperMappings, c);
}

wchar_t LowerChar(wchar_t c) {
  if (c < 0x80) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
  return MapCase(kLowerMappings, c);
}

std::wstring UCase(std::wstring_view text) {
  std::wstring out(text);
  for (auto& c : out)
    c = UpperChar(c);
  return out;
}

std::wstring LCase(std::wstring_view text) {
  std::wstring out(text);
  for (auto& c : out)
    c = LowerChar(c);
  return out;
}

bool NamesEqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return (x & 0x80) == 0 && (y & 0x80) == 0 && UpperChar(x) == UpperChar(y);
      })) {
    return true;  // the common, pure ASCII case without decoding
  }
  return UCase(FromAnsi(a)) == UCase(FromAnsi(b));
}

size_t Utf8PrefixLength(std::string_view bytes, size_t limit) {
  size_t i = 0;
  while (i < bytes.size()) {
    char32_t cp;
    size_t len = ValidSequenceLength(bytes, i, &cp);
    if (len == 0) len = 1;
    if (i + len > limit) break;
    i += len;
  }
  return i;
}

std::wstring LTrim(std::wstring_view text) {
  const size_t first = text.find_first_not_of(L' ');
  return first == std::wstring_view::npos ? std::wstring() : std::wstring(text.substr(first));
}

std::wstring RTrim(std::wstring_view text) {
  const size_t last = text.find_last_not_of(L' ');
  return last == std::wstring_view::npos ? std::wstring() : std::wstring(text.substr(0, last + 1));
}

std::wstring Trim(std::wstring_view text) {
  return LTrim(RTrim(text));
}

}  // namespace platform
