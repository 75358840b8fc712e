#include "copier.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/staged_file.h"
#include "platform/winpath.h"

namespace platform {
namespace {

constexpr std::string_view kTemporaryTag = "quillory";
using Links = File::Links;

// Splits a list of NUL-ended paths that ends with an empty one.
std::vector<std::string> SplitPathList(const std::string& list) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < list.size()) {
    const size_t end = list.find('\0', i);
    std::string item = list.substr(i, end == std::string::npos ? std::string::npos : end - i);
    if (item.empty()) break;
    out.push_back(std::move(item));
    if (end == std::string::npos) break;
    i = end + 1;
  }
  return out;
}

std::string ResolveReason(fs::ResolveStatus s) {
  return s == fs::ResolveStatus::kAmbiguous
             ? "the name matches several names that differ only in case"
             : "no such file or folder";
}

// Removes what killed copies left in a destination folder. A copy job calls the copier once per
// entry, all into one folder: that folder is swept once per process, not once per call.
void SweepOncePerProcess(const File& folder) {
  static std::mutex mutex;
  static std::set<std::pair<uint64_t, uint64_t>> swept;
  FileStatus st;
  if (!folder.Status(&st)) return;
  {
    std::lock_guard lock(mutex);
    if (!swept.insert({st.device, st.inode}).second) return;
  }
  SweepStagedFiles(folder, kTemporaryTag);
}

// Whether `inner` is the folder `outer` or lies below it, found by climbing from `inner` to the
// root: no path text is trusted, so links and other spellings cannot hide it.
bool IsSameOrBelow(const File& inner, const FileStatus& outer) {
  File at = inner.OpenFolderIn(".", nullptr);
  for (int depth = 0; depth < 4096 && at.is_open(); ++depth) {
    FileStatus here, up;
    if (!at.Status(&here)) return false;
    if (here.SameFileAs(outer)) return true;
    File parent = at.OpenFolderIn("..", nullptr);
    if (!parent.is_open() || !parent.Status(&up) || up.SameFileAs(here)) return false;
    at = std::move(parent);
  }
  return false;
}

class Copier {
 public:
  explicit Copier(fs::Resolver& resolver) : env_(resolver.env()), resolver_(resolver) {}
  int32_t failures() const { return failures_; }

  // Resolves the destination folder, making the missing levels; empty: the current folder.
  bool OpenDestination(const std::string& dest) {
    int error = 0;
    const fs::Resolution r = resolver_.MakeFolders(dest, &error);
    if (r.status != fs::ResolveStatus::kFound) {
      Fail(dest, error ? "cannot create the folder: " + ErrorText(error)
                 : r.status == fs::ResolveStatus::kAmbiguous ? ResolveReason(r.status)
                                                             : "the destination is not a folder");
      return false;
    }
    dest_path_ = r.path;
    dest_ = std::make_shared<File>(env_.OpenFolder(r.path, &error));
    if (!dest_->is_open()) {
      Fail(r.path, "cannot open the folder: " + ErrorText(error));
      return false;
    }
    SweepOncePerProcess(*dest_);
    return true;
  }

  // Copies one source (a path or a pattern, Windows syntax) into the destination.
  void CopySource(const std::string& source) {
    const auto pp = winpath::Parse(source);
    if (!pp.parts.empty() && winpath::HasWildcards(pp.parts.back())) {
      const fs::PatternMatches m = resolver_.MatchPattern(source);
      if (m.status != fs::ResolveStatus::kFound) return Fail(source, ResolveReason(m.status));
      if (m.names.empty()) return Fail(source, "no file matches");
      for (const auto& name : m.names)
        CopyTopLevel(m.dir, name);
      return;
    }
    const fs::Resolution r = resolver_.ResolveExisting(source);
    if (r.status != fs::ResolveStatus::kFound) return Fail(source, ResolveReason(r.status));
    std::string path = r.path;
    const size_t slash = path.rfind('/');
    const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    if (last == "." || last == "..") {  // the folder's own name is wanted, not "." or ".."
      path = env_.RealPath(path).value_or("");
      if (path.empty() || path == "/")
        return Fail(source, "the root folder cannot be copied as an entry");
      const size_t s = path.rfind('/');
      return CopyTopLevel(s == 0 ? "/" : path.substr(0, s), path.substr(s + 1));
    }
    // The name is the entry's own, never its target's: a link named here lands under its name.
    CopyTopLevel(slash == std::string::npos ? "" : path.substr(0, slash), last);
  }

