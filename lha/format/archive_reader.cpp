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

bool StartsWith(std::span<const uint8_t> bytes, std::string_view magic) {
  return bytes.size() >= magic.size() &&
         std::equal(magic.begin(), magic.end(), bytes.begin(),
                    [](char m, uint8_t b) { return static_cast<uint8_t>(m) == b; });
}

// PMarc's self-extractor begins with a "-pms-" header of its own.
bool IsPmarcStub(std::span<const uint8_t> bytes) {
  return bytes.size() >= kPrefixSize &&
         StartsWith(bytes.subspan(kMethodOffset), std::string_view("-pms-"));
}

// The start of a program of the systems LZH self-extractors were made for.
bool StartsLikeAStub(std::span<const uint8_t> bytes) {
  using namespace std::string_view_literals;
  constexpr std::string_view kMagics[] = {
      "MZ"sv,            // MS-DOS, Windows and OS/2 programs
      "\0\0\x03\xF3"sv,  // Amiga hunk file
      "\x60\x1A"sv,      // Atari TOS program
      "HU"sv,            // X68000 program
      "\x7F"
      "ELF"sv,  // Unix programs
  };
  for (std::string_view magic : kMagics)
    if (StartsWith(bytes, magic)) return true;
  // An MS-DOS .COM program has no magic; LArc's and LHarc's stubs open with a jump.
  return (!bytes.empty() && (bytes[0] == 0xEB || bytes[0] == 0xE9)) || IsPmarcStub(bytes);
}

// Whether the start holds a header, damaged or not: three or more of the four fixed signs of a
// method id ("-lh?-", "-lz?-", "-pm?-"). One damaged byte leaves at least three.
bool ResemblesAHeader(std::span<const uint8_t> bytes) {
  if (bytes.size() < kMethodOffset + kMethodSize) return false;
  const uint8_t* m = bytes.data() + kMethodOffset;
  const int signs = (m[0] == '-') + (m[1] == 'l' || m[1] == 'p') +
                    (m[2] == 'h' || m[2] == 'z' || m[2] == 'm') + (m[4] == '-');
  return signs >= 3;
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

size_t ReadAheadSource::ReadAt(uint64_t offset, std::span<uint8_t> buf) {
  if (buf.size() > kWindow / 2) return source_->ReadAt(offset, buf);
  const bool inside = offset >= start_ && offset - start_ + buf.size() <= window_.size();
  if (!inside) {
    try {
      window_.resize(kWindow);
      window_.resize(source_->ReadAt(offset, window_));
    } catch (const Error&) {
      // A bad spot ahead must not fail the entries before it: only what is asked for counts.
      window_.clear();
      return source_->ReadAt(offset, buf);
    }
    start_ = offset;
    if (window_.size() < buf.size()) {  // a short read says nothing of the end: ask again
      return source_->ReadAt(offset, buf);
    }
  }
  std::copy_n(window_.begin() + static_cast<ptrdiff_t>(offset - start_), buf.size(), buf.begin());
  return buf.size();
}

ArchiveReader::ArchiveReader(RandomAccessSource& source, const NameDecoder* decoder)
    : source_(&source), headers_(source), decoder_(decoder) {
  size_ = source.Size();
  Locate();
}

bool ArchiveReader::ValidHeaderAt(uint64_t offset) {
  try {
    ReadHeaderAt(*source_, offset, size_);
    return true;
  } catch (const DamagedEntry&) {
    return true;  // a whole header: the entry is refused when it is reached
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
  if (!ReadByte(headers_, offset + kLevelOffset, level) || level != 2) return std::nullopt;
  try {
    EntryHeader h = ReadHeaderAt(headers_, offset, size_, decoder_);
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
    } catch (const DamagedEntry&) {
      return;  // Next() refuses it
    } catch (const Error& e) {
      first_error = e;
    }
  }

  const std::vector<uint8_t> window = ReadWindow();
  // Only a self-extractor's stub may stand before the first header. Anything else there, above
  // all a damaged header, is reported: taking the next header for the start would lose the first
  // entry without a word.
  const bool header_like = ResemblesAHeader(window) && !IsPmarcStub(window);
  if (header_like) {
    throw first_error ? *first_error
                      : Error(UNLHA_ERROR_HEADER_BROKEN, "the first header is damaged");
  }
  if (!StartsLikeAStub(window)) throw Error(UNLHA_ERROR_NOT_ARC_FILE, "no LZH header at the start");

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
  throw Error(UNLHA_ERROR_NOT_ARC_FILE, "no LZH header found behind the stub");
}

// The window a stub and the first header behind it must fit in, read once; each candidate is
// then validated through the source like any header.
std::vector<uint8_t> ArchiveReader::ReadWindow() {
  std::vector<uint8_t> window(std::min<uint64_t>(size_, kMaxPrefixScan + kPrefixSize));
  size_t got = 0;
  while (got < window.size()) {
    const size_t n = source_->ReadAt(got, std::span<uint8_t>(window).subspan(got));
    if (n == 0) break;
    got += n;
  }
  window.resize(got);
  return window;
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
    if (!ReadByte(headers_, position_, first))
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
      h = ReadHeaderAt(headers_, position_, size_, decoder_);
    }
    position_ = h->data_offset + h->packed_size;
    return h;
  } catch (const DamagedEntry& e) {
    position_ = e.next_offset();  // this entry is refused; the ones after it are still whole
    throw Error(e.code(), e.what());
  } catch (const Error& e) {
    Fail(e);
  }
}

}  // namespace lha::format
