// Raw decoders of the LArc methods -lzs- and -lz5-; the input as decode_fuzz.h describes.
#include "decode_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using lha::codec::Method;
  static const Method kMethods[] = {Method::kLzs, Method::kLz5};
  return DecodeFuzzInput(data, size, kMethods);
}
