// The environment of a Windows system: every file, folder, clock and library call the system
// makes, on handles and the W functions, in the terms of env.h.
//
// What Windows does differently, and how it is met here:
// - Files are opened sharing reading, writing and deletion with everyone, so that a file another
//   command has open can still be renamed or removed, as on POSIX.
// - Locks are LockFileEx locks on one byte far past any data: they exclude other lockers as
//   flock does and never stand in the way of reading or writing the data.
// - A rename that replaces a file another handle holds open (the archive an update has read
//   from) first moves that file aside: Windows refuses to rename onto an open file.
// - A folder handle knows its path: names inside it are reached through that path, which is the
//   folder's real path (links on the way resolved) whenever the folder was opened by name.
// - Reparse points (symbolic links and junctions) are links; a final one is opened as itself
//   unless Links::kFollowed says otherwise.
// - Permission bits are the read-only attribute: a file without it shows 0666, with it 0444.
// - Times have a resolution of 100 ns.
#include <windows.h>
// Env's own names, not the macros of <windows.h>.
#undef CreateFile
#undef LoadLibrary
#include <winioctl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/text.h"
#include "platform/winpath.h"
#include "wide_path.h"
#include "win_error.h"

namespace platform {
namespace {

using windows::ChildOf;
using windows::ExtendedPath;
using windows::LastErrno;
using windows::Narrow;
using windows::ParentOf;
using windows::Widen;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Locks sit on the last byte a file could have, far from any data.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr int64_t kUnixEpochInFileTime = 116444736000000000;  // 1970-01-01 in 100 ns since 1601
constexpr size_t kMaxNameLength = 255;                        // UTF-16 units of one component

bool Fail(int* error, int e) {
  if (error) *error = e;
  return false;
}
bool FailLast(int* error) {
  return Fail(error, LastErrno());
}
File FailedFile(int* error, int e) {
  Fail(error, e);
  return File();
}

// A name or path with a NUL inside would reach Windows cut short, naming something else.
bool HasNul(const std::string& s) {
  return s.find('\0') != std::string::npos;
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

int64_t UnixFromFileTime(const FILETIME& ft, uint32_t* nsec) {
  const int64_t t =
      (static_cast<int64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) - kUnixEpochInFileTime;
  int64_t seconds = t / 10000000;
  int64_t rest = t % 10000000;
  if (rest < 0) rest += 10000000, --seconds;
  if (nsec) *nsec = static_cast<uint32_t>(rest * 100);
  return seconds;
}

FILETIME FileTimeFromUnix(int64_t seconds, uint32_t nsec) {
  const int64_t t = seconds * 10000000 + nsec / 100 + kUnixEpochInFileTime;
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(t & 0xFFFFFFFF);
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(t) >> 32);
  return ft;
}

// Symbolic links and junctions: the reparse points that stand for another name.
bool IsLinkTag(DWORD tag) {
  return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT;
}

// --- Reparse data of links (the layout of REPARSE_DATA_BUFFER) --------------------------------
struct ReparseHeader {
  ULONG tag;
  USHORT data_length;
  USHORT reserved;
  USHORT substitute_offset;
  USHORT substitute_length;
  USHORT print_offset;
  USHORT print_length;
};
constexpr ULONG kSymlinkRelative = 1;  // SYMLINK_FLAG_RELATIVE

// The handle of what a path names, open for `access`. `follow` follows a final link.
HANDLE OpenHandle(const std::wstring& path, DWORD access, DWORD disposition, bool follow,
                  DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
  DWORD flags = attributes | FILE_FLAG_BACKUP_SEMANTICS;
  if (!follow) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  return ::CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition, flags, nullptr);
}

class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (ok()) ::CloseHandle(h_);
  }
  bool ok() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

struct Information {
  BY_HANDLE_FILE_INFORMATION basic;
  DWORD reparse_tag = 0;
};

bool Inform(HANDLE h, Information* info) {
  if (!::GetFileInformationByHandle(h, &info->basic)) return false;
  info->reparse_tag = 0;
  if (info->basic.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (::GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag))
      info->reparse_tag = tag.ReparseTag;
  }
  return true;
}

