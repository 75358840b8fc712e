// The method ids of LZH entries: the one list that the codecs (how each is packed), the format
// (which ids a header may carry) and the commands (what they write) share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace lha {

enum class Method : uint8_t {
  kLh0,  // stored
  kLhd,  // directory or symbolic link: no data
  kLh1,
  kLh2,
  kLh3,
  kLh4,
  kLh5,
  kLh6,
  kLh7,
  kLhx,
  kLzs,
  kLz4,
  kLz5,
  kPm0,
  kPm1,
  kPm2,
};

// The 5 bytes of the header for each method, in the order of Method. "-pms-" is absent on
// purpose: PMarc's self-extractors start with it.
inline constexpr std::array<std::string_view, 16> kMethodIds = {
    "-lh0-", "-lhd-", "-lh1-", "-lh2-", "-lh3-", "-lh4-", "-lh5-", "-lh6-",
    "-lh7-", "-lhx-", "-lzs-", "-lz4-", "-lz5-", "-pm0-", "-pm1-", "-pm2-"};

constexpr std::string_view IdOf(Method m) {
  return kMethodIds[static_cast<size_t>(m)];
}

// The method a header's id names; nullopt for an id of no known method.
constexpr std::optional<Method> FindMethodId(std::string_view id) {
  for (size_t i = 0; i < kMethodIds.size(); ++i)
    if (kMethodIds[i] == id) return static_cast<Method>(i);
  return std::nullopt;
}

}  // namespace lha
