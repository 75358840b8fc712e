// Text as the system holds it (wide strings) and as it crosses into the operating system or the
// archiver library, in two encodings:
//
// - The "ANSI code page", the encoding of the Windows A-functions and of the archiver library's
//   C interface: the system's code page on Windows (932 on a Japanese system), UTF-8 on POSIX.
//   Platform's text arguments and buffers are in it.
// - UTF-8, the encoding of native paths (env.h) and of the library's own work. On POSIX both are
//   the same, and AnsiToUtf8 and Utf8ToAnsi change nothing.
//
// The UTF-8 conversion is lossless and ignores the locale: bytes that are not valid UTF-8 become
// the lone surrogates U+DC80..U+DCFF and turn back into the same bytes, so any name found on disk
// survives a round trip. Where wchar_t is 16 bits (Windows) wide text is UTF-16: a code point past
// U+FFFF is a surrogate pair, four bytes of UTF-8. Text from Windows may hold lone surrogates;
// they become the three bytes of generalised UTF-8 and come back as themselves, except
// U+DC80..U+DCFF, which are read as escaped bytes. The bytes never change in a round trip: an
// encoded surrogate that would come back paired with its neighbour is escaped byte by byte
// instead. A Windows code page cannot be lossless: what it cannot hold becomes its default
// character, as in every A-function.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view bytes);

std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view bytes);

// Where ANSI text from a caller becomes a native path or the library's text, and back.
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);
// The longest beginning of UTF-8 text whose ANSI form fits in `limit` bytes, in ANSI, ending
// with a whole character.
std::string Utf8ToAnsiWithin(std::string_view utf8, size_t limit);

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

// --- Names in archives ------------------------------------------------------------------------
// Names inside the archiver library are UTF-8. Archives carry them in the code page of whoever
// wrote them: ext 46 names it when the writer did; Japanese writers mostly use 932 (Shift_JIS)
// without saying so.
inline constexpr uint32_t kCodePageShiftJis = 932;
inline constexpr uint32_t kCodePageUtf8 = 65001;

// `bytes` in code page `from`, as code page `to`: nullopt when they are not valid in `from` or
// hold a character `to` cannot express. The system's own converters do it (iconv on POSIX).
std::optional<std::string> ConvertCodePage(std::string_view bytes, uint32_t from, uint32_t to);

// A stored name as UTF-8. With `declared` (ext 46), in that code page; without, as this system
// reads such names: on POSIX, as UTF-8 when it is valid UTF-8, else as code page 932 when it is
// valid there, else byte for byte (bytes that are not UTF-8 travel as they are); on Windows, in
// the ANSI code page.
std::string DecodeArchiveName(std::string_view stored, std::optional<uint32_t> declared);

// The code page this system writes names in by default: 65001 on POSIX, 932 on Windows.
uint32_t DefaultArchiveCodePage();

// The OS id this system's archive headers carry, with the metadata that goes with it: 'U' (a
// Unix mode) on POSIX, 'M' (the MS-DOS attribute alone, as Windows writers do) on Windows.
uint8_t ArchiveOsId();

// Appends code point `cp` to `out` as UTF-8 (a surrogate too, as its three bytes).
void AppendUtf8(std::string& out, char32_t cp);

// UTF-16LE text (ext 44/45) as UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8FromUtf16(std::u16string_view text);

// Blanks (U+0020 only) removed from both ends, the start, or the end.
std::wstring Trim(std::wstring_view text);
std::wstring LTrim(std::wstring_view text);
std::wstring RTrim(std::wstring_view text);

}  // namespace platform
