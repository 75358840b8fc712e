// Small process services for the archiver library.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform::process {

bool StandardErrorIsTerminal();
void WriteStandardError(std::string_view text);
// Lowers the scheduling priority of the calling thread only; a thread that ends takes the
// lowered priority with it, so the process's own priority never changes.
void LowerThreadPriority();

}  // namespace platform::process

namespace platform {

struct BrokenDownTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The local time of the system's time zone at a Unix time, and back.
BrokenDownTime ToLocalTime(int64_t unix_seconds);
int64_t FromLocalTime(const BrokenDownTime& local);

}  // namespace platform
