// The system's local time, as the format layer asks for it.
#pragma once

#include "format/time_stamp.h"
#include "platform/env.h"

namespace lha::command {

inline format::LocalTime SystemLocalTime(platform::Env& env) {
  return {[&env](int64_t t) {
            const auto b = env.ToLocalTime(t);
            return format::CivilTime{b.year, b.month, b.day, b.hour, b.minute, b.second};
          },
          [&env](const format::CivilTime& c) {
            return env.FromLocalTime({c.year, c.month, c.day, c.hour, c.minute, c.second});
          }};
}

}  // namespace lha::command
