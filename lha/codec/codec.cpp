#include "codec/codec.h"

#include <algorithm>
#include <string>
#include <vector>

#include "codec/bit_reader.h"
#include "codec/decoders.h"

namespace lha::codec {
namespace {

class StoredDecoder final : public Decoder {
 public:
  StoredDecoder(lha::ByteSource& packed, uint64_t original_size)
      : packed_(packed), remaining_(original_size) {}

  size_t Read(std::span<uint8_t> out) override {
    size_t done = 0;
    while (done < out.size() && remaining_ > 0) {
      size_t want = static_cast<size_t>(std::min<uint64_t>(remaining_, out.size() - done));
      size_t n = packed_.Read(out.subspan(done, want));
      if (n == 0) Corrupt("packed data ends before the original size");
      done += n;
      remaining_ -= n;
    }
    return done;
  }

 private:
  lha::ByteSource& packed_;
  uint64_t remaining_;
};

class StoredEncoder final : public Encoder {
 public:
  explicit StoredEncoder(lha::ByteSink& packed) : packed_(packed) {}
  void Write(std::span<const uint8_t> data) override {
    packed_.Write(data);
    size_ += data.size();
  }
  void Finish() override {}
  uint64_t packed_size() const override { return size_; }
  uint64_t packed_bits() const override { return size_ * 8; }

 private:
  lha::ByteSink& packed_;
  uint64_t size_ = 0;
};

[[noreturn]] void Unsupported(const MethodInfo& info, const char* what) {
  throw lha::Error(UNLHA_ERROR_METHOD, std::string(info.id) + " cannot be " + what);
}

}  // namespace

std::unique_ptr<Decoder> MakeDecoder(Method m, lha::ByteSource& packed, uint64_t original_size) {
  const MethodInfo& info = Info(m);
  if (!info.decodable) Unsupported(info, "decoded");
  switch (info.family) {
    case Family::kStored:
      return std::make_unique<StoredDecoder>(packed, original_size);
    case Family::kNoData:
      return std::make_unique<StoredDecoder>(packed, 0);
    case Family::kStaticBlock:
      return MakeStaticBlockDecoder(info, packed, original_size);
    case Family::kAdaptive:
      return MakeAdaptiveDecoder(packed, original_size);
    case Family::kLzs:
    case Family::kLz5:
      return MakeLarcDecoder(info, packed, original_size);
    default:
      Unsupported(info, "decoded");
  }
}

std::unique_ptr<Encoder> MakeEncoder(Method m, lha::ByteSink& packed, EncoderOptions options) {
  const MethodInfo& info = Info(m);
  if (!info.encodable) Unsupported(info, "encoded");
  if (info.family == Family::kStored) return std::make_unique<StoredEncoder>(packed);
  return MakeStaticBlockEncoder(info, packed, options);
}

void StreamJoiner::Append(std::span<const uint8_t> bytes, uint64_t bits) {
  if (bits == 0) return;
  const size_t whole = static_cast<size_t>(bits / 8);
  const unsigned tail = static_cast<unsigned>(bits % 8);
  if (pending_bits_ == 0) {  // byte aligned: the bytes go as they are
    out_.Write(bytes.first(whole));
    written_ += whole;
    if (tail) pending_ = bytes[whole], pending_bits_ = tail;
    return;
  }
  // Every byte shifts by the pending bits: its top goes to finish the partial byte, its bottom
  // starts the next one.
  std::vector<uint8_t> shifted;
  shifted.reserve(whole + 1);
  const unsigned shift = pending_bits_;
  for (size_t i = 0; i < whole; ++i) {
    shifted.push_back(static_cast<uint8_t>(pending_ | (bytes[i] >> shift)));
    pending_ = static_cast<uint8_t>(bytes[i] << (8 - shift));
  }
  if (tail) {
    const uint8_t last = bytes[whole];
    const unsigned total = shift + tail;
    if (total >= 8) {
      shifted.push_back(static_cast<uint8_t>(pending_ | (last >> shift)));
      pending_ = static_cast<uint8_t>(last << (8 - shift));
      pending_bits_ = total - 8;
    } else {
      pending_ = static_cast<uint8_t>(pending_ | (last >> shift));
      pending_bits_ = total;
    }
  }
  out_.Write(shifted);
  written_ += shifted.size();
  if (pending_bits_ == 0) pending_ = 0;
}

void StreamJoiner::Finish() {
  if (pending_bits_ == 0) return;
  out_.Write(std::span<const uint8_t>(&pending_, 1));
  ++written_;
  pending_ = 0;
  pending_bits_ = 0;
}

}  // namespace lha::codec
