#include "command/archive_io.h"

#include <cstring>

#include "platform/env.h"

namespace lha::command {

int32_t WriteErrorCode(int error) {
  return platform::IsNoSpaceError(error) ? UNLHA_ERROR_DISK_SPACE : UNLHA_ERROR_CANNOT_WRITE;
}

ArchiveSource::ArchiveSource(platform::File& file) : file_(file) {
  platform::FileStatus st;
  int error = 0;
  if (!file_.Status(&st, &error))
    throw Error(UNLHA_ERROR_ARC_READ, "cannot read the archive: " + platform::ErrorText(error));
  size_ = st.size;
}

size_t ArchiveSource::ReadAt(uint64_t offset, std::span<uint8_t> buf) {
  int error = 0;
  const int64_t n = file_.ReadAt(offset, buf, &error);
  if (n < 0)
    throw Error(UNLHA_ERROR_ARC_READ, "cannot read the archive: " + platform::ErrorText(error));
  return static_cast<size_t>(n);
}

size_t SourceFileReader::Read(std::span<uint8_t> buf) {
  int error = 0;
  const int64_t n = file_.Read(buf, &error);
  if (n < 0)
    throw Error(UNLHA_ERROR_FILE_OPEN, name_ + ": cannot read: " + platform::ErrorText(error));
  return static_cast<size_t>(n);
}

void ArchiveWriter::Write(std::span<const uint8_t> data) {
  position_ += data.size();
  if (buffer_.size() + data.size() > kBufferSize) {
    Flush();
    if (data.size() >= kBufferSize) {
      int error = 0;
      if (!file_.WriteAll(data, &error))
        throw Error(WriteErrorCode(error),
                    "cannot write the archive: " + platform::ErrorText(error));
      flushed_ += data.size();
      return;
    }
  }
  buffer_.insert(buffer_.end(), data.begin(), data.end());
}

void ArchiveWriter::Flush() {
  if (buffer_.empty()) return;
  int error = 0;
  if (!file_.WriteAll(buffer_, &error))
    throw Error(WriteErrorCode(error), "cannot write the archive: " + platform::ErrorText(error));
  flushed_ += buffer_.size();
  buffer_.clear();
}

void ArchiveWriter::PatchAt(uint64_t offset, std::span<const uint8_t> data) {
  if (offset >= flushed_) {  // still in the buffer
    std::memcpy(buffer_.data() + (offset - flushed_), data.data(), data.size());
    return;
  }
  Flush();
  int error = 0;
  if (!file_.WriteAt(offset, data, &error))
    throw Error(WriteErrorCode(error), "cannot write the archive: " + platform::ErrorText(error));
}

void ArchiveWriter::RollBackTo(uint64_t offset) {
  if (offset >= flushed_) {
    buffer_.resize(static_cast<size_t>(offset - flushed_));
  } else {
    buffer_.clear();
    int error = 0;
    if (!file_.Truncate(offset, &error) || !file_.Seek(offset, &error))
      throw Error(WriteErrorCode(error), "cannot write the archive: " + platform::ErrorText(error));
    flushed_ = offset;
  }
  position_ = offset;
}

void ArchiveWriter::Finish() {
  Flush();
  int error = 0;
  if (!file_.Sync(&error))
    throw Error(WriteErrorCode(error), "cannot write the archive: " + platform::ErrorText(error));
}

}  // namespace lha::command

namespace lha::command {

std::span<uint8_t> TransferBuffer() {
  thread_local std::vector<uint8_t> buffer(256 << 10);
  return buffer;
}

}  // namespace lha::command
