// The encoder of the static-block family: hash-chain match finding, a price-driven optimal
// parse over short stretches, and blocks cut where the symbol statistics change.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "codec/bit_writer.h"
#include "codec/decoders.h"
#include "codec/huffman.h"
#include "codec/match_finder.h"

namespace lha::codec {
namespace {

constexpr unsigned kNC = 510;
constexpr unsigned kNT = 19;
constexpr unsigned kMaxNP = 20;
constexpr unsigned kMaxMatch = MatchFinder::kMaxMatch;
constexpr size_t kMaxBlockSymbols = 65535;
constexpr unsigned kParseSpan = 4096;  // positions per optimal-parse step
constexpr size_t kInputChunk = 256 * 1024;
constexpr uint32_t kInfinity = UINT32_MAX / 2;

// A token: bits 0-8 the C symbol (literal byte, or match length + 253), bits 9-31 distance - 1.
using Token = uint32_t;
constexpr Token LiteralToken(uint8_t byte) {
  return byte;
}
constexpr Token MatchToken(unsigned length, unsigned distance) {
  return (length + 253) | (distance - 1) << 9;
}
constexpr unsigned Symbol(Token t) {
  return t & 511;
}
constexpr uint32_t DistanceValue(Token t) {
  return t >> 9;
}
// Position class of a distance value: its bit length.
constexpr unsigned PositionClass(uint32_t d) {
  return static_cast<unsigned>(std::bit_width(d));
}

enum class Parse : uint8_t { kLazy, kLazy2, kOptimal };
struct Effort {
  unsigned chain;       // candidates examined per position
  unsigned nice;        // a match this long is taken without further search
  unsigned lazy_limit;  // a match this long is not put off (lazy parses)
  Parse parse;
};
// Level 6, the default, is the slowest lazy setting still faster than gzip -6 on text.
constexpr Effort kEffort[10] = {{4, 16, 16, Parse::kLazy},       {4, 16, 16, Parse::kLazy},
                                {8, 32, 32, Parse::kLazy},       {16, 64, 64, Parse::kLazy},
                                {16, 64, 64, Parse::kLazy2},     {32, 128, 64, Parse::kLazy2},
                                {48, 128, 64, Parse::kLazy2},    {24, 64, 64, Parse::kOptimal},
                                {64, 128, 128, Parse::kOptimal}, {256, 256, 256, Parse::kOptimal}};

// f * log2(f) for the block-cost estimates.
double FLogF(uint32_t f) {
  static const std::vector<float> table = [] {
    std::vector<float> t(1 << 16);
    for (size_t i = 1; i < t.size(); ++i)
      t[i] = static_cast<float>(i * std::log2(double(i)));
    return t;
  }();
  return f < table.size() ? table[f] : f * std::log2(double(f));
}

// log2 to within 0.005: prices need no more, and small files recompute them often.
float FastLog2(float x) {
  uint32_t b = std::bit_cast<uint32_t>(x);
  float e = static_cast<float>(static_cast<int>((b >> 23) & 255) - 128);
  float m = std::bit_cast<float>((b & 0x7FFFFF) | (127u << 23));  // mantissa in [1, 2)
  return e + (-0.34484843f * m + 2.02466578f) * m - 0.67487759f;
}

// Symbol prices (in 1/16 bit) for the parse, from decayed counts of the symbols chosen so far.
class PriceModel {
 public:
  explicit PriceModel(unsigned np) : np_(np) {
    // A rough prior that only matters for the first few thousand bytes.
    for (unsigned s = 0; s < 256; ++s)
      c_[s] = 8;
    for (unsigned len = 3; len <= kMaxMatch; ++len)
      c_[len + 253] = 1 + 96 / (len - 2);
    for (unsigned p = 0; p < np_; ++p)
      p_[p] = 16;
  }

  // Replaces the flat literal prior by the byte frequencies of the data ahead.
  void SeedLiterals(std::span<const uint8_t> data) {
    if (data.empty()) {
      Update();
      return;
    }
    uint32_t hist[256] = {};
    for (uint8_t b : data)
      ++hist[b];
    for (unsigned s = 0; s < 256; ++s)
      c_[s] = 1 + static_cast<uint32_t>(uint64_t{hist[s]} * 2048 / data.size());
    Update();
  }

