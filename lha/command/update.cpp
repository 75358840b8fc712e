// The commands that change an archive: a (add) and u (update).
//
// The new archive is always written beside the old one under a temporary name and renamed over
// it only when it is complete and on the disk, so a failure at any point leaves the old archive
// as it was. Unchanged entries are copied as they are, without unpacking and packing them again.
#include <algorithm>
#include <unordered_map>

#include "command/archive_file.h"
#include "command/commands.h"
#include "command/local_time.h"
#include "command/packer.h"
#include "command/sources.h"
#include "format/header_writer.h"
#include "format/listing.h"
#include "platform/fs.h"
#include "platform/staged_file.h"
#include "platform/text.h"

namespace lha::command {
namespace {

namespace fs = platform::fs;

constexpr std::string_view kTemporaryTag = "unlha";

// The folder the archive is in, opened (a link to it followed, as the user named it), and the
// archive's name in it.
struct ArchivePlace {
  platform::File folder;
  std::string name;
};

ArchivePlace OpenArchiveFolder(platform::Env& env, const std::string& archive_path) {
  const size_t slash = archive_path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : archive_path.substr(0, slash + 1);
  int error = 0;
  ArchivePlace place{env.OpenFolder(dir, &error),
                     archive_path.substr(slash == std::string::npos ? 0 : slash + 1)};
  if (!place.folder.is_open())
    throw Error(UNLHA_ERROR_ARC_FILE_OPEN, dir + ": " + platform::ErrorText(error));
  return place;
}

// The new archive, written beside the old one and put in its place when complete. Where there
// is no archive yet, a folder that takes no temporary file takes no archive either, and that is
// what the caller hears. The file has the old archive's mode from its first byte (0600 for a new
// one until it is complete), so nobody can read what the old archive would not have shown them.
class TemporaryArchive {
 public:
  TemporaryArchive(const ArchivePlace& place, const std::optional<OpenArchive>& old,
                   uint32_t new_file_mode)
      : place_(place), old_(old), new_file_mode_(new_file_mode) {
    const uint32_t mode = old ? old->status().mode & 07777 : 0600;
    int error = 0;
    if (!staged_.Create(place.folder, place.name, kTemporaryTag, mode, &error)) {
      throw Error(old ? UNLHA_ERROR_TEMP_FILE : UNLHA_ERROR_ARC_FILE_OPEN,
                  place.name + ": no temporary file beside it: " + platform::ErrorText(error));
    }
    staged_.file().Status(&status_);
  }

  platform::File& file() { return staged_.file(); }
  const platform::FileStatus& status() const { return status_; }

  // Makes the finished file the archive: replacing the old one, or creating it where there was
  // none (and failing if another command created one meanwhile).
  void Commit() {
    int error = 0;
    if (!old_) staged_.file().SetMode(new_file_mode_);
    using Placement = platform::StagedFile::Placement;
    if (!staged_.Commit(old_ ? Placement::kReplace : Placement::kNew, &error)) {
      if (!old_ && platform::IsExistsError(error))
        throw Error(UNLHA_ERROR_ALREADY_RUNNING, place_.name + ": created by another command");
      throw Error(WriteErrorCode(error), place_.name + ": " + platform::ErrorText(error));
    }
    place_.folder.Sync();  // the new name on the disk too
  }

