// The Windows services of platform.h, as Windows itself provides them. Two are our own on
// purpose: copying goes through the common copier (it replaces a copy only once the new one is
// complete, and never follows links below a named folder), and ClaimFile through the common
// claim; both run on the Env, which takes UTF-8 paths, so their ANSI texts are converted here.
#include "platform/platform.h"
#include "platform/process.h"
#include "platform/runtime.h"
#include "platform/text.h"
#include "platform/winpath.h"

// After the interface: its names are not to be the macros of <windows.h>.
#include <windows.h>
#undef CreateFile
#undef FindFirstFile
#undef LoadLibrary
#undef MessageBox

#include <cstring>
#include <vector>

#include "box_text.h"
#include "claim.h"
#include "copier.h"

namespace platform {
namespace {

// The environment variable that names a file every box is also appended to, as text (box_text.h,
// UTF-8): how the end-to-end tests read the boxes of a program that shows them in windows.
constexpr wchar_t kBoxLogVariable[] = L"QUILLORY_BOX_LOG";

std::wstring EnvironmentVariable(const wchar_t* name) {
  const DWORD n = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return {};
  std::wstring value(n, L'\0');
  value.resize(::GetEnvironmentVariableW(name, value.data(), n));
  return value;
}

// The text after the program's name on the command line, as Windows splits off that name: up
// to the closing quote when it starts with one, else up to the first blank. A text that is one
// quoted name loses its quotes, as a shell's would on POSIX.
std::wstring ArgumentsOf(std::wstring_view line) {
  size_t i = 0;
  if (!line.empty() && line[0] == L'"') {
    const size_t close = line.find(L'"', 1);
    i = close == std::wstring_view::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && line[i] != L' ' && line[i] != L'\t')
      ++i;
  }
  while (i < line.size() && (line[i] == L' ' || line[i] == L'\t'))
    ++i;
  std::wstring rest(line.substr(i));
  while (!rest.empty() && (rest.back() == L' ' || rest.back() == L'\t'))
    rest.pop_back();
  if (rest.size() >= 2 && rest.front() == L'"' && rest.back() == L'"' &&
      rest.find(L'"', 1) == rest.size() - 1)
    rest = rest.substr(1, rest.size() - 2);
  return rest;
}

std::wstring ModuleFolder() {
  std::wstring buf(MAX_PATH, L'\0');
  DWORD n;
  while ((n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()))) ==
         buf.size())
    buf.resize(buf.size() * 2);
  buf.resize(n);
  const size_t slash = buf.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring(L".") : buf.substr(0, slash);
}

