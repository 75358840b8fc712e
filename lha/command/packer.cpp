#include "command/packer.h"

#include <array>
#include <stdexcept>
#include <vector>

#include "codec/codec.h"
#include "format/crc16.h"
#include "format/header_writer.h"
#include "format/layout.h"
#include "platform/fs.h"
#include "platform/winpath.h"

namespace lha::command {
namespace {

namespace fs = platform::fs;

// Thrown by the source side only, so that a source that fails is told apart from an archive
// that cannot be written.
struct SourceFailure {
  SourceProblem problem;
};

// Packing pays off only if it saves something; past this much input without a saving the
// rest is not tried, and the file is stored. The encoder's count lags behind by the block it
// is still collecting (up to some 64 K symbols), so "no saving" means less than 1/64 saved.
constexpr uint64_t kGiveUpAfter = 16 << 20;

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

// Reads the source, telling the progress how far it got; a read error is the source's failure,
// not the archive's.
class CheckedReader {
 public:
  CheckedReader(platform::File& file, const std::string& path, Progress& progress)
      : file_(file), path_(path), progress_(progress) {}
  size_t Read(std::span<uint8_t> buf) {
    int error = 0;
    const int64_t n = file_.Read(buf, &error);
    if (n < 0)
      throw SourceFailure{
          {UNLHA_ERROR_FILE_OPEN, path_ + ": cannot read: " + platform::ErrorText(error)}};
    progress_.EntryDone(read_ += static_cast<uint64_t>(n));
    return static_cast<size_t>(n);
  }
  void Rewind() {
    int error = 0;
    if (!file_.Seek(0, &error))
      throw SourceFailure{
          {UNLHA_ERROR_FILE_OPEN, path_ + ": cannot read: " + platform::ErrorText(error)}};
    read_ = 0;
    progress_.EntryDone(0);
  }

