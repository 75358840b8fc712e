#include "support/mem_env.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <iomanip>
#include <mutex>
#include <set>
#include <stdexcept>

#include "platform/winpath.h"

namespace testing_support {
namespace memenv_internal {
namespace {

namespace fs = platform::fs;
using platform::File;
using platform::FileStatus;

constexpr int kMaxLinks = 40;       // as Linux: more links in one lookup is a loop (ELOOP)
constexpr size_t kNameLimit = 255;  // bytes of one name (ENAMETOOLONG)
constexpr uint32_t kMayRead = 4, kMayWrite = 2, kMaySearch = 1;
constexpr int64_t kFirstNow = 1767225600;  // 2026-01-01 00:00:00 UTC

bool Fail(int* error, int e) {
  if (error) *error = e;
  return false;
}

std::deque<std::string> Split(std::string_view path) {
  std::deque<std::string> parts;
  size_t i = 0;
  while (i < path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string_view::npos) j = path.size();
    if (j > i) parts.emplace_back(path.substr(i, j - i));
    i = j + 1;
  }
  return parts;
}

bool IsDots(const std::string& name) {
  return name == "." || name == "..";
}

}  // namespace

struct State;

// A file, folder, link or special file. A folder owns its entries; every node knows the folder
// that names it (none once it is removed or replaced), which gives ".." and the paths hooks see.
struct Node : std::enable_shared_from_this<Node> {
  Node(State& s, fs::Kind k, uint64_t i) : state(s), kind(k), inode(i) {}
  ~Node();

  // Changes a file's length, keeping the count of bytes in use.
  void Resize(uint64_t size);
  bool IsRoot() const;

  State& state;
  const fs::Kind kind;
  const uint64_t inode;
  uint32_t mode = 0, uid = 0, gid = 0;
  int64_t mtime = 0;
  uint32_t mtime_nsec = 0;
  // Moves with every change of data or status, setting the modification time back included.
  int64_t ctime = 0;
  uint32_t ctime_nsec = 0;
  std::string data;  // a file's bytes, a link's target
  std::map<std::string, std::shared_ptr<Node>> entries;
  Node* parent = nullptr;
  std::string name;
  // flock: locks belong to open files, whose addresses stand for them here.
  const void* exclusive_holder = nullptr;
  std::set<const void*> shared_holders;
  std::optional<std::pair<uint64_t, int>> read_fault;  // offset, errno
};

// What a lookup finds: the folder that holds the last name, the name, and what it names.
struct Found {
  std::shared_ptr<Node> folder;
  std::string name;
  std::shared_ptr<Node> node;  // null when the name is free
};

struct State : std::enable_shared_from_this<State> {
  State() {
    static std::atomic<uint64_t> devices{0x4d454d00};
    device = devices++;
    root = NewNode(fs::Kind::kFolder, 0755);
    cwd = root;
  }

  std::recursive_mutex mu;
  uint64_t used = 0;  // before `root`: the nodes give their bytes back as they go
  std::optional<uint64_t> limit;
  uint64_t device = 0;
  uint64_t next_inode = 2;
  int64_t now = kFirstNow;
  uint32_t now_nsec = 0;
  int utc_offset = 0;
  uint32_t uid = 1000, gid = 1000, umask = 022;
  bool superuser = false;
  bool privileged = false;  // the test's own tree building: no checks, limits or hooks
  std::string program_folder = "/";
  std::vector<MemEnv::Hook> hooks;
  bool in_hook = false;
  std::shared_ptr<Node> root, cwd;

  // --- Nodes -------------------------------------------------------------------------------------
  std::shared_ptr<Node> NewNode(fs::Kind kind, uint32_t mode) {
    auto n = std::make_shared<Node>(*this, kind, next_inode++);
    n->mode = mode & 07777;
    n->uid = uid;
    n->gid = gid;
    Touch(*n);
    return n;
  }
  void Touch(Node& n) const {
    n.mtime = now;
    n.mtime_nsec = now_nsec;
    Changed(n);
  }
  void Changed(Node& n) const {
    n.ctime = now;
    n.ctime_nsec = now_nsec;
  }
  void Attach(Node& folder, const std::string& name, const std::shared_ptr<Node>& node) {
    folder.entries[name] = node;
    node->parent = &folder;
    node->name = name;
    Touch(folder);
  }
  void Detach(Node& folder, const std::string& name) {
    const auto it = folder.entries.find(name);
    it->second->parent = nullptr;
    folder.entries.erase(it);
    Touch(folder);
  }

  std::string PathOf(const Node& node) const {
    std::string path;
    for (const Node* n = &node; !n->IsRoot(); n = n->parent) {
      if (!n->parent) return "";
      path = "/" + n->name + path;
    }
    return path.empty() ? "/" : path;
  }

