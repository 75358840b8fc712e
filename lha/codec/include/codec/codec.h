// Streaming compressors and decompressors for the packed data of one LZH entry. The codec sees
// bytes only: the caller (the archive layer) reads the header, bounds the packed data and
// checks the CRC-16 of what comes out.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "codec/method_table.h"
#include "common/error.h"
#include "common/io.h"

namespace lha::codec {

// Files shorter than this are best stored as -lh0-: compression cannot win much there, and a
// compressed stream that small is the kind bsdtar 3.6.2 misreads.
inline constexpr uint64_t kTinyFileLimit = 64;
inline constexpr bool IsTinyFile(uint64_t size) {
  return size < kTinyFileLimit;
}

// Produces the original bytes of one entry.
//
// Errors: a corrupt stream throws lha::Error(UNLHA_ERROR_HUFFMAN_CODE, detail): broken tables,
// a block count of 0, a distance beyond the window, a match running past the original size
// (-lh4- ... -lhx-; -lh1-, -lzs- and -lz5- cut such a match at the original size and leave the
// verdict to the CRC), packed data ending before the original size has been produced. Whatever
// the source throws passes through. After a throw the decoder must not be used again.
//
// The decoder reads ahead from the source in chunks, so the source should end where the packed
// data ends. Bytes left over in the source after the original size has been produced are not
// read and not an error.
class Decoder {
 public:
  virtual ~Decoder() = default;
  // Fills up to out.size() bytes; returns how many. Returns fewer than asked only when the
  // original size has been reached, and 0 from then on.
  virtual size_t Read(std::span<uint8_t> out) = 0;
};

// The decoder keeps a reference to `packed`, which must outlive it. Memory is fixed by the
// method (window, tables, a 16 KiB input buffer), whatever original_size is.
// Throws lha::Error(UNLHA_ERROR_METHOD) for a method whose row says it is not decodable. A
// -lhd- entry has no data and decodes to nothing.
std::unique_ptr<Decoder> MakeDecoder(Method m, lha::ByteSource& packed, uint64_t original_size);

struct EncoderOptions {
  // 1 (fastest) ... 9 (smallest output). Only the match search effort and the parse change;
  // every level writes the same conservative stream layout.
  int level = 6;
  // The input size when known (0: unknown). Only sizes tables; any amount may still be written.
  uint64_t size_hint = 0;
};

// Turns original bytes into packed data, written to a sink.
//
// Streams written for -lh5-/-lh6-/-lh7- use complete Huffman codes, single-symbol tables only in
// their count-0 form, no single-symbol pre-code table in the first block, blocks of at most
// 65,535 symbols, zero padding bits, and no reference before the start of the data. An empty
// input gives an empty stream.
//
// Store-or-compress: the encoder never falls back to -lh0- by itself. The caller compares
// packed_size() with the number of bytes it has written. The encoder works through its input in
// 256 KiB steps and writes blocks whenever about 61,000 symbols have gathered (on incompressible
// data, about every 61 KB of input), so packed_size() follows the input with that lag: a caller
// may give up once it reaches the bytes written, drop what went to the sink and store instead.
// After Finish() it is exact; if it is >= the original size, store.
class Encoder {
 public:
  virtual ~Encoder() = default;
  virtual void Write(std::span<const uint8_t> data) = 0;
  // Writes the rest of the stream. Write() and Finish() must not be called after it.
  virtual void Finish() = 0;
  // Packed bytes produced so far (all but the last few are in the sink); exact after Finish().
  virtual uint64_t packed_size() const = 0;
  // After Finish(): the stream's length in bits, without the zero bits that pad its last byte.
  virtual uint64_t packed_bits() const = 0;
};

// Joins streams end to end at the bit: what independent encoders of one method made of
// consecutive pieces of an input becomes one stream of that method, each piece's blocks
// following the last bit of the piece before. (A -lh4- ... -lhx- stream is a run of blocks,
// none aligned; an encoder never refers back past its own start, so each piece decodes in the
// window the pieces before it fill.) Output goes to `out`, which must outlive the joiner.
class StreamJoiner {
 public:
  explicit StreamJoiner(lha::ByteSink& out) : out_(out) {}
  // Appends `bits` bits of `bytes` (MSB first; the bits past them in the last byte are zero).
  void Append(std::span<const uint8_t> bytes, uint64_t bits);
  // Writes the last byte, padded with zero bits.
  void Finish();
  // Bytes of the joined stream so far, its last partial byte counted.
  uint64_t bytes() const { return written_ + (pending_bits_ ? 1 : 0); }

 private:
  lha::ByteSink& out_;
  uint64_t written_ = 0;
  uint8_t pending_ = 0;        // the bits of a partial byte, from the top
  unsigned pending_bits_ = 0;  // 0 ... 7
};

// The encoder keeps a reference to `packed`, which must outlive it; whatever the sink throws
// passes through. Memory is fixed by the method (about 1.3 MiB for -lh7-), whatever the input size.
// Throws lha::Error(UNLHA_ERROR_METHOD) for a method whose row says it is not encodable.
std::unique_ptr<Encoder> MakeEncoder(Method m, lha::ByteSink& packed, EncoderOptions options = {});

}  // namespace lha::codec
