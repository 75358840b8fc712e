// Time stamps as LZH headers carry them, converted without any notion of time zone:
//   - MS-DOS date/time (levels 0 and 1): a packed civil time in the writer's *local* zone,
//     2-second resolution, years 1980..2107;
//   - Unix seconds (levels 2 and 3, extended header 0x54, the level-0 Unix area): UTC;
//   - FILETIME (extended header 0x41): 100 ns ticks since 1601-01-01 UTC.
// Turning UTC into local time and back is an OS service (time zone rules); the format layer
// takes it from the caller as a LocalTime pair of functions so that it stays pure and testable.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace lha::format {

// A broken-down (proleptic Gregorian) date and time, without zone.
struct CivilTime {
  int year = 1970;
  int month = 1;   // 1..12
  int day = 1;     // 1..31
  int hour = 0;    // 0..23
  int minute = 0;  // 0..59
  int second = 0;  // 0..59

  friend bool operator==(const CivilTime&, const CivilTime&) = default;
};

// Unix seconds <-> civil UTC, exact for any 64-bit second count whose year fits an int.
CivilTime CivilFromUnix(int64_t unix_seconds);
int64_t UnixFromCivil(const CivilTime& civil);

// The packed MS-DOS value as the header stores it: time in the low 16 bits, date in the high.
// Decoding gives nullopt for values that are no date (month 0 or 13+, day 0, hour 24+,
// minute 60+, seconds 60+); 0 (which some writers use for "no time") is such a value.
std::optional<CivilTime> CivilFromDos(uint32_t dos);
// Encoding rounds odd seconds down and clamps times outside 1980-01-01 00:00:00 ..
// 2107-12-31 23:59:58 to those limits. Fields are assumed in range.
uint32_t DosFromCivil(const CivilTime& civil);

inline uint16_t DosDatePart(uint32_t dos) {
  return static_cast<uint16_t>(dos >> 16);
}
inline uint16_t DosTimePart(uint32_t dos) {
  return static_cast<uint16_t>(dos);
}

// FILETIME <-> Unix. FileTimeToUnix rounds towards the past (floor) so that a time before 1970
// stays before the second it belongs to.
inline constexpr uint64_t kFileTimeTicksPerSecond = 10'000'000;
inline constexpr uint64_t kFileTimeUnixEpoch = 116'444'736'000'000'000;  // 1970-01-01 UTC
int64_t UnixFromFileTime(uint64_t file_time);
// Times before 1601 give 0, times past the FILETIME range give UINT64_MAX.
uint64_t FileTimeFromUnix(int64_t unix_seconds, uint32_t nanoseconds = 0);

// The caller's local-time service. to_local: an instant to the local civil time (localtime_r);
// from_local: a local civil time to an instant (mktime; for a time that occurs twice or not at
// all around a DST change, whatever the caller's rule gives). Both must be set to use them.
struct LocalTime {
  std::function<CivilTime(int64_t unix_seconds)> to_local;
  std::function<int64_t(const CivilTime& local)> from_local;
};

// Local time taken to be UTC: for tests, and for callers that want zone-free values.
LocalTime UtcAsLocalTime();

}  // namespace lha::format
