// A platform for unit tests: the real POSIX services underneath, with the parts a test needs to
// pin or observe replaced. Message boxes are recorded instead of shown; the argument text, the
// date, the operating-system version and where the archiver library is found are set by the test.
#pragma once

#include <cstring>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/runtime.h"
#include "platform/text.h"

namespace testing_support {

struct Box {
  std::wstring prompt;
  std::optional<std::wstring> title;
  int style;
  bool operator==(const Box&) const = default;
  friend void PrintTo(const Box& box, std::ostream* os) {
    *os << "{[" << (box.title ? platform::ToAnsi(*box.title) : std::string("(none)")) << "] "
        << platform::ToAnsi(box.prompt) << " / style " << box.style << "}";
  }
};

class FakePlatform : public platform::Platform {
 public:
  FakePlatform() : real_(platform::MakePlatform(platform::Env::Default(), 0, nullptr)) {}

  // What the test sets.
  std::string argument_text;
  platform::LocalDate today{2026, 12, 6};
  uint32_t os_major = 6, os_minor = 1;
  // The archiver library's path as the search reports it; empty: not found.
  std::string library_path;
  bool temp_files_fail = false;
  bool deleting_fails = false;  // Kill raises a path/file access error

  // What the test observes.
  std::vector<Box> boxes;
  std::vector<std::string> searched_libraries;
  std::vector<std::string> loaded_libraries;
  std::vector<std::pair<std::string, std::string>> written_files;  // path, bytes
  std::vector<std::string> deleted_files;

  platform::Platform& real() { return *real_; }

  std::string ArgumentText() override { return argument_text; }
  void MessageBox(const std::wstring& prompt, const std::optional<std::wstring>& title,
                  int style) override {
    boxes.push_back({prompt, title, style});
  }
  platform::LocalDate Today() override { return today; }

  uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                    char* buffer, uint32_t size, const char* file) override {
    return real_->GetPrivateProfileStringA(section, key, def, buffer, size, file);
  }
  bool FindFirstFile(const std::string& pattern, platform::FindFilter filter) override {
    return real_->FindFirstFile(pattern, filter);
  }
  bool FolderExists(const std::string& path) override { return real_->FolderExists(path); }
  void MkDir(const std::string& path) override { real_->MkDir(path); }
  void Kill(const std::string& path) override {
    if (deleting_fails) platform::Raise(platform::ErrorKind::kPathFileAccess);
    real_->Kill(path);
    deleted_files.push_back(path);
  }
  void WriteFile(const std::string& path, const std::string& bytes) override {
    real_->WriteFile(path, bytes);
    written_files.emplace_back(path, bytes);
  }
  uint32_t GetTempFileNameA(const char* dir, const char* prefix, uint32_t unique,
                            char* buffer) override {
    if (temp_files_fail) return 0;
    return real_->GetTempFileNameA(dir, prefix, unique, buffer);
  }
  uint32_t GetShortPathNameA(const char* long_path, char* buffer, uint32_t size) override {
    return real_->GetShortPathNameA(long_path, buffer, size);
  }
  std::string ClaimFile(const std::string& dir, const std::string& name,
                        const std::string& ext) override {
    return real_->ClaimFile(dir, name, ext);
  }
  int32_t SHFileOperationA(platform::SHFILEOPSTRUCTA& op) override {
    return real_->SHFileOperationA(op);
  }
  int32_t GetVersionExA(platform::OsVersionInfo& info) override {
    info.dwMajorVersion = os_major;
    info.dwMinorVersion = os_minor;
    info.dwPlatformId = 2;
    return 1;
  }
  uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) override {
    return real_->GetWindowsDirectoryA(buffer, size);
  }
  uint32_t GetSystemDirectoryA(char* buffer, uint32_t size) override {
    return real_->GetSystemDirectoryA(buffer, size);
  }
  uint32_t SearchPathA(const char*, const char* file, const char*, uint32_t buffer_length,
                       char* buffer, char**) override {
    searched_libraries.emplace_back(file ? file : "");
    if (library_path.empty() || library_path.size() + 1 > buffer_length) return 0;
    std::memcpy(buffer, library_path.c_str(), library_path.size() + 1);
    return static_cast<uint32_t>(library_path.size());
  }
  platform::LibraryHandle LoadLibraryA(const std::string& path) override {
    loaded_libraries.push_back(path);
    return real_->LoadLibraryA(path);
  }
  void* GetProcAddress(platform::LibraryHandle library, const char* name) override {
    return real_->GetProcAddress(library, name);
  }

 private:
  std::unique_ptr<platform::Platform> real_;
};

}  // namespace testing_support
