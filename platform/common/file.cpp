#include "platform/file.h"

#include <cerrno>
#include <utility>

#include "platform/env.h"

namespace platform {
namespace {

bool Closed(int* error) {
  if (error) *error = EBADF;
  return false;
}

File ClosedFile(int* error) {
  Closed(error);
  return File();
}

}  // namespace

File::File(std::unique_ptr<FileObject> object) : object_(std::move(object)) {}
File::File(File&&) noexcept = default;
File::~File() {
  Close();
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    object_ = std::move(other.object_);
  }
  return *this;
}

bool File::Close(int* error) {
  if (!object_) return true;
  const bool ok = object_->Close(error);
  object_.reset();
  return ok;
}

bool File::Status(FileStatus* status, int* error) const {
  return object_ ? object_->Status(status, error) : Closed(error);
}
int64_t File::Read(std::span<uint8_t> buf, int* error) {
  return object_ ? object_->Read(buf, error) : (Closed(error), -1);
}
int64_t File::ReadAt(uint64_t offset, std::span<uint8_t> buf, int* error) const {
  return object_ ? object_->ReadAt(offset, buf, error) : (Closed(error), -1);
}
bool File::WriteAll(std::span<const uint8_t> data, int* error) {
  return object_ ? object_->WriteAll(data, error) : Closed(error);
}
bool File::WriteAt(uint64_t offset, std::span<const uint8_t> data, int* error) {
  return object_ ? object_->WriteAt(offset, data, error) : Closed(error);
}
bool File::Seek(uint64_t offset, int* error) {
  return object_ ? object_->Seek(offset, error) : Closed(error);
}
bool File::Truncate(uint64_t size, int* error) {
  return object_ ? object_->Truncate(size, error) : Closed(error);
}
bool File::Sync(int* error) const {
  return object_ ? object_->Sync(error) : Closed(error);
}
bool File::SyncFileSystem(int* error) const {
  return object_ ? object_->SyncFileSystem(error) : Closed(error);
}
bool File::TryLock() {
  return object_ && object_->TryLock(false);
}
bool File::TryLockShared() {
  return object_ && object_->TryLock(true);
}
bool File::SetMode(uint32_t mode, int* error) {
  return object_ ? object_->SetMode(mode, error) : Closed(error);
}
bool File::SetModificationTime(int64_t seconds, uint32_t nanoseconds, int* error) {
  return object_ ? object_->SetModificationTime(seconds, nanoseconds, error) : Closed(error);
}
bool File::CopyDataTo(File& out, int* error) {
  return object_ && out.object_ ? object_->CopyDataTo(*out.object_, error) : Closed(error);
}

File File::OpenFolderIn(const std::string& name, int* error, Links links) const {
  return object_ ? object_->OpenFolderIn(name, error, links) : ClosedFile(error);
}
File File::OpenFileIn(const std::string& name, int* error, Links links) const {
  return object_ ? object_->OpenFileIn(name, error, links) : ClosedFile(error);
}
File File::CreateFileIn(const std::string& name, uint32_t mode, int* error) const {
  return object_ ? object_->CreateFileIn(name, mode, error) : ClosedFile(error);
}
bool File::MakeFolderIn(const std::string& name, uint32_t mode, int* error) const {
  return object_ ? object_->MakeFolderIn(name, mode, error) : Closed(error);
}
bool File::MakeLinkIn(const std::string& target, const std::string& name, int* error) const {
  return object_ ? object_->MakeLinkIn(target, name, error) : Closed(error);
}
bool File::RenameIn(const std::string& from, const std::string& to, bool replace,
                    int* error) const {
  return object_ ? object_->RenameIn(from, to, replace, error) : Closed(error);
}
bool File::RemoveIn(const std::string& name, bool folder, int* error) const {
  return object_ ? object_->RemoveIn(name, folder, error) : Closed(error);
}
bool File::StatusIn(const std::string& name, FileStatus* status, int* error, Links links) const {
  return object_ ? object_->StatusIn(name, status, error, links) : Closed(error);
}
bool File::SetTimesIn(const std::string& name, int64_t seconds, uint32_t nanoseconds,
                      int* error) const {
  return object_ ? object_->SetTimesIn(name, seconds, nanoseconds, error) : Closed(error);
}
std::optional<std::string> File::ReadLinkIn(const std::string& name, int* error) const {
  if (!object_) return Closed(error), std::nullopt;
  return object_->ReadLinkIn(name, error);
}
std::optional<std::vector<std::string>> File::Names(int* error) const {
  if (!object_) return Closed(error), std::nullopt;
  return object_->Names(error);
}

bool FileObject::CopyDataTo(FileObject& out, int* error) {
  std::vector<uint8_t> buf(size_t{1} << 20);
  while (true) {
    const int64_t n = Read(buf, error);
    if (n < 0) return false;
    if (n == 0) return true;
    if (!out.WriteAll(std::span<const uint8_t>(buf.data(), static_cast<size_t>(n)), error))
      return false;
  }
}

bool IsNoSpaceError(int error) {
#ifdef EDQUOT
  if (error == EDQUOT) return true;
#endif
  return error == ENOSPC;
}
bool IsMissingError(int error) {
  return error == ENOENT || error == ENOTDIR;
}
bool IsExistsError(int error) {
  return error == EEXIST;
}

std::optional<std::string> FinalTargetOf(Env& env, const std::string& path, int* error) {
  std::string at = path;
  for (int hops = 0; hops <= 40; ++hops) {
    const auto st = env.Status(at, File::Links::kNotFollowed);
    if (!st || st->kind != fs::Kind::kSymlink) return at;
    const auto target = env.ReadLink(at, error);
    if (!target) return std::nullopt;
    const size_t slash = at.rfind('/');
    at = target->rfind('/', 0) == 0 || slash == std::string::npos
             ? *target
             : at.substr(0, slash + 1) + *target;
  }
  if (error) *error = ELOOP;
  return std::nullopt;
}

}  // namespace platform
