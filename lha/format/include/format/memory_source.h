// A RandomAccessSource over bytes in memory: for tests, fuzzing, and callers that already hold
// an archive. The bytes must outlive the source.
#pragma once

#include <algorithm>
#include <cstring>
#include <span>

#include "common/io.h"

namespace lha::format {

class MemorySource final : public RandomAccessSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  size_t ReadAt(uint64_t offset, std::span<uint8_t> buf) override {
    if (offset >= bytes_.size()) return 0;
    const size_t n = std::min<uint64_t>(buf.size(), bytes_.size() - offset);
    std::memcpy(buf.data(), bytes_.data() + offset, n);
    return n;
  }
  uint64_t Size() override { return bytes_.size(); }

 private:
  std::span<const uint8_t> bytes_;
};

}  // namespace lha::format
