// MemEnv: an Env (platform/env.h) whose files live in memory, for tests. It keeps the rules
// PosixEnv keeps on a local file system, and tests/platform/env_contract_test.cpp holds both to
// them: exclusive creation, renames with and without replacing, flock-style locks, links
// followed only where asked, "." and ".." inside folder handles, errno values as POSIX gives
// them. On top of that the test sets the clock, the time zone and the user, and injects faults:
// a full disk, read errors, and hooks that run before any operation and may change the tree or
// make the operation fail.
//
// Paths are absolute ("/a/b") or relative to the current folder ("/" until the test sets one).
// Permission bits are checked for the test's user as POSIX checks them for a process that is
// not root: read to list or open a folder or to open a file, search to pass through a folder,
// write (and search) to change the names in a folder, ownership to change modes and times. The
// user is uid 1000, gid 1000 until the test sets another; the root folder and everything made
// belong to the user of the moment. SetSuperUser(true) turns the checks off, as for root.
//
// Libraries are not part of the tree: LoadLibrary and FindFunction go to Env::Default(), so a
// path given to them names a file of the running system.
//
// One lock guards everything, so several threads may use one MemEnv. Files opened from a MemEnv
// keep what they need alive and may outlive it.
#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/env.h"

namespace testing_support {

namespace memenv_internal {
struct State;
}

class MemEnv final : public platform::Env {
 public:
  MemEnv();
  ~MemEnv() override;
  MemEnv(const MemEnv&) = delete;
  MemEnv& operator=(const MemEnv&) = delete;

  // --- What the test sets ------------------------------------------------------------------------
  // The folder relative paths start from; false when it is no folder.
  bool SetCurrentFolder(const std::string& path);
  // The time Now() tells, and that new and changed files, folders and links take.
  void SetNow(int64_t unix_seconds, uint32_t nanoseconds = 0);
  // Local time is UTC plus this many seconds, all year round.
  void SetUtcOffset(int seconds);
  // Who makes new things and whose permissions are checked.
  void SetUser(uint32_t uid, uint32_t gid);
  void SetSuperUser(bool on);
  // Taken from the mode of everything created, as the process umask is.
  void SetUmask(uint32_t umask);
  void SetProgramFolder(const std::string& path);
  // From now on, refuses the names Windows would misread, as a Windows Env does.
  void RefuseWindowsNames() { refuse_windows_names_ = true; }

  // --- Building and inspecting trees -------------------------------------------------------------
  // These run as the super user, without hooks or faults, and throw std::runtime_error when
  // they cannot do what they say (a test then fails with the message).
  //
  // Writes a whole file (making missing folders, 0755), replacing the data of one that exists.
  void WriteFile(const std::string& path, std::string_view data, uint32_t mode = 0644);
  void MakeFolders(const std::string& path, uint32_t mode = 0755);
  void MakeLink(const std::string& target, const std::string& path);
  // A FIFO, socket or device: something that is neither file, folder nor link.
  void MakeSpecialFile(const std::string& path);
  // Sets the modification time of what the path names (a link itself, not its target).
  void SetTime(const std::string& path, int64_t seconds, uint32_t nanoseconds = 0);
  void SetModeOf(const std::string& path, uint32_t mode);
  // A file's data, links followed; nullopt when there is no file.
  std::optional<std::string> ReadFile(const std::string& path);

  struct NodeInfo {
    platform::fs::Kind kind = platform::fs::Kind::kMissing;
    uint32_t mode = 0;
    int64_t mtime = 0;
    uint32_t mtime_nsec = 0;
    std::string data;  // a file's bytes, a link's target
    bool operator==(const NodeInfo&) const = default;
    friend void PrintTo(const NodeInfo& n, std::ostream* os);
  };
  // Everything below a folder by path relative to it ("a", "a/b"), links not followed.
  std::map<std::string, NodeInfo> Tree(const std::string& folder = "/");

  // --- Faults ------------------------------------------------------------------------------------
  // Writes that would take the bytes of all files (removed ones still open included) past the
  // limit write what fits and fail with ENOSPC. nullopt: no limit.
  void SetSpaceLimit(std::optional<uint64_t> bytes);
  uint64_t UsedSpace();
  // Reads of the file the path names now (wherever it moves later) fail with `error` once they
  // reach `offset`: a read in order returns the bytes before it first.
  void FailReads(const std::string& path, uint64_t offset, int error = EIO);

  enum class Op {
    kOpen,    // OpenFile, OpenFolder, OpenForWriting and their *In forms
    kCreate,  // CreateFile, MakeFolder, MakeLinkIn and their *In forms
    kRead,
    kWrite,  // WriteAll, WriteAt, Truncate
    kSync,
    kClose,
    kRename,
    kRemove,
    kList,
    kStatus,         // Status, StatusIn, ReadLink
    kSetAttributes,  // SetMode, SetModificationTime, SetTimesIn
  };
  struct Call {
    Op op;
    // Absolute, "." and ".." taken out lexically: the name operated on, or the open file's
    // current path ("" once it has none).
    std::string path;
    std::string to;       // kRename: the new name
    uint64_t offset = 0;  // kRead, kWrite: where in the file
  };
  // Runs before every operation, in the order added. Returning an errno value makes the
  // operation fail with it; 0 lets it go on. What a hook does to this MemEnv is not hooked.
  using Hook = std::function<int(const Call&)>;
  void AddHook(Hook hook);

  // --- Env ---------------------------------------------------------------------------------------
  platform::File OpenFolder(
      const std::string& path, int* error,
      platform::File::Links links = platform::File::Links::kFollowed) override;
  platform::File OpenFile(const std::string& path, int* error,
                          platform::File::Links links = platform::File::Links::kFollowed) override;
  platform::File CreateFile(const std::string& path, uint32_t mode, int* error) override;
  platform::File OpenForWriting(const std::string& path, uint32_t mode, int* error) override;
  std::optional<platform::FileStatus> Status(const std::string& path, platform::File::Links links,
                                             int* error = nullptr) override;
  std::optional<std::string> ReadLink(const std::string& path, int* error = nullptr) override;
  std::optional<std::vector<std::string>> ListFolder(const std::string& path,
                                                     int* error = nullptr) override;
  bool MakeFolder(const std::string& path, uint32_t mode, int* error = nullptr) override;
  bool Remove(const std::string& path, int* error = nullptr) override;
  std::optional<std::string> RealPath(const std::string& path) override;
  std::string ProgramFolder() override;
  uint32_t NewFileMode() override;
  int64_t Now() override;
  platform::BrokenDownTime ToLocalTime(int64_t unix_seconds) override;
  int64_t FromLocalTime(const platform::BrokenDownTime& local) override;
  platform::LibraryHandle LoadLibrary(const std::string& path) override;
  void* FindFunction(platform::LibraryHandle library, const char* name) override;
  std::string NameRefusal(std::string_view name) override;

 private:
  std::shared_ptr<memenv_internal::State> state_;
  bool refuse_windows_names_ = false;
};

}  // namespace testing_support
