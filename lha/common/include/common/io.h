// Byte streams between the layers of the archiver library. The codecs and the header code work
// on these, never on files, so they can be tested on memory and fed by anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace lha {

// Produces bytes in order. Read fills up to buf.size() bytes and returns how many it gave;
// 0 means the end. Failures are thrown as lha::Error.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual size_t Read(std::span<uint8_t> buf) = 0;
};

// Consumes bytes in order. Failures are thrown as lha::Error.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(std::span<const uint8_t> data) = 0;
};

// Bytes addressed by offset, as an archive file is read. ReadAt fills up to buf.size() bytes
// starting at offset and returns how many it gave (fewer only at the end). Failures are thrown
// as lha::Error.
class RandomAccessSource {
 public:
  virtual ~RandomAccessSource() = default;
  virtual size_t ReadAt(uint64_t offset, std::span<uint8_t> buf) = 0;
  virtual uint64_t Size() = 0;
};

}  // namespace lha
