// The texts of the archiver library's result codes: the one table that both the program's
// wrapper of the library and the library's own front end show. Depends on nothing but the codes.
#pragma once

#include <cstdint>
#include <string>

namespace messages {

// The message for an archiver result code: empty for 0, the table's text for a known code, and
// otherwise the unknown-error text followed by the code in upper-case hexadecimal.
std::wstring ResultCodeMessage(int32_t code);

}  // namespace messages
