#include "command/archive_file.h"

#include "platform/fs.h"
#include "platform/text.h"

namespace lha::command {

namespace fs = platform::fs;

namespace {

class DecodedBySystem final : public NameDecoder {
 public:
  std::string Decode(std::string_view stored, std::optional<uint32_t> code_page) const override {
    return platform::DecodeArchiveName(stored, code_page);
  }
};

}  // namespace

const NameDecoder& SystemNames() {
  static const DecodedBySystem decoder;
  return decoder;
}

std::string ArchivePosixPath(platform::Env& env, const std::string& winpath) {
  const fs::Resolution r = fs::ResolveForCreate(env, winpath);
  if (r.status != fs::ResolveStatus::kFound)
    throw Error(UNLHA_ERROR_ARC_FILE_OPEN, winpath + ": the archive's folder does not exist");
  // An archive named through a link is the file the link leads to: that file is updated, and
  // the link stays.
  int error = 0;
  const auto target = platform::FinalTargetOf(env, r.path, &error);
  if (!target) throw Error(UNLHA_ERROR_ARC_FILE_OPEN, r.path + ": " + platform::ErrorText(error));
  return *target;
}

std::optional<OpenArchive> OpenArchive::Open(platform::Env& env, const std::string& winpath,
                                             LockMode mode) {
  OpenArchive a;
  a.posix_path_ = ArchivePosixPath(env, winpath);
  // The holder before us may have replaced the archive between our open and our lock: then the
  // file we locked is no longer the archive, and we try again with the new one.
  for (int attempt = 0; attempt < 16; ++attempt) {
    int error = 0;
    const auto before = env.Status(a.posix_path_, platform::File::Links::kFollowed, &error);
    if (!before) {
      if (platform::IsMissingError(error)) return std::nullopt;
      throw Error(UNLHA_ERROR_ARC_FILE_OPEN, a.posix_path_ + ": " + platform::ErrorText(error));
    }
    if (before->kind != fs::Kind::kFile)
      throw Error(UNLHA_ERROR_ARC_FILE_OPEN, a.posix_path_ + ": not a file");
    a.file_ = std::make_unique<platform::File>(env.OpenFile(a.posix_path_, &error));
    if (!a.file_->is_open()) {
      if (platform::IsMissingError(error)) continue;
      throw Error(UNLHA_ERROR_ARC_FILE_OPEN, a.posix_path_ + ": " + platform::ErrorText(error));
    }
    const bool locked =
        mode == LockMode::kExclusive ? a.file_->TryLock() : a.file_->TryLockShared();
    if (!locked)
      throw Error(UNLHA_ERROR_ALREADY_RUNNING, a.posix_path_ + ": in use by another command");
    const auto now = env.Status(a.posix_path_, platform::File::Links::kFollowed);
    if (!a.file_->Status(&a.status_) || !now || !now->SameFileAs(a.status_)) continue;
    a.source_ = std::make_unique<ArchiveSource>(*a.file_);
    return a;
  }
  throw Error(UNLHA_ERROR_ALREADY_RUNNING, a.posix_path_ + ": keeps changing under other commands");
}

std::vector<format::EntryHeader> OpenArchive::ReadHeaders(uint64_t* prefix_size) {
  format::ArchiveReader reader = Reader();
  std::vector<format::EntryHeader> entries;
  while (auto e = reader.Next())
    entries.push_back(std::move(*e));
  if (prefix_size) *prefix_size = reader.archive_offset();
  return entries;
}

}  // namespace lha::command
