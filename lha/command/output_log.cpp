#include "command/output_log.h"

#include <cstring>

#include "platform/text.h"

namespace lha::command {

void OutputLog::Line(std::string_view line) {
  if (truncated_) return;
  std::string piece(line);
  // Names come from archives made anywhere: control characters in them (a terminal's escape
  // sequences, say) are shown as "?", never passed on to whoever prints the log.
  for (auto& c : piece)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
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

void Failures::Add(int32_t code, std::string_view message) {
  log_.Line(std::string("  error ") + std::string(message));
  if (first_code_ == 0) first_code_ = code;
  ++count_;
}

}  // namespace lha::command
