#include "format/header_reader.h"

#include <optional>
#include <string>
#include <vector>

#include "common/error.h"
#include "format/bytes.h"
#include "format/crc16.h"
#include "format/layout.h"
#include "platform/text.h"

namespace lha::format {
namespace {

// Level 1 has no overall size field; its chain is read ext by ext. This caps the whole chain,
// as level 3 is capped, so that a garbage chain cannot make us read and keep without end.
constexpr size_t kMaxLevel1ChainSize = 1 << 20;

// UTF-16 of ext 44/45 as UTF-8; in a folder name (ext 45) FFFF, '\\' and '/' separate.
std::string Utf8Of(std::u16string text, bool folder) {
  if (folder)
    for (char16_t& c : text)
      if (c == 0xFFFF || c == u'\\') c = u'/';
  return platform::Utf8FromUtf16(text);
}

template <class Text>
bool HasNul(const Text& text) {
  return text.find(typename Text::value_type{0}) != Text::npos;
}

struct ExtRecord {
  uint8_t type;
  size_t body_offset;  // within the header buffer
  size_t body_size;
};

class HeaderParser {
 public:
  HeaderParser(RandomAccessSource& source, uint64_t offset, uint64_t size,
               const NameDecoder* decoder)
      : source_(source), offset_(offset), size_(size), decoder_(decoder) {}

  EntryHeader Parse();

 private:
  [[noreturn]] void Fail(int32_t code, const std::string& what) const {
    throw Error(code, "header at offset " + std::to_string(offset_) + ": " + what);
  }
  [[noreturn]] void Broken(const std::string& what) const { Fail(UNLHA_ERROR_HEADER_BROKEN, what); }

  // Appends the next `count` bytes of the header to buf_, or throws 32794 if the source ends
  // first. Callers bound `count` before calling.
  void ReadMore(size_t count);

  // Takes the name field of a level-0/1 header. MorphOS keeps a file comment after a NUL in it;
  // a NUL anywhere else in a name is damage (see DamagedEntry).
  void TakeNameField(size_t offset, size_t length);
  void ParseLevel0();
  void ParseLevel1();
  void ParseLevel2();
  void ParseLevel3();
  void VerifyChecksum(size_t base_size);
  // Records the ext headers of a chain held in buf_[cursor, limit) whose first size is
  // `first`; sizes are `width` bytes. Returns what is wrong, or an empty string.
  std::string ScanChain(size_t cursor, uint64_t first, size_t limit, size_t width);
  void ApplyExtensions();
  void VerifyHeaderCrc();
  void BuildPath();