void Fill(const Information& info, FileStatus* out) {
  const DWORD attrs = info.basic.dwFileAttributes;
  if (IsLinkTag(info.reparse_tag)) {
    out->kind = fs::Kind::kSymlink;
    out->mode = 0777;
  } else if (attrs & FILE_ATTRIBUTE_DIRECTORY) {
    out->kind = fs::Kind::kFolder;
    out->mode = 0777;
  } else {
    out->kind = fs::Kind::kFile;
    out->mode = (attrs & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  }
  out->size =
      out->kind == fs::Kind::kFile
          ? (static_cast<uint64_t>(info.basic.nFileSizeHigh) << 32 | info.basic.nFileSizeLow)
          : 0;
  out->mtime = UnixFromFileTime(info.basic.ftLastWriteTime, &out->mtime_nsec);
  out->uid = out->gid = 0;
  out->hidden = (attrs & FILE_ATTRIBUTE_HIDDEN) != 0;
  out->system = (attrs & FILE_ATTRIBUTE_SYSTEM) != 0;
  out->device = info.basic.dwVolumeSerialNumber;
  out->inode = static_cast<uint64_t>(info.basic.nFileIndexHigh) << 32 | info.basic.nFileIndexLow;
}

bool HasLongComponent(const std::wstring& path) {
  size_t start = windows::RootLength(path);
  while (start < path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) end = path.size();
    if (end - start > kMaxNameLength) return true;
    start = end + 1;
  }
  return false;
}

// Why a path failed to open, as POSIX would say it where Windows says "not found" for more: a
// name longer than a file system takes is ENAMETOOLONG, a file in the folder part ENOTDIR.
int OpenErrno(const std::wstring& path) {
  const DWORD code = ::GetLastError();
  if ((code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
       code == ERROR_INVALID_NAME) &&
      HasLongComponent(path))
    return ENAMETOOLONG;
  if (code == ERROR_PATH_NOT_FOUND || code == ERROR_DIRECTORY) {
    for (std::wstring up = ParentOf(path); up.size() < path.size(); up = ParentOf(up)) {
      const DWORD a = ::GetFileAttributesW(up.c_str());
      if (a != INVALID_FILE_ATTRIBUTES) return (a & FILE_ATTRIBUTE_DIRECTORY) ? ENOENT : ENOTDIR;
      if (up.size() <= windows::RootLength(up)) break;
    }
  }
  return windows::ErrnoFromWin32(code);
}

std::optional<FileStatus> StatusOf(const std::wstring& path, bool follow, int* error) {
  Handle h(OpenHandle(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, follow));
  Information info;
  if (!h.ok()) return Fail(error, OpenErrno(path)), std::nullopt;
  if (!Inform(h.get(), &info)) return FailLast(error), std::nullopt;
  FileStatus st;
  Fill(info, &st);
  return st;
}

