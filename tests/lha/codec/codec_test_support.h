// Memory streams and helpers shared by the codec tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "support/data.h"
#include "support/files.h"

namespace lha::codec::testing {

using Bytes = std::vector<uint8_t>;
using testing_support::RandomBytes;
using testing_support::ReadBytes;

// Hands out its bytes at most `step` at a time (cycling through 1 ... step when `vary`).
class MemorySource : public lha::ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> data, size_t step = SIZE_MAX, bool vary = false)
      : data_(data), step_(step), vary_(vary) {}
  size_t Read(std::span<uint8_t> buf) override {
    size_t limit = vary_ ? 1 + calls_++ % step_ : step_;
    size_t n = std::min({buf.size(), data_.size() - pos_, limit});
    std::copy_n(data_.data() + pos_, n, buf.data());
    pos_ += n;
    return n;
  }
  size_t consumed() const { return pos_; }

 private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0, step_;
  bool vary_;
  size_t calls_ = 0;
};

class MemorySink : public lha::ByteSink {
 public:
  void Write(std::span<const uint8_t> data) override {
    bytes.insert(bytes.end(), data.begin(), data.end());
  }
  Bytes bytes;
};

inline uint32_t Crc32(std::span<const uint8_t> data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (uint8_t b : data) {
    crc ^= b;
    for (int k = 0; k < 8; ++k)
      crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

inline std::filesystem::path SharedDir() {
  return QUILLORY_SHARED_DIR;
}

inline Bytes Encode(Method m, std::span<const uint8_t> data, int level = 6,
                    size_t write_step = SIZE_MAX) {
  MemorySink sink;
  auto enc = MakeEncoder(m, sink, {level});
  for (size_t i = 0; i < data.size(); i += write_step)
    enc->Write(data.subspan(i, std::min(write_step, data.size() - i)));
  enc->Finish();
  if (enc->packed_size() != sink.bytes.size()) throw std::logic_error("packed_size mismatch");
  return sink.bytes;
}

// Decodes `packed` completely, reading through `read_size`-byte calls.
inline Bytes Decode(Method m, std::span<const uint8_t> packed, uint64_t original_size,
                    size_t source_step = SIZE_MAX, bool vary = false, size_t read_size = 65536) {
  MemorySource src(packed, source_step, vary);
  auto dec = MakeDecoder(m, src, original_size);
  Bytes out;
  Bytes chunk(read_size);
  while (size_t n = dec->Read(chunk))
    out.insert(out.end(), chunk.begin(), chunk.begin() + n);
  return out;
}

inline Bytes TextLike(size_t n, uint32_t seed) {
  static const char* words[] = {"the ",  "quick ", "brown ",    "fox ",   "jumps ",  "over ",
                                "lazy ", "dog\n",  "archive ",  "LZH ",   "codec ",  "block ",
                                "code ", "table ", "Huffman, ", "match ", "window ", "data.\n"};
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) {
    const char* w = words[rng() % std::size(words)];
    b.insert(b.end(), w, w + std::char_traits<char>::length(w));
  }
  b.resize(n);
  return b;
}

}  // namespace lha::codec::testing
