// x and e: extraction, confined to its destination folder.
//
// Every folder on the way to an entry is opened without following links, so neither a link in
// the destination nor one the archive has just made can lead a write elsewhere. Absolute names
// lose their root; names with "..", names the system would misread (Env::NameRefusal) and links
// whose targets lead out are refused.
#include <algorithm>
#include <set>

#include "command/archive_file.h"
#include "command/archive_io.h"
#include "command/commands.h"
#include "command/entry_data.h"
#include "command/local_time.h"
#include "format/listing.h"
#include "platform/fs.h"
#include "platform/staged_file.h"
#include "platform/winpath.h"

namespace lha::command {
namespace {

namespace fs = platform::fs;
using Components = std::vector<std::string>;

constexpr std::string_view kTemporaryTag = "unlha";

struct Refusal {
  int32_t code;
  std::string reason;
};

// The entry's path made safe to use below the destination, or the reason it cannot be.
std::optional<Components> SafePath(const format::EntryHeader& e, bool flat, std::string* reason) {
  Components out;
  for (const auto& c : e.path) {
    if (c == ".") continue;
    if (c == "..") {
      *reason = "a name with \"..\" would lead out of the destination";
      return std::nullopt;
    }
    out.push_back(c);
  }
  if (out.empty()) {
    *reason = "an entry without a name";
    return std::nullopt;
  }
  if (flat) out.erase(out.begin(), out.end() - 1);
  return out;
}

// Whether a link at `link_path` pointing at `target` stays inside the destination. ".." counts
// only at the start of the target, where it climbs the real folders the link was made in: after
// a name it climbs from wherever that name leads, and the name may be a link, extracted before
// or after this one ("b" -> "." makes "b/.." the destination's parent).
bool LinkStaysInside(const Components& link_path, const std::string& target) {
  if (target.empty() || target[0] == '/') return false;
  size_t depth = link_path.size() - 1;
  bool after_name = false;
  std::vector<std::string> parts;
  format::SplitPath(target, parts);
  for (const auto& p : parts) {
    if (p == ".") continue;
    if (p != "..") {
      after_name = true;
    } else if (after_name || depth == 0) {
      return false;
    } else {
      --depth;
    }
  }
  return true;
}

uint32_t ModeFor(const format::EntryHeader& e) {
  if (e.unix_mode) return *e.unix_mode & 0777;
  if (e.kind == format::EntryKind::kDirectory) return 0755;
  return (format::EffectiveMsdosAttribute(e) & 0x01) ? 0444 : 0644;
}

class Extractor {
 public:
  Extractor(platform::Env& env, const CommandLine& cmd, OutputLog& log, Progress& progress)
      : env_(env), cmd_(cmd), log_(log), progress_(progress), local_(SystemLocalTime(env)) {}

  int32_t Run() {
    std::optional<OpenArchive> archive = OpenArchive::Open(env_, cmd_.archive, LockMode::kShared);
    if (!archive) throw Error(UNLHA_ERROR_ARC_FILE_OPEN, cmd_.archive + ": no such archive");
    format::ArchiveReader reader = archive->Reader();  // no archive, no destination made
    root_ = OpenDestination();
    TellTotal(archive->source(), cmd_, progress_);
    log_.Line("Extracting " + archive->posix_path());
    try {
      while (auto e = NextEntry(reader)) {
        if (EntrySelected(cmd_, *e)) Extract(archive->source(), *e);
      }
    } catch (const Error& ex) {  // damage further on: what came before stays extracted
      Problem(ex.code(), ex.what());
    }
    FinishFolders();
    log_.Line(std::to_string(extracted_) + " extracted, " + std::to_string(failures_.count()) +
              " failed.");
    return failures_.first_code();
  }

 private:
  // The next entry, passing over (and reporting) entries refused alone, so that everything
  // whole in a damaged archive is still restored.
  std::optional<format::EntryHeader> NextEntry(format::ArchiveReader& reader) {
    while (true) {
      try {
        return reader.Next();
      } catch (const Error& ex) {
        if (reader.failed()) throw;
        Problem(ex.code(), ex.what());
      }
    }
  }