  void Add(Token t) {
    unsigned s = Symbol(t);
    ++c_[s];
    if (s >= 256) ++p_[PositionClass(DistanceValue(t))];
  }

  void Update() {
    Recompute(c_, kNC, c_price_);
    Recompute(p_, np_, p_price_);
    for (unsigned p = 2; p < np_; ++p)
      p_price_[p] += 16 * (p - 1);  // extra bits
  }

  uint32_t Literal(uint8_t b) const { return c_price_[b]; }
  // Average literal price, weighted by use.
  uint32_t AverageLiteral() const { return average_literal_; }
  uint32_t Length(unsigned len) const { return c_price_[len + 253]; }
  uint32_t Distance(unsigned dist) const { return p_price_[PositionClass(dist - 1)]; }

 private:
  static void Recompute(uint32_t* f, unsigned n, uint32_t* price) {
    uint64_t total = 0;
    for (unsigned s = 0; s < n; ++s)
      total += f[s];
    if (total > (1u << 18)) {
      total = 0;
      for (unsigned s = 0; s < n; ++s)
        total += (f[s] = (f[s] + 1) / 2);
    }
    float lt = FastLog2(float(total) + 1);
    for (unsigned s = 0; s < n; ++s) {
      float bits = lt - FastLog2(f[s] + 0.5f);
      price[s] = static_cast<uint32_t>(std::clamp(bits, 1.0f, 20.0f) * 16);
    }
  }

  unsigned np_;
  uint32_t c_[kNC] = {};
  uint32_t p_[kMaxNP] = {};
  uint32_t c_price_[kNC];
  uint32_t average_literal_ = 128;
  uint32_t p_price_[kMaxNP];
};

class StaticBlockEncoder final : public Encoder {
 public:
  StaticBlockEncoder(const MethodInfo& m, lha::ByteSink& sink, EncoderOptions options)
      : np_(m.np),
        pbit_(m.pbit),
        window_(size_t{1} << m.dict_bits),
        capacity_(window_ + kInputChunk + kMaxMatch),
        buf_(std::make_unique_for_overwrite<uint8_t[]>(capacity_ + 16)),
        finder_(m.dict_bits, HashBits(m.dict_bits, options.size_hint)),
        prices_(m.np),
        out_(sink) {
    const Effort& e = kEffort[std::clamp(options.level, 0, 9)];
    finder_.set_limits(e.chain, e.nice);
    lazy_limit_ = e.lazy_limit;
    optimal_ = e.parse == Parse::kOptimal;
    lazy2_ = e.parse == Parse::kLazy2;
    tokens_.reserve(options.size_hint ? std::min<uint64_t>(kMaxBlockSymbols, options.size_hint)
                                      : kMaxBlockSymbols);
  }

  // Hash heads: 4 per window position up to 2^16, fewer for an input known to be small, whose
  // setup would otherwise cost more than its compression.
  static unsigned HashBits(unsigned dict_bits, uint64_t size_hint) {
    unsigned bits = std::min(16u, dict_bits + 2);
    if (size_hint) bits = std::clamp(static_cast<unsigned>(std::bit_width(size_hint)), 10u, bits);
    return bits;
  }

  void Write(std::span<const uint8_t> data) override {
    while (!data.empty()) {
      size_t n = std::min(capacity_ - fill_, data.size());
      std::memcpy(buf_.get() + fill_, data.data(), n);
      fill_ += n;
      // Match comparison reads up to 8 bytes past the data; keep them defined.
      std::memset(buf_.get() + fill_, 0, 8);
      data = data.subspan(n);
      if (fill_ == capacity_) {
        ParseUpTo(fill_ - kMaxMatch);
        Slide();
      }
    }
  }

  void Finish() override {
    ParseUpTo(fill_);
    FlushTokens();
    bits_ = out_.bits();
    out_.Finish();
  }

  uint64_t packed_size() const override { return out_.bytes(); }
  uint64_t packed_bits() const override { return bits_; }

 private:
  // Keeps the last window of parsed data and everything not yet parsed.
  void Slide() {
    if (pos_ <= window_) return;
    size_t delta = pos_ - window_;
    std::memmove(buf_.get(), buf_.get() + delta, fill_ - delta);
    fill_ -= delta;
    pos_ -= delta;
    finder_.Rebase(static_cast<int32_t>(delta));
  }

