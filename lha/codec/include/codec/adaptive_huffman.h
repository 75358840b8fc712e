// The main code of -lh1- (LHarc 1.x): a Huffman tree over 314 symbols that both sides change
// after every symbol, so the code needs no tables in the stream.
#pragma once

#include <cstdint>
#include <string>

#include "codec/bit_reader.h"

namespace lha::codec {

// The tree lives in 627 slots ordered by weight, root last. A slot holds a leaf or an internal
// node whose children sit in two adjacent lower slots. The sender and the receiver must make
// exactly the same moves, so every rule below (when to rebuild, how weights round, where equal
// weights go) is part of the format: one step off and the rest of the stream decodes to garbage.
//
// Whatever symbols arrive, the tree stays a complete prefix code of bounded depth: every bit
// string decodes to a symbol and no input can make a walk loop.
class AdaptiveHuffman {
 public:
  static constexpr unsigned kSymbols = 314;  // 256 literals, then match lengths 3 ... 60

  AdaptiveHuffman() { Reset(); }

  // The tree every entry starts from: all weights 1.
  void Reset();

  // Follows bits from the root to a leaf. Refills `in` as needed (the depth is not bounded by
  // the reader's lookahead).
  unsigned Decode(BitReader& in) const {
    in.Refill();
    uint64_t bits = in.Peek(32);
    unsigned used = 0;
    unsigned kind = kind_[kRoot];
    while (kind < kSlots) {
      if (used == 32) {
        in.Skip(32);
        in.Refill();
        bits = in.Peek(32);
        used = 0;
      }
      kind = kind_[kind + ((bits >> (31 - used)) & 1)];
      ++used;
    }
    in.Skip(used);
    return kind - kSlots;
  }

  // Counts one occurrence of `symbol`, which must be < kSymbols.
  void Update(unsigned symbol);

  // The code of `symbol` as a bit string, first bit first ('0'/'1'); for tests.
  std::string CodeOf(unsigned symbol) const;

 private:
  static constexpr unsigned kSlots = 2 * kSymbols - 1;
  static constexpr unsigned kRoot = kSlots - 1;
  // The first update that finds the root at this weight halves every weight first.
  static constexpr uint16_t kRebuildWeight = 0x8000;

  void Rebuild();
  // Points the children (or the symbol) of `slot` back at it.
  void Relink(unsigned slot) {
    const unsigned k = kind_[slot];
    if (k < kSlots) {
      up_[k] = up_[k + 1] = static_cast<uint16_t>(slot);
    } else {
      leaf_slot_[k - kSlots] = static_cast<uint16_t>(slot);
    }
  }

  // kind_[n] < kSlots: internal, children in slots kind_[n] (bit 0) and kind_[n] + 1 (bit 1);
  // otherwise the leaf of symbol kind_[n] - kSlots.
  uint16_t kind_[kSlots];
  // Non-decreasing; one more slot above the root holds a weight no node reaches, which ends
  // every upward scan.
  uint16_t weight_[kSlots + 1];
  uint16_t up_[kSlots];  // the parent of each slot (not kept for the root)
  uint16_t leaf_slot_[kSymbols];
};

}  // namespace lha::codec
