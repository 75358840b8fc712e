// A message box as text, the form in which a box is written where there is no window to show
// it (section "Message boxes" of the README):
//
//   [<title>]<icon>
//   <prompt, one line per line of the prompt>
//   [OK]
//
// <icon> is empty for style 0, " (error)" for 16 and 272, " (warning)" for 48. A box with no
// title of its own shows kAppTitle. CR alone, LF alone and CR LF all break the prompt.
#pragma once

#include <optional>
#include <string>

namespace platform {

std::wstring BoxText(const std::wstring& prompt, const std::optional<std::wstring>& title,
                     int style);

}  // namespace platform
