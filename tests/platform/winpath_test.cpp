#include "platform/winpath.h"

#include <gtest/gtest.h>

namespace {

using platform::winpath::MatchWildcard;
using platform::winpath::Parse;
using platform::winpath::WhyWindowsMisreads;

TEST(WindowsPath, ParsesSeparatorsAndDotsLexically) {
  struct Case {
    const char* path;
    bool rooted;
    std::vector<std::string> parts;
    bool trailing;
  } cases[] = {
      {"C:\\BACKUP\\", false, {"C:", "BACKUP"}, true},
      {"\\", true, {}, true},
      {"", false, {}, false},
      {"/data//sub/./x", true, {"data", "sub", "x"}, false},
      {"C:\\MY DATA\\OLD FILES\\..\\", false, {"C:", "MY DATA"}, true},
      {"\\..\\..\\etc", true, {"etc"}, false},
      {"..\\a\\..\\..\\b", false, {"..", "..", "b"}, false},
      {"a\\b/..\\c", false, {"a", "c"}, false},
  };
  for (const auto& c : cases) {
    const auto p = Parse(c.path);
    EXPECT_EQ(p.rooted, c.rooted) << c.path;
    EXPECT_EQ(p.parts, c.parts) << c.path;
    EXPECT_EQ(p.trailing_separator, c.trailing) << c.path;
  }
}

TEST(WindowsPath, WildcardsMatchIgnoringCase) {
  struct Case {
    const char* pattern;
    const char* name;
    bool match;
  } cases[] = {
      {"*.TXT", "notes.txt", true}, {"*.TXT", "notes.txt.bak", false},
      {"*.*", "README", true},      {"*.*", "a.b.c", true},
      {"A?C", "abc", true},         {"A?C", "ac", false},
      {"*", ".hidden", true},       {"DATA*", "Datafile", true},
      {"*X*Y", "aXbXcY", true},     {"*X*Y", "aXbYc", false},
      {"REPORT.*", "Report", true}, {"データ*", "データ1.TXT", true},
      {"ÄB?", "äbc", true},         {"?", "日", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MatchWildcard(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

// What an extraction on Windows refuses to make: names Windows would take for something else.
TEST(WindowsPath, NamesWindowsMisreadsAreTold) {
  const struct {
    const char* name;
    bool misread;
  } cases[] = {
      {"notes.txt", false}, {"a:b", true},         {"file.txt:stream", true},
      {"CON", true},        {"con.txt", true},     {"Nul.tar.gz", true},
      {"AUX ", true},       {"prn .txt", true},    {"COM1", true},
      {"lpt9.log", true},   {"COM0", false},       {"COM10", false},
      {"CONSOLE", false},   {"NULL.txt", false},   {"trailing.", true},
      {"blank ", true},     {".hidden", false},    {"a<b", true},
      {"a>b", true},        {"a\"b", true},        {"a|b", true},
      {"a?b", true},        {"a*b", true},         {"tab\tname", true},
      {"\x1F", true},       {"データ.txt", false}, {"ﾌｧｲﾙ", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(!WhyWindowsMisreads(c.name).empty(), c.misread) << c.name;
}

}  // namespace
