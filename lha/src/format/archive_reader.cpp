#include "format/archive_reader.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "format/header_reader.h"
#include "format/layout.h"

namespace lha::format {
namespace {

// Stub strings after which the first method-like bytes are a decoy inside the stub.
constexpr std::string_view kDecoyMarkers[] = {"LHA-SFX", "LhASFX V1.2,"};

bool ReadByte(RandomAccessSource& source, uint64_t offset, uint8_t& out) {
  return source.ReadAt(offset, std::span<uint8_t>(&out, 1)) == 1;
}

}  // namespace

size_t PackedDataSource::Read(std::span<uint8_t> buf) {
  const size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), remaining_));
  if (want == 0) return 0;
  const size_t got = source_->ReadAt(position_, buf.first(want));
  if (got == 0) throw Error(UNLHA_ERROR_ARC_READ, "archive ends inside the packed data");
  position_ += got;
  remaining_ -= got;
  return got;
}

ArchiveReader::ArchiveReader(RandomAccessSource& source) : source_(&source) {
  size_ = source.Size();
  Locate();
}

bool ArchiveReader::ValidHeaderAt(uint64_t offset) {
  try {
    ReadHeaderAt(*source_, offset, size_);
    return true;
  } catch (const Error&) {
    return false;
  }
}

// A level-2 header whose size is a multiple of 256 starts with 0x00 and so looks like the end
// marker. Some writers produce it; it counts as a header only if it validates completely,
// header CRC included.
std::optional<EntryHeader> ArchiveReader::HiddenLevel2HeaderAt(uint64_t offset) {
  if (size_ - offset < h2::kBaseSize) return std::nullopt;
  uint8_t level = 0;
  if (!ReadByte(*source_, offset + kLevelOffset, level) || level != 2) return std::nullopt;
  try {
    EntryHeader h = ReadHeaderAt(*source_, offset, size_);
    if (h.has_header_crc) return h;
  } catch (const Error&) {
  }
  return std::nullopt;
}

void ArchiveReader::Locate() {
  if (size_ == 0) {
    done_ = true;
    return;
  }
  uint8_t first = 0;
  if (!ReadByte(*source_, 0, first)) throw Error(UNLHA_ERROR_ARC_READ, "cannot read the archive");
  if (first == kEndOfArchive && size_ == 1) {
    done_ = has_end_marker_ = true;
    return;
  }
  std::optional<Error> first_error;
  if (first == kEndOfArchive) {
    if (HiddenLevel2HeaderAt(0)) return;
  } else {
    try {
      ReadHeaderAt(*source_, 0, size_);
      return;
    } catch (const Error& e) {
      first_error = e;
    }
    // What is plainly an LZH header at the very start is the archive's first header, however
    // damaged: taking the next header for the start would pass the damage off as a prefix and
    // lose the first entry without a word.
    uint8_t start[kPrefixSize] = {};
    if (size_ >= kPrefixSize && source_->ReadAt(0, start) == kPrefixSize &&
        start[kMethodOffset] == '-' && start[kMethodOffset + 4] == '-' &&
        start[kLevelOffset] <= 3 &&
        IsKnownMethod(
            std::string_view(reinterpret_cast<const char*>(start) + kMethodOffset, kMethodSize))) {
      throw *first_error;
    }
  }

  // Scan a window for the first real header behind a prefix. The window is read once; each
  // candidate is then validated through the source like any header.
  const uint64_t window_size = std::min<uint64_t>(size_, kMaxPrefixScan + kPrefixSize);
  std::vector<uint8_t> window(window_size);
  size_t got = 0;
  while (got < window.size()) {
    const size_t n = source_->ReadAt(got, std::span<uint8_t>(window).subspan(got));
    if (n == 0) break;
    got += n;
  }
  window.resize(got);
  const std::string_view text(reinterpret_cast<const char*>(window.data()), window.size());
  size_t decoy_after = std::string_view::npos;
  for (std::string_view marker : kDecoyMarkers)
    decoy_after = std::min(decoy_after, text.find(marker));
  bool decoy_pending = decoy_after != std::string_view::npos;

  for (size_t p = 1; p + kPrefixSize <= window.size() && p <= kMaxPrefixScan; ++p) {
    const uint8_t* b = window.data() + p;
    if (b[kMethodOffset] != '-' || b[kMethodOffset + 4] != '-') continue;
    if (!IsKnownMethod(text.substr(p + kMethodOffset, kMethodSize))) continue;
    if (decoy_pending && p > decoy_after) {
      decoy_pending = false;
      continue;
    }
    if (b[kLevelOffset] > 3) continue;
    if (ValidHeaderAt(p)) {
      archive_offset_ = position_ = p;
      return;
    }
  }
  // Nothing behind a prefix either. If offset 0 holds what is plainly an LZH header, report
  // what is wrong with it rather than call the file foreign.
  if (first_error && window.size() >= kPrefixSize && window[kLevelOffset] <= 3 &&
      IsKnownMethod(text.substr(kMethodOffset, kMethodSize)))
    throw *first_error;
  throw Error(UNLHA_ERROR_NOT_ARC_FILE, "no LZH header found");
}

void ArchiveReader::Fail(const Error& error) {
  failure_ = error;
  throw error;
}

std::optional<EntryHeader> ArchiveReader::Next() {
  if (failure_) throw *failure_;
  if (done_) return std::nullopt;
  if (position_ > size_) {
    Fail(Error(UNLHA_ERROR_ARC_READ,
               "archive ends inside the packed data of the entry before offset " +
                   std::to_string(position_)));
  }
  if (position_ == size_) {
    done_ = true;
    end_offset_ = size_;
    return std::nullopt;
  }
  uint8_t first = 0;
  try {
    if (!ReadByte(*source_, position_, first))
      throw Error(UNLHA_ERROR_ARC_READ, "cannot read the archive");
    std::optional<EntryHeader> h;
    if (first == kEndOfArchive) {
      h = HiddenLevel2HeaderAt(position_);
      if (!h) {
        done_ = has_end_marker_ = true;
        end_offset_ = position_;
        return std::nullopt;
      }
    } else {
      h = ReadHeaderAt(*source_, position_, size_);
    }
    position_ = h->data_offset + h->packed_size;
    return h;
  } catch (const Error& e) {
    Fail(e);
  }
}

}  // namespace lha::format
