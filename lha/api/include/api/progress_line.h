// The cursor mode's display: one line of a terminal, rewritten in place, showing how much of the
// command's data is done (of how much, once the total is known), the rate, and the entry being
// worked on. It is drawn when the first entry starts, then at most once every kRedrawInterval,
// and wiped when the object goes, so that whatever is written next starts on a clean line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "command/progress.h"

namespace lha::api {

class ProgressLine final : public command::Progress {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  using Writer = std::function<void(std::string_view)>;  // takes the bytes for the terminal

  static constexpr std::chrono::milliseconds kRedrawInterval{250};
  // One column short of an 80-column terminal: a line that filled the last column would leave
  // the cursor on the next row on some terminals, and the next redraw would start there.
  static constexpr size_t kColumns = 79;

  // `write` and `now` are called only from the thread running the command, and from the
  // destructor.
  ProgressLine(Writer write, Clock now);
  ~ProgressLine() override;
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool Shown() const override { return true; }
  void Total(uint64_t bytes) override;
  void Entry(const std::string& name, uint64_t bytes) override;
  void EntryDone(uint64_t bytes) override;

 private:
  void Draw(bool at_once);

  Writer write_;
  Clock now_;
  std::chrono::steady_clock::time_point start_;
  std::optional<std::chrono::steady_clock::time_point> drawn_at_;
  size_t drawn_width_ = 0;  // columns the line on the terminal takes
  std::optional<uint64_t> total_;
  uint64_t finished_ = 0;  // bytes of the entries before the current one
  uint64_t entry_bytes_ = 0;
  uint64_t entry_done_ = 0;
  std::string name_;
};

// The line's text, without terminal controls, at most `columns` wide:
//   " 45%  12.3 MiB of 27.0 MiB  5.1 MiB/s  documents/letters/letter1.txt"
// The percentage and the total only when the total is known, the rate only when measured. A
// name too long keeps its end ("...letters/letter1.txt"); bytes that would steer the terminal
// (control characters, what is not UTF-8) are shown as '?'. `width`, when given, receives the
// columns the text takes, counting every character from U+1100 on as two so as never to count
// short.
std::string ProgressText(uint64_t done, std::optional<uint64_t> total,
                         std::optional<uint64_t> bytes_per_second, std::string_view name,
                         size_t columns, size_t* width = nullptr);

}  // namespace lha::api
