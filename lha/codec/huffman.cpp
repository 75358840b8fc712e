#include "codec/huffman.h"

#include <algorithm>
#include <numeric>

namespace lha::codec {

template <unsigned kRootBits>
void HuffmanTable<kRootBits>::Build(std::span<const uint8_t> lengths) {
  uint16_t count[kMaxCodeBits + 1] = {};
  for (uint8_t len : lengths) {
    if (len > kMaxCodeBits) Corrupt("Huffman code length over 16");
    ++count[len];
  }
  count[0] = 0;
  int64_t left = 1;  // code space still free at each depth
  for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
    left = left * 2 - count[len];
    if (left < 0) Corrupt("over-subscribed Huffman code");
  }

  uint32_t next[kMaxCodeBits + 2];
  uint32_t code = 0;
  offset_[1] = 0;
  for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
    code = (code + count[len - 1]) << 1;
    first_[len] = code;
    next[len] = code;
    count_[len] = count[len];
    if (len > 1) offset_[len] = offset_[len - 1] + count[len - 1];
  }

  std::fill(std::begin(root_), std::end(root_), kInvalid);
  uint16_t fill[kMaxCodeBits + 1];
  std::copy(std::begin(offset_), std::begin(offset_) + kMaxCodeBits + 1, fill);
  for (size_t sym = 0; sym < lengths.size(); ++sym) {
    unsigned len = lengths[sym];
    if (len == 0) continue;
    sorted_[fill[len]++] = static_cast<uint16_t>(sym);
    uint32_t c = next[len]++;
    if (len <= kRootBits) {
      uint32_t span = 1u << (kRootBits - len);
      uint16_t entry = static_cast<uint16_t>(sym << kLenBits | len);
      std::fill_n(root_ + (c << (kRootBits - len)), span, entry);
    } else {
      root_[c >> (len - kRootBits)] = kLong;
    }
  }
}

template <unsigned kRootBits>
void HuffmanTable<kRootBits>::BuildSingle(uint16_t symbol) {
  std::fill(std::begin(root_), std::end(root_), static_cast<uint16_t>(symbol << kLenBits));
}

template <unsigned kRootBits>
uint32_t HuffmanTable<kRootBits>::DecodeLong(uint16_t entry, uint32_t bits16) const {
  if ((entry & kLenMask) == kLong) {
    for (unsigned len = kRootBits + 1; len <= kMaxCodeBits; ++len) {
      uint32_t index = (bits16 >> (kMaxCodeBits - len)) - first_[len];
      if (index < count_[len]) return uint32_t{sorted_[offset_[len] + index]} << 8 | len;
    }
  }
  Corrupt("bit pattern outside the Huffman code");
}

template class HuffmanTable<8>;
template class HuffmanTable<10>;
template class HuffmanTable<12>;

void BuildCodeLengths(std::span<const uint32_t> freq, unsigned max_bits,
                      std::span<uint8_t> lengths) {
  const size_t n = freq.size();
  std::fill(lengths.begin(), lengths.end(), 0);
  std::vector<uint16_t> leaves;
  for (size_t s = 0; s < n; ++s)
    if (freq[s]) leaves.push_back(static_cast<uint16_t>(s));
  const size_t m = leaves.size();
  if (m < 2) return;
  std::sort(leaves.begin(), leaves.end(),
            [&](uint16_t a, uint16_t b) { return freq[a] != freq[b] ? freq[a] < freq[b] : a < b; });

  // Two-queue Huffman construction: leaves in frequency order, internal nodes in creation order
  // (which is also frequency order). Node i < m is leaves[i]; node m + k is internal node k.
  std::vector<uint64_t> weight(2 * m - 1);
  std::vector<uint32_t> parent(2 * m - 1);
  for (size_t i = 0; i < m; ++i)
    weight[i] = freq[leaves[i]];
  size_t next_leaf = 0, next_inner = m;
  auto take = [&](size_t made) {
    if (next_leaf < m && (next_inner >= made || weight[next_leaf] <= weight[next_inner]))
      return next_leaf++;
    return next_inner++;
  };
  for (size_t made = m; made < 2 * m - 1; ++made) {
    size_t a = take(made), b = take(made);
    weight[made] = weight[a] + weight[b];
    parent[a] = parent[b] = static_cast<uint32_t>(made);
  }
  std::vector<uint8_t> depth(2 * m - 1);
  depth[2 * m - 2] = 0;
  unsigned max_depth = 0;
  for (size_t i = 2 * m - 2; i-- > 0;) {
    depth[i] = static_cast<uint8_t>(std::min<unsigned>(depth[parent[i]] + 1, 255));
    if (i < m) max_depth = std::max<unsigned>(max_depth, depth[i]);
  }
  if (max_depth <= max_bits) {
    for (size_t i = 0; i < m; ++i)
      lengths[leaves[i]] = depth[i];
    return;
  }

  // Too deep: clamp to max_bits, push the shallowest possible leaves one level down until the
  // Kraft sum fits, then pull the deepest ones up until the code is complete again. Lengths are
  // then handed out again by frequency, the rarest symbols taking the longest codes.
  std::vector<uint32_t> count(max_bits + 1, 0);
  for (size_t i = 0; i < m; ++i)
    ++count[std::min<unsigned>(depth[i], max_bits)];
  const uint64_t full = uint64_t{1} << max_bits;
  uint64_t kraft = 0;
  for (unsigned len = 1; len <= max_bits; ++len)
    kraft += uint64_t{count[len]} << (max_bits - len);
  while (kraft > full) {
    unsigned len = max_bits - 1;
    while (count[len] == 0)
      --len;
    --count[len];
    ++count[len + 1];
    kraft -= uint64_t{1} << (max_bits - len - 1);
  }
  while (kraft < full) {
    unsigned len = max_bits;
    while (count[len] == 0)
      --len;
    --count[len];
    ++count[len - 1];
    kraft += uint64_t{1} << (max_bits - len);
  }
  size_t i = 0;
  for (unsigned len = max_bits; len >= 1; --len)
    for (uint32_t k = 0; k < count[len]; ++k)
      lengths[leaves[i++]] = static_cast<uint8_t>(len);
}

void AssignCodes(std::span<const uint8_t> lengths, std::span<uint16_t> codes) {
  uint32_t count[kMaxCodeBits + 1] = {};
  for (uint8_t len : lengths)
    ++count[len];
  count[0] = 0;
  uint32_t next[kMaxCodeBits + 1];
  uint32_t code = 0;
  for (unsigned len = 1; len <= kMaxCodeBits; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  for (size_t s = 0; s < lengths.size(); ++s)
    codes[s] = lengths[s] ? static_cast<uint16_t>(next[lengths[s]]++) : 0;
}

}  // namespace lha::codec