  bool Allowed(const Node& n, uint32_t want) const {
    if (superuser || privileged) return true;
    const uint32_t bits = n.uid == uid ? n.mode >> 6 : n.gid == gid ? n.mode >> 3 : n.mode;
    return (bits & want) == want;
  }
  bool Owns(const Node& n) const { return superuser || privileged || n.uid == uid; }
  // Whether names may be made or removed in `folder`.
  bool MayChange(const Node& folder, int* error) const {
    if (!folder.IsRoot() && !folder.parent) return Fail(error, ENOENT);  // removed meanwhile
    return Allowed(folder, kMayWrite | kMaySearch) || Fail(error, EACCES);
  }

  // --- Lookup ------------------------------------------------------------------------------------
  std::shared_ptr<Node> Entry(const std::shared_ptr<Node>& folder, const std::string& name) const {
    if (name == ".") return folder;
    if (name == "..") {
      if (folder->IsRoot()) return folder;
      return folder->parent ? folder->parent->shared_from_this() : nullptr;
    }
    const auto it = folder->entries.find(name);
    return it == folder->entries.end() ? nullptr : it->second;
  }

  // Looks `path` up from `start` (or the root, for an absolute path) as the kernel does: links
  // on the way followed, the last one when `follow` (or when a '/' ends the path).
  std::optional<Found> Walk(const std::shared_ptr<Node>& start, std::string_view path, bool follow,
                            int* error) const {
    if (path.find('\0') != std::string_view::npos) return Fail(error, EINVAL), std::nullopt;
    if (path.empty()) return Fail(error, ENOENT), std::nullopt;
    const bool trailing = path.back() == '/';
    std::shared_ptr<Node> at = path[0] == '/' ? root : start;
    std::deque<std::string> rest = Split(path);
    int links = 0;
    while (!rest.empty()) {
      std::string name = std::move(rest.front());
      rest.pop_front();
      if (name.size() > kNameLimit) return Fail(error, ENAMETOOLONG), std::nullopt;
      if (at->kind != fs::Kind::kFolder) return Fail(error, ENOTDIR), std::nullopt;
      if (!Allowed(*at, kMaySearch)) return Fail(error, EACCES), std::nullopt;
      std::shared_ptr<Node> next = Entry(at, name);
      const bool last = rest.empty();
      if (next && next->kind == fs::Kind::kSymlink && (!last || follow || trailing)) {
        if (++links > kMaxLinks) return Fail(error, ELOOP), std::nullopt;
        if (next->data[0] == '/') at = root;
        const auto target = Split(next->data);
        rest.insert(rest.begin(), target.begin(), target.end());
        continue;
      }
      if (!last) {
        if (!next) return Fail(error, ENOENT), std::nullopt;
        at = std::move(next);
        continue;
      }
      if (trailing && next && next->kind != fs::Kind::kFolder)
        return Fail(error, ENOTDIR), std::nullopt;
      return Found{at, std::move(name), std::move(next)};
    }
    return Found{at, ".", at};  // "/", or a link that led to it
  }