  // Parses the data up to `limit` (matches may read up to fill_).
  void ParseUpTo(size_t limit) {
    if (!seeded_) {
      seeded_ = true;
      // Literal prices from the data itself make the first block's decisions sensible.
      prices_.SeedLiterals(
          std::span<const uint8_t>(buf_.get(), std::min<size_t>(fill_, 64 * 1024)));
    }
    while (pos_ < limit) {
      size_t before = pos_;
      if (optimal_)
        ParseSpan(std::min<size_t>(kParseSpan, limit - pos_));
      else
        ParseLazy(std::min<size_t>(limit, pos_ + kParseSpan));
      // A long match ends a step early; prices follow every few KiB, not every step.
      since_update_ += pos_ - before;
      if (since_update_ >= kParseSpan) {
        prices_.Update();
        since_update_ = 0;
      }
      if (tokens_.size() > kMaxBlockSymbols - kParseSpan - 1) FlushTokens();
    }
  }

  // Finds the cheapest literal/match path over the next `span` positions under the current
  // prices. A match of nice length or more ends the step early and is taken as it is.
  void ParseSpan(size_t span) {
    const uint8_t* buf = buf_.get();
    // cost_ is initialised only as far as edges reach: a long match often ends the step
    // after a few positions.
    cost_[0] = 0;
    size_t reach = 0;
    auto extend = [&](size_t to) {
      while (reach < to)
        cost_[++reach] = kInfinity;
    };
    for (size_t i = 0; i < span; ++i) {
      const size_t p = pos_ + i;
      const uint32_t here = cost_[i];
      extend(i + 1);
      uint32_t c = here + prices_.Literal(buf[p]);
      if (c < cost_[i + 1]) {
        cost_[i + 1] = c;
        step_len_[i + 1] = 1;
      }
      unsigned max_len = static_cast<unsigned>(std::min<size_t>(kMaxMatch, fill_ - p));
      if (max_len < MatchFinder::kMinMatch) continue;
      size_t n = finder_.Find(buf, static_cast<int32_t>(p), max_len, matches_);
      if (n == 0) continue;
      const Match& longest = matches_[n - 1];
      if (longest.length >= finder_.nice()) {
        EmitPath(i);
        Emit(MatchToken(longest.length, longest.distance));
        for (size_t q = p + 1; q < p + longest.length && q + 3 <= fill_; ++q)
          finder_.Insert(buf, static_cast<int32_t>(q));
        pos_ = p + longest.length;
        return;
      }
      unsigned from = MatchFinder::kMinMatch;
      for (size_t k = 0; k < n && from <= span - i; ++k) {
        const uint32_t base = here + prices_.Distance(matches_[k].distance);
        const unsigned top = static_cast<unsigned>(std::min<size_t>(matches_[k].length, span - i));
        extend(i + top);
        for (unsigned len = from; len <= top; ++len) {
          uint32_t mc = base + prices_.Length(len);
          if (mc < cost_[i + len]) {
            cost_[i + len] = mc;
            step_len_[i + len] = static_cast<uint16_t>(len);
            step_dist_[i + len] = matches_[k].distance;
          }
        }
        from = matches_[k].length + 1;
      }
    }
    EmitPath(span);
    pos_ += span;
  }

  // The longest match at p; a short one only when it costs less than its bytes as literals
  // (a 3-byte match far back usually does not).
  Match Best(size_t p) {
    unsigned max_len = static_cast<unsigned>(std::min<size_t>(kMaxMatch, fill_ - p));
    if (max_len < MatchFinder::kMinMatch) return {0, 0};
    size_t n = finder_.Find(buf_.get(), static_cast<int32_t>(p), max_len, matches_);
    for (size_t k = n; k-- > 0;) {
      const Match& m = matches_[k];
      if (m.length > 5) return m;
      uint32_t literals = 0;
      for (unsigned j = 0; j < m.length; ++j)
        literals += prices_.Literal(buf_[p + j]);
      if (prices_.Distance(m.distance) + prices_.Length(m.length) < literals) return m;
    }
    return {0, 0};
  }