template <class Fill>
std::string FolderOf(Fill fill) {
  char buf[MAX_PATH + 1] = {};
  const UINT n = fill(buf, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? std::string(buf, n) : std::string();
}

// A list of NUL-ended paths in the ANSI code page as the same list in UTF-8.
std::string PathListToUtf8(const std::string& list) {
  std::string out;
  size_t i = 0;
  while (i < list.size()) {
    const size_t end = std::min(list.find('\0', i), list.size());
    out += AnsiToUtf8(std::string_view(list).substr(i, end - i));
    out += '\0';
    i = end + 1;
  }
  return out;
}

// The wildcard search of FindFirstFileW, with the attribute filtering of a directory search:
// hidden and system names are never admitted, folders only when asked for.
bool SearchAdmits(const std::wstring& pattern, FindFilter filter) {
  WIN32_FIND_DATAW found;
  HANDLE h = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool admitted = false;
  do {
    const std::wstring_view name = found.cFileName;
    const DWORD a = found.dwFileAttributes;
    if (name == L"." || name == L".." || (a & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
      continue;
    admitted = !(a & FILE_ATTRIBUTE_DIRECTORY) || filter == FindFilter::kFilesAndFolders;
  } while (!admitted && ::FindNextFileW(h, &found));
  ::FindClose(h);
  return admitted;
}

class WindowsPlatform final : public Platform {
 public:
  explicit WindowsPlatform(Env& env)
      : env_(env),
        resolver_(env),
        arguments_(ToAnsi(ArgumentsOf(::GetCommandLineW()))),
        box_log_(EnvironmentVariable(kBoxLogVariable)) {}

  std::string ArgumentText() override { return arguments_; }

  void MessageBox(const std::wstring& prompt, const std::optional<std::wstring>& title,
                  int style) override {
    if (!box_log_.empty()) LogBox(BoxText(prompt, title, style));
    const std::wstring shown_title = title ? *title : kAppTitle;
    ::MessageBoxW(nullptr, prompt.c_str(), shown_title.c_str(), static_cast<UINT>(style));
  }

  LocalDate Today() override {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay};
  }

  // A relative name is taken from the current folder, where the program found the file, not
  // from the Windows folder where the profile functions look for a bare name.
  uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                    char* buffer, uint32_t size, const char* file) override {
    std::string full = file ? file : "";
    if (file) {
      char buf[MAX_PATH * 4];
      const DWORD n = ::GetFullPathNameA(file, sizeof buf, buf, nullptr);
      if (n > 0 && n < sizeof buf) full.assign(buf, n);
    }
    return ::GetPrivateProfileStringA(section, key, def, buffer, size,
                                      file ? full.c_str() : nullptr);
  }

  bool FindFirstFile(const std::string& pattern, FindFilter filter) override {
    if (!pattern.empty() && winpath::IsSeparator(pattern.back())) {
      // "DATA\" searches inside the folder, which always yields its own "." entry.
      return filter == FindFilter::kFilesAndFolders && FolderExists(pattern);
    }
    return SearchAdmits(FromAnsi(pattern), filter);
  }

  bool FolderExists(const std::string& path) override {
    const DWORD a = ::GetFileAttributesW(FromAnsi(path.empty() ? "." : path).c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }

  void MkDir(const std::string& path) override {
    if (!::CreateDirectoryW(FromAnsi(path).c_str(), nullptr))
      Raise(ErrorKind::kPathFileAccess, FromAnsi(path));
  }

  void Kill(const std::string& path) override {
    ReleaseClaim(path);
    if (::DeleteFileW(FromAnsi(path).c_str())) return;
    const DWORD code = ::GetLastError();
    Raise(code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? ErrorKind::kFileNotFound
                                                                       : ErrorKind::kPathFileAccess,
          FromAnsi(path));
  }

  // Shared with every other handle: the file written may be one this process holds claimed.
  void WriteFile(const std::string& path, const std::string& bytes) override {
    HANDLE h = ::CreateFileW(FromAnsi(path).c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = h != INVALID_HANDLE_VALUE;
    for (size_t done = 0; ok && done < bytes.size();) {
      DWORD put = 0;
      ok = ::WriteFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &put,
                       nullptr) &&
           put > 0;
      done += put;
    }
    if (h != INVALID_HANDLE_VALUE && !::CloseHandle(h)) ok = false;
    if (!ok) Raise(ErrorKind::kPathFileAccess, FromAnsi(path));
  }

  uint32_t GetTempFileNameA(const char* dir, const char* prefix, uint32_t unique,
                            char* buffer) override {
    return ::GetTempFileNameA(dir, prefix, unique, buffer);
  }

  uint32_t GetShortPathNameA(const char* long_path, char* buffer, uint32_t size) override {
    return ::GetShortPathNameA(long_path, buffer, size);
  }

  std::string ClaimFile(const std::string& dir, const std::string& name,
                        const std::string& ext) override {
    return Utf8ToAnsi(
        ClaimFileOn(resolver_, AnsiToUtf8(dir), AnsiToUtf8(name), AnsiToUtf8(ext), claimed_));
  }

  int32_t SHFileOperationA(SHFILEOPSTRUCTA& op) override {
    SHFILEOPSTRUCTA native = op;
    native.pFrom = PathListToUtf8(op.pFrom);
    native.pTo = PathListToUtf8(op.pTo);
    return RunFileOperation(resolver_, native);
  }

  int32_t GetVersionExA(OsVersionInfo& info) override {
    OSVERSIONINFOA v{};
    v.dwOSVersionInfoSize = sizeof v;
    if (!::GetVersionExA(&v)) return 0;
    info.dwMajorVersion = v.dwMajorVersion;
    info.dwMinorVersion = v.dwMinorVersion;
    info.dwBuildNumber = v.dwBuildNumber;
    info.dwPlatformId = v.dwPlatformId;
    static_assert(sizeof info.szCSDVersion == sizeof v.szCSDVersion);
    std::memcpy(info.szCSDVersion, v.szCSDVersion, sizeof v.szCSDVersion);
    return 1;
  }

  uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) override {
    return ::GetWindowsDirectoryA(buffer, size);
  }

  uint32_t GetSystemDirectoryA(char* buffer, uint32_t size) override {
    return ::GetSystemDirectoryA(buffer, size);
  }

  // With no search path: the program's folder, then the system folder and the Windows folder;
  // never the current folder, where anyone could have put a file of the library's name.
  uint32_t SearchPathA(const char* path, const char* file, const char* ext, uint32_t buffer_length,
                       char* buffer, char** file_part) override {
    std::string folders = path ? path : "";
    if (!path) {
      folders = ToAnsi(ModuleFolder());
      for (const std::string& f :
           {FolderOf(::GetSystemDirectoryA), FolderOf(::GetWindowsDirectoryA)})
        if (!f.empty()) folders += ";" + f;
    }
    return ::SearchPathA(folders.c_str(), file, ext, buffer_length, buffer, file_part);
  }

  // A path as the search found it is loaded as it is, its own folder searched for what it needs.
  LibraryHandle LoadLibraryA(const std::string& path) override {
    return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }

  void* GetProcAddress(LibraryHandle library, const char* name) override {
    if (!library) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
  }

 private:
  // A claimed file the program deletes is given up first: Windows keeps the name of a deleted
  // file until its last handle is closed, and ours would keep it to the end of the process.
  void ReleaseClaim(const std::string& path) {
    if (claimed_.empty()) return;
    const auto target = env_.Status(AnsiToUtf8(path), File::Links::kNotFollowed);
    if (!target) return;
    std::erase_if(claimed_, [&](const File& f) {
      FileStatus held;
      return f.Status(&held) && held.SameFileAs(*target);
    });
  }

  void LogBox(const std::wstring& text) {
    HANDLE h = ::CreateFileW(box_log_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    const std::string bytes = ToUtf8(text);
    DWORD put = 0;
    ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    ::CloseHandle(h);
  }

  Env& env_;
  fs::Resolver resolver_;  // for the copier and the claims: one for the run
  std::string arguments_;
  std::wstring box_log_;
  std::vector<File> claimed_;
};

}  // namespace

std::unique_ptr<Platform> MakePlatform(Env& env, int, char**) {
  return std::make_unique<WindowsPlatform>(env);
}

}  // namespace platform
