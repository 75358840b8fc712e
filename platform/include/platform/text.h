// Text as the system holds it (wide strings) and as it crosses into the operating system or the
// archiver library (bytes of the "ANSI code page", which is UTF-8 here).
//
// The conversion is lossless and ignores the locale: bytes that are not valid UTF-8 become the
// lone surrogates U+DC80..U+DCFF and turn back into the same bytes, so any name found on disk
// survives a round trip.
//
// Where wchar_t is 16 bits (Windows) wide text is UTF-16: a code point past U+FFFF is a surrogate
// pair, four bytes of UTF-8. Text from Windows may hold lone surrogates; they become the three
// bytes of generalised UTF-8 and come back as themselves, except U+DC80..U+DCFF, which are read
// as escaped bytes. The bytes never change in a round trip: an encoded surrogate that would come
// back paired with its neighbour is escaped byte by byte instead.
#pragma once

#include <string>
#include <string_view>

namespace platform {

std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view bytes);

// Unicode simple case mappings, independent of the environment.
wchar_t UpperChar(wchar_t c);
wchar_t LowerChar(wchar_t c);
std::wstring UCase(std::wstring_view text);
std::wstring LCase(std::wstring_view text);

// Case-insensitive equality of two byte strings taken as UTF-8 names.
bool NamesEqualIgnoringCase(std::string_view a, std::string_view b);
// The form that names equal but for case share: UTF-8 upper-cased by the simple mapping, bytes
// that are not UTF-8 kept as they are. Names are equal ignoring case when their forms are equal.
std::string FoldedName(std::string_view utf8);

// The longest prefix of `bytes` of at most `limit` bytes that does not end inside a UTF-8
// sequence. Bytes that are not valid UTF-8 count as whole characters of one byte.
size_t Utf8PrefixLength(std::string_view bytes, size_t limit);

// Blanks (U+0020 only) removed from both ends, the start, or the end.
std::wstring Trim(std::wstring_view text);
std::wstring LTrim(std::wstring_view text);
std::wstring RTrim(std::wstring_view text);

}  // namespace platform
