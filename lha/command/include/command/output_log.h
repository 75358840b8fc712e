// The output text of one command: a readable log, one line per entry and a summary. It keeps
// no more than the caller's buffer can take, so a command over a huge archive uses no more
// memory for its log than the caller gave, and a text too long is cut at a character boundary.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lha::command {

class OutputLog {
 public:
  // capacity: bytes of text kept (the caller's buffer size less its NUL).
  explicit OutputLog(size_t capacity) : capacity_(capacity) {}

  void Line(std::string_view line);
  const std::string& text() const { return text_; }
  bool truncated() const { return truncated_; }

  // Copies the text and its NUL into a caller's buffer of `size` bytes (nothing when 0).
  void CopyTo(char* buffer, uint32_t size) const;

 private:
  size_t capacity_;
  std::string text_;
  bool truncated_ = false;
};

// The failures of one command: each gets a line in the log, and the first one's code is the
// command's result, while the command goes on with the rest.
class Failures {
 public:
  explicit Failures(OutputLog& log) : log_(log) {}
  void Add(int32_t code, std::string_view message);
  int32_t first_code() const { return first_code_; }
  size_t count() const { return count_; }

 private:
  OutputLog& log_;
  int32_t first_code_ = 0;
  size_t count_ = 0;
};

}  // namespace lha::command
