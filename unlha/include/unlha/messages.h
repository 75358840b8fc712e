// Every text cUnLHA shows or hands out: the messages for the library's result codes and the box
// of a listing whose archive cannot be opened.
#pragma once

#include <cstdint>
#include <string>

namespace unlha {

// The message for an archiver result code: empty for 0, the table's text for a known code, and
// otherwise the unknown-error text followed by the code in upper-case hexadecimal.
std::wstring ResultCodeMessage(int32_t code);

// The prompt of the box shown when SetArcFile cannot open `arc_file`.
std::wstring OpenFailurePrompt(const std::wstring& arc_file);

}  // namespace unlha
