// Walking an LZH archive: finding the first header (also behind a self-extractor stub), then
// entry after entry to the end marker or the physical end. The walker never decodes data; it
// hands out each entry's header and a stream of its packed bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/error.h"
#include "common/io.h"
#include "common/names.h"
#include "format/entry.h"

namespace lha::format {

// The packed bytes of one entry, [offset, offset + length) of the archive, as a stream. Read
// throws lha::Error(UNLHA_ERROR_ARC_READ) if the archive ends before `length` bytes. The
// source must outlive this object.
class PackedDataSource final : public ByteSource {
 public:
  PackedDataSource(RandomAccessSource& source, uint64_t offset, uint64_t length)
      : source_(&source), position_(offset), remaining_(length) {}

  size_t Read(std::span<uint8_t> buf) override;
  uint64_t remaining() const { return remaining_; }

 private:
  RandomAccessSource* source_;
  uint64_t position_;
  uint64_t remaining_;
};

// Reads of a source served from one read-ahead window where they fall inside it: a header is
// read a few bytes at a time, and the entries of small files lie close together. Not for
// sharing between threads; the source must outlive it.
class ReadAheadSource final : public RandomAccessSource {
 public:
  explicit ReadAheadSource(RandomAccessSource& source) : source_(&source) {}

  size_t ReadAt(uint64_t offset, std::span<uint8_t> buf) override;
  uint64_t Size() override { return source_->Size(); }

 private:
  static constexpr size_t kWindow = 64 << 10;
  RandomAccessSource* source_;
  std::vector<uint8_t> window_;
  uint64_t start_ = 0;
};

// How far the first header may sit behind a foreign prefix (self-extractor stub).
inline constexpr uint64_t kMaxPrefixScan = 256 * 1024;

class ArchiveReader {
 public:
  // Finds the first header: at offset 0, or else, when the source starts like a
  // self-extractor's stub (a program of MS-DOS, Windows, OS/2, the Amiga, the Atari, the X68000
  // or Unix), the first position within kMaxPrefixScan where a known method id sits and a
  // complete header validates (level 0/1 checksum, chain bounds, header CRC when present).
  // Stubs that embed a decoy header after the strings "LHA-SFX" (DECLHA) or "LhASFX V1.2,"
  // (Amiga) have that first candidate skipped. A damaged header at offset 0 is reported with
  // its own code (32791 or 32790), never passed over.
  //
  // A source of 0 bytes, or holding only the end marker, is an empty archive: an interrupted
  // creation leaves the former, and replacing it loses nothing. Anything else without a
  // header throws lha::Error(UNLHA_ERROR_NOT_ARC_FILE). Read errors of the source pass through.
  // `source` must outlive the reader and the streams it opens.
  // Names come out through `decoder` when given (see ReadHeaderAt), which must outlive the
  // reader.
  explicit ArchiveReader(RandomAccessSource& source, const NameDecoder* decoder = nullptr);

  // The next entry, or nullopt at the end marker (a 0x00 where a header would start) or at the
  // physical end. Entries of any method are returned; the caller decides what it can decode.
  // Throws lha::Error: UNLHA_ERROR_HEADER_BROKEN (32791) or UNLHA_ERROR_HEADER_CRC (32790) for
  // a damaged header, UNLHA_ERROR_ARC_READ (32794) when the archive ends inside a header or
  // inside the previous entry's packed data. After a throw, every further call throws the
  // same error, except after an entry that is refused alone (a NUL inside a stored name, see
  // DamagedEntry): then failed() stays false and the next call returns the entry after it.
  std::optional<EntryHeader> Next();
  // Whether the walk has ended in an error that no further call can get past.
  bool failed() const { return failure_.has_value(); }

  // The packed bytes of an entry returned by Next().
  PackedDataSource OpenPackedData(const EntryHeader& entry) const {
    return PackedDataSource(*source_, entry.data_offset, entry.packed_size);
  }

  uint64_t archive_offset() const { return archive_offset_; }  // length of a foreign prefix
  // Once Next() has returned nullopt: where the archive ends (the end marker's offset, or the
  // source size without one), and whether the marker was there.
  uint64_t end_offset() const { return end_offset_; }
  bool has_end_marker() const { return has_end_marker_; }

 private:
  void Locate();
  std::vector<uint8_t> ReadWindow();
  bool ValidHeaderAt(uint64_t offset);
  std::optional<EntryHeader> HiddenLevel2HeaderAt(uint64_t offset);
  [[noreturn]] void Fail(const Error& error);

  RandomAccessSource* source_;
  ReadAheadSource headers_;  // the walk's own reads; packed data goes to source_
  const NameDecoder* decoder_;
  uint64_t size_ = 0;
  uint64_t position_ = 0;
  uint64_t archive_offset_ = 0;
  uint64_t end_offset_ = 0;
  bool has_end_marker_ = false;
  bool done_ = false;
  std::optional<Error> failure_;
};

}  // namespace lha::format
