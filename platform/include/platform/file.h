// Files and folders for the archiver library: a thin, error-reporting layer over the POSIX calls,
// so that the library itself never calls the operating system.
//
// Every function that can fail returns false (or a closed File) and leaves the error number in
// *error when `error` is not null. Paths are POSIX paths (resolved from Windows paths by fs.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/fs.h"

namespace platform {

struct FileStatus {
  fs::Kind kind = fs::Kind::kMissing;  // of the thing itself (links are not followed)
  uint64_t size = 0;
  int64_t mtime = 0;  // Unix seconds
  uint32_t mtime_nsec = 0;
  uint32_t mode = 0;  // st_mode, type bits included
  uint32_t uid = 0;
  uint32_t gid = 0;
  uint64_t device = 0;
  uint64_t inode = 0;

  bool SameFileAs(const FileStatus& other) const {
    return device == other.device && inode == other.inode;
  }
};

// An open file or folder; closes itself.
class File {
 public:
  File() = default;
  explicit File(int fd) : fd_(fd) {}
  File(File&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { Close(); }

  bool is_open() const { return fd_ >= 0; }
  // Closes the file; false (with the error) when closing reported a failure, as a write that
  // only now turned out to have failed.
  bool Close(int* error = nullptr);

  // --- Opening by path ---------------------------------------------------------------------
  // A regular file for reading. Never waits on a FIFO, never follows a final link.
  static File OpenForReading(const std::string& path, int* error);
  // A file for reading and locking, following links (an archive named by the user).
  static File OpenExisting(const std::string& path, int* error);
  // A new file that did not exist, for writing.
  static File CreateNew(const std::string& path, uint32_t mode, int* error);
  // A folder, for the *In functions below; a final link is never followed.
  static File OpenFolder(const std::string& path, int* error);

  // --- Reading and writing -----------------------------------------------------------------
  bool Status(FileStatus* status, int* error = nullptr) const;
  // Reads up to buf.size() bytes; the count, 0 at the end, -1 on failure.
  int64_t Read(std::span<uint8_t> buf, int* error = nullptr);
  int64_t ReadAt(uint64_t offset, std::span<uint8_t> buf, int* error = nullptr) const;
  bool WriteAll(std::span<const uint8_t> data, int* error = nullptr);
  bool WriteAt(uint64_t offset, std::span<const uint8_t> data, int* error = nullptr);
  bool Seek(uint64_t offset, int* error = nullptr);
  bool Truncate(uint64_t size, int* error = nullptr);
  bool Sync(int* error = nullptr) const;
  // Everything written to this file's file system, by anyone, on the disk.
  bool SyncFileSystem(int* error = nullptr);
  // An advisory lock held until the file is closed; false when another holder has it. A shared
  // lock admits other shared holders, an exclusive one nobody.
  bool TryLock();
  bool TryLockShared();
  bool SetMode(uint32_t mode, int* error = nullptr);
  bool SetModificationTime(int64_t seconds, uint32_t nanoseconds, int* error = nullptr);
  // Copies everything from this file's position to its end onto `out`, in the kernel where the
  // file systems allow it.
  bool CopyDataTo(File& out, int* error = nullptr);

  // --- Names inside this folder ------------------------------------------------------------
  // A final link is never followed unless `links` says so (a name the user gave).
  enum class Links { kNotFollowed, kFollowed };
  File OpenFolderIn(const std::string& name, int* error, Links links = Links::kNotFollowed) const;
  File OpenForReadingIn(const std::string& name, int* error,
                        Links links = Links::kNotFollowed) const;
  File CreateNewIn(const std::string& name, uint32_t mode, int* error) const;
  bool MakeFolderIn(const std::string& name, uint32_t mode, int* error) const;
  bool MakeSymlinkIn(const std::string& target, const std::string& name, int* error) const;
  bool RenameIn(const std::string& from, const std::string& to, int* error) const;
  // Gives the file `from` the name `to` in this folder. With `replace` false it fails with
  // EEXIST when `to` exists, whatever else runs meanwhile (where the file system can say so).
  bool PlaceIn(const std::string& from, const std::string& to, bool replace, int* error) const;
  // The names in this folder, without "." and "..", unsorted; nullopt when it cannot be listed.
  std::optional<std::vector<std::string>> Names(int* error = nullptr) const;
  bool RemoveIn(const std::string& name, bool folder = false) const;
  bool StatusIn(const std::string& name, FileStatus* status, int* error = nullptr,
                Links links = Links::kNotFollowed) const;
  bool SetTimesIn(const std::string& name, int64_t seconds, uint32_t nanoseconds,
                  int* error = nullptr) const;
  std::optional<std::string> ReadLinkIn(const std::string& name, int* error = nullptr) const;

 private:
  int fd_ = -1;
};

// What is at `path`, without following a final link; nullopt (and the error) when nothing.
std::optional<FileStatus> StatusOf(const std::string& path, int* error = nullptr);
// Following links all the way.
std::optional<FileStatus> TargetStatusOf(const std::string& path, int* error = nullptr);
std::optional<std::string> ReadLink(const std::string& path, int* error = nullptr);
bool RenameFile(const std::string& from, const std::string& to, int* error = nullptr);
// Gives `from` the second name `to`, failing when `to` exists: creation without replacement.
bool LinkFile(const std::string& from, const std::string& to, int* error = nullptr);
bool RemoveFile(const std::string& path);
bool MakeFolder(const std::string& path, uint32_t mode, int* error = nullptr);
// Makes sure a rename in the folder of `path` is on the disk.
bool SyncFolderOf(const std::string& path);
// What `path` names once every symbolic link at its end is followed (a relative target counts
// from the link's folder): the path itself when it is no link. A link that leads nowhere gives
// the path it leads to; a loop, or more than 40 links, gives nullopt (ELOOP in *error).
std::optional<std::string> FinalTargetOf(const std::string& path, int* error = nullptr);
// The mode a program gives a new file it makes for the user: 0666 less the process's umask.
uint32_t NewFileMode();

// Error numbers the library tells apart.
bool IsNoSpaceError(int error);
bool IsMissingError(int error);
bool IsExistsError(int error);

}  // namespace platform
