// The commands that change an archive: a (add) and u (update).
//
// The new archive is always written beside the old one under a temporary name and renamed over
// it only when it is complete and on the disk, so a failure at any point leaves the old archive
// as it was. Unchanged entries are copied as they are, without unpacking and packing them again.
#include <algorithm>
#include <random>
#include <unordered_map>

#include "command/archive_file.h"
#include "command/commands.h"
#include "command/local_time.h"
#include "command/packer.h"
#include "command/sources.h"
#include "format/header_writer.h"
#include "format/listing.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace lha::command {
namespace {

namespace fs = platform::fs;

// The folder of the archive ("" for the current one, else ending in '/') and its name.
std::pair<std::string, std::string> SplitArchivePath(const std::string& archive_path) {
  const size_t slash = archive_path.rfind('/');
  if (slash == std::string::npos) return {"", archive_path};
  return {archive_path.substr(0, slash + 1), archive_path.substr(slash + 1)};
}

// Temporary files are named ".<archive name>.<digits>.tmp", beside the archive.
bool IsTemporaryFileOf(const std::string& name, const std::string& archive_name) {
  const std::string head = "." + archive_name + ".", tail = ".tmp";
  if (name.size() <= head.size() + tail.size() || name.compare(0, head.size(), head) != 0 ||
      name.compare(name.size() - tail.size(), tail.size(), tail) != 0)
    return false;
  const std::string middle = name.substr(head.size(), name.size() - head.size() - tail.size());
  return middle.find_first_not_of("0123456789") == std::string::npos;
}

// Temporary files of this archive that other commands left beside it. A command holds a lock on
// its temporary file while it writes, and a killed one loses it: such leftovers are removed.
// The statuses of the others (locked, or not this user's) are returned: never packed either.
std::vector<platform::FileStatus> SweepTemporaryFiles(const std::string& archive_path) {
  const auto [dir, name] = SplitArchivePath(archive_path);
  const std::string folder_path = dir.empty() ? "." : dir;
  std::vector<platform::FileStatus> in_use;
  const platform::File folder = platform::File::OpenFolder(folder_path, nullptr);
  const auto names = fs::ListFolder(folder_path);
  if (!folder.is_open() || !names) return in_use;
  for (const auto& n : *names) {
    if (!IsTemporaryFileOf(n, name)) continue;
    platform::FileStatus st;
    if (!folder.StatusIn(n, &st) || st.kind != fs::Kind::kFile) continue;
    // One this user cannot open or remove is kept out all the same.
    platform::File leftover = folder.OpenForReadingIn(n, nullptr);
    if (!leftover.is_open() || !leftover.TryLock() || !folder.RemoveIn(n)) in_use.push_back(st);
  }
  return in_use;
}

// The temporary file the new archive is written into; removed unless it became the archive.
class TemporaryArchive {
 public:
  // Where there is no archive yet, a folder that takes no temporary file takes no archive
  // either, and that is what the caller hears.
  TemporaryArchive(const std::string& archive_path, bool archive_exists) {
    const int32_t cannot_create =
        archive_exists ? UNLHA_ERROR_TEMP_FILE : UNLHA_ERROR_ARC_FILE_OPEN;
    const auto [dir, name] = SplitArchivePath(archive_path);
    std::random_device seed;
    std::minstd_rand rng(seed());
    for (int attempt = 0; attempt < 100 && !file_.is_open(); ++attempt) {
      path_ = dir + "." + name + "." + std::to_string(rng() % 1000000) + ".tmp";
      int error = 0;
      file_ = platform::File::CreateNew(path_, 0666, &error);
      if (!file_.is_open() && !platform::IsExistsError(error))
        throw Error(cannot_create, path_ + ": " + fs::ErrorText(error));
    }
    if (!file_.is_open()) throw Error(cannot_create, path_ + ": no free name");
    file_.TryLock();  // tells a later command that this file is not a leftover
    file_.Status(&status_);
  }
  ~TemporaryArchive() {
    file_.Close();
    if (!kept_) platform::RemoveFile(path_);
  }

  platform::File& file() { return file_; }
  const platform::FileStatus& status() const { return status_; }

