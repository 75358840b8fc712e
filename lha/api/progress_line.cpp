#include "api/progress_line.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <iterator>
#include <vector>

#include "platform/text.h"

namespace lha::api {
namespace {

std::string Bytes(uint64_t n) {
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  char text[32];
  if (n < 1024) {
    std::snprintf(text, sizeof text, "%" PRIu64 " B", n);
    return text;
  }
  double v = static_cast<double>(n) / 1024;
  size_t unit = 0;
  while (v >= 1024 && unit + 1 < std::size(kUnits)) {
    v /= 1024;
    ++unit;
  }
  std::snprintf(text, sizeof text, "%.1f %s", v, kUnits[unit]);
  return text;
}

// One character of a name as it goes to the terminal.
struct Glyph {
  std::string text;
  size_t width;
};

bool IsSurrogate(uint32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

std::vector<Glyph> Glyphs(std::string_view name) {
  const std::wstring wide = platform::FromUtf8(name);  // the library's names are UTF-8
  std::vector<Glyph> out;
  for (size_t i = 0; i < wide.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(wide[i]);
    // A surrogate pair where wchar_t is 16 bits; any other surrogate stands for a byte that was
    // not UTF-8.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(wide[++i]) - 0xDC00);
    }
    const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
    if (control || IsSurrogate(c)) {
      out.push_back({"?", 1});
    } else {
      std::string text;
      platform::AppendUtf8(text, c);
      out.push_back({std::move(text), c < 0x1100 ? size_t{1} : size_t{2}});
    }
  }
  return out;
}

// The end of the name that fits in `columns`, with "..." before it when something was cut.
std::string FittedName(std::string_view name, size_t columns, size_t* width) {
  const std::vector<Glyph> glyphs = Glyphs(name);
  size_t whole = 0;
  for (const auto& g : glyphs)
    whole += g.width;
  size_t taken = 0;
  std::string text;
  if (whole <= columns) {
    for (const auto& g : glyphs)
      text += g.text;
    taken = whole;
  } else if (columns > 3) {
    size_t first = glyphs.size();
    while (first > 0 && taken + glyphs[first - 1].width <= columns - 3)
      taken += glyphs[--first].width;
    text = "...";
    taken += 3;
    for (size_t i = first; i < glyphs.size(); ++i)
      text += glyphs[i].text;
  }
  *width = taken;
  return text;
}

}  // namespace

std::string ProgressText(uint64_t done, std::optional<uint64_t> total,
                         std::optional<uint64_t> bytes_per_second, std::string_view name,
                         size_t columns, size_t* width) {
  std::string text;
  if (total) {
    const uint64_t percent =
        *total == 0 ? 100 : std::min<uint64_t>(100, static_cast<uint64_t>(100.0 * done / *total));
    char head[8];
    std::snprintf(head, sizeof head, "%3" PRIu64 "%%  ", percent);
    text = head + Bytes(done) + " of " + Bytes(*total);
  } else {
    text = Bytes(done);
  }
  if (bytes_per_second) text += "  " + Bytes(*bytes_per_second) + "/s";
  // Everything so far is ASCII: one column a byte.
  size_t used = std::min(text.size(), columns);
  text.resize(used);
  constexpr size_t kGap = 2;
  if (!name.empty() && used + kGap < columns) {
    size_t name_width = 0;
    const std::string shown = FittedName(name, columns - used - kGap, &name_width);
    if (name_width > 0) {
      text += std::string(kGap, ' ') + shown;
      used += kGap + name_width;
    }
  }
  if (width) *width = used;
  return text;
}

ProgressLine::ProgressLine(Writer write, Clock now)
    : write_(std::move(write)), now_(std::move(now)), start_(now_()) {}

ProgressLine::~ProgressLine() {
  if (drawn_width_ > 0) write_("\r" + std::string(drawn_width_, ' ') + "\r");
}

void ProgressLine::Total(uint64_t bytes) {
  total_ = bytes;
}

void ProgressLine::Entry(const std::string& name, uint64_t bytes) {
  finished_ += std::max(entry_bytes_, entry_done_);
  entry_bytes_ = bytes;
  entry_done_ = 0;
  name_ = name;
  Draw(/*at_once=*/!drawn_at_);
}

void ProgressLine::EntryDone(uint64_t bytes) {
  entry_done_ = bytes;
  Draw(false);
}

void ProgressLine::Draw(bool at_once) {
  const auto now = now_();
  if (!at_once && (!drawn_at_ || now - *drawn_at_ < kRedrawInterval)) return;
  const uint64_t done = finished_ + entry_done_;
  std::optional<uint64_t> rate;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - start_);
  if (elapsed >= kRedrawInterval)
    rate = static_cast<uint64_t>(static_cast<double>(done) * 1000 / elapsed.count());
  size_t width = 0;
  const std::string text = ProgressText(done, total_, rate, name_, kColumns, &width);
  // Blanks over what is left of a longer line before, rather than a terminal's erase sequence,
  // so that any console shows it.
  write_("\r" + text + std::string(drawn_width_ > width ? drawn_width_ - width : 0, ' '));
  drawn_width_ = std::max(drawn_width_, width);
  drawn_at_ = now;
}

}  // namespace lha::api