std::optional<std::string> ReadLinkAt(const std::wstring& path, int* error) {
  Handle h(OpenHandle(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, false));
  if (!h.ok()) return Fail(error, OpenErrno(path)), std::nullopt;
  std::vector<uint8_t> buf(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
  DWORD got = 0;
  if (!::DeviceIoControl(h.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, buf.data(),
                         static_cast<DWORD>(buf.size()), &got, nullptr) ||
      got < sizeof(ReparseHeader))
    return Fail(error, EINVAL), std::nullopt;
  ReparseHeader head;
  std::memcpy(&head, buf.data(), sizeof head);
  if (!IsLinkTag(head.tag)) return Fail(error, EINVAL), std::nullopt;
  // A symbolic link has a flags word before its names; a junction has none.
  const size_t names = sizeof head + (head.tag == IO_REPARSE_TAG_SYMLINK ? sizeof(ULONG) : 0);
  const bool use_print = head.print_length > 0;
  const size_t offset = names + (use_print ? head.print_offset : head.substitute_offset);
  const size_t length = use_print ? head.print_length : head.substitute_length;
  if (offset + length > got) return Fail(error, EINVAL), std::nullopt;
  std::wstring target(length / sizeof(wchar_t), L'\0');
  std::memcpy(target.data(), buf.data() + offset, target.size() * sizeof(wchar_t));
  if (target.starts_with(L"\\??\\")) target.erase(0, 4);
  std::replace(target.begin(), target.end(), L'\\', L'/');
  return Narrow(target);
}

bool MakeLinkAt(const std::string& target, const std::wstring& path, int* error) {
  std::wstring to = Widen(target);
  std::replace(to.begin(), to.end(), L'/', L'\\');
  // A link to a folder must say so; a relative target counts from the link's folder.
  const bool absolute = to.starts_with(L"\\") || (to.size() >= 2 && to[1] == L':');
  const std::wstring resolved = absolute ? to : ChildOf(ParentOf(path), L"") + to;
  const DWORD target_attrs = ::GetFileAttributesW(resolved.c_str());
  DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
  if (target_attrs != INVALID_FILE_ATTRIBUTES && (target_attrs & FILE_ATTRIBUTE_DIRECTORY))
    flags |= SYMBOLIC_LINK_FLAG_DIRECTORY;
  if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return Fail(error, EEXIST);
  if (!::CreateSymbolicLinkW(path.c_str(), to.c_str(), flags)) return FailLast(error);
  // Some systems (wine among them) report success without making a link.
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return Fail(error, ENOSYS);
  return true;
}

bool MakeFolderAt(const std::wstring& path, int* error) {
  if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
  const DWORD code = ::GetLastError();
  // The root, or "..": Windows reports neither as existing.
  if (code != ERROR_ALREADY_EXISTS && ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
    return Fail(error, EEXIST);
  ::SetLastError(code);
  return Fail(error, OpenErrno(path));
}

// Clears the read-only attribute that keeps Windows from removing or replacing a file (POSIX
// asks only the folder); returns the attributes to restore, or 0 when nothing changed.
DWORD MakeWritable(const std::wstring& path) {
  const DWORD a = ::GetFileAttributesW(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_READONLY)) return 0;
  return ::SetFileAttributesW(path.c_str(), a & ~FILE_ATTRIBUTE_READONLY) ? a : 0;
}

bool RemoveAt(const std::wstring& path, bool folder, int* error) {
  const auto st = StatusOf(path, false, error);
  if (!st) return false;
  const DWORD attrs = ::GetFileAttributesW(path.c_str());
  const bool is_folder_entry =
      attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
  if (st->kind == fs::Kind::kFolder && !folder) return Fail(error, EISDIR);
  if (st->kind != fs::Kind::kFolder && folder) return Fail(error, ENOTDIR);
  if (is_folder_entry) {  // a folder, or a link to one, which Windows removes as a folder
    return ::RemoveDirectoryW(path.c_str()) || FailLast(error);
  }
  const DWORD restore = MakeWritable(path);
  if (::DeleteFileW(path.c_str())) return true;
  const int e = LastErrno();
  if (restore) ::SetFileAttributesW(path.c_str(), restore);
  return Fail(error, e);
}

// A name beside `path` that nothing else uses, for a file moved out of the way.
std::wstring AsideName(const std::wstring& path) {
  static std::atomic<unsigned> counter{0};
  wchar_t tail[64];
  std::swprintf(tail, 64, L".replaced-%lx-%x", ::GetCurrentProcessId(), counter++);
  const std::wstring parent = ParentOf(path);
  const std::wstring name = path.substr(std::min(path.size(), parent.size() + 1));
  return ChildOf(parent, L"." + name.substr(0, 200) + tail);
}

bool RenameAt(const std::wstring& from, const std::wstring& to, bool replace, int* error) {
  const auto src = StatusOf(from, false, error);
  if (!src) return false;
  const auto dst = StatusOf(to, false, nullptr);
  if (dst && src->SameFileAs(*dst)) {
    // One file under both names: a change of case only, or two links to one file.
    ::MoveFileExW(from.c_str(), to.c_str(), 0);
    return true;
  }
  if (dst && !replace) return Fail(error, EEXIST);
  const bool src_folder = src->kind == fs::Kind::kFolder;
  if (dst && dst->kind == fs::Kind::kFolder && !src_folder) return Fail(error, EISDIR);
  if (dst && dst->kind != fs::Kind::kFolder && src_folder) return Fail(error, ENOTDIR);
  if (dst && dst->kind == fs::Kind::kFolder) {
    // A folder replaces only an empty folder: that one goes first.
    if (!::RemoveDirectoryW(to.c_str())) return FailLast(error);
  }
  const DWORD flags = replace ? MOVEFILE_REPLACE_EXISTING : 0;
  if (::MoveFileExW(from.c_str(), to.c_str(), flags)) return true;
  DWORD code = ::GetLastError();
  if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) return Fail(error, EEXIST);
  if (!replace || code != ERROR_ACCESS_DENIED || !dst) return Fail(error, OpenErrno(from));
  // Read-only, or held open by some handle: Windows renames onto neither. A read-only file loses
  // its attribute; an open one moves aside (open files can be renamed) and goes once closed.
  const DWORD restore = MakeWritable(to);
  if (::MoveFileExW(from.c_str(), to.c_str(), flags)) return true;
  const std::wstring aside = AsideName(to);
  if (::MoveFileExW(to.c_str(), aside.c_str(), 0)) {
    if (::MoveFileExW(from.c_str(), to.c_str(), 0)) {
      ::DeleteFileW(aside.c_str());
      return true;
    }
    code = ::GetLastError();
    ::MoveFileExW(aside.c_str(), to.c_str(), 0);
  } else {
    code = ::GetLastError();
  }
  if (restore) ::SetFileAttributesW(to.c_str(), restore);
  return Fail(error, windows::ErrnoFromWin32(code));
}

