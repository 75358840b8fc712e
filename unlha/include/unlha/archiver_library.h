// The binding to the archiver library (libunlha32.so, UnLHA32.DLL on Windows) by exported name at
// run time: the file is found by the platform's library search, loaded once, and each entry point
// looked up when it is first called and kept for the life of the binding. The program is never
// linked against the library; unlha32.h only supplies the functions' types.
#pragma once

#include <string>
#include <unordered_map>

#include "platform/platform.h"
#include "unlha32.h"

namespace unlha {

// The library's file name, as the platform's library search looks for it.
inline constexpr char kLibraryFileName[] = QUILLORY_LIBRARY_FILE_NAME;

class ArchiverLibrary {
 public:
  explicit ArchiverLibrary(platform::Platform& os) : os_(os) {}
  ArchiverLibrary(const ArchiverLibrary&) = delete;
  ArchiverLibrary& operator=(const ArchiverLibrary&) = delete;

  platform::Platform& os() { return os_; }

  // The entry point `name` as a function of type Fn. Raises kFileNotFound when the library
  // cannot be found, kLibraryNotFound when it cannot be loaded and kEntryPointNotFound when it
  // has no such function.
  template <class Fn>
  Fn Entry(const char* name) {
    return reinterpret_cast<Fn>(Lookup(name));
  }

 private:
  void* Lookup(const char* name);
  // The library file's path as the platform's library search finds it; raises kFileNotFound.
  std::string FindLibrary();

  platform::Platform& os_;
  platform::LibraryHandle handle_ = nullptr;
  std::unordered_map<std::string, void*> entries_;
};

}  // namespace unlha

// The entry point of the function `fn` of unlha32.h, typed as declared there.
#define UNLHA_ENTRY(library, fn) (library).Entry<decltype(&::fn)>(#fn)
