#include "packer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "format/archive_reader.h"
#include "format/crc16.h"
#include "format/layout.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace lha::command {
namespace {

namespace fs = platform::fs;

// Collects a stream in memory.
class MemorySink final : public ByteSink {
 public:
  explicit MemorySink(std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  void Write(std::span<const uint8_t> data) override {
    bytes_.insert(bytes_.end(), data.begin(), data.end());
  }

 private:
  std::vector<uint8_t>& bytes_;
};

platform::File::Links LinksOf(const Source& source) {
  return source.through_link ? platform::File::Links::kFollowed
                             : platform::File::Links::kNotFollowed;
}

SourceProblem CannotRead(const Source& source, int error) {
  return {UNLHA_ERROR_FILE_OPEN,
          source.posix_path + ": cannot read: " + platform::ErrorText(error)};
}

SourceProblem ChangedWhileRead(const Source& source) {
  return {UNLHA_ERROR_FILE_OPEN,
          source.posix_path + ": changed while it was read; the entry would mix two versions"};
}

// The same file with the same data: written to in between, its change time moves.
bool Unchanged(const platform::FileStatus& a, const platform::FileStatus& b) {
  return a.SameFileAs(b) && a.size == b.size && a.mtime == b.mtime &&
         a.mtime_nsec == b.mtime_nsec && a.change_time == b.change_time &&
         a.change_time_nsec == b.change_time_nsec;
}

SourceProblem CannotOpen(const Source& source, int error) {
  const int32_t code =
      platform::IsMissingError(error) ? UNLHA_ERROR_NOT_EXIST : UNLHA_ERROR_FILE_OPEN;
  return {code, source.posix_path + ": cannot open: " + platform::ErrorText(error)};
}

// Reads until `buf` is full or the file ends; the count, or nullopt with the error.
std::optional<size_t> ReadFull(platform::File& file, std::span<uint8_t> buf, int* error) {
  size_t got = 0;
  while (got < buf.size()) {
    const int64_t n = file.Read(buf.subspan(got), error);
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return got;
}

format::NewEntry EntryFor(const Source& source) {
  format::NewEntry e;
  e.path = source.stored;
  e.unix_mode = static_cast<uint16_t>(source.status.mode & 07777);
  e.mtime = source.status.mtime;
  e.hidden = source.hidden;
  e.system = source.status.system;
  e.declared_size = source.status.size;
  e.os_id = platform::ArchiveOsId();
  switch (source.status.kind) {
    case fs::Kind::kFolder:
      e.kind = format::EntryKind::kDirectory;
      e.method = format::method::kDirectory;
      break;
    case fs::Kind::kSymlink:
      e.kind = format::EntryKind::kSymlink;
      e.method = format::method::kDirectory;
      break;
    default:
      e.kind = format::EntryKind::kFile;
      break;
  }
  return e;
}

// Names from the file system (UTF-8) in `code_page`; an entry that code page cannot hold
// whole, or whose names are not UTF-8, keeps the bytes it has.
void InCodePage(uint32_t code_page, format::NewEntry& entry) {
  if (code_page == platform::kCodePageUtf8) return;
  std::vector<std::string> path;
  for (const std::string& c : entry.path) {
    auto converted = platform::ConvertCodePage(c, platform::kCodePageUtf8, code_page);
    if (!converted) return;
    path.push_back(std::move(*converted));
  }
  auto target = platform::ConvertCodePage(entry.symlink_target, platform::kCodePageUtf8, code_page);
  if (!target) return;
  entry.path = std::move(path);
  entry.symlink_target = std::move(*target);
  entry.code_page = code_page;
}

// A header that the format cannot represent is the source's problem: this entry is skipped.
std::optional<SourceProblem> Encode(const format::NewEntry& e, const std::string& path,
                                    std::vector<uint8_t>* header) {
  try {
    *header = format::EncodeLevel2Header(e);
    return std::nullopt;
  } catch (const std::invalid_argument& ex) {
    return SourceProblem{UNLHA_ERROR_UNKNOWN_TYPE, path + ": cannot be stored: " + ex.what()};
  } catch (const Error& ex) {
    return SourceProblem{ex.code(), path + ": cannot be stored: " + ex.what()};
  }
}

}  // namespace

codec::Method CodecMethod(PackMethod m) {
  switch (m) {
    case PackMethod::kLh6:
      return codec::Method::kLh6;
    case PackMethod::kLh7:
      return codec::Method::kLh7;
    case PackMethod::kStore:
      return codec::Method::kLh0;
    default:
      return codec::Method::kLh5;
  }
}

std::string StoredKey(const std::vector<std::string>& components) {
  std::string key;
  for (const auto& c : components) {
    if (!key.empty()) key += '/';
    key += c;
  }
  return key;
}

uint64_t DataSize(const Source& source) {
  return source.status.kind == fs::Kind::kFile ? source.status.size : 0;
}

Piece PackPiece(platform::Env& env, const Source& source, codec::Method method, uint64_t offset,
                uint64_t length, bool keep_raw) {
  Piece piece;
  int error = 0;
  platform::File file = env.OpenFile(source.posix_path, &error, LinksOf(source));
  if (!file.is_open() || !file.Status(&piece.status, &error)) {
    piece.problem = CannotOpen(source, error);
    return piece;
  }
  const uint64_t end = std::min(offset + length, piece.status.size);
  std::vector<uint8_t> raw(static_cast<size_t>(end > offset ? end - offset : 0));
  const int64_t got = file.ReadAt(offset, raw, &error);
  if (got < 0) {
    piece.problem = CannotRead(source, error);
    return piece;
  }
  platform::FileStatus after;
  if (static_cast<size_t>(got) != raw.size() || !file.Status(&after, &error) ||
      !Unchanged(piece.status, after)) {
    piece.problem = ChangedWhileRead(source);
    return piece;
  }
  piece.original = raw.size();
  piece.crc = format::Crc16Of(raw);
  if (method != codec::Method::kLh0 && !raw.empty()) {
    MemorySink sink(piece.packed);
    codec::EncoderOptions options;
    options.size_hint = raw.size();  // small files set up small tables
    auto encoder = codec::MakeEncoder(method, sink, options);
    encoder->Write(raw);
    encoder->Finish();
    piece.bits = encoder->packed_bits();
  }
  if (keep_raw) piece.raw = std::move(raw);
  return piece;
}

bool SameContent(platform::Env& env, RandomAccessSource& archive, const format::EntryHeader& entry,
                 const Source& source, platform::FileStatus* status) {
  const auto method = FindMethodId(entry.method_id());
  if (!method || !codec::Info(*method).decodable || format::IsLharkMethod(entry)) return false;
  platform::File file = env.OpenFile(source.posix_path, nullptr, LinksOf(source));
  platform::FileStatus before, after;
  if (!file.is_open() || !file.Status(&before) || before.size != entry.original_size) return false;
  try {
    format::PackedDataSource packed(archive, entry.data_offset, entry.packed_size);
    auto decoder = codec::MakeDecoder(*method, packed, entry.original_size);
    // Sized for the entry and left uninitialised: most files are small, and zeroing two
    // buffers of the largest size for each of them cost more than the comparison.
    const size_t size =
        static_cast<size_t>(std::clamp<uint64_t>(entry.original_size, 1, 256 << 10));
    const std::unique_ptr<uint8_t[]> buffers(new uint8_t[2 * size]);
    const std::span<uint8_t> stored(buffers.get(), size), on_disk(buffers.get() + size, size);
    format::Crc16 crc;
    uint64_t total = 0;
    while (const size_t n = decoder->Read(stored)) {
      const auto disk = ReadFull(file, std::span<uint8_t>(on_disk.data(), n), nullptr);
      if (!disk || *disk != n || std::memcmp(stored.data(), on_disk.data(), n) != 0) return false;
      crc.Update(std::span<const uint8_t>(stored.data(), n));
      total += n;
    }
    // No probe for bytes past the end: the size was the entry's when the file was opened, and
    // a file that grew since fails the status check below.
    if (total != entry.original_size) return false;
    if (entry.has_data_crc && crc.value() != entry.data_crc) return false;  // a damaged entry
  } catch (const Error& e) {
    if (e.code() == UNLHA_ERROR_ARC_READ) throw;
    return false;  // an entry that does not decode is packed again
  }
  // Written to while it was compared: what was compared may no longer be what the file holds.
  if (!file.Status(&after) || !Unchanged(before, after)) return false;
  *status = after;
  return true;
}

std::optional<SourceProblem> HeaderFor(const Source& source, const std::string& method,
                                       uint32_t code_page, std::vector<uint8_t>* header) {
  format::NewEntry entry = EntryFor(source);
  entry.method = method;
  InCodePage(code_page, entry);
  return Encode(entry, source.posix_path, header);
}

std::optional<SourceProblem> EntryWithoutData(platform::Env& env, const Source& source,
                                              uint32_t code_page, std::vector<uint8_t>* header,
                                              PackedEntry* packed) {
  format::NewEntry entry = EntryFor(source);
  if (entry.kind == format::EntryKind::kSymlink) {
    int error = 0;
    const auto target = env.ReadLink(source.posix_path, &error);
    if (!target) {
      return SourceProblem{UNLHA_ERROR_FILE_OPEN, source.posix_path + ": cannot read the link: " +
                                                      platform::ErrorText(error)};
    }
    entry.symlink_target = *target;
  }
  entry.declared_size = 0;
  InCodePage(code_page, entry);
  if (auto problem = Encode(entry, source.posix_path, header)) return problem;
  *packed = {entry.method, 0, 0};
  return std::nullopt;
}

EntryBuilder::EntryBuilder(const Source& source, codec::Method method, uint32_t code_page,
                           ArchiveWriter& out, Progress& progress)
    : source_(source),
      method_(method),
      code_page_(code_page),
      out_(out),
      progress_(progress),
      joiner_(out) {}

bool EntryBuilder::Begin() {
  const bool pack = method_ != codec::Method::kLh0 && !codec::IsTinyFile(source_.status.size);
  if (!pack) method_ = codec::Method::kLh0;
  storing_ = !pack;
  start_ = out_.position();
  if ((problem_ = HeaderFor(source_, std::string(codec::Info(method_).id), code_page_, &header_)))
    return false;
  out_.Write(header_);
  data_start_ = out_.position();
  return true;
}

bool EntryBuilder::Add(Piece&& piece) {
  if (piece.problem) {
    problem_ = std::move(piece.problem);
    return false;
  }
  // Pieces are read apart: each must have seen the file the first one saw.
  if (pieces_ == 0) {
    status_ = piece.status;
  } else if (!Unchanged(status_, piece.status)) {
    problem_ = ChangedWhileRead(source_);
    return false;
  }
  ++pieces_;
  crc_ = format::Crc16Combine(crc_, piece.crc, piece.original);
  original_ += piece.original;
  progress_.EntryDone(original_);
  if (storing_) {
    out_.Write(piece.raw);
    return true;
  }
  joiner_.Append(piece.packed, piece.bits);
  // After 16 MiB without a saving of 1/64, the rest is not tried.
  if (original_ >= kGiveUpAfter && joiner_.bytes() + original_ / 64 >= original_) return false;
  return true;
}

void EntryBuilder::Patch(uint64_t packed, uint64_t original, uint16_t crc) {
  try {
    format::PatchSizesAndCrc(header_, packed, original, crc);
  } catch (const Error& ex) {  // grew past 4 GiB while being read
    out_.RollBackTo(start_);
    problem_ = SourceProblem{ex.code(), source_.posix_path + ": " + ex.what()};
    return;
  }
  out_.PatchAt(start_, header_);
  result_ = {std::string(codec::Info(method_).id), original, packed};
}

void EntryBuilder::StoreFrom(platform::Env& env, const std::vector<uint8_t>* raw) {
  out_.RollBackTo(start_);
  method_ = codec::Method::kLh0;
  storing_ = true;
  if ((problem_ = HeaderFor(source_, std::string(codec::Info(method_).id), code_page_, &header_)))
    return;
  out_.Write(header_);
  data_start_ = out_.position();
  crc_ = 0;
  original_ = 0;
  if (raw) {
    out_.Write(*raw);
    crc_ = format::Crc16Of(*raw);
    original_ = raw->size();
    return Patch(original_, original_, crc_);
  }
  progress_.EntryDone(0);  // the file is read again
  int error = 0;
  platform::File file = env.OpenFile(source_.posix_path, &error, LinksOf(source_));
  platform::FileStatus before;
  if (!file.is_open() || !file.Status(&before, &error)) {
    out_.RollBackTo(start_);
    problem_ = CannotOpen(source_, error);
    return;
  }
  if (pieces_ != 0 && !Unchanged(status_, before)) {  // read again after packing was given up
    out_.RollBackTo(start_);
    problem_ = ChangedWhileRead(source_);
    return;
  }
  const std::span<uint8_t> buf = TransferBuffer();
  format::Crc16 crc;
  while (true) {
    const int64_t n = file.Read(buf, &error);
    if (n < 0) {
      out_.RollBackTo(start_);
      problem_ = CannotRead(source_, error);
      return;
    }
    if (n == 0) break;
    const std::span<const uint8_t> chunk(buf.data(), static_cast<size_t>(n));
    crc.Update(chunk);
    out_.Write(chunk);
    original_ += chunk.size();
    progress_.EntryDone(original_);
  }
  platform::FileStatus after;
  if (original_ != before.size || !file.Status(&after, &error) || !Unchanged(before, after)) {
    out_.RollBackTo(start_);
    problem_ = ChangedWhileRead(source_);
    return;
  }
  status_ = after;
  crc_ = crc.value();
  Patch(original_, original_, crc_);
}

void EntryBuilder::Finish(platform::Env& env) {
  if (storing_) return Patch(original_, original_, crc_);
  joiner_.Finish();
  const uint64_t packed = out_.position() - data_start_;
  if (packed >= original_) return StoreFrom(env, nullptr);  // packing did not pay
  Patch(packed, original_, crc_);
}

void EntryBuilder::Abandon() {
  out_.RollBackTo(start_);
}

}  // namespace lha::command
