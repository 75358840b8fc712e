#include "unlha/archiver_library.h"

#include "platform/runtime.h"
#include "platform/text.h"

namespace unlha {

std::string ArchiverLibrary::FindLibrary() {
  std::string path(516, '\0');
  char* file_part = nullptr;
  auto search = [&] {
    return os_.SearchPathA(nullptr, kLibraryFileName, nullptr, static_cast<uint32_t>(path.size()),
                           path.data(), &file_part);
  };
  uint32_t length = search();
  // A path too long for the buffer is reported as the size it needs; the buffer then holds
  // nothing usable, and loading its empty text would load the program itself.
  if (length >= path.size()) {
    path.assign(length, '\0');
    length = search();
  }
  if (length == 0 || length >= path.size())
    platform::Raise(platform::ErrorKind::kFileNotFound, platform::FromAnsi(kLibraryFileName));
  path.resize(length);
  return path;
}

void* ArchiverLibrary::Lookup(const char* name) {
  if (auto it = entries_.find(name); it != entries_.end()) return it->second;
  if (!handle_) {
    std::string path = FindLibrary();
    handle_ = os_.LoadLibraryA(path);
    if (!handle_) platform::Raise(platform::ErrorKind::kLibraryNotFound, platform::FromAnsi(path));
  }
  void* entry = os_.GetProcAddress(handle_, name);
  if (!entry) platform::Raise(platform::ErrorKind::kEntryPointNotFound, platform::FromAnsi(name));
  return entries_[name] = entry;
}

}  // namespace unlha
