#include "command/output_log.h"

#include <cstring>

#include "platform/text.h"

namespace lha::command {

void OutputLog::Line(std::string_view line) {
  if (truncated_) return;
  std::string piece(line);
  piece += '\n';
  if (text_.size() + piece.size() > capacity_) {
    text_.append(piece, 0, platform::Utf8PrefixLength(piece, capacity_ - text_.size()));
    truncated_ = true;
    return;
  }
  text_ += piece;
}

void OutputLog::CopyTo(char* buffer, uint32_t size) const {
  if (!buffer || size == 0) return;
  const size_t n = platform::Utf8PrefixLength(text_, size - 1);
  std::memcpy(buffer, text_.data(), n);
  buffer[n] = '\0';
}

}  // namespace lha::command
