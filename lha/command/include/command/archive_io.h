// Files as the commands use them: an archive read by offset, a source file read in order, and
// the new archive being written, which can take back what it wrote since a given offset.
// OS failures become lha::Error with the code that tells the caller what went wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/io.h"
#include "platform/file.h"

namespace lha::command {

// The code for a failed write: no space left, or a write error.
int32_t WriteErrorCode(int error);

// An archive file read by offset (errors: UNLHA_ERROR_ARC_READ).
class ArchiveSource final : public RandomAccessSource {
 public:
  explicit ArchiveSource(platform::File& file);
  size_t ReadAt(uint64_t offset, std::span<uint8_t> buf) override;
  uint64_t Size() override { return size_; }

 private:
  platform::File& file_;
  uint64_t size_ = 0;
};

// A source file read from start to end (errors: UNLHA_ERROR_FILE_OPEN, naming the file).
class SourceFileReader final : public ByteSource {
 public:
  SourceFileReader(platform::File& file, std::string name) : file_(file), name_(std::move(name)) {}
  size_t Read(std::span<uint8_t> buf) override;

 private:
  platform::File& file_;
  std::string name_;
};

// The new archive, written in order through a buffer. Errors: UNLHA_ERROR_DISK_SPACE or
// UNLHA_ERROR_CANNOT_WRITE.
class ArchiveWriter final : public ByteSink {
 public:
  explicit ArchiveWriter(platform::File& file) : file_(file) { buffer_.reserve(kBufferSize); }
  void Write(std::span<const uint8_t> data) override;
  uint64_t position() const { return position_; }
  // Overwrites bytes already written (a header whose sizes are now known).
  void PatchAt(uint64_t offset, std::span<const uint8_t> data);
  // Drops everything written from `offset` on, as if it had never been written.
  void RollBackTo(uint64_t offset);
  // Everything on the disk.
  void Finish();

 private:
  static constexpr size_t kBufferSize = 1 << 20;
  void Flush();

  platform::File& file_;
  std::vector<uint8_t> buffer_;
  uint64_t flushed_ = 0;   // bytes in the file
  uint64_t position_ = 0;  // bytes written, buffered or not
};

}  // namespace lha::command

namespace lha::command {

// A buffer for moving data between files, made once per thread: allocating and clearing a
// quarter megabyte for each of thousands of small files would cost more than copying them.
std::span<uint8_t> TransferBuffer();

}  // namespace lha::command