  // The path a hook is told: absolute, "." and ".." taken out without looking at the tree.
  std::string CallPath(const Node& start, std::string_view path) const {
    std::vector<std::string> parts;
    if (path.empty() || path[0] != '/') {
      for (auto& p : Split(PathOf(start)))
        parts.push_back(std::move(p));
    }
    for (auto& p : Split(path)) {
      if (p == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (p != ".") {
        parts.push_back(std::move(p));
      }
    }
    std::string out;
    for (const auto& p : parts)
      out += "/" + p;
    return out.empty() ? "/" : out;
  }

  int Hooked(MemEnv::Op op, std::string path, std::string to = {}, uint64_t offset = 0) {
    if (in_hook || privileged || hooks.empty()) return 0;
    in_hook = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{in_hook};
    const MemEnv::Call call{op, std::move(path), std::move(to), offset};
    const std::vector<MemEnv::Hook> now_hooks = hooks;
    for (const auto& hook : now_hooks)
      if (const int e = hook(call)) return e;
    return 0;
  }
  int Hooked(MemEnv::Op op, const Node& start, std::string_view path) {
    return Hooked(op, CallPath(start, path));
  }

  FileStatus StatusOf(const Node& n) const {
    FileStatus st;
    st.kind = n.kind;
    st.size = n.kind == fs::Kind::kFolder ? 4096 : n.data.size();
    st.mtime = n.mtime;
    st.mtime_nsec = n.mtime_nsec;
    st.change_time = n.ctime;
    st.change_time_nsec = n.ctime_nsec;
    st.mode = n.mode;
    st.uid = n.uid;
    st.gid = n.gid;
    st.device = device;
    st.inode = n.inode;
    return st;
  }

  // --- Operations by name, from a folder (the *In functions) or the current folder ---------------
  File Opened(const std::shared_ptr<Node>& node, bool readable, bool writable);

  File OpenFolderAt(const std::shared_ptr<Node>& start, const std::string& path, int* error,
                    File::Links links) {
    if (const int e = Hooked(MemEnv::Op::kOpen, *start, path)) return Fail(error, e), File();
    const auto f = Walk(start, path, links == File::Links::kFollowed, error);
    if (!f) return File();
    if (!f->node) return Fail(error, ENOENT), File();
    if (f->node->kind != fs::Kind::kFolder) return Fail(error, ENOTDIR), File();
    if (!Allowed(*f->node, kMayRead)) return Fail(error, EACCES), File();
    return Opened(f->node, false, false);
  }

  File OpenFileAt(const std::shared_ptr<Node>& start, const std::string& path, int* error,
                  File::Links links) {
    if (const int e = Hooked(MemEnv::Op::kOpen, *start, path)) return Fail(error, e), File();
    const auto f = Walk(start, path, links == File::Links::kFollowed, error);
    if (!f) return File();
    if (!f->node) return Fail(error, ENOENT), File();
    if (f->node->kind == fs::Kind::kSymlink) return Fail(error, ELOOP), File();
    if (!Allowed(*f->node, kMayRead)) return Fail(error, EACCES), File();
    if (f->node->kind == fs::Kind::kFolder) return Fail(error, EISDIR), File();
    if (f->node->kind != fs::Kind::kFile) return Fail(error, EINVAL), File();
    return Opened(f->node, true, false);
  }

  File CreateFileAt(const std::shared_ptr<Node>& start, const std::string& path, uint32_t mode,
                    int* error) {
    if (const int e = Hooked(MemEnv::Op::kCreate, *start, path)) return Fail(error, e), File();
    const auto f = Walk(start, path, false, error);
    if (!f) return File();
    if (f->node) return Fail(error, EEXIST), File();
    if (!MayChange(*f->folder, error)) return File();
    const auto node = NewNode(fs::Kind::kFile, mode & ~umask);
    Attach(*f->folder, f->name, node);
    return Opened(node, true, true);
  }

  File OpenForWritingAt(const std::shared_ptr<Node>& start, const std::string& path, uint32_t mode,
                        int* error) {
    if (const int e = Hooked(MemEnv::Op::kOpen, *start, path)) return Fail(error, e), File();
    const auto f = Walk(start, path, false, error);
    if (!f) return File();
    if (!f->node) {
      if (!MayChange(*f->folder, error)) return File();
      const auto node = NewNode(fs::Kind::kFile, mode & ~umask);
      Attach(*f->folder, f->name, node);
      return Opened(node, false, true);
    }
    if (f->node->kind == fs::Kind::kSymlink) return Fail(error, ELOOP), File();
    if (f->node->kind == fs::Kind::kFolder) return Fail(error, EISDIR), File();
    if (!Allowed(*f->node, kMayWrite)) return Fail(error, EACCES), File();
    if (f->node->kind != fs::Kind::kFile) return Fail(error, EINVAL), File();
    f->node->Resize(0);
    Touch(*f->node);
    return Opened(f->node, false, true);
  }

  bool MakeFolderAt(const std::shared_ptr<Node>& start, const std::string& path, uint32_t mode,
                    int* error) {
    if (const int e = Hooked(MemEnv::Op::kCreate, *start, path)) return Fail(error, e);
    const auto f = Walk(start, path, false, error);
    if (!f) return false;
    if (f->node) return Fail(error, EEXIST);
    if (!MayChange(*f->folder, error)) return false;
    Attach(*f->folder, f->name, NewNode(fs::Kind::kFolder, mode & ~umask));
    return true;
  }

  bool MakeLinkAt(const std::shared_ptr<Node>& start, const std::string& target,
                  const std::string& path, int* error) {
    if (target.find('\0') != std::string::npos) return Fail(error, EINVAL);
    if (target.empty()) return Fail(error, ENOENT);
    if (const int e = Hooked(MemEnv::Op::kCreate, *start, path)) return Fail(error, e);
    const auto f = Walk(start, path, false, error);
    if (!f) return false;
    if (f->node) return Fail(error, EEXIST);
    if (!MayChange(*f->folder, error)) return false;
    const auto link = NewNode(fs::Kind::kSymlink, 0777);
    link->data = target;
    Attach(*f->folder, f->name, link);
    return true;
  }

  static bool Inside(const Node* folder, const Node* top) {
    for (; folder; folder = folder->parent)
      if (folder == top) return true;
    return false;
  }

  bool RenameAt(const std::shared_ptr<Node>& start, const std::string& from, const std::string& to,
                bool replace, int* error) {
    if (const int e = Hooked(MemEnv::Op::kRename, CallPath(*start, from), CallPath(*start, to)))
      return Fail(error, e);
    const auto a = Walk(start, from, false, error);
    if (!a) return false;
    const auto b = Walk(start, to, false, error);
    if (!b) return false;
    if (IsDots(a->name) || IsDots(b->name)) return Fail(error, EBUSY);
    if (!a->node) return Fail(error, ENOENT);
    if (!MayChange(*a->folder, error) || !MayChange(*b->folder, error)) return false;
    if (b->node) {
      if (!replace) return Fail(error, EEXIST);
      if (b->node == a->node) return true;
      if (a->node->kind == fs::Kind::kFolder) {
        if (b->node->kind != fs::Kind::kFolder) return Fail(error, ENOTDIR);
        if (!b->node->entries.empty()) return Fail(error, ENOTEMPTY);
      } else if (b->node->kind == fs::Kind::kFolder) {
        return Fail(error, EISDIR);
      }
    }
    if (a->node->kind == fs::Kind::kFolder && Inside(b->folder.get(), a->node.get()))
      return Fail(error, EINVAL);
    const std::shared_ptr<Node> moving = a->node;
    if (b->node) Detach(*b->folder, b->name);
    Detach(*a->folder, a->name);
    Attach(*b->folder, b->name, moving);
    return true;
  }

  bool RemoveAt(const std::shared_ptr<Node>& start, const std::string& path, bool folder,
                int* error) {
    if (const int e = Hooked(MemEnv::Op::kRemove, *start, path)) return Fail(error, e);
    const auto f = Walk(start, path, false, error);
    if (!f) return false;
    if (f->name == ".") return Fail(error, folder ? EINVAL : EISDIR);
    if (f->name == "..") return Fail(error, folder ? ENOTEMPTY : EISDIR);
    if (!f->node) return Fail(error, ENOENT);
    if (folder && f->node->kind != fs::Kind::kFolder) return Fail(error, ENOTDIR);
    if (folder && !f->node->entries.empty()) return Fail(error, ENOTEMPTY);
    if (!folder && f->node->kind == fs::Kind::kFolder) return Fail(error, EISDIR);
    if (!MayChange(*f->folder, error)) return false;
    Detach(*f->folder, f->name);
    return true;
  }

  std::optional<FileStatus> StatusAt(const std::shared_ptr<Node>& start, const std::string& path,
                                     File::Links links, int* error) {
    if (const int e = Hooked(MemEnv::Op::kStatus, *start, path))
      return Fail(error, e), std::nullopt;
    const auto f = Walk(start, path, links == File::Links::kFollowed, error);
    if (!f) return std::nullopt;
    if (!f->node) return Fail(error, ENOENT), std::nullopt;
    return StatusOf(*f->node);
  }

  bool SetTimesAt(const std::shared_ptr<Node>& start, const std::string& path, int64_t seconds,
                  uint32_t nanoseconds, int* error) {
    if (const int e = Hooked(MemEnv::Op::kSetAttributes, *start, path)) return Fail(error, e);
    const auto f = Walk(start, path, false, error);
    if (!f) return false;
    if (!f->node) return Fail(error, ENOENT);
    if (!Owns(*f->node)) return Fail(error, EPERM);
    f->node->mtime = seconds;
    f->node->mtime_nsec = nanoseconds;
    Changed(*f->node);
    return true;
  }

  std::optional<std::string> ReadLinkAt(const std::shared_ptr<Node>& start, const std::string& path,
                                        int* error) {
    if (const int e = Hooked(MemEnv::Op::kStatus, *start, path))
      return Fail(error, e), std::nullopt;
    const auto f = Walk(start, path, false, error);
    if (!f) return std::nullopt;
    if (!f->node) return Fail(error, ENOENT), std::nullopt;
    if (f->node->kind != fs::Kind::kSymlink) return Fail(error, EINVAL), std::nullopt;
    return f->node->data;
  }

  std::optional<std::vector<std::string>> ListAt(const std::shared_ptr<Node>& start,
                                                 const std::string& path, int* error) {
    if (const int e = Hooked(MemEnv::Op::kList, *start, path)) return Fail(error, e), std::nullopt;
    const auto f = Walk(start, path, true, error);
    if (!f) return std::nullopt;
    if (!f->node) return Fail(error, ENOENT), std::nullopt;
    if (f->node->kind != fs::Kind::kFolder) return Fail(error, ENOTDIR), std::nullopt;
    if (!Allowed(*f->node, kMayRead)) return Fail(error, EACCES), std::nullopt;
    std::vector<std::string> names;
    for (const auto& [name, node] : f->node->entries)
      names.push_back(name);
    return names;
  }

  // The test's own tree building: throws what a lookup says, for the test to report.
  Found MustWalk(const std::string& path, bool follow) const {
    int error = 0;
    auto f = Walk(cwd, path, follow, &error);
    if (!f) throw std::runtime_error("MemEnv: " + path + ": " + platform::ErrorText(error));
    return std::move(*f);
  }
  std::shared_ptr<Node> MustExist(const std::string& path, bool follow) const {
    Found f = MustWalk(path, follow);
    if (!f.node) throw std::runtime_error("MemEnv: " + path + ": no such file or folder");
    return f.node;
  }
};

Node::~Node() {
  if (kind == fs::Kind::kFile) state.used -= data.size();
}

void Node::Resize(uint64_t size) {
  state.used = state.used - data.size() + size;
  data.resize(static_cast<size_t>(size));
}

bool Node::IsRoot() const {
  return this == state.root.get();
}

namespace {

// An open file or folder of a MemEnv. Like a file descriptor it keeps its node when the name
// goes away, and it reads and writes as it was opened to.
class MemFile final : public platform::FileObject {
 public:
  MemFile(std::shared_ptr<State> state, std::shared_ptr<Node> node, bool readable, bool writable)
      : state_(std::move(state)),
        node_(std::move(node)),
        readable_(readable),
        writable_(writable) {}
  ~MemFile() override {
    std::lock_guard lock(state_->mu);
    Unlock();
  }

