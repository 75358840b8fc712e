// MSB-first bit input over a ByteSource, as the LZH packed data is laid out.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "common/error.h"
#include "common/io.h"

namespace lha::codec {

[[noreturn]] inline void Corrupt(const char* what) {
  throw lha::Error(UNLHA_ERROR_HUFFMAN_CODE, what);
}

// The input buffer behind a BitReader.
class BitFeeder {
 public:
  static constexpr size_t kBufferSize = 16 * 1024;

  explicit BitFeeder(lha::ByteSource& source)
      : source_(source), buffer_(std::make_unique_for_overwrite<uint8_t[]>(kBufferSize)) {}

  // Refills the buffer; returns the bytes now available (0 at the end of the source).
  std::span<const uint8_t> Fill() {
    size_t got = 0;
    while (!eof_ && got < 8) {
      size_t n = source_.Read(std::span<uint8_t>(buffer_.get() + got, kBufferSize - got));
      if (n == 0) eof_ = true;
      got += n;
    }
    return {buffer_.get(), got};
  }

 private:
  lha::ByteSource& source_;
  std::unique_ptr<uint8_t[]> buffer_;
  bool eof_ = false;
};

// The bit position. A plain value, so that a decoding loop can keep a copy in registers and
// hand it back (see StaticBlockDecoder) around the rare slow refill.
class BitReader {
 public:
  explicit BitReader(BitFeeder& feeder) : feeder_(&feeder) {}

  // At least 56 bits can be peeked after this (zero bits once the source has ended; see
  // Overran).
  void Refill() {
    if (CanRefillFast())
      RefillFast();
    else
      RefillSlow();
  }
  bool CanRefillFast() const { return end_ - next_ >= 8; }
  void RefillFast() {
    {
      uint64_t v;
      std::memcpy(&v, next_, 8);
      if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
      // Bits beyond the count are the next byte's own bits, so or-ing them again is harmless.
      bits_ |= v >> count_;
      next_ += (63 - count_) >> 3;
      count_ |= 56;
    }
  }

  // The next n (1 ... 32) bits without consuming them.
  uint32_t Peek(unsigned n) const { return static_cast<uint32_t>(bits_ >> (64 - n)); }
  void Skip(unsigned n) {
    bits_ <<= n;
    count_ -= n;
  }
  // n in 0 ... 32; the caller has refilled so that n bits are there.
  uint32_t Take(unsigned n) {
    if (n == 0) return 0;
    uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  // Refills as needed; for header fields.
  uint32_t Get(unsigned n) {
    if (count_ < n) Refill();
    return Take(n);
  }

  // True when more bits have been consumed than the source held.
  bool Overran() const { return phantom_ > count_; }

  void RefillSlow() {
    while (count_ < 56) {
      if (next_ == end_) {
        std::span<const uint8_t> got = phantom_ ? std::span<const uint8_t>() : feeder_->Fill();
        next_ = got.data();
        end_ = next_ + got.size();
        if (got.empty()) {
          // Past the end: zero bits, counted, so that a stream that ends too early is found
          // instead of decoded from zeros.
          if (phantom_ > 1024) Corrupt("packed data ends before the original size");
          phantom_ += 8;
          count_ += 8;
          continue;
        }
      }
      bits_ |= static_cast<uint64_t>(*next_++) << (56 - count_);
      count_ += 8;
    }
  }

 private:
  BitFeeder* feeder_;
  const uint8_t* next_ = nullptr;
  const uint8_t* end_ = nullptr;
  uint64_t bits_ = 0;     // the next bits, first bit at the top
  unsigned count_ = 0;    // valid bits in bits_
  unsigned phantom_ = 0;  // zero bits added after the end of the source (the last in bits_)
};

}  // namespace lha::codec
