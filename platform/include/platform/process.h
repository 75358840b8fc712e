// Small process services for the archiver library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::process {

bool StandardErrorIsTerminal();
void WriteStandardError(std::string_view text);
// Lowers the scheduling priority of the calling thread only; a thread that ends takes the
// lowered priority with it, so the process's own priority never changes.
void LowerThreadPriority();
// The value of an environment variable; empty when it is not set.
std::string EnvironmentValue(const char* name);

}  // namespace platform::process
