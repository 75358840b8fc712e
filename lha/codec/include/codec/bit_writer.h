// MSB-first bit output to a ByteSink, buffered.
#pragma once

#include <cstdint>
#include <memory>

#include "common/io.h"

namespace lha::codec {

class BitWriter {
 public:
  static constexpr size_t kBufferSize = 64 * 1024;

  explicit BitWriter(lha::ByteSink& sink)
      : sink_(sink), buffer_(std::make_unique_for_overwrite<uint8_t[]>(kBufferSize)) {}

  // n in 0 ... 32; value < 2^n.
  void Put(uint32_t value, unsigned n) {
    acc_ = (acc_ << n) | value;
    count_ += n;
    if (count_ >= 32) {
      count_ -= 32;
      uint32_t word = static_cast<uint32_t>(acc_ >> count_);
      if (used_ + 4 > kBufferSize) Drain();
      buffer_[used_] = static_cast<uint8_t>(word >> 24);
      buffer_[used_ + 1] = static_cast<uint8_t>(word >> 16);
      buffer_[used_ + 2] = static_cast<uint8_t>(word >> 8);
      buffer_[used_ + 3] = static_cast<uint8_t>(word);
      used_ += 4;
    }
  }

  // Pads the last byte with zero bits and hands everything to the sink.
  void Finish() {
    while (count_ > 0) {
      unsigned n = count_ >= 8 ? 8 : count_;
      uint8_t byte = static_cast<uint8_t>((acc_ >> (count_ - n)) << (8 - n));
      count_ -= n;
      if (used_ == kBufferSize) Drain();
      buffer_[used_++] = byte;
    }
    Drain();
  }

  // Bytes produced so far, whole bytes only (the sink may not have all of them yet).
  uint64_t bytes() const { return drained_ + used_ + count_ / 8; }
  // Bits put so far, before any padding.
  uint64_t bits() const { return (drained_ + used_) * 8 + count_; }

  // Hands the whole bytes written so far to the sink, as far as they are complete words.
  void Drain() {
    if (used_ == 0) return;
    sink_.Write(std::span<const uint8_t>(buffer_.get(), used_));
    drained_ += used_;
    used_ = 0;
  }

 private:
  lha::ByteSink& sink_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t used_ = 0;
  uint64_t drained_ = 0;
  uint64_t acc_ = 0;    // the last count_ bits are pending
  unsigned count_ = 0;  // < 32 between calls
};

}  // namespace lha::codec
