// Factories of the individual engines, behind MakeDecoder / MakeEncoder.
#pragma once

#include "codec/codec.h"

namespace lha::codec {

std::unique_ptr<Decoder> MakeStaticBlockDecoder(const MethodInfo& m, lha::ByteSource& packed,
                                                uint64_t original_size);
std::unique_ptr<Decoder> MakeAdaptiveDecoder(lha::ByteSource& packed, uint64_t original_size);
std::unique_ptr<Decoder> MakeLarcDecoder(const MethodInfo& m, lha::ByteSource& packed,
                                         uint64_t original_size);
std::unique_ptr<Encoder> MakeStaticBlockEncoder(const MethodInfo& m, lha::ByteSink& packed,
                                                EncoderOptions options);

}  // namespace lha::codec
