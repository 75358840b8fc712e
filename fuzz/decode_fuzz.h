// The raw decoder fuzz targets share this: byte 0 of an input picks the method (bit 7: trickle
// the packed data 1-3 bytes per read), bytes 1-4 the original size (LE, capped at 1 MiB), the
// rest is the packed data. Any outcome but the Huffman-code error is a bug.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "codec/codec.h"

namespace decode_fuzz {

class Source : public lha::ByteSource {
 public:
  Source(const uint8_t* data, size_t size, bool trickle)
      : data_(data), size_(size), trickle_(trickle) {}
  size_t Read(std::span<uint8_t> buf) override {
    size_t n = std::min(buf.size(), size_ - pos_);
    if (trickle_) n = std::min<size_t>(n, 1 + pos_ % 3);
    for (size_t i = 0; i < n; ++i)
      buf[i] = data_[pos_ + i];
    pos_ += n;
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_, pos_ = 0;
  bool trickle_;
};

}  // namespace decode_fuzz

// Decodes one input with the method byte 0 picks from `methods`.
inline int DecodeFuzzInput(const uint8_t* data, size_t size,
                           std::span<const lha::codec::Method> methods) {
  if (size < 5) return 0;
  const lha::codec::Method m = methods[(data[0] & 0x7F) % methods.size()];
  const uint64_t original = (uint32_t{data[1]} | uint32_t{data[2]} << 8 | uint32_t{data[3]} << 16 |
                             uint32_t{data[4]} << 24) %
                            (1u << 20);
  decode_fuzz::Source src(data + 5, size - 5, data[0] & 0x80);
  std::vector<uint8_t> out(4096);
  uint64_t produced = 0;
  try {
    auto dec = lha::codec::MakeDecoder(m, src, original);
    while (size_t n = dec->Read(out))
      produced += n;
    if (produced != original) std::abort();
  } catch (const lha::Error& e) {
    if (e.code() != UNLHA_ERROR_HUFFMAN_CODE) std::abort();
  }
  return 0;
}
