// The Windows services the system uses, as one interface: Windows' own services on Windows
// (WindowsPlatform), their stand-ins on a POSIX system (PosixPlatform); tests substitute their own.
//
// Paths are Windows paths ("\" or "/" separators, case-insensitive names; see fs.h for how they
// resolve on a POSIX file system). Text arguments and buffers are bytes of the ANSI code page
// (text.h): callers convert with ToAnsi / FromAnsi, just as they would around the "A" functions
// of Windows. Functions that fill a caller's buffer take it with its size and write a
// NUL-terminated text within it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/env.h"

namespace platform {

// Message box styles in the Windows flag encoding.
inline constexpr int kMbOk = 0;
inline constexpr int kMbIconCritical = 16;
inline constexpr int kMbIconExclamation = 48;
inline constexpr int kMbDefaultButton2 = 256;

// The program's title: the title of every box that has none of its own.
inline constexpr wchar_t kAppTitle[] = L"Quillory";

struct LocalDate {
  int year;
  int month;  // 1..12
  int day;    // 1..31
};

// The ANSI form of OSVERSIONINFO, as GetVersionExA fills it.
struct OsVersionInfo {
  uint32_t dwOSVersionInfoSize = 0;
  uint32_t dwMajorVersion = 0;
  uint32_t dwMinorVersion = 0;
  uint32_t dwBuildNumber = 0;
  uint32_t dwPlatformId = 0;
  char szCSDVersion[128] = {};
};

// What a directory search admits: FindFirstFile with attribute filtering.
enum class FindFilter {
  kPlainFiles,       // regular files only: no folders, no hidden or system files
  kFilesAndFolders,  // regular files and folders, neither hidden nor system
};

// SHFileOperation's request record, ANSI form. pFrom and pTo each hold a list of paths, every
// path ended by a NUL and the list by one more NUL.
inline constexpr uint32_t FO_COPY = 2;
inline constexpr uint16_t FOF_SILENT = 4;
inline constexpr uint16_t FOF_NOCONFIRMATION = 16;
struct SHFILEOPSTRUCTA {
  int32_t hwnd = 0;
  uint32_t wFunc = 0;
  std::string pFrom;
  std::string pTo;
  uint16_t fFlags = 0;
  bool fAnyOperationsAborted = false;
  void* hNameMappings = nullptr;
  const char* lpszProgressTitle = nullptr;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- The process ---------------------------------------------------------------------------
  // Everything on the command line after the program's own name, as one text.
  virtual std::string ArgumentText() = 0;
  // Shows a modal box; with no title of its own it shows kAppTitle. Returns when it is closed.
  virtual void MessageBox(const std::wstring& prompt, const std::optional<std::wstring>& title,
                          int style) = 0;
  virtual LocalDate Today() = 0;

  // --- Profiles (INI files) ------------------------------------------------------------------
  // Copies the value of `key` in `section` of `file` (or `def` when there is none) into
  // `buffer`, cut to size - 1 bytes, NUL-terminated; returns the number of bytes copied. A file
  // that cannot be opened reads as empty values.
  virtual uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                            char* buffer, uint32_t size, const char* file) = 0;

  // --- Files and folders ---------------------------------------------------------------------
  // Whether a directory search for `pattern` (wildcards allowed in its last component) yields a
  // name of the kind `filter` admits. Never fails: a path that cannot be searched yields none.
  virtual bool FindFirstFile(const std::string& pattern, FindFilter filter) = 0;
  // Whether `path` names an existing folder.
  virtual bool FolderExists(const std::string& path) = 0;
  // Creates one folder level; raises kPathFileAccess when it cannot.
  virtual void MkDir(const std::string& path) = 0;
  // Deletes a file; raises kFileNotFound or kPathFileAccess when it cannot.
  virtual void Kill(const std::string& path) = 0;
  // Creates or replaces a file with `bytes`; raises kPathFileAccess when it cannot.
  virtual void WriteFile(const std::string& path, const std::string& bytes) = 0;
  // Creates a new, empty, uniquely named file "<dir><prefix><hex>.TMP" (unique 0: the platform
  // picks the number) and writes its path into `buffer` (at least 260 bytes). Returns the number
  // used, or 0 when no file can be made there.
  virtual uint32_t GetTempFileNameA(const char* dir, const char* prefix, uint32_t unique,
                                    char* buffer) = 0;
  // Writes the short form of `long_path` into `buffer`; returns its length, or 0 when there is
  // none (always, on POSIX).
  virtual uint32_t GetShortPathNameA(const char* long_path, char* buffer, uint32_t size) = 0;
  // Takes the file `<dir><name><ext>` for this process alone, creating it when missing, and
  // holds it until the process ends; when another running process holds it, a unique variant
  // beside it is taken instead. Returns the path taken; raises kPathFileAccess when none can be.
  virtual std::string ClaimFile(const std::string& dir, const std::string& name,
                                const std::string& ext) = 0;
  // Copies files and folders (FO_COPY); 0 when everything was copied.
  virtual int32_t SHFileOperationA(SHFILEOPSTRUCTA& op) = 0;

  // --- The system ----------------------------------------------------------------------------
  // Fills `info` (whose dwOSVersionInfoSize the caller has set); nonzero on success.
  virtual int32_t GetVersionExA(OsVersionInfo& info) = 0;
  virtual uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) = 0;
  virtual uint32_t GetSystemDirectoryA(char* buffer, uint32_t size) = 0;
  // Looks for the library file `file` where libraries are searched, never in the current folder:
  // with no `path`, beside the program and in the system's folders (on POSIX also ../lib beside
  // the program and the dynamic linker's search). Writes its path into `buffer` and returns the
  // path's length, or 0 when it is not found.
  virtual uint32_t SearchPathA(const char* path, const char* file, const char* ext,
                               uint32_t buffer_length, char* buffer, char** file_part) = 0;
  // Loads a library; null when it cannot be loaded. Loading one file twice gives one handle.
  virtual LibraryHandle LoadLibraryA(const std::string& path) = 0;
  // The address of an exported function, or null.
  virtual void* GetProcAddress(LibraryHandle library, const char* name) = 0;
};

// The services of the running system. On POSIX every one is a stand-in running on `env`, and the
// argument text is argv joined by blanks. On Windows they are Windows' own, except the copier
// and ClaimFile, which run on `env`; the argument text comes from the system's command line, and
// argc and argv are not used. `env` must outlive the platform.
std::unique_ptr<Platform> MakePlatform(Env& env, int argc, char** argv);

}  // namespace platform
