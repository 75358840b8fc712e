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

}  // namespace lha::command
