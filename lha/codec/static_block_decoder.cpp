// The decoder of the static-block family (-lh4- ... -lhx-): one engine, sized by the method row.
#include <algorithm>
#include <cstring>

#include "codec/decoders.h"
#include "codec/huffman.h"

namespace lha::codec {
namespace {

constexpr unsigned kNC = 510;  // literal/length alphabet
constexpr unsigned kNT = 19;   // pre-code alphabet
constexpr unsigned kMaxMatch = 256;

class StaticBlockDecoder final : public Decoder {
 public:
  StaticBlockDecoder(const MethodInfo& m, lha::ByteSource& packed, uint64_t original_size)
      : np_(m.np),
        pbit_(m.pbit),
        window_(size_t{1} << m.dict_bits),
        chunk_(std::max<size_t>(window_, 64 * 1024)),
        feeder_(packed),
        in_(feeder_),
        remaining_(original_size) {
    buf_ = std::make_unique_for_overwrite<uint8_t[]>(window_ + chunk_ + kMaxMatch + 16);
    // References before the start of the data read spaces, as in the LHa family, whose
    // encoders started from a space-filled dictionary and whose archives rely on it.
    std::memset(buf_.get(), ' ', window_);
    pos_ = out_ = window_;
  }

  size_t Read(std::span<uint8_t> out) override {
    size_t done = 0;
    while (done < out.size()) {
      if (out_ == pos_) {
        if (remaining_ == 0) break;
        if (pos_ >= window_ + chunk_) {
          std::memmove(buf_.get(), buf_.get() + pos_ - window_, window_);
          pos_ = out_ = window_;
        }
        Decode();
      }
      size_t n = std::min(pos_ - out_, out.size() - done);
      std::memcpy(out.data() + done, buf_.get() + out_, n);
      out_ += n;
      done += n;
    }
    return done;
  }

 private:
  // Decodes symbols into the buffer until the chunk is full or the original size is reached.
  void Decode() {
    const size_t start = pos_;
    const size_t stop = std::min<uint64_t>(window_ + chunk_, pos_ + remaining_);
    const size_t end = pos_ + std::min<uint64_t>(remaining_, window_ + chunk_ + kMaxMatch);
    uint8_t* const buf = buf_.get();
    size_t pos = pos_;
    // The bit reader and the block count live in locals here: stores to the output bytes
    // could alias members, which would force them through memory on every symbol.
    BitReader in = in_;
    uint32_t block_left = block_left_;
    while (pos < stop) {
      if (block_left == 0) {
        in_ = in;
        ReadBlockHeader();
        in = in_;
        block_left = block_left_;
      }
      --block_left;
      if (in.CanRefillFast()) {
        in.RefillFast();
      } else {
        in_ = in;
        in_.RefillSlow();
        in = in_;
      }
      unsigned c = c_.Decode(in);
      if (c < 256) {
        buf[pos++] = static_cast<uint8_t>(c);
        continue;
      }
      size_t len = c - 253;
      unsigned p = p_.Decode(in);
      size_t dist = (p <= 1 ? p : (size_t{1} << (p - 1)) | in.Take(p - 1)) + 1;
      if (dist > window_) Corrupt("match distance beyond the window");
      if (len > end - pos) Corrupt("match runs past the original size");
      uint8_t* dst = buf + pos;
      const uint8_t* src = dst - dist;
      if (dist >= 8) {
        // Whole 8-byte steps never read bytes not yet written; the tail beyond len lands in
        // the slack at the end of the buffer and is overwritten later.
        for (size_t i = 0; i < len; i += 8)
          std::memcpy(dst + i, src + i, 8);
      } else if (dist == 1) {
        std::memset(dst, *src, len);
      } else {
        for (size_t i = 0; i < len; ++i)
          dst[i] = src[i];
      }
      pos += len;
    }
    in_ = in;
    block_left_ = block_left;
    if (in_.Overran()) Corrupt("packed data ends before the original size");
    pos_ = pos;
    remaining_ -= pos - start;
  }

  void ReadBlockHeader() {
    block_left_ = in_.Get(16);
    if (block_left_ == 0) Corrupt("block of 0 symbols");
    ReadLengths(t_, kNT, 5, true);
    ReadLiteralLengths();
    ReadLengths(p_, np_, pbit_, false);
    if (in_.Overran()) Corrupt("packed data ends inside a block header");
  }

  // The T and P tables: a count, then 3-bit lengths with a unary extension past 6.
  template <typename Table>
  void ReadLengths(Table& table, unsigned nsym, unsigned count_bits, bool skip_field) {
    unsigned n = in_.Get(count_bits);
    if (n == 0) {
      BuildSingle(table, in_.Get(count_bits), nsym);
      return;
    }
    if (n > nsym) Corrupt("too many code lengths in a T or P table");
    uint8_t len[32] = {};
    unsigned i = 0;
    while (i < n) {
      unsigned l = in_.Get(3);
      if (l == 7) {
        while (in_.Get(1)) {
          if (++l > kMaxCodeBits) Corrupt("code length over 16");
        }
      }
      len[i++] = static_cast<uint8_t>(l);
      if (skip_field && i == 3) i = std::min(n, i + in_.Get(2));
    }
    table.Build(std::span<const uint8_t>(len, nsym));
  }

  void ReadLiteralLengths() {
    unsigned n = in_.Get(9);
    if (n == 0) {
      BuildSingle(c_, in_.Get(9), kNC);
      return;
    }
    if (n > kNC) Corrupt("too many literal/length code lengths");
    uint8_t len[kNC] = {};
    unsigned i = 0;
    while (i < n) {
      in_.Refill();
      unsigned t = t_.Decode(in_);
      if (t > 2) {
        len[i++] = static_cast<uint8_t>(t - 2);
        continue;
      }
      unsigned run = t == 0 ? 1 : t == 1 ? in_.Get(4) + 3 : in_.Get(9) + 20;
      i = std::min(n, i + run);  // a run past the count is cut there, as LHa readers do
    }
    c_.Build(std::span<const uint8_t>(len, kNC));
  }

  // A single symbol outside the alphabet is harmless until it is decoded.
  template <typename Table>
  static void BuildSingle(Table& table, unsigned symbol, unsigned nsym) {
    if (symbol < nsym) {
      table.BuildSingle(static_cast<uint16_t>(symbol));
    } else {
      uint8_t none[1] = {0};
      table.Build(none);
    }
  }

  const unsigned np_, pbit_;
  const size_t window_, chunk_;
  BitFeeder feeder_;
  BitReader in_;
  uint64_t remaining_;              // bytes still to decode
  std::unique_ptr<uint8_t[]> buf_;  // window_ of history, then decoded bytes
  size_t pos_, out_;                // end of decoded bytes; first byte not yet handed out
  uint32_t block_left_ = 0;
  HuffmanTable<12> c_;
  HuffmanTable<8> t_;
  HuffmanTable<8> p_;
};

}  // namespace

std::unique_ptr<Decoder> MakeStaticBlockDecoder(const MethodInfo& m, lha::ByteSource& packed,
                                                uint64_t original_size) {
  return std::make_unique<StaticBlockDecoder>(m, packed, original_size);
}

}  // namespace lha::codec