  // What a match saves against literals, in 1/16 bit.
  int64_t Gain(const Match& m) const {
    if (m.length == 0) return 0;
    return int64_t{m.length} * prices_.AverageLiteral() - prices_.Distance(m.distance) -
           prices_.Length(m.length);
  }

  // Lazy matching: a match is put off by a byte when the next position has a longer one
  // (and, in the two-step variant, by two bytes when the one after has a longer one still).
  void ParseLazy(size_t limit) {
    const uint8_t* buf = buf_.get();
    Match cur{0, 0};
    bool have = false;
    while (pos_ < limit) {
      if (!have) cur = Best(pos_);
      have = false;
      if (cur.length == 0) {
        Emit(LiteralToken(buf[pos_++]));
        continue;
      }
      size_t inserted = pos_;
      if (cur.length < lazy_limit_ && pos_ + 1 < limit) {
        Match next = Best(pos_ + 1);
        inserted = pos_ + 1;
        if (Gain(next) > Gain(cur) + kLazyBias) {
          Emit(LiteralToken(buf[pos_++]));
          cur = next;
          have = true;
          continue;
        }
        if (lazy2_ && cur.length + 1 < lazy_limit_ && pos_ + 2 < limit) {
          Match after = Best(pos_ + 2);
          inserted = pos_ + 2;
          if (Gain(after) > Gain(cur) + 2 * kLazyBias) {
            Emit(LiteralToken(buf[pos_++]));
            Emit(LiteralToken(buf[pos_++]));
            cur = after;
            have = true;
            continue;
          }
        }
      }
      Emit(MatchToken(cur.length, cur.distance));
      for (size_t q = inserted + 1; q < pos_ + cur.length && q + 3 <= fill_; ++q)
        finder_.Insert(buf, static_cast<int32_t>(q));
      pos_ += cur.length;
    }
  }

  // Emits the cheapest path from pos_ to pos_ + end.
  void EmitPath(size_t end) {
    size_t n = 0;
    for (size_t j = end; j > 0; j -= step_len_[j]) {
      path_[n++] = step_len_[j] == 1 ? LiteralToken(buf_[pos_ + j - 1])
                                     : MatchToken(step_len_[j], step_dist_[j]);
    }
    while (n > 0)
      Emit(path_[--n]);
  }

  void Emit(Token t) {
    tokens_.push_back(t);
    prices_.Add(t);
  }

  // Cuts the collected tokens into blocks and writes them.
  void FlushTokens() {
    const size_t n = tokens_.size();
    if (n == 0) return;
    const size_t stride = kNC + kMaxNP;
    const size_t pieces = (n + kPiece - 1) / kPiece;
    hist_.assign((pieces + 1) * stride, 0);
    for (size_t k = 0; k < pieces; ++k) {
      uint32_t* h = &hist_[(k + 1) * stride];
      std::copy_n(&hist_[k * stride], stride, h);
      for (size_t t = k * kPiece; t < std::min(n, (k + 1) * kPiece); ++t) {
        unsigned s = Symbol(tokens_[t]);
        ++h[s];
        if (s >= 256) ++h[kNC + PositionClass(DistanceValue(tokens_[t]))];
      }
    }
    cuts_.clear();
    Split(0, pieces);
    cuts_.push_back(pieces);
    size_t start = 0;
    for (size_t cut : cuts_) {
      size_t end = std::min(n, cut * kPiece);
      WriteBlock(std::span<const Token>(tokens_.data() + start, end - start));
      start = end;
    }
    tokens_.clear();
  }

  // Estimated bits of pieces [a, b) as one block: entropy of its symbols plus a table allowance.
  double BlockCost(size_t a, size_t b) const {
    const size_t stride = kNC + kMaxNP;
    const uint32_t* ha = &hist_[a * stride];
    const uint32_t* hb = &hist_[b * stride];
    auto part = [&](size_t from, size_t to, unsigned& used) {
      uint64_t total = 0;
      double sum = 0;
      for (size_t s = from; s < to; ++s) {
        uint32_t f = hb[s] - ha[s];
        if (f == 0) continue;
        ++used;
        total += f;
        sum += FLogF(f);
      }
      return total ? total * std::log2(double(total)) - sum : 0.0;
    };
    unsigned used_c = 0, used_p = 0;
    double bits = part(0, kNC, used_c) + part(kNC, kNC + np_, used_p);
    return bits + 60 + 4.5 * used_c + 4 * used_p;
  }

