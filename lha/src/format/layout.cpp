#include "format/layout.h"

#include <algorithm>
#include <array>

namespace lha::format {

bool IsKnownMethod(std::string_view id) {
  static constexpr std::array<std::string_view, 16> kKnown = {
      "-lh0-", "-lh1-", "-lh2-", "-lh3-", "-lh4-", "-lh5-", "-lh6-", "-lh7-",
      "-lhd-", "-lhx-", "-lzs-", "-lz4-", "-lz5-", "-pm0-", "-pm1-", "-pm2-"};
  return std::find(kKnown.begin(), kKnown.end(), id) != kKnown.end();
}

}  // namespace lha::format
