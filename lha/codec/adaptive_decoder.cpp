// The decoder of -lh1- (LHarc 1.x): LZ77 over a 4 KiB window, literals and match lengths in one
// adaptive Huffman code, distances in a fixed prefix code plus 6 raw bits.
#include <algorithm>
#include <array>
#include <cstring>

#include "codec/adaptive_huffman.h"
#include "codec/decoders.h"

namespace lha::codec {
namespace {

constexpr size_t kWindow = 4096;
constexpr size_t kMaxMatch = 60;
constexpr size_t kChunk = 64 * 1024;

// The upper 6 bits of distance - 1 are sent in a fixed canonical code whose lengths grow with
// the value: 1 value of 3 bits, 3 of 4, 8 of 5, 12 of 6, 24 of 7, 16 of 8.
struct UpperBits {
  uint8_t value;
  uint8_t length;
};
constexpr std::array<UpperBits, 256> MakeUpperBitsTable() {
  constexpr uint8_t kCount[] = {0, 0, 0, 1, 3, 8, 12, 24, 16};  // codes per length 0 ... 8
  std::array<UpperBits, 256> table{};
  unsigned code = 0, value = 0;
  for (unsigned len = 1; len <= 8; ++len) {
    code <<= 1;
    for (unsigned i = 0; i < kCount[len]; ++i, ++code, ++value) {
      // Every 8-bit string that starts with this code.
      const unsigned first = code << (8 - len), span = 1u << (8 - len);
      for (unsigned j = 0; j < span; ++j)
        table[first + j] = {static_cast<uint8_t>(value), static_cast<uint8_t>(len)};
    }
  }
  return table;
}
constexpr std::array<UpperBits, 256> kUpperBits = MakeUpperBitsTable();
static_assert(kUpperBits[0x00].value == 0 && kUpperBits[0xFF].value == 63 &&
                  kUpperBits[0xFF].length == 8,
              "the distance code must cover all 64 values with a complete code");

class AdaptiveDecoder final : public Decoder {
 public:
  AdaptiveDecoder(lha::ByteSource& packed, uint64_t original_size)
      : feeder_(packed),
        in_(feeder_),
        remaining_(original_size),
        buf_(std::make_unique_for_overwrite<uint8_t[]>(kWindow + kChunk + kMaxMatch + 8)) {
    // LHarc's encoder started from a window of spaces, and real archives begin with matches
    // that reach back into it.
    std::memset(buf_.get(), ' ', kWindow);
    pos_ = out_ = kWindow;
  }

  size_t Read(std::span<uint8_t> out) override {
    size_t done = 0;
    while (done < out.size()) {
      if (out_ == pos_) {
        if (remaining_ == 0) break;
        if (pos_ >= kWindow + kChunk) {
          std::memmove(buf_.get(), buf_.get() + pos_ - kWindow, kWindow);
          pos_ = out_ = kWindow;
        }
        Decode();
      }
      const size_t n = std::min(pos_ - out_, out.size() - done);
      std::memcpy(out.data() + done, buf_.get() + out_, n);
      out_ += n;
      done += n;
    }
    return done;
  }

 private:
  // Decodes into the buffer until the chunk is full or the original size is reached. A match
  // that runs past the original size is cut there: the stream holds nothing after it.
  void Decode() {
    const size_t start = pos_;
    const size_t stop = pos_ + std::min<uint64_t>(remaining_, kWindow + kChunk - pos_);
    const size_t end = pos_ + std::min<uint64_t>(remaining_, kWindow + kChunk + kMaxMatch - pos_);
    uint8_t* const buf = buf_.get();
    size_t pos = pos_;
    // A local reader: stores to the output could alias a member and force it through memory.
    BitReader in = in_;
    while (pos < stop) {
      const unsigned c = tree_.Decode(in);
      tree_.Update(c);
      if (c < 256) {
        buf[pos++] = static_cast<uint8_t>(c);
        continue;
      }
      in.Refill();
      const UpperBits upper = kUpperBits[in.Peek(8)];
      in.Skip(upper.length);
      const size_t dist = (size_t{upper.value} << 6 | in.Take(6)) + 1;
      const size_t len = std::min<size_t>(c - 253, end - pos);
      uint8_t* dst = buf + pos;
      const uint8_t* src = dst - dist;
      if (dist >= 8) {
        // Whole 8-byte steps never read bytes not yet written; what lands beyond len is in
        // the slack and overwritten later.
        for (size_t i = 0; i < len; i += 8)
          std::memcpy(dst + i, src + i, 8);
      } else {
        for (size_t i = 0; i < len; ++i)
          dst[i] = src[i];
      }
      pos += len;
    }
    in_ = in;
    if (in_.Overran()) Corrupt("packed data ends before the original size");
    pos_ = pos;
    remaining_ -= pos - start;
  }

  BitFeeder feeder_;
  BitReader in_;
  uint64_t remaining_;              // bytes still to decode
  std::unique_ptr<uint8_t[]> buf_;  // kWindow of history, then decoded bytes
  size_t pos_, out_;                // end of decoded bytes; first byte not yet handed out
  AdaptiveHuffman tree_;
};

}  // namespace

std::unique_ptr<Decoder> MakeAdaptiveDecoder(lha::ByteSource& packed, uint64_t original_size) {
  return std::make_unique<AdaptiveDecoder>(packed, original_size);
}

}  // namespace lha::codec
