// Raw decoders of the Huffman methods (the static-block family, -lh1-) and -lh0-; the input as
// decode_fuzz.h describes.
#include "decode_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using lha::codec::Method;
  static const Method kMethods[] = {Method::kLh0, Method::kLh4, Method::kLh5, Method::kLh6,
                                    Method::kLh7, Method::kLhx, Method::kLh1};
  return DecodeFuzzInput(data, size, kMethods);
}