  bool Close(int* error) override {
    std::lock_guard lock(state_->mu);
    if (closed_) return true;
    closed_ = true;
    const int e = Hooked(MemEnv::Op::kClose);
    Unlock();
    return e == 0 || Fail(error, e);
  }

  bool Status(FileStatus* status, int* error) const override {
    std::lock_guard lock(state_->mu);
    if (const int e = Hooked(MemEnv::Op::kStatus)) return Fail(error, e);
    *status = state_->StatusOf(*node_);
    return true;
  }

  int64_t Read(std::span<uint8_t> buf, int* error) override {
    std::lock_guard lock(state_->mu);
    if (const int e = Hooked(MemEnv::Op::kRead, position_)) return Fail(error, e), -1;
    const int64_t n = ReadFrom(position_, buf, /*short_before_fault=*/true, error);
    if (n > 0) position_ += static_cast<uint64_t>(n);
    return n;
  }

  int64_t ReadAt(uint64_t offset, std::span<uint8_t> buf, int* error) const override {
    std::lock_guard lock(state_->mu);
    if (const int e = Hooked(MemEnv::Op::kRead, offset)) return Fail(error, e), -1;
    // PosixEnv reads until the buffer is full: a fault on the way fails the whole read.
    return ReadFrom(offset, buf, /*short_before_fault=*/false, error);
  }

