// Hash-chain match finder over a sliding buffer, for the static-block encoder.
#pragma once

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>

namespace lha::codec {

struct Match {
  uint32_t length;
  uint32_t distance;  // 1 = the previous byte
};

class MatchFinder {
 public:
  static constexpr unsigned kMinMatch = 3;
  static constexpr unsigned kMaxMatch = 256;

  // window: largest distance + 1 (a power of two); the buffer is owned by the caller.
  MatchFinder(unsigned window_bits, unsigned hash_bits)
      : wmask_((1u << window_bits) - 1),
        hash_bits_(hash_bits),
        head_(std::make_unique_for_overwrite<int32_t[]>(size_t{1} << hash_bits)),
        prev_(std::make_unique_for_overwrite<int32_t[]>(size_t{1} << window_bits)) {
    std::fill_n(head_.get(), size_t{1} << hash_bits, kNil);
  }

  void set_limits(unsigned max_chain, unsigned nice) {
    max_chain_ = max_chain;
    nice_ = nice;
  }
  unsigned nice() const { return nice_; }

  // Finds matches at buf[pos] of up to max_len bytes (max_len >= 3) and records pos. Writes the
  // successively longer matches found, shortest first, to out (room for kMaxMatch entries);
  // returns how many.
  size_t Find(const uint8_t* buf, int32_t pos, unsigned max_len, Match* out) {
    uint32_t h = Hash(buf + pos);
    int32_t cand = head_[h];
    head_[h] = pos;
    prev_[pos & wmask_] = cand;
    // Distances up to window - 1: prev_ still holds the link of every such candidate.
    const int32_t limit = pos - static_cast<int32_t>(wmask_) - 1;
    unsigned best = kMinMatch - 1;
    size_t n = 0;
    unsigned chain = max_chain_;
    const uint8_t* cur = buf + pos;
    while (cand > limit && chain-- > 0) {
      const uint8_t* c = buf + cand;
      if (c[best] == cur[best] && c[0] == cur[0]) {
        unsigned len = MatchLength(c, cur, max_len);
        if (len > best) {
          best = len;
          out[n++] = {len, static_cast<uint32_t>(pos - cand)};
          if (len >= max_len || len >= nice_) break;
        }
      }
      cand = prev_[cand & wmask_];
    }
    return n;
  }

  // Records pos without searching (inside a match already chosen). Needs 3 bytes at pos.
  void Insert(const uint8_t* buf, int32_t pos) {
    uint32_t h = Hash(buf + pos);
    prev_[pos & wmask_] = head_[h];
    head_[h] = pos;
  }

  // The buffer moved down by delta bytes.
  void Rebase(int32_t delta) {
    auto shift = [delta](int32_t& p) { p = p >= delta ? p - delta : kNil; };
    for (size_t i = 0, n = size_t{1} << hash_bits_; i < n; ++i)
      shift(head_[i]);
    for (size_t i = 0; i <= wmask_; ++i)
      shift(prev_[i]);
  }

 private:
  static constexpr int32_t kNil = INT32_MIN;

  uint32_t Hash(const uint8_t* p) const {
    uint32_t v = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
    return (v * 2654435761u) >> (32 - hash_bits_);
  }

  // Both pointers have 8 readable bytes past max_len.
  static unsigned MatchLength(const uint8_t* a, const uint8_t* b, unsigned max_len) {
    unsigned len = 0;
    while (len < max_len) {
      uint64_t x, y;
      std::memcpy(&x, a + len, 8);
      std::memcpy(&y, b + len, 8);
      uint64_t diff = x ^ y;
      if (diff) {
        if constexpr (std::endian::native == std::endian::little)
          len += static_cast<unsigned>(__builtin_ctzll(diff)) >> 3;
        else
          len += static_cast<unsigned>(__builtin_clzll(diff)) >> 3;
        break;
      }
      len += 8;
    }
    return len < max_len ? len : max_len;
  }

  const uint32_t wmask_;
  const unsigned hash_bits_;
  std::unique_ptr<int32_t[]> head_;
  std::unique_ptr<int32_t[]> prev_;
  unsigned max_chain_ = 32;
  unsigned nice_ = 64;
};

}  // namespace lha::codec
