// Decoders of the LArc methods -lzs- and -lz5-: LZSS over a ring buffer whose matches name an
// absolute ring position, not a distance. The start positions and initial ring contents are
// the ones LArc's archives need: a stream may read any of the ring before writing it.
#include <algorithm>
#include <cstring>

#include "codec/bit_reader.h"
#include "codec/decoders.h"

namespace lha::codec {
namespace {

template <size_t kRing>
class RingDecoder : public Decoder {
 public:
  RingDecoder(lha::ByteSource& packed, uint64_t original_size, size_t start)
      : feeder_(packed), in_(feeder_), remaining_(original_size), r_(start) {}

  size_t Read(std::span<uint8_t> out) override {
    size_t done = 0;
    while (done < out.size() && remaining_ > 0) {
      if (copy_left_ == 0) {
        NextCommand();
        if (in_.Overran()) Corrupt("packed data ends before the original size");
        // Decoding ends at the original size, even inside a match.
        copy_left_ = std::min(copy_left_, remaining_);
        continue;
      }
      uint8_t c = literal_;
      if (!is_literal_) {
        c = ring_[copy_from_];
        copy_from_ = (copy_from_ + 1) % kRing;
      }
      --copy_left_;
      Put(c);
      out[done++] = c;
    }
    return done;
  }

 protected:
  // Reads one command: either Literal() or Match().
  virtual void NextCommand() = 0;

  void Literal(uint8_t c) {
    literal_ = c;
    is_literal_ = true;
    copy_left_ = 1;
  }
  void Match(size_t position, size_t length) {
    is_literal_ = false;
    copy_from_ = position % kRing;
    copy_left_ = length;
  }

  BitFeeder feeder_;
  BitReader in_;
  uint8_t ring_[kRing];

 private:
  void Put(uint8_t c) {
    ring_[r_] = c;
    r_ = (r_ + 1) % kRing;
    --remaining_;
  }

  uint64_t remaining_;
  size_t r_;                // next ring position written
  size_t copy_from_ = 0;    // ring position of the next byte of the current command
  uint64_t copy_left_ = 0;  // bytes of the current command still to produce
  uint8_t literal_ = 0;
  bool is_literal_ = false;
};

// 1 flag bit per command: 1 = 8-bit literal, 0 = 11-bit ring position + 4-bit length - 2.
class LzsDecoder final : public RingDecoder<2048> {
 public:
  LzsDecoder(lha::ByteSource& packed, uint64_t original_size)
      : RingDecoder(packed, original_size, 2048 - 17) {
    std::memset(ring_, ' ', sizeof ring_);
  }

 private:
  void NextCommand() override {
    if (in_.Get(1)) {
      Literal(static_cast<uint8_t>(in_.Get(8)));
    } else {
      size_t position = in_.Get(11);
      Match(position, in_.Get(4) + 2);
    }
  }
};

// A flag byte per 8 commands, least significant bit first: 1 = literal byte, 0 = two bytes with
// a 12-bit ring position (low byte, then the high nibble of the second byte) and length - 3.
class Lz5Decoder final : public RingDecoder<4096> {
 public:
  Lz5Decoder(lha::ByteSource& packed, uint64_t original_size)
      : RingDecoder(packed, original_size, 4096 - 18) {
    uint8_t* p = ring_;
    for (int v = 0; v < 256; ++v)
      p = std::fill_n(p, 13, static_cast<uint8_t>(v));
    for (int v = 0; v < 256; ++v)
      *p++ = static_cast<uint8_t>(v);
    for (int v = 255; v >= 0; --v)
      *p++ = static_cast<uint8_t>(v);
    p = std::fill_n(p, 128, 0);
    p = std::fill_n(p, 110, ' ');
    // Zeros where writing starts: a stream may read these 18 bytes before overwriting them.
    std::fill_n(p, 18, 0);
  }

 private:
  void NextCommand() override {
    if (flags_left_ == 0) {
      flags_ = in_.Get(8);
      flags_left_ = 8;
    }
    bool literal = flags_ & 1;
    flags_ >>= 1;
    --flags_left_;
    if (literal) {
      Literal(static_cast<uint8_t>(in_.Get(8)));
    } else {
      unsigned lo = in_.Get(8), hi = in_.Get(8);
      Match(lo | (hi & 0xF0) << 4, (hi & 0x0F) + 3);
    }
  }

  unsigned flags_ = 0, flags_left_ = 0;
};

}  // namespace

std::unique_ptr<Decoder> MakeLarcDecoder(const MethodInfo& m, lha::ByteSource& packed,
                                         uint64_t original_size) {
  if (m.family == Family::kLzs) return std::make_unique<LzsDecoder>(packed, original_size);
  return std::make_unique<Lz5Decoder>(packed, original_size);
}

}  // namespace lha::codec
