// Every text cUnLHA hands out: the messages for the library's result codes.
#pragma once

#include <cstdint>
#include <string>

namespace unlha {

// The message for an archiver result code: empty for 0, the table's text for a known code, and
// otherwise the unknown-error text followed by the code in upper-case hexadecimal.
std::wstring ResultCodeMessage(int32_t code);

}  // namespace unlha