  bool WriteAll(std::span<const uint8_t> data, int* error) override {
    std::lock_guard lock(state_->mu);
    if (const int e = Hooked(MemEnv::Op::kWrite, position_)) return Fail(error, e);
    uint64_t written = 0;
    const bool ok = WriteFrom(position_, data, &written, error);
    position_ += written;
    return ok;
  }

  bool WriteAt(uint64_t offset, std::span<const uint8_t> data, int* error) override {
    std::lock_guard lock(state_->mu);
    if (const int e = Hooked(MemEnv::Op::kWrite, offset)) return Fail(error, e);
    uint64_t written = 0;
    return WriteFrom(offset, data, &written, error);
  }

  bool Seek(uint64_t offset, int* error) override {
    (void)error;
    std::lock_guard lock(state_->mu);
    position_ = offset;
    return true;
  }

  bool Truncate(uint64_t size, int* error) override {
    std::lock_guard lock(state_->mu);
    if (const int e = Hooked(MemEnv::Op::kWrite, size)) return Fail(error, e);
    if (!writable_) return Fail(error, EINVAL);
    node_->Resize(size);  // sparse, as on disk: a longer file takes no space it could lack
    state_->Touch(*node_);
    return true;
  }

  bool Sync(int* error) const override {
    std::lock_guard lock(state_->mu);
    const int e = Hooked(MemEnv::Op::kSync);
    return e == 0 || Fail(error, e);
  }
  bool SyncFileSystem(int* error) const override { return Sync(error); }

  bool TryLock(bool shared) override {
    std::lock_guard lock(state_->mu);
    Node& n = *node_;
    const bool others_exclusive = n.exclusive_holder && n.exclusive_holder != this;
    if (shared) {
      if (others_exclusive) return false;
      n.exclusive_holder = n.exclusive_holder == this ? nullptr : n.exclusive_holder;
      n.shared_holders.insert(this);
      return true;
    }
    const bool others_shared = n.shared_holders.size() > (n.shared_holders.count(this) ? 1u : 0u);
    if (others_exclusive || others_shared) return false;
    n.shared_holders.erase(this);
    n.exclusive_holder = this;
    return true;
  }

  bool SetMode(uint32_t mode, int* error) override {
    std::lock_guard lock(state_->mu);
    if (const int e = Hooked(MemEnv::Op::kSetAttributes)) return Fail(error, e);
    if (!state_->Owns(*node_)) return Fail(error, EPERM);
    node_->mode = mode & 07777;
    state_->Changed(*node_);
    return true;
  }

  bool SetModificationTime(int64_t seconds, uint32_t nanoseconds, int* error) override {
    std::lock_guard lock(state_->mu);
    if (const int e = Hooked(MemEnv::Op::kSetAttributes)) return Fail(error, e);
    if (!state_->Owns(*node_)) return Fail(error, EPERM);
    node_->mtime = seconds;
    node_->mtime_nsec = nanoseconds;
    state_->Changed(*node_);
    return true;
  }