  void Split(size_t a, size_t b) {
    if (b - a >= 2) {
      double whole = BlockCost(a, b);
      double best = whole;
      size_t at = 0;
      for (size_t k = a + 1; k < b; ++k) {
        double c = BlockCost(a, k) + BlockCost(k, b);
        if (c < best) {
          best = c;
          at = k;
        }
      }
      if (at != 0 && best < whole - 64) {
        Split(a, at);
        cuts_.push_back(at);
        Split(at, b);
      }
    }
  }

  void WriteBlock(std::span<const Token> block) {
    uint32_t fc[kNC] = {}, fp[kMaxNP] = {};
    for (Token t : block) {
      unsigned s = Symbol(t);
      ++fc[s];
      if (s >= 256) ++fp[PositionClass(DistanceValue(t))];
    }
    uint8_t lc[kNC], lp[kMaxNP] = {};
    uint16_t cc[kNC], cp[kMaxNP];
    BuildCodeLengths(fc, kMaxCodeBits, lc);
    BuildCodeLengths(std::span<const uint32_t>(fp, np_), kMaxCodeBits, std::span<uint8_t>(lp, np_));

    out_.Put(static_cast<uint32_t>(block.size()), 16);
    WriteLiteralTable(fc, lc);
    WriteSmallTable(fp, lp, np_, pbit_);
    first_block_ = false;

    AssignCodes(lc, cc);
    AssignCodes(std::span<const uint8_t>(lp, np_), std::span<uint16_t>(cp, np_));
    for (Token t : block) {
      unsigned s = Symbol(t);
      out_.Put(cc[s], lc[s]);
      if (s >= 256) {
        uint32_t d = DistanceValue(t);
        unsigned p = PositionClass(d);
        out_.Put(cp[p], lp[p]);
        if (p > 1) out_.Put(d & ((1u << (p - 1)) - 1), p - 1);
      }
    }
    // Let the caller see the packed size grow block by block.
    out_.Drain();
  }

  struct Item {
    uint8_t sym;  // pre-code symbol
    uint8_t extra_bits;
    uint16_t extra;
  };

  // The C code lengths lc[0 .. n) as pre-code items.
  static size_t PreCodeItems(const uint8_t* lc, unsigned n, Item* items) {
    size_t count = 0;
    for (unsigned i = 0; i < n;) {
      if (lc[i]) {
        items[count++] = {static_cast<uint8_t>(lc[i] + 2), 0, 0};
        ++i;
        continue;
      }
      unsigned run = 1;
      while (i + run < n && lc[i + run] == 0)
        ++run;
      i += run;
      if (run == 19) {  // no single code: one zero, then 18
        items[count++] = {0, 0, 0};
        run = 18;
      }
      if (run <= 2) {
        while (run--)
          items[count++] = {0, 0, 0};
      } else if (run <= 18) {
        items[count++] = {1, 4, static_cast<uint16_t>(run - 3)};
      } else {
        items[count++] = {2, 9, static_cast<uint16_t>(run - 20)};
      }
    }
    return count;
  }