 private:
  platform::File& file_;
  const std::string& path_;
  Progress& progress_;
  uint64_t read_ = 0;
};

struct DataResult {
  uint64_t original = 0;
  uint64_t packed = 0;
  uint16_t crc = 0;
  bool compressed = false;
};

// Stores the bytes as they are.
DataResult Store(CheckedReader& in, ArchiveWriter& out, std::span<uint8_t> buf) {
  DataResult r;
  format::Crc16 crc;
  while (size_t n = in.Read(buf)) {
    const std::span<const uint8_t> chunk(buf.data(), n);
    crc.Update(chunk);
    out.Write(chunk);
    r.original += n;
  }
  r.packed = r.original;
  r.crc = crc.value();
  return r;
}

// Packs the bytes; nullopt when packing does not make them smaller.
std::optional<DataResult> Compress(CheckedReader& in, ArchiveWriter& out, codec::Method method,
                                   uint64_t expected_size, std::span<uint8_t> buf) {
  DataResult r;
  format::Crc16 crc;
  codec::EncoderOptions options;
  options.size_hint = expected_size;  // small files then get small tables to set up
  auto encoder = codec::MakeEncoder(method, out, options);
  while (size_t n = in.Read(buf)) {
    const std::span<const uint8_t> chunk(buf.data(), n);
    crc.Update(chunk);
    encoder->Write(chunk);
    r.original += n;
    if (r.original >= kGiveUpAfter && encoder->packed_size() + r.original / 64 >= r.original)
      return std::nullopt;
  }
  encoder->Finish();
  r.packed = encoder->packed_size();
  if (r.packed >= r.original) return std::nullopt;
  r.crc = crc.value();
  r.compressed = true;
  return r;
}

format::NewEntry EntryFor(const Source& source) {
  format::NewEntry e;
  e.path = source.stored;
  e.unix_mode = static_cast<uint16_t>(source.status.mode & 07777);
  e.mtime = source.status.mtime;
  e.hidden = platform::winpath::IsHiddenName(source.stored.back());
  e.declared_size = source.status.size;
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

// A header that the format cannot represent is the source's problem: this entry is skipped.
std::vector<uint8_t> Encode(const format::NewEntry& e, const std::string& path) {
  try {
    return format::EncodeLevel2Header(e);
  } catch (const std::invalid_argument& ex) {
    throw SourceFailure{{UNLHA_ERROR_UNKNOWN_TYPE, path + ": cannot be stored: " + ex.what()}};
  } catch (const Error& ex) {
    throw SourceFailure{{ex.code(), path + ": cannot be stored: " + ex.what()}};
  }
}

void PackFile(platform::Env& env, const Source& source, format::NewEntry& entry, PackMethod method,
              ArchiveWriter& out, PackedEntry* packed, Progress& progress) {
  int error = 0;
  const auto links =
      source.through_link ? platform::File::Links::kFollowed : platform::File::Links::kNotFollowed;
  platform::File file = env.OpenFile(source.posix_path, &error, links);
  if (!file.is_open()) {
    const int32_t code =
        platform::IsMissingError(error) ? UNLHA_ERROR_NOT_EXIST : UNLHA_ERROR_FILE_OPEN;
    throw SourceFailure{{code, source.posix_path + ": cannot open: " + platform::ErrorText(error)}};
  }
  platform::FileStatus st;
  if (file.Status(&st)) entry.declared_size = st.size;
  const bool try_packing = method != PackMethod::kStore && !codec::IsTinyFile(entry.declared_size);
  const auto codec_method = try_packing ? CodecMethod(method) : codec::Method::kLh0;
  entry.method = std::string(codec::Info(codec_method).id);

  const uint64_t start = out.position();
  std::vector<uint8_t> header = Encode(entry, source.posix_path);
  out.Write(header);
  const uint64_t data_start = out.position();

  CheckedReader in(file, source.posix_path, progress);
  const std::span<uint8_t> buf = TransferBuffer();
  std::optional<DataResult> result;
  if (try_packing) result = Compress(in, out, codec_method, entry.declared_size, buf);
  if (!result) {  // stored: the first try did not pay, or none was made
    if (try_packing) {
      out.RollBackTo(data_start);
      in.Rewind();
    }
    entry.method = format::method::kStored;
    result = Store(in, out, buf);
    header = Encode(entry, source.posix_path);
  }
  try {
    format::PatchSizesAndCrc(header, result->packed, result->original, result->crc);
  } catch (const Error& ex) {  // grew past 4 GiB while being read
    out.RollBackTo(start);
    throw SourceFailure{{ex.code(), source.posix_path + ": " + ex.what()}};
  }
  out.PatchAt(start, header);
  *packed = {entry.method, result->original, result->packed};
}

}  // namespace

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

std::optional<SourceProblem> PackSource(platform::Env& env, const Source& source, PackMethod method,
                                        ArchiveWriter& writer, PackedEntry* packed,
                                        Progress& progress) {
  const uint64_t start = writer.position();
  try {
    format::NewEntry entry = EntryFor(source);
    if (entry.kind == format::EntryKind::kFile) {
      PackFile(env, source, entry, method, writer, packed, progress);
      return std::nullopt;
    }
    if (entry.kind == format::EntryKind::kSymlink) {
      int error = 0;
      const auto target = env.ReadLink(source.posix_path, &error);
      if (!target) {
        throw SourceFailure{{UNLHA_ERROR_FILE_OPEN, source.posix_path + ": cannot read the link: " +
                                                        platform::ErrorText(error)}};
      }
      entry.symlink_target = *target;
    }
    entry.declared_size = 0;
    const std::vector<uint8_t> header = Encode(entry, source.posix_path);
    writer.Write(header);
    *packed = {entry.method, 0, 0};
    return std::nullopt;
  } catch (const SourceFailure& f) {
    writer.RollBackTo(start);
    return f.problem;
  }
}

}  // namespace lha::command
