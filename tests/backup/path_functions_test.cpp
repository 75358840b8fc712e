#include "backup/path_functions.h"

#include <gtest/gtest.h>

#include "platform/runtime.h"

namespace {

using namespace backup;

TEST(AddTrailingBackslashTest, ClosesThePathWithOneBackslash) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"C:\\BACKUP", L"C:\\BACKUP\\"},
      {L"C:\\BACKUP\\", L"C:\\BACKUP\\"},
      {L"C:\\BACKUP   ", L"C:\\BACKUP\\"},
      {L"   ", L"\\"},
      {L"", L"\\"},
      {L"  C:\\X", L"  C:\\X\\"},
      {L"C:/BACKUP/", L"C:/BACKUP/\\"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(AddTrailingBackslash(c.in), c.out) << c.in;
}

TEST(GetLastPathPartTest, TakesWhatFollowsTheLastSeparator) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"C:\\DATA\\A.TXT", L"A.TXT"},
      {L"C:\\DATA\\", L""},
      {L"C:/DATA/A.TXT", L"A.TXT"},
      {L"C:A.TXT", L"A.TXT"},
      {L"C:", L""},
      {L"A.TXT", L"A.TXT"},
      {L"", L""},
      {L"A\\B:C", L"C"},
      {L"A:B\\C", L"C"},
      {L"\\\\SERVER\\SHARE\\", L""},
      {L"データ\\表.TXT", L"表.TXT"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(GetLastPathPart(c.in), c.out) << c.in;
}

TEST(GetLastPathPartTest, OverflowsPast32767Characters) {
  EXPECT_EQ(GetLastPathPart(std::wstring(32765, L'A') + L"\\B"), L"B");
  try {
    GetLastPathPart(std::wstring(32768, L'A'));
    ADD_FAILURE() << "a path of 32,768 characters must overflow";
  } catch (const platform::RuntimeError& e) {
    EXPECT_EQ(e.Kind(), platform::ErrorKind::kOverflow);
  }
}

TEST(QuoteArgTest, QuotesTextWithBlanksOrCommas) {
  const struct {
    const wchar_t* in;
    const wchar_t* out;
  } cases[] = {
      {L"C:\\MY DATA\\..\\", L"\"C:\\MY DATA\\..\\\""},
      {L"A,B", L"\"A,B\""},
      {L"C:\\DATA\\..\\", L"C:\\DATA\\..\\"},
      {L"", L""},
      {L"A\tB", L"A\tB"},
      {L"SAY \"HI\"", L"\"SAY \"HI\"\""},
      {L"全角　空白", L"全角　空白"},  // an ideographic space is no blank
  };
  for (const auto& c : cases)
    EXPECT_EQ(QuoteArg(c.in), c.out) << c.in;
}

}  // namespace