  // The C table, with its pre-code (T) table in front.
  void WriteLiteralTable(const uint32_t* fc, const uint8_t* lc) {
    unsigned used = 0, last = 0;
    for (unsigned s = 0; s < kNC; ++s)
      if (fc[s]) ++used, last = s;
    if (used == 1) {
      // The T table is not used; in the first block it still must not be the one-symbol form.
      // bsdtar 3.6.2 also refuses a T table shorter than three entries, so it is {1, 1, 0}.
      uint8_t lt[kNT] = {1, 1};
      if (first_block_) {
        WriteLengths(lt, kNT, 5, true, 3);
      } else {
        out_.Put(0, 5);
        out_.Put(0, 5);
      }
      out_.Put(0, 9);
      out_.Put(last, 9);
      return;
    }

    // Code lengths as pre-code symbols: 0 = one zero, 1 = 3..18 zeros, 2 = 20..531 zeros,
    // L + 2 = length L.
    const unsigned n = std::max<unsigned>(last + 1, 1);
    Item items[kNC];
    const size_t count = PreCodeItems(lc, n, items);
    uint32_t ft[kNT] = {};
    for (size_t k = 0; k < count; ++k)
      ++ft[items[k].sym];
    uint8_t lt[kNT];
    uint16_t ct[kNT];
    BuildCodeLengths(ft, kMaxCodeBits, lt);
    unsigned used_t = 0, only_t = 0;
    for (unsigned s = 0; s < kNT; ++s)
      if (ft[s]) ++used_t, only_t = s;
    if (used_t == 1 && !first_block_) {
      out_.Put(0, 5);
      out_.Put(only_t, 5);
    } else {
      if (used_t == 1) {
        // bsdtar 3.6.2 fails on a one-symbol T table in the first block: send a complete
        // two-symbol code instead, the second symbol unused.
        lt[only_t] = 1;
        lt[only_t == 0 ? 1 : 0] = 1;
      }
      WriteLengths(lt, kNT, 5, true);
    }
    AssignCodes(lt, ct);
    out_.Put(n, 9);
    for (size_t k = 0; k < count; ++k) {
      out_.Put(ct[items[k].sym], lt[items[k].sym]);
      out_.Put(items[k].extra, items[k].extra_bits);
    }
  }

  // The P table: the count-0 form for at most one used symbol.
  void WriteSmallTable(const uint32_t* f, const uint8_t* len, unsigned nsym, unsigned bits) {
    unsigned used = 0, only = 0;
    for (unsigned s = 0; s < nsym; ++s)
      if (f[s]) ++used, only = s;
    if (used <= 1) {
      out_.Put(0, bits);
      out_.Put(only, bits);
    } else {
      WriteLengths(len, nsym, bits, false);
    }
  }

  // Count, then 3-bit lengths (7 and up as 111, L - 7 ones, a zero); in the T table a 2-bit
  // count of zero lengths among indices 3 ... 5 follows the third length.
  void WriteLengths(const uint8_t* len, unsigned nsym, unsigned count_bits, bool skip_field,
                    unsigned min_count = 0) {
    unsigned n = nsym;
    while (n > min_count && len[n - 1] == 0)
      --n;
    out_.Put(n, count_bits);
    for (unsigned i = 0; i < n;) {
      unsigned l = len[i++];
      if (l <= 6) {
        out_.Put(l, 3);
      } else {
        out_.Put(7, 3);
        out_.Put(((1u << (l - 7)) - 1) << 1, l - 6);
      }
      if (skip_field && i == 3) {
        unsigned z = 0;
        while (z < 3 && i + z < n && len[i + z] == 0)
          ++z;
        out_.Put(z, 2);
        i += z;
      }
    }
  }

  static constexpr size_t kPiece = 1024;  // granularity of block cuts, in symbols

  const unsigned np_, pbit_;
  const size_t window_, capacity_;
  std::unique_ptr<uint8_t[]> buf_;
  size_t fill_ = 0;          // bytes in buf_
  size_t pos_ = 0;           // first byte not yet parsed
  size_t since_update_ = 0;  // bytes parsed since the prices were last recomputed
  MatchFinder finder_;
  PriceModel prices_;
  BitWriter out_;
  uint64_t bits_ = 0;  // of the finished stream, before its padding
  bool first_block_ = true;
  bool optimal_;
  bool lazy2_;
  unsigned lazy_limit_;  // a match this long is not put off
  bool seeded_ = false;
  // A match is put off only for one that saves at least this much more (1/16 bit).
  static constexpr int64_t kLazyBias = 16;
  std::vector<Token> tokens_;
  std::vector<uint32_t> hist_;
  std::vector<size_t> cuts_;
  Match matches_[kMaxMatch];
  uint32_t cost_[kParseSpan + 1];
  uint16_t step_len_[kParseSpan + 1];
  uint32_t step_dist_[kParseSpan + 1];
  Token path_[kParseSpan + 1];
};

}  // namespace

std::unique_ptr<Encoder> MakeStaticBlockEncoder(const MethodInfo& m, lha::ByteSink& packed,
                                                EncoderOptions options) {
  return std::make_unique<StaticBlockEncoder>(m, packed, options);
}

}  // namespace lha::codec
