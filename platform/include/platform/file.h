// An open file or folder of an Env (env.h), and what can be done with it and with the names
// inside a folder. Working from an open folder rather than by path is what keeps extraction
// inside its destination (no link on the way can be swapped in between two steps) and what
// reaches paths of any length.
//
// Errors are errno values: every function that can fail returns false (or a closed File, or
// nullopt) and leaves the error in *error when `error` is not null. A File that is not open
// fails every call with EBADF.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace platform {

namespace fs {
// What a path is on disk.
enum class Kind { kMissing, kFile, kFolder, kSymlink, kOther };
}  // namespace fs

struct FileStatus {
  fs::Kind kind = fs::Kind::kMissing;  // of the thing itself (links are not followed)
  uint64_t size = 0;
  int64_t mtime = 0;  // Unix seconds
  uint32_t mtime_nsec = 0;
  uint32_t mode = 0;  // permission bits (07777)
  uint32_t uid = 0;
  uint32_t gid = 0;
  uint64_t device = 0;
  uint64_t inode = 0;
  // When the file's data or status last changed: unlike the modification time, no program can
  // set it back, so a file written while it was read is told by it.
  int64_t change_time = 0;
  uint32_t change_time_nsec = 0;

  bool SameFileAs(const FileStatus& other) const {
    return device == other.device && inode == other.inode;
  }
};

class FileObject;

class File {
 public:
  // Whether a final link is followed. Links on the way to a name are always followed.
  enum class Links { kNotFollowed, kFollowed };

  File() = default;
  explicit File(std::unique_ptr<FileObject> object);
  File(File&&) noexcept;
  File& operator=(File&&) noexcept;
  ~File();

  bool is_open() const { return object_ != nullptr; }
  // Closes the file; false (with the error) when closing reported a failure, as a write that
  // only now turned out to have failed.
  bool Close(int* error = nullptr);

  // --- Reading and writing -----------------------------------------------------------------
  bool Status(FileStatus* status, int* error = nullptr) const;
  // Reads up to buf.size() bytes; the count, 0 at the end, -1 on failure.
  int64_t Read(std::span<uint8_t> buf, int* error = nullptr);
  // Reads at `offset` until buf is full or the file ends; the count, or -1.
  int64_t ReadAt(uint64_t offset, std::span<uint8_t> buf, int* error = nullptr) const;
  bool WriteAll(std::span<const uint8_t> data, int* error = nullptr);
  bool WriteAt(uint64_t offset, std::span<const uint8_t> data, int* error = nullptr);
  bool Seek(uint64_t offset, int* error = nullptr);
  bool Truncate(uint64_t size, int* error = nullptr);
  // The file's data, or a folder's names, on the disk.
  bool Sync(int* error = nullptr) const;
  // Everything written to this file's file system, by anyone, on the disk.
  bool SyncFileSystem(int* error = nullptr) const;
  // An advisory lock held until the file is closed; false when another holder has it. A shared
  // lock admits other shared holders, an exclusive one nobody.
  bool TryLock();
  bool TryLockShared();
  bool SetMode(uint32_t mode, int* error = nullptr);
  bool SetModificationTime(int64_t seconds, uint32_t nanoseconds, int* error = nullptr);
  // Copies everything from this file's position to its end onto `out` (a file of the same
  // Env), in the kernel where the file systems allow it.
  bool CopyDataTo(File& out, int* error = nullptr);

