#pragma once

#include <cstdint>

namespace lha {

// The library's version in hundredths, as UnlhaGetVersion reports it: 1.00.
inline constexpr uint16_t kLibraryVersion = 100;

}  // namespace lha