  RandomAccessSource& source_;
  const uint64_t offset_;
  const uint64_t size_;
  const NameDecoder* decoder_;
  std::vector<uint8_t> buf_;  // the whole header as read
  std::vector<ExtRecord> exts_;
  EntryHeader h_;
  std::string name_;              // raw name bytes (name field or ext 0x01)
  std::string dir_;               // raw ext 0x02 bytes
  std::optional<size_t> crc_at_;  // where ext 0x00 keeps the header CRC
  std::optional<uint64_t> large_packed_, large_original_;
};

void HeaderParser::ReadMore(size_t count) {
  const uint64_t at = offset_ + buf_.size();
  if (at > size_ || size_ - at < count)
    Fail(UNLHA_ERROR_ARC_READ, "archive ends inside the header");
  const size_t old = buf_.size();
  buf_.resize(old + count);
  size_t got = 0;
  while (got < count) {
    const size_t n = source_.ReadAt(at + got, std::span<uint8_t>(buf_).subspan(old + got));
    if (n == 0) Fail(UNLHA_ERROR_ARC_READ, "archive ends inside the header");
    got += n;
  }
}

EntryHeader HeaderParser::Parse() {
  h_.header_offset = offset_;
  ReadMore(kPrefixSize);
  const uint8_t* m = buf_.data() + kMethodOffset;
  if (m[0] != '-' || m[4] != '-') Broken("no method id");
  for (size_t i = 0; i < kMethodSize; ++i)
    h_.method[i] = static_cast<char>(m[i]);
  h_.level = buf_[kLevelOffset];
  switch (h_.level) {
    case 0:
      ParseLevel0();
      break;
    case 1:
      ParseLevel1();
      break;
    case 2:
      ParseLevel2();
      break;
    case 3:
      ParseLevel3();
      break;
    default:
      Broken("unknown header level " + std::to_string(h_.level));
  }
  VerifyHeaderCrc();
  h_.data_offset = offset_ + h_.header_size;
  if (h_.packed_size > UINT64_MAX - h_.data_offset) Broken("packed size out of range");
  BuildPath();
  if (HasNul(dir_) || HasNul(name_) || HasNul(h_.utf16_name) || HasNul(h_.utf16_directory)) {
    throw DamagedEntry(
        "header at offset " + std::to_string(offset_) + ": a NUL byte inside a stored name",
        h_.data_offset + h_.packed_size);
  }
  return std::move(h_);
}

void HeaderParser::VerifyChecksum(size_t base_size) {
  uint8_t sum = 0;
  for (size_t i = kMethodOffset; i < base_size; ++i)
    sum = static_cast<uint8_t>(sum + buf_[i]);
  if (sum != buf_[h0::kChecksumOffset]) Fail(UNLHA_ERROR_HEADER_CRC, "header checksum mismatch");
}

void HeaderParser::TakeNameField(size_t offset, size_t length) {
  name_.assign(reinterpret_cast<const char*>(buf_.data() + offset), length);
  const size_t nul = name_.find('\0');
  if (nul != std::string::npos) {
    h_.comment = name_.substr(nul + 1);
    name_.resize(nul);
  }
}

void HeaderParser::ParseLevel0() {
  const size_t hsize = buf_[h0::kHeaderSizeOffset];
  if (hsize < h0::kMinHeaderSize) Broken("level-0 header size too small");
  const size_t total = hsize + h0::kSizeFieldBytes;
  ReadMore(total - buf_.size());
  VerifyChecksum(total);
  const size_t n = buf_[h0::kNameLengthOffset];
  if (h0::kFixedBytesWithoutCrc + n > hsize) Broken("name longer than the header");
  TakeNameField(h0::kNameOffset, n);
  const size_t crc_at = h0::kNameOffset + n;
  h_.has_data_crc = crc_at + 2 <= total;  // very old writers leave the CRC out
  if (h_.has_data_crc) h_.data_crc = Le16(buf_, crc_at);
  const size_t area = crc_at + 2;
  if (area < total && buf_[area] == h0::kUnixAreaId && total - area >= h0::kUnixAreaSize) {
    h_.os_id = os::kUnix;
    h_.unix_mtime = Le32(buf_, area + h0::kUnixAreaTimeOffset);
    const size_t ids = total - h0::kUnixAreaIdsFromEnd;
    h_.unix_mode = Le16(buf_, ids);
    h_.unix_uid = Le16(buf_, ids + 2);
    h_.unix_gid = Le16(buf_, ids + 4);
  }
  h_.packed_size = Le32(buf_, kPackedSizeOffset);
  h_.original_size = Le32(buf_, kOriginalSizeOffset);
  h_.dos_time = Le32(buf_, kTimeOffset);
  h_.msdos_attribute = buf_[kAttributeOffset];
  h_.header_size = total;
}

void HeaderParser::ParseLevel1() {
  const size_t hsize = buf_[h1::kHeaderSizeOffset];
  if (hsize < h1::kMinHeaderSize) Broken("level-1 header size too small");
  const size_t base = hsize + h1::kSizeFieldBytes;
  ReadMore(base - buf_.size());
  VerifyChecksum(base);
  const size_t n = buf_[h1::kNameLengthOffset];
  if (h1::kMinHeaderSize + n > hsize) Broken("name longer than the header");
  TakeNameField(h1::kNameOffset, n);
  h_.data_crc = Le16(buf_, h1::kNameOffset + n);
  h_.os_id = buf_[h1::kNameOffset + n + 2];

  uint64_t next = Le16(buf_, hsize);
  size_t chain = 0;
  while (next != 0) {
    if (next < ext::kOverhead16) Broken("extended header size " + std::to_string(next));
    if (chain + next > kMaxLevel1ChainSize) Broken("extended headers too large");
    const size_t start = buf_.size();
    ReadMore(next);
    exts_.push_back({buf_[start], start + 1, static_cast<size_t>(next) - ext::kOverhead16});
    chain += next;
    next = Le16(buf_, buf_.size() - 2);
  }
  h_.original_size = Le32(buf_, kOriginalSizeOffset);
  h_.dos_time = Le32(buf_, kTimeOffset);
  h_.header_size = buf_.size();
  ApplyExtensions();

  // The skip size counts the ext headers as if they were data.
  const uint32_t skip = Le32(buf_, kPackedSizeOffset);
  if (!large_packed_) {
    if (chain > skip) Broken("extended headers larger than the skip size");
    h_.packed_size = skip - chain;
    return;
  }
  // Writers disagree whether the 64-bit value includes the ext headers too. Its low 32 bits
  // tell which reading the skip size agrees with; failing that, take it as including them.
  const uint64_t packed = *large_packed_;
  const bool excludes =
      static_cast<uint32_t>(packed + chain) == skip && static_cast<uint32_t>(packed) != skip;
  if (excludes) {
    h_.packed_size = packed;
  } else {
    if (packed < chain) Broken("64-bit skip size smaller than the extended headers");
    h_.packed_size = packed - chain;
  }
}

std::string HeaderParser::ScanChain(size_t cursor, uint64_t first, size_t limit, size_t width) {
  const size_t overhead = width == 2 ? ext::kOverhead16 : ext::kOverhead32;
  exts_.clear();
  uint64_t next = first;
  while (next != 0) {
    if (next < overhead) return "extended header size " + std::to_string(next);
    if (next > limit - cursor) return "extended header runs past the header size";
    exts_.push_back({buf_[cursor], cursor + 1, static_cast<size_t>(next) - overhead});
    cursor += next;
    next = width == 2 ? Le16(buf_, cursor - 2) : Le32(buf_, cursor - 4);
  }
  return {};  // bytes between the chain's end and the header size are padding
}

void HeaderParser::ParseLevel2() {
  size_t total = Le16(buf_, h2::kHeaderSizeOffset);
  if (total < h2::kBaseSize) Broken("level-2 header size too small");
  ReadMore(total - buf_.size());
  h_.os_id = buf_[h2::kOsIdOffset];
  const uint16_t first = Le16(buf_, h2::kFirstExtSizeOffset);
  std::string error = ScanChain(h2::kBaseSize, first, total, 2);
  // LHa for OS-9/68k writes T two bytes short, leaving out its own size field; its chain then
  // overruns T by exactly that much.
  if (!error.empty() && h_.os_id == os::kOs9_68k && size_ - offset_ >= total + 2) {
    ReadMore(2);
    if (ScanChain(h2::kBaseSize, first, total + 2, 2).empty()) {
      total += 2;
      error.clear();
    }
  }
  if (!error.empty()) Broken(error);
  h_.packed_size = Le32(buf_, kPackedSizeOffset);
  h_.original_size = Le32(buf_, kOriginalSizeOffset);
  h_.unix_mtime = Le32(buf_, kTimeOffset);
  h_.data_crc = Le16(buf_, h2::kDataCrcOffset);
  h_.header_size = total;
  ApplyExtensions();
}

void HeaderParser::ParseLevel3() {
  if (Le16(buf_, h3::kWordSizeOffset) != h3::kWordSize) Broken("level-3 word size is not 4");
  ReadMore(h3::kBaseSize - buf_.size());
  const uint32_t total = Le32(buf_, h3::kHeaderSizeOffset);
  if (total < h3::kBaseSize) Broken("level-3 header size too small");
  if (total > h3::kMaxHeaderSize) Broken("level-3 header size too large");
  ReadMore(total - buf_.size());
  const std::string error = ScanChain(h3::kBaseSize, Le32(buf_, h3::kFirstExtSizeOffset), total, 4);
  if (!error.empty()) Broken(error);
  h_.os_id = buf_[h3::kOsIdOffset];
  h_.packed_size = Le32(buf_, kPackedSizeOffset);
  h_.original_size = Le32(buf_, kOriginalSizeOffset);
  h_.unix_mtime = Le32(buf_, kTimeOffset);
  h_.data_crc = Le16(buf_, h3::kDataCrcOffset);
  h_.header_size = total;
  ApplyExtensions();
}

void HeaderParser::ApplyExtensions() {
  for (const ExtRecord& e : exts_) {
    const std::span<const uint8_t> body(buf_.data() + e.body_offset, e.body_size);
    const auto text = [&] { return std::string(body.begin(), body.end()); };
    // Known types whose body is too short to hold their value are ignored, except where
    // ignoring would misplace data (sizes) or skip a check (CRC).
    switch (e.type) {
      case ext::kHeaderCrc:
        if (body.size() < ext::kHeaderCrcBodySize) Broken("header CRC extension too short");
        crc_at_ = e.body_offset;
        break;
      case ext::kFileName:
        name_ = text();
        break;
      case ext::kDirectory:
        dir_ = text();
        break;
      case ext::kMsdosAttribute:
        if (!body.empty()) h_.msdos_attribute = body[0];
        break;
      case ext::kWindowsTimes:
        if (body.size() >= ext::kWindowsTimesBodySize)
          h_.windows_times = WindowsTimes{Le64(body, 0), Le64(body, 8), Le64(body, 16)};
        break;
      case ext::kLargeSizes:
        if (body.size() < ext::kLargeSizesBodySize) Broken("64-bit size extension too short");
        large_packed_ = Le64(body, 0);
        large_original_ = Le64(body, 8);
        break;
      case ext::kUtf16FileName:
      case ext::kUtf16Directory: {
        std::u16string& s = e.type == ext::kUtf16FileName ? h_.utf16_name : h_.utf16_directory;
        s.clear();
        for (size_t i = 0; i + 1 < body.size(); i += 2)
          s.push_back(static_cast<char16_t>(Le16(body, i)));
        break;
      }
      case ext::kCodePage:
        if (body.size() >= 4) h_.code_page = Le32(body, 0);
        break;
      case ext::kUnixMode:
        if (body.size() >= 2) h_.unix_mode = Le16(body, 0);
        break;
      case ext::kUnixIds:
        if (body.size() >= 4) {
          h_.unix_gid = Le16(body, 0);
          h_.unix_uid = Le16(body, 2);
        }
        break;
      case ext::kUnixTime:
        if (body.size() >= 4) h_.unix_mtime = Le32(body, 0);
        break;
      case ext::kOs2Attributes:
        if (h_.level == 3 && body.size() >= 8) {
          h_.msdos_attribute = body[0];
          // OS/2 LHA fills the mode with bare permission bits (0660 on folders too); only a
          // mode with Unix file type bits means what ext 0x50 would.
          const uint16_t mode = Le16(body, 2);
          if (mode & unix_mode::kTypeMask) {
            h_.unix_mode = mode;
            h_.unix_gid = Le16(body, 4);
            h_.unix_uid = Le16(body, 6);
          }
        }
        break;
      case ext::kUnixAttributes32:
        if (h_.level == 3 && body.size() >= 12) {
          const uint32_t mode = Le32(body, 0), gid = Le32(body, 4), uid = Le32(body, 8);
          if (mode <= 0xFFFF) h_.unix_mode = static_cast<uint16_t>(mode);
          if (gid <= 0xFFFF) h_.unix_gid = static_cast<uint16_t>(gid);
          if (uid <= 0xFFFF) h_.unix_uid = static_cast<uint16_t>(uid);
        }
        break;
      default:
        break;  // unknown or only informational: skipped
    }
  }
  if (large_packed_) {
    h_.packed_size = *large_packed_;  // level 1 corrects this afterwards
    h_.original_size = *large_original_;
  }
}

void HeaderParser::VerifyHeaderCrc() {
  if (!crc_at_) return;
  // The CRC covers every byte of the header with its own two bytes taken as zero.
  const size_t at = *crc_at_;
  const uint16_t stored = Le16(buf_, at);
  Crc16 crc;
  crc.Update(std::span<const uint8_t>(buf_).first(at));
  const uint8_t zeros[2] = {0, 0};
  crc.Update(zeros);
  crc.Update(std::span<const uint8_t>(buf_).subspan(at + 2, h_.header_size - at - 2));
  if (crc.value() != stored) Fail(UNLHA_ERROR_HEADER_CRC, "header CRC mismatch");
  h_.has_header_crc = true;
}

void HeaderParser::BuildPath() {
  // A backslash (or a bar) after a Shift_JIS lead byte is half of a character, unless the
  // header says the names are in a code page without such bytes.
  const bool guard = !h_.code_page || *h_.code_page == platform::kCodePageShiftJis;
  // A part given in UTF-16 (ext 44, 45) says what it is, and stands in for its bytes.
  const bool wide_dir = !h_.utf16_directory.empty(), wide_name = !h_.utf16_name.empty();
  const std::string dir =
      wide_dir ? Utf8Of(h_.utf16_directory, true) : NormalizeStoredPath(dir_, guard);
  const std::string name =
      wide_name ? Utf8Of(h_.utf16_name, false) : NormalizeStoredPath(name_, guard);
  // Some writers leave out the separator after the last directory: add it.
  std::string joined = dir;
  if (!dir.empty() && !name.empty() && dir.back() != '/') joined += '/';
  joined += name;
  const size_t name_start = joined.size() - name.size();

  const bool lhd = h_.IsMethod(method::kDirectory);
  const bool mode_is_dir =
      h_.unix_mode && (*h_.unix_mode & unix_mode::kTypeMask) == unix_mode::kDirectory;
  const size_t bar = FindLinkBar(joined, guard);
  std::string target;
  if (lhd && bar != std::string::npos && !mode_is_dir) {
    // "link|target" was split like any path, so the bar can sit in the directory part.
    h_.kind = EntryKind::kSymlink;
    target = joined.substr(bar + 1);
    joined.resize(bar);
  } else if (lhd) {
    h_.kind = EntryKind::kDirectory;
  } else if (h_.os_id == os::kAmiga && h_.IsMethod(method::kStored) && h_.packed_size == 0 &&
             h_.original_size == 0 && name.empty() && !dir.empty()) {
    // Amiga LhA stores folders as empty "-lh0-" entries without a file name.
    h_.kind = EntryKind::kDirectory;
  }
  // Each component as the library's own text. The split came first: a separator is a byte of
  // the stored path, never of a converted character. Parts that came in UTF-16 are text already.
  const auto decode = [&](std::string_view stored, bool wide) {
    return decoder_ && !wide ? decoder_->Decode(stored, h_.code_page) : std::string(stored);
  };
  h_.absolute = !joined.empty() && joined.front() == '/';
  size_t at = 0;
  while (at <= joined.size()) {
    size_t end = joined.find('/', at);
    if (end == std::string::npos) end = joined.size();
    if (end > at) {
      const bool wide = at >= name_start ? wide_name : wide_dir;
      h_.path.push_back(decode(std::string_view(joined).substr(at, end - at), wide));
    }
    at = end + 1;
  }
  if (h_.kind == EntryKind::kSymlink)
    h_.symlink_target = decode(target, bar >= name_start ? wide_name : wide_dir);
}

}  // namespace

EntryHeader ReadHeaderAt(RandomAccessSource& source, uint64_t offset, uint64_t source_size,
                         const NameDecoder* decoder) {
  return HeaderParser(source, offset, source_size, decoder).Parse();
}

}  // namespace lha::format