bool SetTimesAt(const std::wstring& path, int64_t seconds, uint32_t nsec, int* error) {
  Handle h(OpenHandle(path, FILE_WRITE_ATTRIBUTES, OPEN_EXISTING, false));
  if (!h.ok()) return Fail(error, OpenErrno(path));
  const FILETIME ft = FileTimeFromUnix(seconds, nsec);
  return ::SetFileTime(h.get(), nullptr, nullptr, &ft) || FailLast(error);
}

std::optional<std::vector<std::string>> ListAt(const std::wstring& path, int* error) {
  const auto st = StatusOf(path, true, error);
  if (!st) return std::nullopt;
  if (st->kind != fs::Kind::kFolder) return Fail(error, ENOTDIR), std::nullopt;
  WIN32_FIND_DATAW found;
  HANDLE h = ::FindFirstFileExW(ChildOf(path, L"*").c_str(), FindExInfoBasic, &found,
                                FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  std::vector<std::string> names;
  if (h == INVALID_HANDLE_VALUE) {
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return names;  // not even "." listed
    return FailLast(error), std::nullopt;
  }
  do {
    const std::wstring_view n = found.cFileName;
    if (n != L"." && n != L"..") names.push_back(Narrow(n));
  } while (::FindNextFileW(h, &found));
  const DWORD code = ::GetLastError();
  ::FindClose(h);
  if (code != ERROR_NO_MORE_FILES) return Fail(error, windows::ErrnoFromWin32(code)), std::nullopt;
  return names;
}

std::string FinalPathOf(HANDLE h) {
  std::wstring buf(MAX_PATH, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
  if (n >= buf.size()) {
    buf.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(h, buf.data(), static_cast<DWORD>(buf.size()), 0);
  }
  if (n == 0 || n >= buf.size()) return {};
  buf.resize(n);
  return windows::NativePath(buf);
}

// Files open for writing, which SyncFileSystem puts on the disk: Windows offers no flush of a
// whole volume to a program that is not an administrator.
class WrittenFiles {
 public:
  void Add(HANDLE h) {
    std::lock_guard lock(mutex_);
    open_.insert(h);
  }
  void Remove(HANDLE h) {
    std::lock_guard lock(mutex_);
    open_.erase(h);
  }
  bool FlushAll(int* error) {
    std::lock_guard lock(mutex_);
    for (HANDLE h : open_)
      if (!::FlushFileBuffers(h)) return FailLast(error);
    return true;
  }

 private:
  std::mutex mutex_;
  std::set<HANDLE> open_;
};

WrittenFiles& Written() {
  static WrittenFiles files;
  return files;
}

File Opened(HANDLE h, std::wstring path, bool folder, bool writable);

class WinFile final : public FileObject {
 public:
  WinFile(HANDLE h, std::wstring path, bool folder, bool writable)
      : h_(h), path_(std::move(path)), folder_(folder), writable_(writable) {
    if (writable_) Written().Add(h_);
  }
  ~WinFile() override { Close(nullptr); }

  bool Close(int* error) override {
    if (h_ == INVALID_HANDLE_VALUE) return true;
    if (writable_) Written().Remove(h_);
    const bool ok = ::CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    return ok || FailLast(error);
  }

  bool Status(FileStatus* status, int* error) const override {
    Information info;
    if (!Inform(h_, &info)) return FailLast(error);
    Fill(info, status);
    return true;
  }

  int64_t Read(std::span<uint8_t> buf, int* error) override {
    const int64_t n = ReadAt(position_, buf.first(std::min<size_t>(buf.size(), kChunk)), error);
    if (n > 0) position_ += static_cast<uint64_t>(n);
    return n;
  }

  int64_t ReadAt(uint64_t offset, std::span<uint8_t> buf, int* error) const override {
    if (folder_) return Fail(error, EISDIR), -1;
    size_t done = 0;
    while (done < buf.size()) {
      OVERLAPPED at = At(offset + done);
      DWORD got = 0;
      const DWORD want = static_cast<DWORD>(std::min<size_t>(buf.size() - done, kChunk));
      if (!::ReadFile(h_, buf.data() + done, want, &got, &at)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_HANDLE_EOF) break;
        return Fail(error, code == ERROR_ACCESS_DENIED ? EBADF : windows::ErrnoFromWin32(code)), -1;
      }
      if (got == 0) break;
      done += got;
    }
    return static_cast<int64_t>(done);
  }

  bool WriteAll(std::span<const uint8_t> data, int* error) override {
    if (!WriteAt(position_, data, error)) return false;
    position_ += data.size();
    return true;
  }

  bool WriteAt(uint64_t offset, std::span<const uint8_t> data, int* error) override {
    if (!writable_) return Fail(error, EBADF);
    while (!data.empty()) {
      OVERLAPPED at = At(offset);
      DWORD put = 0;
      const DWORD want = static_cast<DWORD>(std::min<size_t>(data.size(), kChunk));
      if (!::WriteFile(h_, data.data(), want, &put, &at)) return FailLast(error);
      if (put == 0) return Fail(error, EIO);
      data = data.subspan(put);
      offset += put;
    }
    return true;
  }

  bool Seek(uint64_t offset, int*) override {
    position_ = offset;
    return true;
  }
  bool Truncate(uint64_t size, int* error) override {
    if (!writable_) return Fail(error, EINVAL);
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFileInformationByHandle(h_, FileEndOfFileInfo, &end, sizeof end) || FailLast(error);
  }
  // A folder's names are in the file system's journal once made; only data needs a flush.
  bool Sync(int* error) const override {
    return !writable_ || ::FlushFileBuffers(h_) || FailLast(error);
  }
  bool SyncFileSystem(int* error) const override { return Written().FlushAll(error); }

  bool TryLock(bool shared) override {
    OVERLAPPED at{};
    at.Offset = kLockOffsetLow;
    at.OffsetHigh = kLockOffsetHigh;
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK);
    return ::LockFileEx(h_, flags, 0, 1, 0, &at);
  }
  bool SetMode(uint32_t mode, int* error) override {
    if (folder_) return true;  // the attribute means nothing for a folder
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(h_, FileBasicInfo, &basic, sizeof basic))
      return FailLast(error);
    const DWORD before = basic.FileAttributes;
    DWORD attrs =
        (mode & 0222) ? (before & ~FILE_ATTRIBUTE_READONLY) : (before | FILE_ATTRIBUTE_READONLY);
    if (attrs == before) return true;
    if (attrs == 0) attrs = FILE_ATTRIBUTE_NORMAL;
    FILE_BASIC_INFO change{};  // zero times: left as they are
    change.FileAttributes = attrs;
    return ::SetFileInformationByHandle(h_, FileBasicInfo, &change, sizeof change) ||
           FailLast(error);
  }
  bool SetModificationTime(int64_t seconds, uint32_t nanoseconds, int* error) override {
    const FILETIME ft = FileTimeFromUnix(seconds, nanoseconds);
    return ::SetFileTime(h_, nullptr, nullptr, &ft) || FailLast(error);
  }

  File OpenFolderIn(const std::string& name, int* error, File::Links links) const override {
    if (!folder_) return FailedFile(error, ENOTDIR);
    if (HasNul(name)) return FailedFile(error, EINVAL);
    // Reached through a real folder's path, a name not followed is where that path says; "." and
    // ".." are followed anyway, being the folder itself and its parent.
    const bool follow = links == File::Links::kFollowed || IsDot(name);
    return OpenFolderAt(Child(name), follow, /*known_real=*/!follow, error);
  }
  File OpenFileIn(const std::string& name, int* error, File::Links links) const override {
    if (!folder_) return FailedFile(error, ENOTDIR);
    if (HasNul(name)) return FailedFile(error, EINVAL);
    return OpenFileAt(Child(name), links == File::Links::kFollowed, error);
  }
  File CreateFileIn(const std::string& name, uint32_t mode, int* error) const override {
    if (!folder_) return FailedFile(error, ENOTDIR);
    if (HasNul(name)) return FailedFile(error, EINVAL);
    return CreateFileAt(Child(name), mode, error);
  }
  bool MakeFolderIn(const std::string& name, uint32_t, int* error) const override {
    if (!folder_) return Fail(error, ENOTDIR);
    if (HasNul(name)) return Fail(error, EINVAL);
    return MakeFolderAt(Child(name), error);
  }
  bool MakeLinkIn(const std::string& target, const std::string& name, int* error) const override {
    if (!folder_) return Fail(error, ENOTDIR);
    if (HasNul(name) || HasNul(target)) return Fail(error, EINVAL);
    return MakeLinkAt(target, Child(name), error);
  }
  bool RenameIn(const std::string& from, const std::string& to, bool replace,
                int* error) const override {
    if (!folder_) return Fail(error, ENOTDIR);
    if (HasNul(from) || HasNul(to)) return Fail(error, EINVAL);
    return RenameAt(Child(from), Child(to), replace, error);
  }
  bool RemoveIn(const std::string& name, bool folder, int* error) const override {
    if (!folder_) return Fail(error, ENOTDIR);
    if (HasNul(name)) return Fail(error, EINVAL);
    return RemoveAt(Child(name), folder, error);
  }
  bool StatusIn(const std::string& name, FileStatus* status, int* error,
                File::Links links) const override {
    if (!folder_) return Fail(error, ENOTDIR);
    if (HasNul(name)) return Fail(error, EINVAL);
    const auto st = StatusOf(Child(name), links == File::Links::kFollowed, error);
    if (st) *status = *st;
    return st.has_value();
  }
  bool SetTimesIn(const std::string& name, int64_t seconds, uint32_t nanoseconds,
                  int* error) const override {
    if (!folder_) return Fail(error, ENOTDIR);
    if (HasNul(name)) return Fail(error, EINVAL);
    return SetTimesAt(Child(name), seconds, nanoseconds, error);
  }
  std::optional<std::string> ReadLinkIn(const std::string& name, int* error) const override {
    if (!folder_) return Fail(error, ENOTDIR), std::nullopt;
    if (HasNul(name)) return Fail(error, EINVAL), std::nullopt;
    return ReadLinkAt(Child(name), error);
  }
  std::optional<std::vector<std::string>> Names(int* error) const override {
    if (!folder_) return Fail(error, ENOTDIR), std::nullopt;
    return ListAt(path_, error);
  }

  // Opening by path, shared by the Env.
  // `known_real`: the path has no link on the way, so the folder's real path need not be asked.
  static File OpenFolderAt(const std::wstring& path, bool follow, bool known_real, int* error);
  static File OpenFileAt(const std::wstring& path, bool follow, int* error);
  static File CreateFileAt(const std::wstring& path, uint32_t mode, int* error);
  static File OpenForWritingAt(const std::wstring& path, int* error);

 private:
  static constexpr size_t kChunk = size_t{1} << 30;  // ReadFile and WriteFile take a DWORD

  static OVERLAPPED At(uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
  }
  static bool IsDot(const std::string& name) { return name == "." || name == ".."; }
  std::wstring Child(const std::string& name) const { return ChildOf(path_, Widen(name)); }

  HANDLE h_;
  std::wstring path_;  // extended-length; a folder's is its real path when opened by name
  bool folder_;
  bool writable_;
  uint64_t position_ = 0;
};

