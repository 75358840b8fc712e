#include "codec/adaptive_huffman.h"

#include <algorithm>
#include <utility>

namespace lha::codec {

void AdaptiveHuffman::Reset() {
  for (unsigned s = 0; s < kSymbols; ++s) {
    kind_[s] = static_cast<uint16_t>(kSlots + s);
    weight_[s] = 1;
  }
  // Pairing neighbours bottom-up keeps the weights in order without any sorting.
  for (unsigned k = 0, n = kSymbols; n < kSlots; k += 2, ++n) {
    kind_[n] = static_cast<uint16_t>(k);
    weight_[n] = static_cast<uint16_t>(weight_[k] + weight_[k + 1]);
  }
  weight_[kSlots] = UINT16_MAX;
  for (unsigned n = 0; n < kSlots; ++n)
    Relink(n);
}

void AdaptiveHuffman::Update(unsigned symbol) {
  // Tested before the increment: the symbol that brings the root to the limit is still counted
  // in the old tree.
  if (weight_[kRoot] == kRebuildWeight) Rebuild();
  unsigned n = leaf_slot_[symbol];
  for (;;) {
    const unsigned w = ++weight_[n];
    if (w > weight_[n + 1]) {
      // The order broke: trade places with the last node of the old weight. That node is never
      // an ancestor of n (an ancestor outweighs n), and each slot keeps its parent: the two
      // subtrees swap, not the slots.
      unsigned m = n + 1;
      while (weight_[m + 1] < w)
        ++m;
      weight_[n] = static_cast<uint16_t>(w - 1);
      weight_[m] = static_cast<uint16_t>(w);
      std::swap(kind_[n], kind_[m]);
      Relink(n);
      Relink(m);
      n = m;
    }
    if (n == kRoot) return;
    n = up_[n];
  }
}

void AdaptiveHuffman::Rebuild() {
  // The leaves, in slot order and so still ordered by weight, halved rounding up: no leaf drops
  // to weight 0.
  unsigned leaves = 0;
  for (unsigned n = 0; n < kSlots; ++n) {
    if (kind_[n] < kSlots) continue;
    kind_[leaves] = kind_[n];
    weight_[leaves] = static_cast<uint16_t>((weight_[n] + 1) / 2);
    ++leaves;
  }
  // Parents of neighbouring pairs, each inserted after every node of equal weight. The insertion
  // point lies above both children, so slots already used as children never move.
  for (unsigned k = 0, filled = kSymbols; filled < kSlots; k += 2, ++filled) {
    const uint16_t w = static_cast<uint16_t>(weight_[k] + weight_[k + 1]);
    unsigned p = filled;
    while (weight_[p - 1] > w)
      --p;
    std::copy_backward(weight_ + p, weight_ + filled, weight_ + filled + 1);
    std::copy_backward(kind_ + p, kind_ + filled, kind_ + filled + 1);
    weight_[p] = w;
    kind_[p] = static_cast<uint16_t>(k);
  }
  for (unsigned n = 0; n < kSlots; ++n)
    Relink(n);
}

std::string AdaptiveHuffman::CodeOf(unsigned symbol) const {
  std::string code;
  for (unsigned n = leaf_slot_[symbol]; n != kRoot; n = up_[n])
    code += static_cast<char>('0' + (n - kind_[up_[n]]));
  std::reverse(code.begin(), code.end());
  return code;
}

}  // namespace lha::codec
