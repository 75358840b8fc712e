// The environment: everything the system asks of the operating system about files and folders,
// links, locks, names, the clock and libraries, behind one interface. The archiver library and
// the stand-ins for the Windows services both run on it; each operating system implements it
// once (PosixEnv), and tests run the same code on an in-memory twin (MemEnv, tests/support).
//
// Paths here are the system's own ("native"): bytes, UTF-8 where the system has a choice,
// components separated by '/' (an implementation may accept its own separator as well). The
// program's Windows paths become native paths through the resolver (fs.h).
//
// Errors are errno values (<cerrno>) on every system: a function that fails returns false, a
// closed File or nullopt, and leaves the error in *error when `error` is not null.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace platform {

// Local calendar time, to the second.
struct BrokenDownTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// An opaque handle of a loaded library; null when none.
using LibraryHandle = void*;

class Env {
 public:
  virtual ~Env() = default;

  // The environment of the running system; lives as long as the process.
  static Env& Default();

  // --- Opening by path (the *In functions of File take it from there) ----------------------
  // A folder. A final link is followed only when `links` says so; a link on the way always is.
  virtual File OpenFolder(const std::string& path, int* error,
                          File::Links links = File::Links::kFollowed) = 0;
  // A regular file for reading (and locking). Never waits on a FIFO in its place.
  virtual File OpenFile(const std::string& path, int* error,
                        File::Links links = File::Links::kFollowed) = 0;
  // A new file, created exclusively, open for reading and writing.
  virtual File CreateFile(const std::string& path, uint32_t mode, int* error) = 0;
  // A file for writing from its start: emptied when it exists (keeping its identity, and so
  // any lock on it), made with `mode` when it does not. A final link is not followed.
  virtual File OpenForWriting(const std::string& path, uint32_t mode, int* error) = 0;

  // --- Names ----------------------------------------------------------------------------------
  virtual std::optional<FileStatus> Status(const std::string& path, File::Links links,
                                           int* error = nullptr) = 0;
  virtual std::optional<std::string> ReadLink(const std::string& path, int* error = nullptr) = 0;
  // Folder contents without "." and "..", unsorted.
  virtual std::optional<std::vector<std::string>> ListFolder(const std::string& path,
                                                             int* error = nullptr) = 0;
  // The same, with each name's kind (a link's own, not followed) where the listing tells it
  // without a status per name; nullopt kinds must be asked for. The base tells none.
  struct ListedName {
    std::string name;
    std::optional<fs::Kind> kind;
  };
  virtual std::optional<std::vector<ListedName>> ListFolderWithKinds(const std::string& path,
                                                                     int* error = nullptr);
  virtual bool MakeFolder(const std::string& path, uint32_t mode, int* error = nullptr) = 0;
  // Removes a file or a link (never a folder).
  virtual bool Remove(const std::string& path, int* error = nullptr) = 0;
  // The path without links, "." or "..": nullopt when it does not exist.
  virtual std::optional<std::string> RealPath(const std::string& path) = 0;
  // The folder of the running program.
  virtual std::string ProgramFolder() = 0;
  // The mode a program gives a new file it makes for the user (0666 less the umask on POSIX).
  virtual uint32_t NewFileMode() = 0;

  // --- Windows paths --------------------------------------------------------------------------
  // Where a Windows path (ANSI text made UTF-8) starts on this system. `length` bytes of it are
  // its root, and `native` is the folder that root names; a path relative to the current folder
  // has none (length 0). This implementation is POSIX's: one or more leading separators are "/",
  // and a drive prefix such as "C:" is a name like any other.
  struct WindowsRoot {
    size_t length = 0;
    std::string native;
  };
  virtual WindowsRoot RootOf(std::string_view winpath);
  // The name as listed in the folder `dir` (native; "" for the current folder) of a file that
  // `alias` (one component, no wildcards) also names, though no listed name equals it ignoring
  // case: on Windows, its short (8.3) name. nullopt when there is none, always on POSIX.
  virtual std::optional<std::string> LongName(const std::string& dir, const std::string& alias);
  // Why a file or folder named `name` (one component of a path to be made) would not be what
  // the name says on this system, or empty when it would be. A Windows Env refuses the names
  // Windows misreads (winpath::WhyWindowsMisreads); this implementation refuses only a '/' or
  // a NUL inside the name, leaving to the file system the rest of what it cannot hold.
  virtual std::string NameRefusal(std::string_view name);
  // Whether the file `name` of status `st` is hidden: on Windows, by its hidden attribute; in
  // this implementation, by a name starting with a dot.
  virtual bool IsHidden(std::string_view name, const FileStatus& st);

  // --- The clock ------------------------------------------------------------------------------
  // Seconds since 1970-01-01 UTC.
  virtual int64_t Now() = 0;
  // The local time of the system's time zone at a Unix time, and back.
  virtual BrokenDownTime ToLocalTime(int64_t unix_seconds) = 0;
  virtual int64_t FromLocalTime(const BrokenDownTime& local) = 0;

  // --- Libraries ------------------------------------------------------------------------------
  // Loads a library file; null when it cannot be loaded. Loading one file twice gives one
  // handle. Libraries stay loaded for the life of the process.
  virtual LibraryHandle LoadLibrary(const std::string& path) = 0;
  // The address of an exported function, or null.
  virtual void* FindFunction(LibraryHandle library, const char* name) = 0;
};

// A line of text describing an error number.
std::string ErrorText(int error);

// Error numbers the system tells apart, on every Env.
bool IsNoSpaceError(int error);
bool IsMissingError(int error);
bool IsExistsError(int error);

// What `path` names once every symbolic link at its end is followed (a relative target counts
// from the link's folder): the path itself when it is no link. A link that leads nowhere gives
// the path it leads to; a loop, or more than 40 links, gives nullopt (ELOOP in *error).
std::optional<std::string> FinalTargetOf(Env& env, const std::string& path, int* error = nullptr);

}  // namespace platform
