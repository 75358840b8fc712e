// The system's local time, as the format layer asks for it.
#pragma once

#include "format/time_stamp.h"
#include "platform/process.h"

namespace lha::command {

inline format::LocalTime SystemLocalTime() {
  return {[](int64_t t) {
            const auto b = platform::ToLocalTime(t);
            return format::CivilTime{b.year, b.month, b.day, b.hour, b.minute, b.second};
          },
          [](const format::CivilTime& c) {
            return platform::FromLocalTime({c.year, c.month, c.day, c.hour, c.minute, c.second});
          }};
}

}  // namespace lha::command