  // Makes the finished file the archive: replacing the old one, or creating it where there was
  // none (and failing if another command created one meanwhile).
  void Commit(const std::string& archive_path, bool replace) {
    int error = 0;
    if (!file_.Close(&error))
      throw Error(WriteErrorCode(error), path_ + ": " + fs::ErrorText(error));
    if (replace) {
      if (!platform::RenameFile(path_, archive_path, &error))
        throw Error(UNLHA_ERROR_CANNOT_WRITE, archive_path + ": " + fs::ErrorText(error));
      kept_ = true;
    } else if (!platform::LinkFile(path_, archive_path, &error)) {
      if (platform::IsExistsError(error))
        throw Error(UNLHA_ERROR_ALREADY_RUNNING, archive_path + ": created by another command");
      throw Error(UNLHA_ERROR_CANNOT_WRITE, archive_path + ": " + fs::ErrorText(error));
    }
    platform::SyncFolderOf(archive_path);
  }

 private:
  std::string path_;
  platform::File file_;
  platform::FileStatus status_;
  bool kept_ = false;
};

bool KindMatches(const format::EntryHeader& e, const Source& s) {
  switch (s.status.kind) {
    case fs::Kind::kFolder:
      return e.kind == format::EntryKind::kDirectory;
    case fs::Kind::kSymlink:
      return e.kind == format::EntryKind::kSymlink;
    default:
      return e.kind == format::EntryKind::kFile;
  }
}

// Whether the source differs from the entry that holds it: in kind, size or time stamp (to the
// stored resolution: seconds, or the two seconds of an MS-DOS time).
bool Changed(const format::EntryHeader& e, const Source& s, const format::LocalTime& local) {
  if (!KindMatches(e, s)) return true;
  if (e.kind == format::EntryKind::kFile && e.original_size != s.status.size) return true;
  if (e.kind == format::EntryKind::kSymlink) {
    const auto target = platform::ReadLink(s.posix_path);
    if (!target || *target != e.symlink_target) return true;
  }
  const auto stored = format::ModificationTime(e, local);
  if (!stored) return true;
  const int64_t tolerance = e.unix_mtime ? 0 : 1;
  return *stored > s.status.mtime + tolerance || *stored < s.status.mtime - tolerance;
}

std::string SizeText(uint64_t original, uint64_t packed, const std::string& method) {
  return "(" + std::to_string(original) + " -> " + std::to_string(packed) + " " + method + ")";
}

class Updater {
 public:
  Updater(const CommandLine& cmd, OutputLog& log, Progress& progress)
      : cmd_(cmd), log_(log), progress_(progress) {}

  int32_t Run() {
    const std::string archive_path = ArchivePosixPath(cmd_.archive);
    std::optional<OpenArchive> old = OpenArchive::Open(cmd_.archive, LockMode::kExclusive);
    std::vector<format::EntryHeader> entries;
    if (old) {
      uint64_t prefix = 0;
      entries = old->ReadHeaders(&prefix);  // throws before anything is written
      // The new archive would keep the entries and lose the bytes before them: whatever holds
      // an archive after other bytes (a self-extractor, an archive inside a tar) is not ours
      // to rewrite.
      if (prefix != 0) {
        throw Error(UNLHA_ERROR_NOT_ARC_FILE, archive_path + ": the archive starts after " +
                                                  std::to_string(prefix) +
                                                  " bytes of something else; it is not rewritten");
      }
    }
    log_.Line(std::string(old ? "Updating " : "Creating ") + archive_path);

    const std::vector<platform::FileStatus> others = SweepTemporaryFiles(archive_path);
    TemporaryArchive temp(archive_path, old.has_value());
    const Enumeration found =
        EnumerateSources(cmd_.names, cmd_.switches, [&](const platform::FileStatus& st) {
          return st.SameFileAs(temp.status()) || (old && st.SameFileAs(old->status())) ||
                 IsListFile(st) ||
                 std::any_of(others.begin(), others.end(),
                             [&](const platform::FileStatus& o) { return st.SameFileAs(o); });
        });
    for (const auto& p : found.problems)
      Problem(p);
    const std::vector<const Source*> sources = Deduplicate(found.sources);

    // Which entries the sources replace, and which sources are new.
    std::unordered_map<std::string, size_t> by_name;
    for (size_t i = 0; i < entries.size(); ++i)
      by_name.try_emplace(entries[i].JoinedPath('/'), i);
    std::vector<const Source*> replacement(entries.size(), nullptr);
    std::vector<const Source*> added;
    const auto local = SystemLocalTime();
    for (const Source* s : sources) {
      const auto it = by_name.find(StoredKey(s->stored));
      if (it == by_name.end()) {
        added.push_back(s);
      } else if (cmd_.command == Command::kAdd || cmd_.switches.replace_all ||
                 Changed(entries[it->second], *s, local)) {
        replacement[it->second] = s;
      }
    }
    const bool changes = !added.empty() || std::any_of(replacement.begin(), replacement.end(),
                                                       [](const Source* s) { return s; });
    if (!changes) {
      log_.Line(old ? "Nothing to change." : "Nothing to pack: no archive made.");
      return Summary(entries.size());
    }

    ArchiveWriter writer(temp.file());
    for (size_t i = 0; i < entries.size(); ++i) {
      if (!replacement[i] || !Pack(*replacement[i], writer, "replaced")) {
        CopyEntry(*old, entries[i], writer);
        ++unchanged_;
      }
    }
    for (const Source* s : added)
      Pack(*s, writer, "added");
    if (added_ == 0 && replaced_ == 0) {
      log_.Line("Nothing could be packed: the archive is left as it was.");
      return Summary(entries.size());
    }
    writer.Write(format::kEndOfArchiveMarker);
    writer.Finish();
    if (old) temp.file().SetMode(old->status().mode);  // the new archive keeps the old's access
    temp.Commit(archive_path, old.has_value());
    return Summary(entries.size());
  }

