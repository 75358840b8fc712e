#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

using platform::FromUtf8;
using platform::ToUtf8;

TEST(TextConversion, ValidUtf8BecomesCodePoints) {
  EXPECT_EQ(FromUtf8("A\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80"), L"Aé日😀");
  EXPECT_EQ(ToUtf8(L"Aé日😀"), "A\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80");
  EXPECT_EQ(FromUtf8("ﾌｧｲﾙ"), L"ﾌｧｲﾙ");
}

TEST(TextConversion, InvalidBytesSurviveARoundTrip) {
  const std::string cases[] = {
      "\xFF",                  // never valid
      "\x82\xA0",              // Shift_JIS, not UTF-8
      "\xC3",                  // truncated sequence
      "\xE6\x97",              // truncated three-byte sequence
      "\xC0\xAF",              // overlong "/"
      "\xED\xB2\x80",          // an encoded escape surrogate must not pass as one
      "\xF4\x90\x80\x80",      // above U+10FFFF
      std::string("a\0b", 3),  // NUL is an ordinary character
      // Encoded surrogates: in UTF-16 none may come back as half of a pair.
      "\xED\xA0\xBD\x80",                          // a high one, then a stray byte
      "\xED\xA0\xBD\xED\xB8\x80",                  // a pair encoded half by half
      "\xED\xA0\x80\xED\xAF\xBF\xFF\xED\xA0\x80",  // two high ones before a stray byte
  };
  for (const auto& bytes : cases) {
    const std::wstring wide = FromUtf8(bytes);
    EXPECT_EQ(ToUtf8(wide), bytes) << "bytes of length " << bytes.size();
  }
  EXPECT_EQ(FromUtf8("\xFF"), std::wstring(1, static_cast<wchar_t>(0xDCFF)));
}

// Wide text from the system may hold lone surrogates (Windows names are not checked UTF-16).
TEST(TextConversion, LoneSurrogatesSurviveARoundTrip) {
  const std::wstring cases[] = {
      {static_cast<wchar_t>(0xD800)},
      {L'a', static_cast<wchar_t>(0xDBFF), L'b'},
      {static_cast<wchar_t>(0xDC00)},  // low, below the escapes
      {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xD83D)},
      {static_cast<wchar_t>(0xDFFF), static_cast<wchar_t>(0xD800)},
  };
  for (const auto& wide : cases) {
    EXPECT_EQ(FromUtf8(ToUtf8(wide)), wide) << "first unit " << static_cast<int>(wide[0]);
  }
}

TEST(CaseMapping, SimpleUnicodeMappings) {
  EXPECT_EQ(platform::UCase(L"c:\\backup\\データ\\ａｂｃ\\straße\\ελλάδα\\привет\\𐐨𐑍"),
            L"C:\\BACKUP\\データ\\ＡＢＣ\\STRAßE\\ΕΛΛΆΔΑ\\ПРИВЕТ\\𐐀𐐥");
  EXPECT_EQ(platform::LCase(std::wstring(L"ARCH\0\0Ａ", 7)), std::wstring(L"arch\0\0ａ", 7));
  EXPECT_EQ(platform::LCase(L"𐐀𞤀"), L"𐐨𞤢");  // past U+FFFF: surrogate pairs in UTF-16
  EXPECT_EQ(platform::UCase(L"ﾌｧｲﾙ"), L"ﾌｧｲﾙ");          // half-width katakana have no case
}

TEST(CaseMapping, NamesCompareIgnoringCase) {
  EXPECT_TRUE(platform::NamesEqualIgnoringCase("Data.TXT", "data.txt"));
  EXPECT_TRUE(platform::NamesEqualIgnoringCase("ÄRGER", "ärger"));
  EXPECT_FALSE(platform::NamesEqualIgnoringCase("data1", "data2"));
  EXPECT_FALSE(platform::NamesEqualIgnoringCase("a", "ab"));
}

TEST(Utf8Prefix, NeverCutsACharacterInHalf) {
  const std::string jp = "日本語";  // three bytes each
  EXPECT_EQ(platform::Utf8PrefixLength(jp, 9), 9u);
  EXPECT_EQ(platform::Utf8PrefixLength(jp, 8), 6u);
  EXPECT_EQ(platform::Utf8PrefixLength(jp, 2), 0u);
  EXPECT_EQ(platform::Utf8PrefixLength("ab\xFF\xFF", 3), 3u);  // stray bytes count singly
}

TEST(Trim, BlanksOnly) {
  EXPECT_EQ(platform::Trim(L"  a b  "), L"a b");
  EXPECT_EQ(platform::RTrim(L"  a  "), L"  a");
  EXPECT_EQ(platform::LTrim(L"  a  "), L"a  ");
  EXPECT_EQ(platform::Trim(L"\ta\t"), L"\ta\t");
  EXPECT_EQ(platform::Trim(L"   "), L"");
}

}  // namespace
