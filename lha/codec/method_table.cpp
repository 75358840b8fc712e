#include "codec/method_table.h"

#include <iterator>

namespace lha::codec {

static_assert(std::size(kMethods) == kMethodIds.size(), "a row for every method id");
static_assert(
    [] {
      for (size_t i = 0; i < std::size(kMethods); ++i)
        if (static_cast<size_t>(kMethods[i].method) != i) return false;
      return true;
    }(),
    "kMethods rows must follow the order of Method");

static_assert(
    [] {
      for (const auto& m : kMethods)
        if (m.family == Family::kStaticBlock &&
            (m.np > (1u << m.pbit) - 1 || m.np < m.dict_bits + 1 || m.dict_bits > 19))
          return false;
      return true;
    }(),
    "a static-block row needs NP > dict bits and NP expressible in its count field");

const MethodInfo& Info(Method m) {
  return kMethods[static_cast<size_t>(m)];
}

std::optional<Method> FindMethod(std::string_view id) {
  for (const auto& row : kMethods)
    if (row.id == id) return row.method;
  return std::nullopt;
}

std::optional<Method> FindMethod(std::span<const uint8_t> id) {
  return FindMethod(std::string_view(reinterpret_cast<const char*>(id.data()), id.size()));
}

}  // namespace lha::codec
