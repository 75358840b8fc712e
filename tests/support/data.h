// Seeded data for tests to pack: the same seed gives the same bytes on every machine, so sizes,
// ratios and the way a file splits into pieces stay the same from run to run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace testing_support {

// `n` bytes drawn by std::mt19937 from `seed`, each below `alphabet`. With the full alphabet they
// do not pack at all; a small one gives data that packs by its entropy alone, without matches.
inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed, unsigned alphabet = 256) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> b(n);
  for (auto& x : b)
    x = static_cast<uint8_t>(rng() % alphabet);
  return b;
}

// RandomBytes(n, seed) as text.
inline std::string Random(size_t n, uint32_t seed) {
  const std::vector<uint8_t> b = RandomBytes(n, seed);
  return std::string(b.begin(), b.end());
}

namespace detail {

// `size` bytes of words from `words`, each picked by next() % 10.
template <class Next>
std::string TenWords(size_t size, const char* const (&words)[10], Next next) {
  std::string s;
  s.reserve(size + 16);
  while (s.size() < size)
    s += words[next() % 10];
  s.resize(size);
  return s;
}

}  // namespace detail

// Text of the given size that packs well but not trivially: words picked by a small LCG.
inline std::string Compressible(size_t size, uint32_t seed = 1) {
  static const char* const kWords[] = {"alpha ",    "beta ",    "gamma ",   "delta ", "backup ",
                                       "quillory ", "archive ", "folder\n", "file, ", "time "};
  uint32_t x = seed * 2654435761u + 1;
  return detail::TenWords(size, kWords, [&x] {
    x = x * 1103515245u + 12345u;
    return x >> 16;
  });
}

// Text of the same kind from another word list, picked by std::mt19937. The command suites'
// trees are made of it; it stays apart from Compressible so that what they pack stays the same.
inline std::string CompressibleMt(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"alpha ", "beta ",    "gamma ",   "delta ", "backup ",
                                       "lzh ",   "archive ", "folder\n", "file, ", "time "};
  std::mt19937 rng(seed);
  return detail::TenWords(size, kWords, [&rng] { return rng(); });
}

}  // namespace testing_support
