// Encode, then decode: byte 0 picks the method and level, byte 1 where the input is split
// between two writes; the rest is the data. The decoded bytes must equal the input.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/codec.h"

namespace {

class Sink : public lha::ByteSink {
 public:
  void Write(std::span<const uint8_t> d) override { bytes.insert(bytes.end(), d.begin(), d.end()); }
  std::vector<uint8_t> bytes;
};

class Source : public lha::ByteSource {
 public:
  explicit Source(const std::vector<uint8_t>& d) : d_(d) {}
  size_t Read(std::span<uint8_t> buf) override {
    size_t n = std::min(buf.size(), d_.size() - pos_);
    std::memcpy(buf.data(), d_.data() + pos_, n);
    pos_ += n;
    return n;
  }

 private:
  const std::vector<uint8_t>& d_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using lha::codec::Method;
  static const Method kMethods[] = {Method::kLh5, Method::kLh6, Method::kLh7, Method::kLh0};
  if (size < 2) return 0;
  const Method m = kMethods[data[0] % std::size(kMethods)];
  const int level = 1 + (data[0] / 4) % 9;
  std::span<const uint8_t> input(data + 2, size - 2);
  const size_t split = std::min<size_t>(input.size(), size_t{data[1]} * input.size() / 255);
  Sink sink;
  auto enc = lha::codec::MakeEncoder(m, sink, {level});
  enc->Write(input.first(split));
  enc->Write(input.subspan(split));
  enc->Finish();
  if (enc->packed_size() != sink.bytes.size()) std::abort();
  Source src(sink.bytes);
  auto dec = lha::codec::MakeDecoder(m, src, input.size());
  std::vector<uint8_t> out(input.size() + 1);
  size_t got = 0;
  while (size_t n = dec->Read(std::span<uint8_t>(out).subspan(got, out.size() - got)))
    got += n;
  if (got != input.size() || !std::equal(input.begin(), input.end(), out.begin())) std::abort();
  return 0;
}