 private:
  bool IsListFile(const platform::FileStatus& st) {
    if (!list_files_) {
      list_files_.emplace();
      for (const auto& name : cmd_.response_files) {
        const fs::Resolution r = fs::ResolveExisting(name);
        if (r.status != fs::ResolveStatus::kFound) continue;
        if (auto s = platform::TargetStatusOf(r.path)) list_files_->push_back(*s);
      }
    }
    for (const auto& l : *list_files_)
      if (l.SameFileAs(st)) return true;
    return false;
  }

  // The same file named twice under one stored name is packed once; two different files that
  // would be stored under one name are not: the first is kept and the clash reported.
  std::vector<const Source*> Deduplicate(const std::vector<Source>& sources) {
    std::vector<const Source*> out;
    std::unordered_map<std::string, const Source*> seen;
    for (const auto& s : sources) {
      const auto [it, fresh] = seen.try_emplace(StoredKey(s.stored), &s);
      if (fresh) {
        out.push_back(&s);
      } else if (!it->second->status.SameFileAs(s.status)) {
        Problem({UNLHA_ERROR_ALREADY_EXIST, s.posix_path + ": stored as " + it->first + " like " +
                                                it->second->posix_path + "; not packed"});
      }
    }
    return out;
  }

  bool Pack(const Source& s, ArchiveWriter& writer, const char* what) {
    progress_.Entry(StoredKey(s.stored));
    PackedEntry packed;
    if (auto problem = PackSource(s, cmd_.switches.method, writer, &packed)) {
      Problem(*problem);
      return false;
    }
    log_.Line(std::string("  ") + what + " " + StoredKey(s.stored) + " " +
              SizeText(packed.original_size, packed.packed_size, packed.method));
    ++(what[0] == 'a' ? added_ : replaced_);
    return true;
  }

  void CopyEntry(OpenArchive& old, const format::EntryHeader& e, ArchiveWriter& writer) {
    const std::span<uint8_t> buf = TransferBuffer();
    uint64_t offset = e.header_offset;
    const uint64_t end = e.data_offset + e.packed_size;
    while (offset < end) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), end - offset));
      const size_t got = old.source().ReadAt(offset, std::span<uint8_t>(buf.data(), want));
      if (got == 0) throw Error(UNLHA_ERROR_ARC_READ, "the archive ends inside an entry");
      writer.Write(std::span<const uint8_t>(buf.data(), got));
      offset += got;
    }
  }

  void Problem(const SourceProblem& p) {
    log_.Line("  error " + p.message);
    if (first_failure_ == 0) first_failure_ = p.code;
    ++failed_;
  }

  int32_t Summary(size_t entries) {
    log_.Line(std::to_string(added_) + " added, " + std::to_string(replaced_) + " replaced, " +
              std::to_string(added_ || replaced_ ? unchanged_ : entries) + " unchanged, " +
              std::to_string(failed_) + " failed.");
    return first_failure_;
  }

  const CommandLine& cmd_;
  OutputLog& log_;
  Progress& progress_;
  std::optional<std::vector<platform::FileStatus>> list_files_;
  int32_t first_failure_ = 0;
  size_t added_ = 0, replaced_ = 0, unchanged_ = 0, failed_ = 0;
};

}  // namespace

int32_t RunUpdate(const CommandLine& cmd, OutputLog& log, Progress& progress) {
  return Updater(cmd, log, progress).Run();
}

}  // namespace lha::command
