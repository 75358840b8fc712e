// On POSIX the "ANSI code page" is UTF-8, with its lossless treatment of other bytes.
#include "platform/text.h"

namespace platform {

std::string ToAnsi(std::wstring_view text) {
  return ToUtf8(text);
}

std::wstring FromAnsi(std::string_view bytes) {
  return FromUtf8(bytes);
}

}  // namespace platform