  // Ends the copy: the replacements still waiting take their places, the folders get their
  // modes and times (last, since every name written into a folder changes its time), and what
  // the copy wrote is on the disk before it reports success.
  void Finish() {
    if (!dest_) return;
    PlaceReplacements();
    std::stable_sort(
        folders_.begin(), folders_.end(),
        [](const FolderToFinish& a, const FolderToFinish& b) { return a.depth > b.depth; });
    for (const auto& f : folders_) {
      int error = 0;
      File d = env_.OpenFolder(f.path, &error, Links::kNotFollowed);
      if (!d.is_open() || !d.SetMode(f.status.mode & 07777, &error) ||
          !d.SetModificationTime(f.status.mtime, f.status.mtime_nsec, &error))
        FailWith(f.path, "cannot set the folder's permissions or time", error);
    }
    int error = 0;
    if (!dest_->SyncFileSystem(&error))
      Fail(dest_path_, "cannot flush the copies to the disk: " + ErrorText(error));
  }

 private:
  using Folder = std::shared_ptr<const File>;

  void Fail(const std::string& path, const std::string& reason) {
    Note(path, reason);
    if (failures_ < INT32_MAX) ++failures_;
  }
  static void Note(const std::string& path, const std::string& reason) {
    process::WriteStandardError("quillory: " + path + ": " + reason + "\n");
  }
  void FailWith(const std::string& path, const std::string& what, int error) {
    Fail(path, what + ": " + ErrorText(error));
  }

  // `src_dir` is empty for the current folder.
  void CopyTopLevel(const std::string& src_dir, const std::string& name) {
    int error = 0;
    const File sdir = env_.OpenFolder(src_dir.empty() ? "." : src_dir, &error);
    if (!sdir.is_open()) return FailWith(src_dir, "cannot open the folder", error);
    CopyEntry(sdir, src_dir, name, dest_, dest_path_, Links::kFollowed, 0);
  }

  void CopyEntry(const File& sdir, const std::string& spath, const std::string& name,
                 const Folder& ddir, const std::string& dpath, Links links, size_t depth) {
    const std::string src = fs::Join(spath, name);
    FileStatus st;
    int error = 0;
    // An entry named by the user counts as what its link points to; a link that points nowhere
    // is still copied, as a link.
    if (!sdir.StatusIn(name, &st, &error, links) &&
        (links == Links::kNotFollowed || !sdir.StatusIn(name, &st, &error)))
      return FailWith(src, "cannot read", error);
    switch (st.kind) {
      case fs::Kind::kFile:
        return CopyFile(sdir, src, name, ddir, dpath, links);
      case fs::Kind::kFolder:
        return CopyFolder(sdir, src, name, st, *ddir, dpath, links, depth);
      case fs::Kind::kSymlink:
        return CopyLink(sdir, src, name, *ddir, dpath);
      default:
        // FIFOs, devices and sockets hold no data to back up. Met inside a folder they are left
        // out with a note; named by the job itself, they are an error.
        if (links == Links::kFollowed) return Fail(src, "not a regular file, folder or link");
        return Note(src, "not a regular file, folder or link; left out");
    }
  }

  void CopyFile(const File& sdir, const std::string& src, const std::string& name,
                const Folder& ddir, const std::string& dpath, Links links) {
    const std::string dst = fs::Join(dpath, name);
    int error = 0;
    File in = sdir.OpenFileIn(name, &error, links);
    FileStatus st;
    if (!in.is_open() || !in.Status(&st, &error)) return FailWith(src, "cannot open", error);
    FileStatus old;
    const bool exists = ddir->StatusIn(name, &old);
    if (exists && old.kind == fs::Kind::kFolder)
      return Fail(dst, "a folder of that name is in the way");
    if (exists && old.SameFileAs(st)) return;  // the file onto itself: nothing to do

    // Written beside its final name and renamed into place when complete: a kill or a failure
    // never leaves a torn file under the final name, nor the old copy destroyed.
    StagedFile copy;
    if (!copy.Create(*ddir, name, kTemporaryTag, 0600, &error))
      return FailWith(dst, "cannot create a file beside it", error);
    if (!in.CopyDataTo(copy.file(), &error) || !copy.file().SetMode(st.mode & 07777, &error) ||
        !copy.file().SetModificationTime(st.mtime, st.mtime_nsec, &error))
      return FailWith(dst, "cannot write", error);
    if (!exists) {
      if (!copy.Commit(StagedFile::Placement::kNew, &error)) FailWith(dst, "cannot write", error);
      return;
    }
    // A replacement must be on the disk before it drops the old copy. One sync for a batch of
    // them rather than one per file: a second backup on the same day replaces every file.
    pending_.push_back({ddir, std::move(copy), dst});
    if (pending_.size() >= kReplacementBatch) PlaceReplacements();
  }