  // --- Names inside this folder ------------------------------------------------------------
  // A final link is never followed unless `links` says so (a name the user gave). "." and ".."
  // are this folder and its parent.
  File OpenFolderIn(const std::string& name, int* error, Links links = Links::kNotFollowed) const;
  // A regular file for reading. Never waits on a FIFO in its place.
  File OpenFileIn(const std::string& name, int* error, Links links = Links::kNotFollowed) const;
  // A new file, created exclusively, open for reading and writing.
  File CreateFileIn(const std::string& name, uint32_t mode, int* error) const;
  bool MakeFolderIn(const std::string& name, uint32_t mode, int* error = nullptr) const;
  bool MakeLinkIn(const std::string& target, const std::string& name, int* error = nullptr) const;
  // Gives `from` the name `to` in this folder. With `replace` false it fails with EEXIST when
  // `to` exists, whatever else runs meanwhile (where the file system can say so).
  bool RenameIn(const std::string& from, const std::string& to, bool replace,
                int* error = nullptr) const;
  // Removes a file, a link, or (with `folder`) an empty folder.
  bool RemoveIn(const std::string& name, bool folder = false, int* error = nullptr) const;
  bool StatusIn(const std::string& name, FileStatus* status, int* error = nullptr,
                Links links = Links::kNotFollowed) const;
  // Sets the modification time of what the name is, a link itself included.
  bool SetTimesIn(const std::string& name, int64_t seconds, uint32_t nanoseconds,
                  int* error = nullptr) const;
  std::optional<std::string> ReadLinkIn(const std::string& name, int* error = nullptr) const;
  // The names in this folder, without "." and "..", unsorted.
  std::optional<std::vector<std::string>> Names(int* error = nullptr) const;

  FileObject* object() const { return object_.get(); }

 private:
  std::unique_ptr<FileObject> object_;
};

// What an Env implements for an open file or folder; File forwards to it. A name argument is
// one component (or "." / ".."); an implementation refuses a name holding a NUL (EINVAL), which
// would otherwise reach the system cut short and name something else.
class FileObject {
 public:
  virtual ~FileObject() = default;
  virtual bool Close(int* error) = 0;
  virtual bool Status(FileStatus* status, int* error) const = 0;
  virtual int64_t Read(std::span<uint8_t> buf, int* error) = 0;
  virtual int64_t ReadAt(uint64_t offset, std::span<uint8_t> buf, int* error) const = 0;
  virtual bool WriteAll(std::span<const uint8_t> data, int* error) = 0;
  virtual bool WriteAt(uint64_t offset, std::span<const uint8_t> data, int* error) = 0;
  virtual bool Seek(uint64_t offset, int* error) = 0;
  virtual bool Truncate(uint64_t size, int* error) = 0;
  virtual bool Sync(int* error) const = 0;
  virtual bool SyncFileSystem(int* error) const = 0;
  virtual bool TryLock(bool shared) = 0;
  virtual bool SetMode(uint32_t mode, int* error) = 0;
  virtual bool SetModificationTime(int64_t seconds, uint32_t nanoseconds, int* error) = 0;
  // The plain way: read and write through a buffer. An Env with a faster one overrides it.
  virtual bool CopyDataTo(FileObject& out, int* error);

  virtual File OpenFolderIn(const std::string& name, int* error, File::Links links) const = 0;
  virtual File OpenFileIn(const std::string& name, int* error, File::Links links) const = 0;
  virtual File CreateFileIn(const std::string& name, uint32_t mode, int* error) const = 0;
  virtual bool MakeFolderIn(const std::string& name, uint32_t mode, int* error) const = 0;
  virtual bool MakeLinkIn(const std::string& target, const std::string& name, int* error) const = 0;
  virtual bool RenameIn(const std::string& from, const std::string& to, bool replace,
                        int* error) const = 0;
  virtual bool RemoveIn(const std::string& name, bool folder, int* error) const = 0;
  virtual bool StatusIn(const std::string& name, FileStatus* status, int* error,
                        File::Links links) const = 0;
  virtual bool SetTimesIn(const std::string& name, int64_t seconds, uint32_t nanoseconds,
                          int* error) const = 0;
  virtual std::optional<std::string> ReadLinkIn(const std::string& name, int* error) const = 0;
  virtual std::optional<std::vector<std::string>> Names(int* error) const = 0;
};

}  // namespace platform