  platform::File OpenDestination() {
    const std::string dest = cmd_.base.empty() ? "." : cmd_.base;
    int error = 0;
    const fs::Resolution r = fs::MakeFolders(env_, dest, &error);
    if (r.status != fs::ResolveStatus::kFound) {
      throw Error(UNLHA_ERROR_MAKE_DIRECTORY, dest + ": the destination cannot be made" +
                                                  (error ? ": " + platform::ErrorText(error)
                                                         : std::string(", or is no folder")));
    }
    // The user may name a link to a folder: "/." makes it a folder on the way, followed like
    // any; the links below it are never followed.
    platform::File root = env_.OpenFolder(r.path, &error);
    if (!root.is_open())
      throw Error(UNLHA_ERROR_MAKE_DIRECTORY, dest + ": " + platform::ErrorText(error));
    return root;
  }

  // Opens (making what is missing) the folders of `path` below the destination.
  std::optional<platform::File> OpenParent(const Components& path, const std::string& shown) {
    platform::File dir = RootCopy();
    for (size_t i = 0; i + 1 < path.size() && dir.is_open(); ++i) {
      int error = 0;
      platform::File next = dir.OpenFolderIn(path[i], &error);
      if (!next.is_open() && platform::IsMissingError(error) &&
          dir.MakeFolderIn(path[i], 0777, &error)) {
        next = dir.OpenFolderIn(path[i], &error);
      }
      if (!next.is_open()) {
        Problem(UNLHA_ERROR_MAKE_DIRECTORY,
                shown + ": the folder " + path[i] +
                    " cannot be made, or is a link: " + platform::ErrorText(error));
        return std::nullopt;
      }
      dir = std::move(next);
    }
    if (!dir.is_open()) return std::nullopt;
    SweepOnce(dir);
    return dir;
  }

  // Removes what killed extractions left in a folder, the first time an entry goes there.
  void SweepOnce(const platform::File& dir) {
    platform::FileStatus st;
    if (!dir.Status(&st) || !swept_.insert({st.device, st.inode}).second) return;
    platform::SweepStagedFiles(dir, kTemporaryTag);
  }

  platform::File RootCopy() { return root_.OpenFolderIn(".", nullptr); }

  void Extract(RandomAccessSource& archive, const format::EntryHeader& e) {
    const bool flat = cmd_.command == Command::kExtractFlat;
    if (flat && e.kind == format::EntryKind::kDirectory) return;
    const std::string shown = e.JoinedPath('/');
    progress_.Entry(shown, DataSize(e));
    // A folder entry naming no folder (some writers mark the top this way) has nothing to make.
    if (e.kind == format::EntryKind::kDirectory &&
        std::all_of(e.path.begin(), e.path.end(), [](const std::string& c) { return c == "."; }))
      return;
    std::string reason;
    const auto path = SafePath(e, flat, &reason);
    if (!path) return Problem(UNLHA_ERROR_FILE_OPEN, shown + ": " + reason);
    for (const auto& c : *path) {
      // A name this system would take for something else is never made, like a ".." one.
      if (const std::string refusal = env_.NameRefusal(c); !refusal.empty())
        return Problem(UNLHA_ERROR_FILE_OPEN, shown + ": " + refusal);
    }
    if (e.kind == format::EntryKind::kFile && !CanUnpack(e)) {
      return Problem(UNLHA_ERROR_METHOD,
                     shown + ": method " + std::string(e.method_id()) + " cannot be unpacked");
    }
    if (e.kind == format::EntryKind::kSymlink && !LinkStaysInside(*path, e.symlink_target))
      return Problem(UNLHA_ERROR_FILE_OPEN, shown + ": the link leads out of the destination");

    auto parent = OpenParent(*path, shown);
    if (!parent) return;
    const std::string& name = path->back();
    platform::FileStatus existing;
    const bool exists = parent->StatusIn(name, &existing);
    const auto mtime = format::ModificationTime(e, local_);

    if (e.kind == format::EntryKind::kDirectory) {
      int error = 0;
      if (exists && existing.kind != fs::Kind::kFolder)
        return Problem(UNLHA_ERROR_MAKE_DIRECTORY, shown + ": something else is in the way");
      if (!exists && !parent->MakeFolderIn(name, 0700, &error))
        return Problem(UNLHA_ERROR_MAKE_DIRECTORY, shown + ": " + platform::ErrorText(error));
      folders_.push_back({*path, ModeFor(e), mtime});
      ++extracted_;
      return;
    }
    if (exists) {
      if (existing.kind == fs::Kind::kFolder)
        return Problem(UNLHA_ERROR_ALREADY_EXIST, shown + ": a folder of that name is in the way");
      if (!cmd_.switches.overwrite)
        return Problem(UNLHA_ERROR_ALREADY_EXIST, shown + ": exists; not replaced (-w1 replaces)");
    }
    if (e.kind == format::EntryKind::kSymlink)
      return WriteLink(*parent, name, e, exists, mtime, shown);
    WriteFile(archive, *parent, name, e, exists, mtime, shown);
  }

