#include "command/output_log.h"

#include <gtest/gtest.h>

namespace {

using lha::command::OutputLog;

TEST(OutputLog, KeepsNoMoreThanTheCallerCanTakeAndCutsWholeCharacters) {
  OutputLog log(10);
  log.Line("abc");
  log.Line("日本語");  // 9 bytes and a line end: 6 bytes, "日本", fit after "abc\n"
  log.Line("more");
  EXPECT_EQ(log.text(), "abc\n日本");
  EXPECT_TRUE(log.truncated());
  char buf[4];
  log.CopyTo(buf, sizeof buf);
  EXPECT_STREQ(buf, "abc");
  char one[1] = {'x'};
  log.CopyTo(one, 1);
  EXPECT_EQ(one[0], '\0');
}

TEST(OutputLog, ControlCharactersOfNamesNeverReachTheReader) {
  OutputLog log(100);
  log.Line("tmp/\x1b]2;malicious\x07 name\r\x7f");
  EXPECT_EQ(log.text(), "tmp/?]2;malicious? name??\n");
}

}  // namespace
