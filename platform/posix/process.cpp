#include "platform/process.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace platform::process {

bool StandardErrorIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

void WriteStandardError(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    text.remove_prefix(static_cast<size_t>(n));
  }
}

void LowerThreadPriority() {
  const pid_t tid = ::gettid();
  errno = 0;
  const int current = ::getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
  if (errno == 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), current < 10 ? 10 : current);
}

}  // namespace platform::process

namespace platform {

BrokenDownTime ToLocalTime(int64_t unix_seconds) {
  const time_t t = static_cast<time_t>(unix_seconds);
  tm local{};
  ::localtime_r(&t, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

int64_t FromLocalTime(const BrokenDownTime& local) {
  tm t{};
  t.tm_year = local.year - 1900;
  t.tm_mon = local.month - 1;
  t.tm_mday = local.day;
  t.tm_hour = local.hour;
  t.tm_min = local.minute;
  t.tm_sec = local.second;
  t.tm_isdst = -1;
  return static_cast<int64_t>(::mktime(&t));
}

}  // namespace platform
