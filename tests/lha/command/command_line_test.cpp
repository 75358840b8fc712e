#include "command/command_line.h"

#include <gtest/gtest.h>

#include <map>

#include "common/error.h"

namespace {

using namespace lha::command;

int32_t ErrorOf(std::string_view text, const std::map<std::string, std::string>& files = {}) {
  try {
    Parse(text, [&](const std::string& n) -> std::optional<std::string> {
      auto it = files.find(n);
      return it == files.end() ? std::nullopt : std::optional<std::string>(it->second);
    });
    return 0;
  } catch (const lha::Error& e) {
    return e.code();
  }
}

CommandLine ParseWith(std::string_view text, const std::map<std::string, std::string>& files) {
  return Parse(text, [&](const std::string& n) -> std::optional<std::string> {
    auto it = files.find(n);
    return it == files.end() ? std::nullopt : std::optional<std::string>(it->second);
  });
}

TEST(Tokenize, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(*Tokenize("u  -+   a.lzh"), (std::vector<std::string>{"u", "-+", "a.lzh"}));
  EXPECT_EQ(*Tokenize("\"C:\\MY DATA\\..\\\" \"OLD FILES\"\\*.*"),
            (std::vector<std::string>{"C:\\MY DATA\\..\\", "OLD FILES\\*.*"}));
  EXPECT_EQ(*Tokenize("a\"b c\"d \"\""), (std::vector<std::string>{"ab cd", ""}));
  // A tab is part of a name: names with tabs reach the library unquoted.
  EXPECT_EQ(*Tokenize(" a\tb.lzh  x\t"), (std::vector<std::string>{"a\tb.lzh", "x\t"}));
  EXPECT_FALSE(Tokenize("\"open").has_value());
}

TEST(Parse, TheFolderArchivingCommandLine) {
  const std::map<std::string, std::string> files = {
      {"\\~VB1A2B.TMP",
       "\r\nC:\\DATA\\FOLDER1\\..\\ FOLDER1\\*.*\r\n"
       "\"C:\\MY DATA\\OLD FILES\\..\\\" \"OLD FILES\"\\*.*\r\n"
       "C:\\..\\ \\*.*\r\n\r\n"}};
  const CommandLine c = ParseWith(
      "u -+ -a1 -x1 -c1 -f0 -jm2 -jp1 -x1 -r2 -a1 C:\\BACKUP\\DATA.LZH @\\~VB1A2B.TMP", files);
  EXPECT_EQ(c.command, Command::kUpdate);
  EXPECT_TRUE(c.switches.include_hidden);
  EXPECT_TRUE(c.switches.keep_paths);
  EXPECT_TRUE(c.switches.replace_all);
  EXPECT_EQ(c.switches.recursion, Recursion::kWithFolders);
  EXPECT_EQ(c.archive, "C:\\BACKUP\\DATA.LZH");
  EXPECT_EQ(c.names, (std::vector<NameSpec>{{"C:\\DATA\\FOLDER1\\..\\", "FOLDER1\\*.*"},
                                            {"C:\\MY DATA\\OLD FILES\\..\\", "OLD FILES\\*.*"},
                                            {"C:\\..\\", "\\*.*"}}));
}

TEST(Parse, TheFileArchivingCommandLine) {
  const std::map<std::string, std::string> files = {
      {"\\~VB1A2C.TMP", "\r\nC:\\DATA\\A.TXT\r\nC:\\MY DATA\\B,C.TXT\r\nC:\\DATA\\*.TXT\r\n\r\n"}};
  const CommandLine c =
      ParseWith("u -+  -d0 -x0 \"C:\\MY BACKUP\\FILES.LZH\" @\\~VB1A2C.TMP", files);
  EXPECT_EQ(c.command, Command::kUpdate);
  EXPECT_FALSE(c.switches.keep_paths);
  EXPECT_FALSE(c.switches.include_hidden);
  EXPECT_EQ(c.switches.recursion, Recursion::kNone);
  EXPECT_EQ(c.archive, "C:\\MY BACKUP\\FILES.LZH");
  EXPECT_EQ(c.names,
            (std::vector<NameSpec>{
                {"", "C:\\DATA\\A.TXT"}, {"", "C:\\MY DATA\\B,C.TXT"}, {"", "C:\\DATA\\*.TXT"}}));
}

TEST(Parse, BaseFoldersApplyToTheNamesAfterThem) {
  const CommandLine c = ParseWith("x -w1 ARC.LZH restore\\ a.txt sub/ b.txt", {});
  EXPECT_EQ(c.command, Command::kExtract);
  EXPECT_TRUE(c.switches.overwrite);
  EXPECT_EQ(c.base, "restore\\");
  EXPECT_EQ(c.names, (std::vector<NameSpec>{{"restore\\", "a.txt"}, {"sub/", "b.txt"}}));
}

TEST(Parse, ResponseFileLinesWithoutQuotesAreWholeNames) {
  const auto names = ParseResponseFile(
      "C:\\MY DATA\\B,C.TXT\n  \n\"quoted name\" other\nbase\\ x y\nplain two words  \r\n"
      "\tTAB\tNAME\t\r\n",
      "");
  EXPECT_EQ(names, (std::vector<NameSpec>{{"", "C:\\MY DATA\\B,C.TXT"},
                                          {"", "quoted name"},
                                          {"", "other"},
                                          {"base\\", "x"},
                                          {"base\\", "y"},
                                          {"", "plain two words"},
                                          {"", "\tTAB\tNAME\t"}}));
}

TEST(Parse, ErrorsHaveTheirCodes) {
  const struct {
    const char* line;
    int32_t code;
  } cases[] = {
      {"", UNLHA_ERROR_COMMAND},
      {"q a.lzh", UNLHA_ERROR_COMMAND},
      {"add a.lzh", UNLHA_ERROR_COMMAND},
      {"a -z9 a.lzh", UNLHA_ERROR_COMMAND},
      {"a -d1 a.lzh", UNLHA_ERROR_COMMAND},  // deleting the sources is never done
      {"a \"a.lzh", UNLHA_ERROR_COMMAND},
      {"a -a1 -x1", UNLHA_ERROR_NO_ARC_NAME},
      {"l", UNLHA_ERROR_NO_ARC_NAME},
      {"a a.lzh @missing.txt", UNLHA_ERROR_NOT_EXIST},
      {"U -A1 -O7 A.LZH", 0},
      {"t a.lzh", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ErrorOf(c.line), c.code) << c.line;
}

}  // namespace