  File OpenFolderIn(const std::string& name, int* error, File::Links links) const override {
    std::lock_guard lock(state_->mu);
    return state_->OpenFolderAt(node_, name, error, links);
  }
  File OpenFileIn(const std::string& name, int* error, File::Links links) const override {
    std::lock_guard lock(state_->mu);
    return state_->OpenFileAt(node_, name, error, links);
  }
  File CreateFileIn(const std::string& name, uint32_t mode, int* error) const override {
    std::lock_guard lock(state_->mu);
    return state_->CreateFileAt(node_, name, mode, error);
  }
  bool MakeFolderIn(const std::string& name, uint32_t mode, int* error) const override {
    std::lock_guard lock(state_->mu);
    return state_->MakeFolderAt(node_, name, mode, error);
  }
  bool MakeLinkIn(const std::string& target, const std::string& name, int* error) const override {
    std::lock_guard lock(state_->mu);
    return state_->MakeLinkAt(node_, target, name, error);
  }
  bool RenameIn(const std::string& from, const std::string& to, bool replace,
                int* error) const override {
    std::lock_guard lock(state_->mu);
    return state_->RenameAt(node_, from, to, replace, error);
  }
  bool RemoveIn(const std::string& name, bool folder, int* error) const override {
    std::lock_guard lock(state_->mu);
    return state_->RemoveAt(node_, name, folder, error);
  }
  bool StatusIn(const std::string& name, FileStatus* status, int* error,
                File::Links links) const override {
    std::lock_guard lock(state_->mu);
    const auto st = state_->StatusAt(node_, name, links, error);
    if (st) *status = *st;
    return st.has_value();
  }
  bool SetTimesIn(const std::string& name, int64_t seconds, uint32_t nanoseconds,
                  int* error) const override {
    std::lock_guard lock(state_->mu);
    return state_->SetTimesAt(node_, name, seconds, nanoseconds, error);
  }
  std::optional<std::string> ReadLinkIn(const std::string& name, int* error) const override {
    std::lock_guard lock(state_->mu);
    return state_->ReadLinkAt(node_, name, error);
  }
  std::optional<std::vector<std::string>> Names(int* error) const override {
    std::lock_guard lock(state_->mu);
    return state_->ListAt(node_, ".", error);
  }

 private:
  int Hooked(MemEnv::Op op, uint64_t offset = 0) const {
    return state_->Hooked(op, state_->PathOf(*node_), {}, offset);
  }

  void Unlock() {
    if (node_->exclusive_holder == this) node_->exclusive_holder = nullptr;
    node_->shared_holders.erase(this);
  }

  int64_t ReadFrom(uint64_t offset, std::span<uint8_t> buf, bool short_before_fault,
                   int* error) const {
    if (node_->kind == fs::Kind::kFolder) return Fail(error, EISDIR), -1;
    if (!readable_) return Fail(error, EBADF), -1;
    const uint64_t size = node_->data.size();
    uint64_t end = offset >= size ? offset : std::min<uint64_t>(size, offset + buf.size());
    if (const auto& fault = node_->read_fault; fault && end > fault->first) {
      if (!short_before_fault || offset >= fault->first) return Fail(error, fault->second), -1;
      end = fault->first;
    }
    const uint64_t n = end - offset;
    if (n) std::memcpy(buf.data(), node_->data.data() + offset, static_cast<size_t>(n));
    return static_cast<int64_t>(n);
  }

  // Writes what the space limit lets through; the count in *written, ENOSPC for the rest.
  bool WriteFrom(uint64_t offset, std::span<const uint8_t> data, uint64_t* written, int* error) {
    if (!writable_) return Fail(error, EBADF);
    const uint64_t size = node_->data.size();
    uint64_t fits = data.size();
    if (state_->limit && !state_->privileged && offset + fits > size) {
      const uint64_t room = *state_->limit > state_->used ? *state_->limit - state_->used : 0;
      const uint64_t end = size + room;
      fits = end > offset ? std::min<uint64_t>(fits, end - offset) : 0;
    }
    if (offset + fits > size) node_->Resize(offset + fits);
    if (fits) std::memcpy(node_->data.data() + offset, data.data(), static_cast<size_t>(fits));
    if (fits) state_->Touch(*node_);
    *written = fits;
    return fits == data.size() || Fail(error, ENOSPC);
  }

  const std::shared_ptr<State> state_;  // first: the node gives its bytes back to it
  const std::shared_ptr<Node> node_;
  const bool readable_, writable_;
  uint64_t position_ = 0;
  bool closed_ = false;
};

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back. Out-of-range
// days, hours, minutes and seconds carry over, as mktime lets them.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y += (m - 1 >= 0 ? m - 1 : m - 12) / 12;
  m = ((m - 1) % 12 + 12) % 12 + 1;
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

platform::BrokenDownTime CivilFromSeconds(int64_t t) {
  const int64_t days = (t >= 0 ? t : t - 86399) / 86400;
  const int64_t secs = t - days * 86400;
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(yoe + era * 400 + (month <= 2)),
          static_cast<int>(month),
          static_cast<int>(doy - (153 * mp + 2) / 5 + 1),
          static_cast<int>(secs / 3600),
          static_cast<int>(secs / 60 % 60),
          static_cast<int>(secs % 60)};
}

// The test's own tree building: every check off, no hooks, no space limit.
class Privileged {
 public:
  explicit Privileged(State& s) : state_(s), lock_(s.mu), before_(s.privileged) {
    state_.privileged = true;
  }
  ~Privileged() { state_.privileged = before_; }

