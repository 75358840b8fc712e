#include "unlha/archiver_library.h"

#include "platform/runtime.h"
#include "platform/text.h"

namespace unlha {

void* ArchiverLibrary::Lookup(const char* name) {
  if (auto it = entries_.find(name); it != entries_.end()) return it->second;
  if (!handle_) {
    char path[516] = {};
    char* file_part = nullptr;
    if (os_.SearchPathA(nullptr, kLibraryFileName, nullptr, sizeof path, path, &file_part) == 0)
      platform::Raise(platform::ErrorKind::kFileNotFound, platform::FromAnsi(kLibraryFileName));
    handle_ = os_.LoadLibraryA(path);
    if (!handle_) platform::Raise(platform::ErrorKind::kLibraryNotFound, platform::FromAnsi(path));
  }
  void* entry = os_.GetProcAddress(handle_, name);
  if (!entry) platform::Raise(platform::ErrorKind::kEntryPointNotFound, platform::FromAnsi(name));
  return entries_[name] = entry;
}

}  // namespace unlha