 private:
  const ArchivePlace& place_;
  const std::optional<OpenArchive>& old_;
  const uint32_t new_file_mode_;
  platform::StagedFile staged_;
  platform::FileStatus status_;
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
bool Changed(platform::Env& env, const format::EntryHeader& e, const Source& s,
             const format::LocalTime& local) {
  if (!KindMatches(e, s)) return true;
  if (e.kind == format::EntryKind::kFile && e.original_size != s.status.size) return true;
  if (e.kind == format::EntryKind::kSymlink) {
    const auto target = env.ReadLink(s.posix_path);
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
  Updater(platform::Env& env, const CommandLine& cmd, OutputLog& log, Progress& progress)
      : env_(env), cmd_(cmd), log_(log), progress_(progress) {}

  int32_t Run() {
    const std::string archive_path = ArchivePosixPath(env_, cmd_.archive);
    std::optional<OpenArchive> old = OpenArchive::Open(env_, cmd_.archive, LockMode::kExclusive);
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

    const ArchivePlace place = OpenArchiveFolder(env_, archive_path);
    // Leftovers of killed commands go; the temporary files of running ones are never packed.
    const std::vector<platform::FileStatus> others =
        platform::SweepStagedFiles(place.folder, kTemporaryTag, place.name);
    TemporaryArchive temp(place, old, env_.NewFileMode());
    const Enumeration found =
        EnumerateSources(env_, cmd_.names, cmd_.switches, [&](const platform::FileStatus& st) {
          return st.SameFileAs(temp.status()) || (old && st.SameFileAs(old->status())) ||
                 IsListFile(st) ||
                 std::any_of(others.begin(), others.end(),
                             [&](const platform::FileStatus& o) { return st.SameFileAs(o); });
        });
    for (const auto& p : found.problems)
      Problem(p);
    for (const auto& line : found.left_out)
      log_.Line("  " + line);
    const std::vector<const Source*> sources = Deduplicate(found.sources);

    // Which entries the sources replace, and which sources are new.
    std::unordered_map<std::string, size_t> by_name;
    for (size_t i = 0; i < entries.size(); ++i)
      by_name.try_emplace(entries[i].JoinedPath('/'), i);
    std::vector<const Source*> replacement(entries.size(), nullptr);
    std::vector<const Source*> added;
    const auto local = SystemLocalTime(env_);
    for (const Source* s : sources) {
      const auto it = by_name.find(StoredKey(s->stored));
      if (it == by_name.end()) {
        added.push_back(s);
      } else if (cmd_.command == Command::kAdd || cmd_.switches.replace_all ||
                 Changed(env_, entries[it->second], *s, local)) {
        replacement[it->second] = s;
      }
    }
    const bool changes = !added.empty() || std::any_of(replacement.begin(), replacement.end(),
                                                       [](const Source* s) { return s; });
    if (!changes) {
      log_.Line(old ? "Nothing to change." : "Nothing to pack: no archive made.");
      return Summary(entries.size());
    }

    uint64_t total = 0;
    for (const Source* s : replacement)
      total += s ? DataSize(*s) : 0;
    for (const Source* s : added)
      total += DataSize(*s);
    progress_.Total(total);

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
    temp.Commit();
    return Summary(entries.size());
  }

 private:
  bool IsListFile(const platform::FileStatus& st) {
    if (!list_files_) {
      list_files_.emplace();
      for (const auto& name : cmd_.response_files) {
        const fs::Resolution r = fs::ResolveExisting(env_, name);
        if (r.status != fs::ResolveStatus::kFound) continue;
        if (auto s = env_.Status(r.path, platform::File::Links::kFollowed))
          list_files_->push_back(*s);
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
    progress_.Entry(StoredKey(s.stored), DataSize(s));
    PackedEntry packed;
    if (auto problem = PackSource(env_, s, cmd_.switches.method, writer, &packed, progress_)) {
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

  void Problem(const SourceProblem& p) { failures_.Add(p.code, p.message); }

  int32_t Summary(size_t entries) {
    log_.Line(std::to_string(added_) + " added, " + std::to_string(replaced_) + " replaced, " +
              std::to_string(added_ || replaced_ ? unchanged_ : entries) + " unchanged, " +
              std::to_string(failures_.count()) + " failed.");
    return failures_.first_code();
  }

  platform::Env& env_;
  const CommandLine& cmd_;
  OutputLog& log_;
  Progress& progress_;
  std::optional<std::vector<platform::FileStatus>> list_files_;
  Failures failures_{log_};
  size_t added_ = 0, replaced_ = 0, unchanged_ = 0;
};

}  // namespace

int32_t RunUpdate(platform::Env& env, const CommandLine& cmd, OutputLog& log, Progress& progress) {
  return Updater(env, cmd, log, progress).Run();
}

}  // namespace lha::command