  void PlaceReplacements() {
    if (pending_.empty()) return;
    int error = 0;
    const bool synced = dest_->SyncFileSystem(&error);
    for (auto& p : pending_) {
      if (!synced) {
        FailWith(p.shown, "cannot flush the copy to the disk", error);
      } else if (!p.staged.Commit(StagedFile::Placement::kReplaceSynced, &error)) {
        FailWith(p.shown, "cannot write", error);
      }
    }
    pending_.clear();  // what was not placed goes with its staged file
  }

  void CopyFolder(const File& sdir, const std::string& src, const std::string& name,
                  const FileStatus& st, const File& ddir, const std::string& dpath, Links links,
                  size_t depth) {
    const std::string dst = fs::Join(dpath, name);
    int error = 0;
    File s = sdir.OpenFolderIn(name, &error, links);
    if (!s.is_open()) return FailWith(src, "cannot open the folder", error);
    if (links == Links::kFollowed && IsSameOrBelow(ddir, st))
      return Fail(src, "a folder cannot be copied into itself or a folder below it");
    if (!ddir.MakeFolderIn(name, 0700, &error)) {
      FileStatus old;
      if (!IsExistsError(error)) return FailWith(dst, "cannot create the folder", error);
      if (!ddir.StatusIn(name, &old) || old.kind != fs::Kind::kFolder)
        return Fail(dst, "something that is not a folder is in the way");
    }
    auto d = std::make_shared<File>(ddir.OpenFolderIn(name, &error));
    if (!d->is_open()) return FailWith(dst, "cannot open the folder", error);
    OpenForMerge(*d);
    SweepStagedFiles(*d, kTemporaryTag);  // what killed runs left in this folder
    const auto names = s.Names(&error);
    if (!names) return FailWith(src, "cannot list the folder", error);
    for (const std::string& n : *names)
      CopyEntry(s, src, n, d, dst, Links::kNotFollowed, depth + 1);
    folders_.push_back({dst, st, depth});
  }

  void CopyLink(const File& sdir, const std::string& src, const std::string& name, const File& ddir,
                const std::string& dpath) {
    const std::string dst = fs::Join(dpath, name);
    int error = 0;
    const auto target = sdir.ReadLinkIn(name, &error);
    if (!target) return FailWith(src, "cannot read the link", error);
    FileStatus old, st;
    if (ddir.StatusIn(name, &old) && old.kind == fs::Kind::kFolder)
      return Fail(dst, "a folder of that name is in the way");
    // Made under a temporary name and renamed over what is there, so an old copy of the link
    // is replaced in one step.
    const std::string temp = StagedName(name, kTemporaryTag);
    if (!ddir.MakeLinkIn(*target, temp, &error) || !ddir.RenameIn(temp, name, true, &error)) {
      ddir.RemoveIn(temp);
      return FailWith(dst, "cannot create the link", error);
    }
    if (sdir.StatusIn(name, &st)) ddir.SetTimesIn(name, st.mtime, st.mtime_nsec);
  }

  // A copy of a read-only folder is read-only as well, which would keep the next run from
  // merging into it. Its own mode is given back when the copy finishes.
  static void OpenForMerge(File& dir) {
    FileStatus now;
    constexpr uint32_t kOwnerAll = 0700;
    if (dir.Status(&now) && (now.mode & kOwnerAll) != kOwnerAll)
      dir.SetMode((now.mode & 07777) | kOwnerAll);  // not the owner: the writes report it
  }

  // A replacement written, waiting for the sync that lets it drop the old copy. Its folder stays
  // open with it; a batch keeps the number of open files well within the process's limit.
  struct Pending {
    Folder folder;
    StagedFile staged;
    std::string shown;
  };
  static constexpr size_t kReplacementBatch = 256;

  // A folder copied, and the mode and time its copy gets once everything is in.
  struct FolderToFinish {
    std::string path;
    FileStatus status;
    size_t depth;
  };

  Env& env_;
  fs::Resolver& resolver_;
  std::shared_ptr<File> dest_;
  std::string dest_path_;
  std::vector<Pending> pending_;
  std::vector<FolderToFinish> folders_;
  int32_t failures_ = 0;
};

}  // namespace

int32_t RunFileOperation(fs::Resolver& resolver, SHFILEOPSTRUCTA& op) {
  Copier copier(resolver);
  const auto sources = SplitPathList(op.pFrom);
  const auto targets = SplitPathList(op.pTo);
  if (op.wFunc != FO_COPY || sources.empty() || targets.size() > 1) return 1;
  if (copier.OpenDestination(targets.empty() ? std::string() : targets[0])) {
    for (const auto& source : sources)
      copier.CopySource(source);
    copier.Finish();
  }
  return copier.failures();
}

}  // namespace platform
