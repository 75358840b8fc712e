#include "format/entry.h"

#include "format/layout.h"

namespace lha::format {
namespace {

bool IsShiftJisLead(uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

}  // namespace

std::string EntryHeader::JoinedPath(char separator) const {
  std::string out;
  for (const std::string& c : path) {
    if (!out.empty()) out += separator;
    out += c;
  }
  return out;
}

bool IsLharkMethod(const EntryHeader& entry) {
  return entry.os_id == ' ' && entry.IsMethod(method::kLh7);
}

std::string NormalizeStoredPath(std::string_view bytes, bool shift_jis_guard) {
  std::string out(bytes);
  bool after_lead = false;  // the previous byte opened a Shift_JIS pair
  for (char& ch : out) {
    const auto b = static_cast<uint8_t>(ch);
    // 0xFF and '/' are never Shift_JIS trail bytes, so only a backslash needs the pairing state.
    if (b == ext::kPathSeparator || b == '/' || (b == '\\' && !after_lead)) {
      ch = '/';
      after_lead = false;
      continue;
    }
    after_lead = shift_jis_guard && !after_lead && IsShiftJisLead(b);
  }
  return out;
}

size_t FindLinkBar(std::string_view joined, bool shift_jis_guard) {
  bool after_lead = false;
  for (size_t i = 0; i < joined.size(); ++i) {
    const auto b = static_cast<uint8_t>(joined[i]);
    if (b == '|' && !after_lead) return i;
    after_lead = shift_jis_guard && !after_lead && IsShiftJisLead(b);
  }
  return std::string_view::npos;
}

bool SplitPath(std::string_view path, std::vector<std::string>& out) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) out.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return !path.empty() && path.front() == '/';
}

}  // namespace lha::format