 private:
  State& state_;
  std::lock_guard<std::recursive_mutex> lock_;
  const bool before_;
};

}  // namespace

File State::Opened(const std::shared_ptr<Node>& node, bool readable, bool writable) {
  return File(std::make_unique<MemFile>(shared_from_this(), node, readable, writable));
}

}  // namespace memenv_internal

using memenv_internal::Node;
using memenv_internal::Privileged;
using Lock = std::lock_guard<std::recursive_mutex>;
namespace fs = platform::fs;

MemEnv::MemEnv() : state_(std::make_shared<memenv_internal::State>()) {}
MemEnv::~MemEnv() = default;

bool MemEnv::SetCurrentFolder(const std::string& path) {
  Lock lock(state_->mu);
  const auto f = state_->Walk(state_->cwd, path, true, nullptr);
  if (!f || !f->node || f->node->kind != fs::Kind::kFolder) return false;
  state_->cwd = f->node;
  return true;
}

void MemEnv::SetNow(int64_t unix_seconds, uint32_t nanoseconds) {
  Lock lock(state_->mu);
  state_->now = unix_seconds;
  state_->now_nsec = nanoseconds;
}

void MemEnv::SetUtcOffset(int seconds) {
  Lock lock(state_->mu);
  state_->utc_offset = seconds;
}

void MemEnv::SetUser(uint32_t uid, uint32_t gid) {
  Lock lock(state_->mu);
  state_->uid = uid;
  state_->gid = gid;
}

void MemEnv::SetSuperUser(bool on) {
  Lock lock(state_->mu);
  state_->superuser = on;
}

void MemEnv::SetUmask(uint32_t umask) {
  Lock lock(state_->mu);
  state_->umask = umask & 0777;
}

void MemEnv::SetProgramFolder(const std::string& path) {
  Lock lock(state_->mu);
  state_->program_folder = path;
}

void MemEnv::WriteFile(const std::string& path, std::string_view data, uint32_t mode) {
  Privileged p(*state_);
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) MakeFolders(path.substr(0, slash));
  const auto f = state_->MustWalk(path, true);
  std::shared_ptr<Node> node = f.node;
  if (!node) {
    node = state_->NewNode(fs::Kind::kFile, mode);
    state_->Attach(*f.folder, f.name, node);
  } else if (node->kind != fs::Kind::kFile) {
    throw std::runtime_error("MemEnv: " + path + ": not a file");
  }
  node->Resize(data.size());
  std::copy(data.begin(), data.end(), node->data.begin());
  node->mode = mode & 07777;
  state_->Touch(*node);
}

void MemEnv::MakeFolders(const std::string& path, uint32_t mode) {
  Privileged p(*state_);
  std::string prefix = !path.empty() && path[0] == '/' ? "" : ".";
  for (const auto& part : memenv_internal::Split(path)) {
    prefix += "/" + part;
    const auto f = state_->MustWalk(prefix, true);
    if (!f.node) {
      state_->Attach(*f.folder, f.name, state_->NewNode(fs::Kind::kFolder, mode));
    } else if (f.node->kind != fs::Kind::kFolder) {
      throw std::runtime_error("MemEnv: " + prefix + ": not a folder");
    }
  }
}

void MemEnv::MakeLink(const std::string& target, const std::string& path) {
  Privileged p(*state_);
  int error = 0;
  if (!state_->MakeLinkAt(state_->cwd, target, path, &error))
    throw std::runtime_error("MemEnv: " + path + ": " + platform::ErrorText(error));
}

void MemEnv::MakeSpecialFile(const std::string& path) {
  Privileged p(*state_);
  const auto f = state_->MustWalk(path, false);
  if (f.node) throw std::runtime_error("MemEnv: " + path + ": exists");
  state_->Attach(*f.folder, f.name, state_->NewNode(fs::Kind::kOther, 0644));
}

void MemEnv::SetTime(const std::string& path, int64_t seconds, uint32_t nanoseconds) {
  Privileged p(*state_);
  const auto node = state_->MustExist(path, false);
  node->mtime = seconds;
  node->mtime_nsec = nanoseconds;
  state_->Changed(*node);
}

void MemEnv::SetModeOf(const std::string& path, uint32_t mode) {
  Privileged p(*state_);
  const auto node = state_->MustExist(path, false);
  node->mode = mode & 07777;
  state_->Changed(*node);
}

std::optional<std::string> MemEnv::ReadFile(const std::string& path) {
  Privileged p(*state_);
  const auto f = state_->Walk(state_->cwd, path, true, nullptr);
  if (!f || !f->node || f->node->kind != fs::Kind::kFile) return std::nullopt;
  return f->node->data;
}

std::map<std::string, MemEnv::NodeInfo> MemEnv::Tree(const std::string& folder) {
  Privileged p(*state_);
  std::map<std::string, NodeInfo> out;
  const std::function<void(const Node&, const std::string&)> add = [&](const Node& dir,
                                                                       const std::string& prefix) {
    for (const auto& [name, node] : dir.entries) {
      const std::string path = prefix + name;
      out[path] = {node->kind, node->mode, node->mtime, node->mtime_nsec,
                   node->kind == fs::Kind::kFolder ? std::string() : node->data};
      if (node->kind == fs::Kind::kFolder) add(*node, path + "/");
    }
  };
  const auto top = state_->MustExist(folder, true);
  if (top->kind == fs::Kind::kFolder) add(*top, "");
  return out;
}