File Opened(HANDLE h, std::wstring path, bool folder, bool writable) {
  return File(std::make_unique<WinFile>(h, std::move(path), folder, writable));
}

// Opens with FILE_WRITE_ATTRIBUTES too when allowed, so that times and the read-only attribute
// can be set through any handle; sharing never depends on it.
HANDLE OpenWithAttributes(const std::wstring& path, DWORD access, bool follow) {
  HANDLE h = OpenHandle(path, access | FILE_WRITE_ATTRIBUTES, OPEN_EXISTING, follow);
  if (h == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED)
    h = OpenHandle(path, access, OPEN_EXISTING, follow);
  return h;
}

File WinFile::OpenFolderAt(const std::wstring& path, bool follow, bool known_real, int* error) {
  HANDLE h = OpenWithAttributes(path, FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES, follow);
  if (h == INVALID_HANDLE_VALUE) return FailedFile(error, OpenErrno(path));
  Information info;
  if (!Inform(h, &info)) {
    const int e = LastErrno();
    ::CloseHandle(h);
    return FailedFile(error, e);
  }
  if (!(info.basic.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || IsLinkTag(info.reparse_tag)) {
    ::CloseHandle(h);
    return FailedFile(error, ENOTDIR);
  }
  // Names inside are reached through the folder's path: its real one, so that ".." is the
  // folder's own parent whatever led here.
  std::wstring real = path;
  if (!known_real) {
    const std::string final_path = FinalPathOf(h);
    if (!final_path.empty()) real = ExtendedPath(final_path);
  }
  return Opened(h, std::move(real), true, false);
}

File WinFile::OpenFileAt(const std::wstring& path, bool follow, int* error) {
  HANDLE h = OpenWithAttributes(path, GENERIC_READ, follow);
  if (h == INVALID_HANDLE_VALUE) return FailedFile(error, OpenErrno(path));
  Information info;
  if (!Inform(h, &info)) {
    const int e = LastErrno();
    ::CloseHandle(h);
    return FailedFile(error, e);
  }
  int e = 0;
  if (IsLinkTag(info.reparse_tag))
    e = ELOOP;
  else if (info.basic.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    e = EISDIR;
  if (e != 0) {
    ::CloseHandle(h);
    return FailedFile(error, e);
  }
  return Opened(h, path, false, false);
}

File WinFile::CreateFileAt(const std::wstring& path, uint32_t mode, int* error) {
  const DWORD attrs = (mode & 0222) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
  HANDLE h = OpenHandle(path, GENERIC_READ | GENERIC_WRITE | FILE_WRITE_ATTRIBUTES, CREATE_NEW,
                        false, attrs);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    // A folder or a dangling link in the way reads as a name taken.
    if (code == ERROR_ACCESS_DENIED &&
        ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
      return FailedFile(error, EEXIST);
    ::SetLastError(code);
    return FailedFile(error, OpenErrno(path));
  }
  return Opened(h, path, false, true);
}

File WinFile::OpenForWritingAt(const std::wstring& path, int* error) {
  HANDLE h = OpenHandle(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                        OPEN_ALWAYS, false);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD a = ::GetFileAttributesW(path.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY))
      return FailedFile(error, (a & FILE_ATTRIBUTE_REPARSE_POINT) ? ELOOP : EISDIR);
    return FailedFile(error, OpenErrno(path));
  }
  Information info;
  int e = 0;
  if (!Inform(h, &info)) {
    e = LastErrno();
  } else if (IsLinkTag(info.reparse_tag)) {
    e = ELOOP;
  } else if (info.basic.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    e = EISDIR;
  }
  FILE_END_OF_FILE_INFO end{};
  if (e == 0 && !::SetFileInformationByHandle(h, FileEndOfFileInfo, &end, sizeof end))
    e = LastErrno();
  if (e != 0) {
    ::CloseHandle(h);
    return FailedFile(error, e);
  }
  return Opened(h, path, false, true);
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar; any day and month.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y += (m - 1) / 12;
  m = (m - 1) % 12 + 1;
  if (m <= 0) m += 12, --y;
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

SYSTEMTIME SystemTimeOf(int64_t unix_seconds) {
  const FILETIME ft = FileTimeFromUnix(unix_seconds, 0);
  SYSTEMTIME st{};
  ::FileTimeToSystemTime(&ft, &st);
  return st;
}

class WindowsEnv final : public Env {
 public:
  File OpenFolder(const std::string& path, int* error, File::Links links) override {
    if (HasNul(path)) return FailedFile(error, EINVAL);
    return WinFile::OpenFolderAt(ExtendedPath(path), links == File::Links::kFollowed,
                                 /*known_real=*/false, error);
  }
  File OpenFile(const std::string& path, int* error, File::Links links) override {
    if (HasNul(path)) return FailedFile(error, EINVAL);
    return WinFile::OpenFileAt(ExtendedPath(path), links == File::Links::kFollowed, error);
  }
  File CreateFile(const std::string& path, uint32_t mode, int* error) override {
    if (HasNul(path)) return FailedFile(error, EINVAL);
    return WinFile::CreateFileAt(ExtendedPath(path), mode, error);
  }
  File OpenForWriting(const std::string& path, uint32_t, int* error) override {
    if (HasNul(path)) return FailedFile(error, EINVAL);
    return WinFile::OpenForWritingAt(ExtendedPath(path), error);
  }

  std::optional<FileStatus> Status(const std::string& path, File::Links links,
                                   int* error) override {
    if (HasNul(path)) return Fail(error, EINVAL), std::nullopt;
    return StatusOf(ExtendedPath(path), links == File::Links::kFollowed, error);
  }
  std::optional<std::string> ReadLink(const std::string& path, int* error) override {
    if (HasNul(path)) return Fail(error, EINVAL), std::nullopt;
    return ReadLinkAt(ExtendedPath(path), error);
  }
  std::optional<std::vector<std::string>> ListFolder(const std::string& path, int* error) override {
    if (HasNul(path)) return Fail(error, EINVAL), std::nullopt;
    return ListAt(ExtendedPath(path), error);
  }
  bool MakeFolder(const std::string& path, uint32_t, int* error) override {
    if (HasNul(path)) return Fail(error, EINVAL);
    return MakeFolderAt(ExtendedPath(path), error);
  }
  bool Remove(const std::string& path, int* error) override {
    if (HasNul(path)) return Fail(error, EINVAL);
    return RemoveAt(ExtendedPath(path), false, error);
  }
  // "C:\", "\\server\share\", "\" alone (the current drive's root) and "C:" followed by a
  // name (that drive's current folder).
  WindowsRoot RootOf(std::string_view winpath) override {
    const auto sep = [&](size_t i) { return i < winpath.size() && IsSeparator(winpath[i]); };
    if (sep(0) && sep(1)) {
      size_t i = 2, parts = 0;
      while (i < winpath.size() && parts < 2) {
        if (IsSeparator(winpath[i])) ++parts;
        ++i;
      }
      return {i, windows::NativePath(ExtendedPath(std::string(winpath.substr(0, i))))};
    }
    if (winpath.size() >= 2 && winpath[1] == ':' && IsAsciiLetter(winpath[0])) {
      const size_t length = sep(2) ? 3 : 2;
      return {length, windows::NativePath(ExtendedPath(std::string(winpath.substr(0, length))))};
    }
    if (sep(0)) return {1, windows::NativePath(ExtendedPath("\\"))};
    return {};
  }

  // The file system's own lookup, which also knows a file by its short (8.3) name. A name
  // Windows would read as a pattern names nothing.
  bool IsHidden(std::string_view, const FileStatus& st) override { return st.hidden; }

  std::string NameRefusal(std::string_view name) override {
    return winpath::WhyWindowsMisreads(name);
  }

  std::optional<std::string> LongName(const std::string& dir, const std::string& alias) override {
    if (alias.find_first_of("*?<>\"") != std::string::npos || HasNul(alias)) return std::nullopt;
    const std::wstring pattern = ChildOf(ExtendedPath(dir.empty() ? "." : dir), Widen(alias));
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                  nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    ::FindClose(h);
    return Narrow(data.cFileName);
  }

  std::optional<std::string> RealPath(const std::string& path) override {
    if (HasNul(path)) return std::nullopt;
    Handle h(OpenHandle(ExtendedPath(path), FILE_READ_ATTRIBUTES, OPEN_EXISTING, true));
    if (!h.ok()) return std::nullopt;
    std::string real = FinalPathOf(h.get());
    if (real.empty()) return std::nullopt;
    return real;
  }
  std::string ProgramFolder() override {
    std::wstring buf(MAX_PATH, L'\0');
    DWORD n;
    while ((n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()))) ==
           buf.size())
      buf.resize(buf.size() * 2);
    buf.resize(n);
    return windows::NativePath(ParentOf(ExtendedPath(Narrow(buf))));
  }
  uint32_t NewFileMode() override { return 0666; }

  int64_t Now() override {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    return UnixFromFileTime(ft, nullptr);
  }
  // The time zone's rules for the date itself, daylight saving time included, not today's.
  BrokenDownTime ToLocalTime(int64_t unix_seconds) override {
    const SYSTEMTIME utc = SystemTimeOf(unix_seconds);
    SYSTEMTIME local = utc;
    ::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
    return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
  }
  int64_t FromLocalTime(const BrokenDownTime& local) override {
    // Fields out of their range carry over, as mktime lets them.
    const int64_t as_if_utc = DaysFromCivil(local.year, local.month, local.day) * 86400 +
                              local.hour * 3600 + local.minute * 60 + local.second;
    const SYSTEMTIME wall = SystemTimeOf(as_if_utc);
    SYSTEMTIME utc = wall;
    if (!::TzSpecificLocalTimeToSystemTime(nullptr, &wall, &utc)) return as_if_utc;
    FILETIME ft;
    ::SystemTimeToFileTime(&utc, &ft);
    return UnixFromFileTime(ft, nullptr);
  }

  // A path is loaded as it is; a bare name only from the system's own folder, never from the
  // current one.
  LibraryHandle LoadLibrary(const std::string& path) override {
    if (HasNul(path)) return nullptr;
    if (path.find_first_of("/\\:") == std::string::npos)
      return ::LoadLibraryExW(Widen(path).c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const std::wstring plain = windows::PlainPath(ExtendedPath(path));
    return ::LoadLibraryExW(plain.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
  void* FindFunction(LibraryHandle library, const char* name) override {
    if (!library) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
  }
};

}  // namespace

std::string ErrorText(int error) {
  return std::strerror(error);
}

Env& Env::Default() {
  static WindowsEnv env;
  return env;
}

}  // namespace platform