  void WriteLink(platform::File& dir, const std::string& name, const format::EntryHeader& e,
                 bool exists, std::optional<int64_t> mtime, const std::string& shown) {
    const std::string temp = exists ? platform::StagedName(name, kTemporaryTag) : name;
    int error = 0;
    if (!dir.MakeLinkIn(e.symlink_target, temp, &error) ||
        (exists && !dir.RenameIn(temp, name, /*replace=*/true, &error))) {
      if (exists) dir.RemoveIn(temp);
      return Problem(UNLHA_ERROR_CANNOT_WRITE, shown + ": " + platform::ErrorText(error));
    }
    if (mtime) dir.SetTimesIn(name, *mtime, 0);
    ++extracted_;
    log_.Line("  " + shown + " -> " + e.symlink_target);
  }

  void WriteFile(RandomAccessSource& archive, platform::File& dir, const std::string& name,
                 const format::EntryHeader& e, bool exists, std::optional<int64_t> mtime,
                 const std::string& shown) {
    // Written beside its final name and put in place only when complete and checked: neither a
    // failure nor a kill leaves a torn file under the name, or the file it replaces destroyed.
    platform::StagedFile staged;
    int error = 0;
    if (!staged.Create(dir, name, kTemporaryTag, 0600, &error))
      return Problem(UNLHA_ERROR_FILE_OPEN, shown + ": " + platform::ErrorText(error));
    platform::File& out = staged.file();
    try {
      uint64_t done = 0;
      UnpackEntry(archive, e, [&](std::span<const uint8_t> data) {
        int write_error = 0;
        if (!out.WriteAll(data, &write_error))
          throw Error(WriteErrorCode(write_error), platform::ErrorText(write_error));
        progress_.EntryDone(done += data.size());
      });
      out.SetMode(ModeFor(e));
      if (mtime) out.SetModificationTime(*mtime, 0);
      using Placement = platform::StagedFile::Placement;
      if (!staged.Commit(exists ? Placement::kReplace : Placement::kNew, &error)) {
        throw Error(
            platform::IsExistsError(error) ? UNLHA_ERROR_ALREADY_EXIST : WriteErrorCode(error),
            platform::ErrorText(error));
      }
    } catch (const Error& ex) {
      // The staged file goes with `staged`: nothing half-written or unchecked stays behind.
      if (ex.code() == UNLHA_ERROR_ARC_READ) throw;
      return Problem(ex.code(), shown + ": " + ex.what());
    }
    ++extracted_;
    log_.Line("  " + shown + " (" + std::to_string(e.original_size) + ")");
  }

  // Folders get their permissions and times last: writing into them changed their times, and
  // a read-only folder would have refused its files.
  void FinishFolders() {
    std::sort(folders_.begin(), folders_.end(),
              [](const Folder& a, const Folder& b) { return a.path.size() > b.path.size(); });
    for (const auto& f : folders_) {
      auto parent = OpenParentQuietly(f.path);
      if (!parent) continue;
      platform::File self = parent->OpenFolderIn(f.path.back(), nullptr);
      if (!self.is_open()) continue;
      self.SetMode(f.mode);
      if (f.mtime) self.SetModificationTime(*f.mtime, 0);
    }
  }

  std::optional<platform::File> OpenParentQuietly(const Components& path) {
    platform::File dir = RootCopy();
    for (size_t i = 0; i + 1 < path.size(); ++i) {
      dir = dir.OpenFolderIn(path[i], nullptr);
      if (!dir.is_open()) return std::nullopt;
    }
    return dir;
  }

  void Problem(int32_t code, const std::string& message) { failures_.Add(code, message); }

  struct Folder {
    Components path;
    uint32_t mode;
    std::optional<int64_t> mtime;
  };

  platform::Env& env_;
  const CommandLine& cmd_;
  OutputLog& log_;
  Progress& progress_;
  format::LocalTime local_;
  platform::File root_;
  std::vector<Folder> folders_;
  std::set<std::pair<uint64_t, uint64_t>> swept_;  // folders (device, inode) swept already
  Failures failures_{log_};
  size_t extracted_ = 0;
};

}  // namespace

int32_t RunExtract(platform::Env& env, const CommandLine& cmd, OutputLog& log, Progress& progress) {
  return Extractor(env, cmd, log, progress).Run();
}

}  // namespace lha::command
