// Every text cUnLHA shows or hands out: the messages for the library's result codes (the shared
// table) and the box of a listing whose archive cannot be opened.
#pragma once

#include <cstdint>
#include <string>

#include "messages/result_codes.h"

namespace unlha {

using messages::ResultCodeMessage;

// The prompt of the box shown when SetArcFile cannot open `arc_file`.
std::wstring OpenFailurePrompt(const std::wstring& arc_file);

}  // namespace unlha