void PrintTo(const MemEnv::NodeInfo& n, std::ostream* os) {
  static const char* const kKinds[] = {"missing", "file", "folder", "link", "other"};
  *os << "{" << kKinds[static_cast<int>(n.kind)] << " " << std::oct << n.mode << std::dec << " "
      << n.mtime << "." << std::setw(9) << std::setfill('0') << n.mtime_nsec << std::setfill(' ');
  if (!n.data.empty())
    *os << " \"" << (n.data.size() > 40 ? n.data.substr(0, 40) + "..." : n.data) << "\" ("
        << n.data.size() << " bytes)";
  *os << "}";
}

void MemEnv::SetSpaceLimit(std::optional<uint64_t> bytes) {
  Lock lock(state_->mu);
  state_->limit = bytes;
}

uint64_t MemEnv::UsedSpace() {
  Lock lock(state_->mu);
  return state_->used;
}

void MemEnv::FailReads(const std::string& path, uint64_t offset, int error) {
  Privileged p(*state_);
  state_->MustExist(path, true)->read_fault = std::make_pair(offset, error);
}

void MemEnv::AddHook(Hook hook) {
  Lock lock(state_->mu);
  state_->hooks.push_back(std::move(hook));
}

platform::File MemEnv::OpenFolder(const std::string& path, int* error,
                                  platform::File::Links links) {
  Lock lock(state_->mu);
  return state_->OpenFolderAt(state_->cwd, path, error, links);
}

platform::File MemEnv::OpenFile(const std::string& path, int* error, platform::File::Links links) {
  Lock lock(state_->mu);
  return state_->OpenFileAt(state_->cwd, path, error, links);
}

platform::File MemEnv::CreateFile(const std::string& path, uint32_t mode, int* error) {
  Lock lock(state_->mu);
  return state_->CreateFileAt(state_->cwd, path, mode, error);
}

platform::File MemEnv::OpenForWriting(const std::string& path, uint32_t mode, int* error) {
  Lock lock(state_->mu);
  return state_->OpenForWritingAt(state_->cwd, path, mode, error);
}

std::optional<platform::FileStatus> MemEnv::Status(const std::string& path,
                                                   platform::File::Links links, int* error) {
  Lock lock(state_->mu);
  return state_->StatusAt(state_->cwd, path, links, error);
}

std::optional<std::string> MemEnv::ReadLink(const std::string& path, int* error) {
  Lock lock(state_->mu);
  return state_->ReadLinkAt(state_->cwd, path, error);
}

std::optional<std::vector<std::string>> MemEnv::ListFolder(const std::string& path, int* error) {
  Lock lock(state_->mu);
  return state_->ListAt(state_->cwd, path, error);
}

bool MemEnv::MakeFolder(const std::string& path, uint32_t mode, int* error) {
  Lock lock(state_->mu);
  return state_->MakeFolderAt(state_->cwd, path, mode, error);
}

bool MemEnv::Remove(const std::string& path, int* error) {
  Lock lock(state_->mu);
  return state_->RemoveAt(state_->cwd, path, false, error);
}

std::optional<std::string> MemEnv::RealPath(const std::string& path) {
  Lock lock(state_->mu);
  const auto f = state_->Walk(state_->cwd, path, true, nullptr);
  if (!f || !f->node) return std::nullopt;
  std::string real = state_->PathOf(*f->node);
  if (real.empty()) return std::nullopt;
  return real;
}

std::string MemEnv::NameRefusal(std::string_view name) {
  return refuse_windows_names_ ? platform::winpath::WhyWindowsMisreads(name)
                               : Env::NameRefusal(name);
}

std::string MemEnv::ProgramFolder() {
  Lock lock(state_->mu);
  return state_->program_folder;
}

uint32_t MemEnv::NewFileMode() {
  Lock lock(state_->mu);
  return 0666 & ~state_->umask;
}

int64_t MemEnv::Now() {
  Lock lock(state_->mu);
  return state_->now;
}

platform::BrokenDownTime MemEnv::ToLocalTime(int64_t unix_seconds) {
  Lock lock(state_->mu);
  return memenv_internal::CivilFromSeconds(unix_seconds + state_->utc_offset);
}

int64_t MemEnv::FromLocalTime(const platform::BrokenDownTime& local) {
  Lock lock(state_->mu);
  const int64_t days = memenv_internal::DaysFromCivil(local.year, local.month, local.day);
  return days * 86400 + local.hour * 3600 + local.minute * 60 + local.second - state_->utc_offset;
}

platform::LibraryHandle MemEnv::LoadLibrary(const std::string& path) {
  return platform::Env::Default().LoadLibrary(path);
}

void* MemEnv::FindFunction(platform::LibraryHandle library, const char* name) {
  return platform::Env::Default().FindFunction(library, name);
}

}  // namespace testing_support
