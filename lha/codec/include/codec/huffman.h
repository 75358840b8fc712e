// Canonical Huffman codes of at most 16 bits, as the LZH static-block methods use them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/bit_reader.h"

namespace lha::codec {

inline constexpr unsigned kMaxCodeBits = 16;

// Decodes one alphabet (up to 512 symbols) with a first-level table of kRootBits bits; the rare
// longer codes are resolved from the per-length counts.
template <unsigned kRootBits>
class HuffmanTable {
 public:
  // Builds the canonical code for `lengths` (0 = symbol absent, 1 ... 16). Throws for a length
  // over 16 or an over-subscribed code. An incomplete code is accepted, as LHa-family readers
  // do, but decoding one of its unassigned bit patterns throws.
  void Build(std::span<const uint8_t> lengths);
  // The count-0 form: every decode yields `symbol` and consumes no bits.
  void BuildSingle(uint16_t symbol);

  // The caller has refilled the reader (a code takes up to 16 bits).
  template <typename Reader>
  uint16_t Decode(Reader& in) const {
    uint16_t e = root_[in.Peek(kRootBits)];
    unsigned len = e & kLenMask;
    if (len > kMaxCodeBits) {
      uint32_t r = DecodeLong(e, in.Peek(kMaxCodeBits));
      len = r & 0xFF;
      e = static_cast<uint16_t>(r >> 8 << kLenBits);
    }
    in.Skip(len);
    return e >> kLenBits;
  }

 private:
  static constexpr unsigned kLenBits = 5;
  static constexpr uint16_t kLenMask = (1u << kLenBits) - 1;
  static constexpr uint16_t kLong = 31;     // code longer than kRootBits
  static constexpr uint16_t kInvalid = 30;  // bit pattern of no code

  // Symbol << 8 | length of the code at the top of `bits16`, whose root entry was `entry`.
  uint32_t DecodeLong(uint16_t entry, uint32_t bits16) const;

  uint16_t root_[1u << kRootBits];
  // Canonical data for codes longer than kRootBits.
  uint32_t first_[kMaxCodeBits + 2];   // first code of each length
  uint16_t count_[kMaxCodeBits + 2];   // codes of each length
  uint16_t offset_[kMaxCodeBits + 2];  // index into sorted_ of the first code of each length
  uint16_t sorted_[512];               // symbols ordered by (length, symbol)
};

// Computes code lengths (each <= max_bits) of a complete prefix code for the symbols with a
// non-zero frequency, minimising sum(freq * length) up to the usual heuristic repair when the
// limit bites. With fewer than two used symbols every length is 0: such an alphabet is sent in
// the count-0 form.
void BuildCodeLengths(std::span<const uint32_t> freq, unsigned max_bits,
                      std::span<uint8_t> lengths);

// Canonical code values for `lengths` (MSB-first bit order is the writer's business).
void AssignCodes(std::span<const uint8_t> lengths, std::span<uint16_t> codes);

}  // namespace lha::codec
