#include "platform/text.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace platform {
namespace {

struct CaseMapping {
  char32_t from;
  char32_t to;
};
#include "case_tables.inc"

constexpr char32_t kEscapeBase = 0xDC00;  // U+DC80..U+DCFF stand for the bytes 0x80..0xFF

// Windows: wide text is UTF-16, and a code point past U+FFFF takes a surrogate pair.
constexpr bool kUtf16 = sizeof(wchar_t) == 2;

bool IsEscape(char32_t c) {
  return c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF;
}
bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// The code point at text[*i] (a surrogate pair taken whole in UTF-16), *i moved past it.
char32_t NextCodePoint(std::wstring_view text, size_t* i) {
  const auto c = static_cast<char32_t>(text[(*i)++]);
  if (kUtf16 && IsHighSurrogate(c) && *i < text.size() &&
      IsLowSurrogate(static_cast<char32_t>(text[*i]))) {
    return 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(text[(*i)++]) - 0xDC00);
  }
  return c;
}

void AppendWide(std::wstring& out, char32_t cp) {
  if (kUtf16 && cp >= 0x10000) {
    out += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
    out += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
  } else {
    out += static_cast<wchar_t>(cp);
  }
}

template <size_t N>
char32_t MapCase(const CaseMapping (&table)[N], char32_t c) {
  const auto* it = std::lower_bound(std::begin(table), std::end(table), c,
                                    [](const CaseMapping& m, char32_t v) { return m.from < v; });
  return (it != std::end(table) && it->from == c) ? it->to : c;
}

char32_t Upper(char32_t c) {
  if (c < 0x80) return (c >= U'a' && c <= U'z') ? c - 32 : c;
  return MapCase(kUpperMappings, c);
}

char32_t Lower(char32_t c) {
  if (c < 0x80) return (c >= U'A' && c <= U'Z') ? c + 32 : c;
  return MapCase(kLowerMappings, c);
}

// Code point by code point: in UTF-16 the letters past U+FFFF have case too.
std::wstring MapText(std::wstring_view text, char32_t (*map)(char32_t)) {
  std::wstring out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();)
    AppendWide(out, map(NextCodePoint(text, &i)));
  return out;
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
  if (IsEscape(cp)) return 0;
  *out = cp;
  return len;
}

}  // namespace

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

namespace {

// In UTF-16 a decoded lone high surrogate followed by a low one (a decoded lone one, or an
// escaped byte) would read back as a pair, that is as other bytes. So before a low surrogate is
// appended, the high surrogates that end `out` give way to the escapes of their bytes. Escapes
// are low surrogates themselves, which is why the whole run goes. Only decoded lone surrogates
// can end `out` as a high one: a pair always ends in its low half.
void AppendLowSurrogate(std::wstring& out, wchar_t low) {
  size_t run = out.size();
  while (run > 0 && IsHighSurrogate(static_cast<char32_t>(out[run - 1])))
    --run;
  if (run < out.size()) {
    std::string bytes;
    for (size_t k = run; k < out.size(); ++k)
      AppendUtf8(bytes, static_cast<char32_t>(out[k]));
    out.resize(run);
    for (char b : bytes)
      out += static_cast<wchar_t>(kEscapeBase + static_cast<uint8_t>(b));
  }
  out += low;
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (static_cast<char32_t>(text[i]) < 0x80) {  // ASCII: as it is
      out += static_cast<char>(text[i++]);
      continue;
    }
    const char32_t cp = NextCodePoint(text, &i);
    if (IsEscape(cp)) {
      out += static_cast<char>(cp - kEscapeBase);
    } else if (cp > 0x10FFFF) {
      out += "\xEF\xBF\xBD";  // U+FFFD: wchar_t can hold values no code page can
    } else {
      AppendUtf8(out, cp);  // a lone surrogate too, as the three bytes that FromUtf8 accepts
    }
  }
  return out;
}

std::wstring FromUtf8(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    if (static_cast<uint8_t>(bytes[i]) < 0x80) {  // ASCII: as it is
      out += static_cast<wchar_t>(bytes[i++]);
      continue;
    }
    char32_t cp;
    if (size_t len = ValidSequenceLength(bytes, i, &cp)) {
      if (kUtf16 && IsLowSurrogate(cp)) {
        AppendLowSurrogate(out, static_cast<wchar_t>(cp));
      } else {
        AppendWide(out, cp);
      }
      i += len;
    } else {
      const auto escape = static_cast<wchar_t>(kEscapeBase + static_cast<uint8_t>(bytes[i]));
      if (kUtf16) {
        AppendLowSurrogate(out, escape);
      } else {
        out += escape;
      }
      ++i;
    }
  }
  return out;
}

wchar_t UpperChar(wchar_t c) {
  return static_cast<wchar_t>(Upper(static_cast<char32_t>(c)));
}

wchar_t LowerChar(wchar_t c) {
  return static_cast<wchar_t>(Lower(static_cast<char32_t>(c)));
}

std::wstring UCase(std::wstring_view text) {
  return MapText(text, Upper);
}

std::wstring LCase(std::wstring_view text) {
  return MapText(text, Lower);
}

std::string AnsiToUtf8(std::string_view ansi) {
  return ToUtf8(FromAnsi(ansi));
}

std::string Utf8ToAnsi(std::string_view utf8) {
  return ToAnsi(FromUtf8(utf8));
}

std::string Utf8ToAnsiWithin(std::string_view utf8, size_t limit) {
  const std::wstring wide = FromUtf8(utf8);
  std::string whole = ToAnsi(wide);
  if (whole.size() <= limit) return whole;
  // The ANSI form grows with every character taken: the longest run of whole characters that
  // fits, found by halves over the places where a character (a surrogate pair) begins.
  std::vector<size_t> ends;
  for (size_t i = 0; i < wide.size();) {
    NextCodePoint(wide, &i);
    ends.push_back(i);
  }
  size_t low = 0, high = ends.size();  // ends[low - 1] fits (none when 0), ends[high - 1] not
  std::string best;
  while (high - low > 1) {
    const size_t mid = low + (high - low) / 2;
    std::string candidate = ToAnsi(std::wstring_view(wide).substr(0, ends[mid - 1]));
    if (candidate.size() <= limit) {
      low = mid;
      best = std::move(candidate);
    } else {
      high = mid;
    }
  }
  return best;
}

bool NamesEqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return (x & 0x80) == 0 && (y & 0x80) == 0 && UpperChar(x) == UpperChar(y);
      })) {
    return true;  // the common, pure ASCII case without decoding
  }
  return FoldedName(a) == FoldedName(b);
}

std::string FoldedName(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<uint8_t>(utf8[i]);
    if (b < 0x80) {  // most names are ASCII: no decoding
      out += static_cast<char>(b >= 'a' && b <= 'z' ? b - 0x20 : b);
      ++i;
      continue;
    }
    char32_t cp;
    if (const size_t len = ValidSequenceLength(utf8, i, &cp)) {
      AppendUtf8(out, Upper(cp));
      i += len;
    } else {
      out += static_cast<char>(b);
      ++i;
    }
  }
  return out;
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

std::string Utf8FromUtf16(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace platform
