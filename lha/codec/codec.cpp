#include "codec/codec.h"

#include <algorithm>
#include <string>

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

}  // namespace lha::codec
