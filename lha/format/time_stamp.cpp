#include "format/time_stamp.h"

#include <limits>

namespace lha::format {
namespace {

constexpr int64_t kSecondsPerDay = 86'400;

// Days since 1970-01-01 of a proleptic Gregorian date, and back (era-based, exact for all
// dates in range; eras are 400-year cycles of 146097 days).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, CivilTime& out) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  out.year = static_cast<int>(yoe + era * 400 + (m <= 2));
  out.month = m;
  out.day = d;
}

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

CivilTime CivilFromUnix(int64_t unix_seconds) {
  const int64_t days = FloorDiv(unix_seconds, kSecondsPerDay);
  const int64_t rest = unix_seconds - days * kSecondsPerDay;
  CivilTime c;
  CivilFromDays(days, c);
  c.hour = static_cast<int>(rest / 3600);
  c.minute = static_cast<int>(rest / 60 % 60);
  c.second = static_cast<int>(rest % 60);
  return c;
}

int64_t UnixFromCivil(const CivilTime& c) {
  return DaysFromCivil(c.year, c.month, c.day) * kSecondsPerDay + c.hour * 3600 + c.minute * 60 +
         c.second;
}

std::optional<CivilTime> CivilFromDos(uint32_t dos) {
  CivilTime c;
  c.second = static_cast<int>(dos & 0x1F) * 2;
  c.minute = static_cast<int>((dos >> 5) & 0x3F);
  c.hour = static_cast<int>((dos >> 11) & 0x1F);
  c.day = static_cast<int>((dos >> 16) & 0x1F);
  c.month = static_cast<int>((dos >> 21) & 0x0F);
  c.year = static_cast<int>(dos >> 25) + 1980;
  if (c.second > 59 || c.minute > 59 || c.hour > 23 || c.day == 0 || c.month == 0 || c.month > 12)
    return std::nullopt;
  return c;
}

uint32_t DosFromCivil(const CivilTime& civil) {
  CivilTime c = civil;
  if (c.year < 1980) c = CivilTime{1980, 1, 1, 0, 0, 0};
  if (c.year > 2107) c = CivilTime{2107, 12, 31, 23, 59, 58};
  return static_cast<uint32_t>(c.year - 1980) << 25 | static_cast<uint32_t>(c.month) << 21 |
         static_cast<uint32_t>(c.day) << 16 | static_cast<uint32_t>(c.hour) << 11 |
         static_cast<uint32_t>(c.minute) << 5 | static_cast<uint32_t>(c.second / 2);
}

int64_t UnixFromFileTime(uint64_t file_time) {
  // Split before subtracting so that no intermediate value overflows.
  const int64_t seconds = static_cast<int64_t>(file_time / kFileTimeTicksPerSecond);
  return seconds - static_cast<int64_t>(kFileTimeUnixEpoch / kFileTimeTicksPerSecond);
}

uint64_t FileTimeFromUnix(int64_t unix_seconds, uint32_t nanoseconds) {
  constexpr int64_t kEpochSeconds = kFileTimeUnixEpoch / kFileTimeTicksPerSecond;
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  if (unix_seconds < -kEpochSeconds) return 0;
  // The true sum is in [0, 2^64), so the wrapping unsigned addition gives it exactly.
  const uint64_t since_1601 =
      static_cast<uint64_t>(unix_seconds) + static_cast<uint64_t>(kEpochSeconds);
  if (since_1601 > kMax / kFileTimeTicksPerSecond) return kMax;
  const uint64_t ticks = since_1601 * kFileTimeTicksPerSecond;
  const uint64_t fraction = nanoseconds / 100;
  return ticks > kMax - fraction ? kMax : ticks + fraction;
}

LocalTime UtcAsLocalTime() {
  return LocalTime{[](int64_t t) { return CivilFromUnix(t); },
                   [](const CivilTime& c) { return UnixFromCivil(c); }};
}

}  // namespace lha::format
