// The commands that change an archive: a (add) and u (update).
//
// The new archive is always written beside the old one under a temporary name and renamed over
// it only when it is complete and on the disk, so a failure at any point leaves the old archive
// as it was. A file that still holds what its entry holds keeps the entry's packed data: that is
// proven by decoding the entry and comparing it with the file, never by time or size alone. An
// archive nothing of which changes is not rewritten at all. Files are packed in pieces on
// several threads, and written in order.
#include <algorithm>
#include <atomic>
#include <deque>
#include <future>
#include <memory>
#include <unordered_map>

#include "command/archive_file.h"
#include "command/commands.h"
#include "command/sources.h"
#include "command/workers.h"
#include "format/header_writer.h"
#include "packer.h"
#include "platform/fs.h"
#include "platform/process.h"
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

// Threads to pack with when the command line does not say: the library's own setting,
// UNLHA32_THREADS, for whoever runs it (a backup job cannot add a switch to its command line)
// and wants the machine for other work; 0, every processor, when unset.
unsigned ThreadsSetting() {
  const std::string value = platform::process::EnvironmentValue("UNLHA32_THREADS");
  if (value.empty() || value.size() > 3 ||
      value.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  return static_cast<unsigned>(std::stoul(value));
}

std::string SizeText(uint64_t original, uint64_t packed, const std::string& method) {
  return "(" + std::to_string(original) + " -> " + std::to_string(packed) + " " + method + ")";
}

// The headers of the old archive, read on a thread of their own from the moment it is open.
class OldHeaders {
 public:
  OldHeaders(std::optional<OpenArchive>& old, const std::string& archive_path)
      : archive_path_(archive_path) {
    if (old) {
      headers_ = std::async(std::launch::async,
                            [this, archive = &*old] { return archive->ReadHeaders(&prefix_); });
    }
  }
  OldHeaders(const OldHeaders&) = delete;
  OldHeaders& operator=(const OldHeaders&) = delete;
  ~OldHeaders() {
    if (headers_.valid()) headers_.wait();
  }

  // Runs `step`; should it throw, an error of the headers is thrown in its place.
  template <class Step>
  auto Before(Step step) -> decltype(step()) {
    try {
      return step();
    } catch (...) {
      if (headers_.valid()) Take();
      throw;
    }
  }

  // The headers, or what reading them threw.
  std::vector<format::EntryHeader> Take() {
    if (!headers_.valid()) return {};
    std::vector<format::EntryHeader> entries = headers_.get();
    // The new archive would keep the entries and lose the bytes before them: whatever holds
    // an archive after other bytes (a self-extractor, an archive inside a tar) is not ours
    // to rewrite.
    if (prefix_ != 0) {
      throw Error(UNLHA_ERROR_NOT_ARC_FILE, archive_path_ + ": the archive starts after " +
                                                std::to_string(prefix_) +
                                                " bytes of something else; it is not rewritten");
    }
    return entries;
  }

 private:
  const std::string& archive_path_;
  uint64_t prefix_ = 0;
  std::future<std::vector<format::EntryHeader>> headers_;
};

// What the new archive holds at one place: an old entry carried over as it is, or the entry of
// a source (replacing the old entry of that name, or added after the old ones).
struct Step {
  std::optional<size_t> entry;     // the old entry carried over or replaced
  const Source* source = nullptr;  // null: carried over
};

// A file compared with the entry that holds it, on a worker: the same (its data is kept), or
// not, and then, for a file of one piece, already packed.
struct Verdict {
  bool same = false;
  platform::FileStatus status;  // of the file, when the same
  std::optional<Piece> piece;
};

// A task started ahead of the writer, and the bytes of file it holds until taken.
template <class T>
struct InFlight {
  std::shared_future<T> result;
  uint64_t bytes = 0;
};

// The work started for one step ahead of the writer.
struct Job {
  Step step;
  std::optional<InFlight<Verdict>> verdict;
  std::deque<InFlight<Piece>> pieces;  // started, not yet written
  uint64_t next_piece = 0;             // offset of the next piece to start
  uint64_t end = 0;                    // ... up to here
  bool pieces_wanted = false;
  // Pieces are not read past here before packing is known to pay: a file given up is read again
  // to be stored, and what was read ahead would be read for nothing.
  uint64_t hold_at = kGiveUpAfter;
  std::shared_ptr<std::atomic<bool>> cancelled = std::make_shared<std::atomic<bool>>(false);
};

class Updater {
 public:
  Updater(platform::Env& env, const CommandLine& cmd, OutputLog& log, Progress& progress)
      : env_(env), resolver_(env), cmd_(cmd), log_(log), progress_(progress) {}

  int32_t Run() {
    const std::string archive_path = ArchivePosixPath(env_, cmd_.archive);
    old_ = OpenArchive::Open(env_, cmd_.archive, LockMode::kExclusive);
    // The old archive's headers are read while the sources are found; whatever else fails
    // meanwhile, a damaged archive is what is reported, and no entry is written before.
    OldHeaders old_headers(old_, archive_path);
    const ArchivePlace place =
        old_headers.Before([&] { return OpenArchiveFolder(env_, archive_path); });
    // Leftovers of killed commands go; the temporary files of running ones are never packed.
    const std::vector<platform::FileStatus> others = old_headers.Before(
        [&] { return platform::SweepStagedFiles(place.folder, kTemporaryTag, place.name); });
    TemporaryArchive temp =
        old_headers.Before([&] { return TemporaryArchive(place, old_, env_.NewFileMode()); });
    const Enumeration found = old_headers.Before([&] {
      return EnumerateSources(
          resolver_, cmd_.names, cmd_.switches, [&](const platform::FileStatus& st) {
            return st.SameFileAs(temp.status()) || (old_ && st.SameFileAs(old_->status())) ||
                   IsListFile(st) ||
                   std::any_of(others.begin(), others.end(),
                               [&](const platform::FileStatus& o) { return st.SameFileAs(o); });
          });
    });
    entries_ = old_headers.Take();
    log_.Line(std::string(old_ ? "Updating " : "Creating ") + archive_path);
    for (const auto& p : found.problems)
      Problem(p);
    for (const auto& line : found.left_out)
      log_.Line("  " + line);
    PlanSteps(Deduplicate(found.sources));
    if (steps_.size() == entries_.size() &&
        std::none_of(steps_.begin(), steps_.end(), [](const Step& s) { return s.source; })) {
      log_.Line(old_ ? "Nothing to change." : "Nothing to pack: no archive made.");
      return Summary();
    }
    // Every file named is read: compared with its entry, or packed.
    uint64_t total = 0;
    for (const Step& step : steps_)
      total += step.source ? DataSize(*step.source) : 0;
    progress_.Total(total);

    ArchiveWriter writer(temp.file());
    writer_ = &writer;
    {
      // Threads work ahead of the writer; they are done (and gone) before what they use is.
      Workers workers(cmd_.switches.threads ? cmd_.switches.threads : ThreadsSetting());
      workers_ = &workers;
      WriteSteps();
      workers_ = nullptr;
    }
    if (!writing_) {
      log_.Line(old_ && added_ == 0 ? "Nothing to change: the archive is left as it was."
                                    : "Nothing could be packed: no archive made.");
      return Summary();
    }
    writer.Write(format::kEndOfArchiveMarker);
    writer.Finish();
    temp.Commit();
    return Summary();
  }

 private:
  // The entries of the new archive in order: the old ones, each carried over or replaced by the
  // source of its name, then the sources that are new.
  void PlanSteps(const std::vector<const Source*>& sources) {
    std::unordered_map<std::string, size_t> by_name;
    for (size_t i = 0; i < entries_.size(); ++i)
      by_name.try_emplace(entries_[i].JoinedPath('/'), i);
    std::vector<const Source*> replacement(entries_.size(), nullptr);
    std::vector<const Source*> added;
    for (const Source* s : sources) {
      const auto it = by_name.find(StoredKey(s->stored));
      if (it == by_name.end()) {
        added.push_back(s);
      } else {
        replacement[it->second] = s;  // whether anything changes, the content tells
      }
    }
    for (size_t i = 0; i < entries_.size(); ++i)
      steps_.push_back({i, replacement[i]});
    for (const Source* s : added)
      steps_.push_back({std::nullopt, s});
  }

  // --- Work ahead of the writer ----------------------------------------------------------------

  // Work in flight is bounded by the file bytes it holds, a few pieces per thread, and by a
  // count: small files are many tasks of few bytes each, and a worker that finds none left
  // waits for the writer, which wakes only for the result it waits for.
  size_t MaxTasks() const { return 16 * static_cast<size_t>(workers_->threads()) + 2; }
  uint64_t MaxBytes() const { return (2 * uint64_t{workers_->threads()} + 2) * kPieceSize; }
  bool MayStart(uint64_t bytes) const {
    return in_flight_ == 0 || (in_flight_ < MaxTasks() && in_flight_bytes_ + bytes <= MaxBytes());
  }
  static uint64_t NextPieceBytes(const Job& job) {
    return std::min(kPieceSize, job.end - job.next_piece);
  }
  bool WantsPiece(const Job& job) const {
    return job.pieces_wanted && job.next_piece < std::min(job.end, job.hold_at);
  }

  // Starts what the steps ahead need, as far as the bound of work in flight allows: the pieces
  // of the step being written first, then the steps after it. Results of later steps wait in
  // flight until the writer comes to them; the step being written keeps a piece per thread
  // going whatever they hold, or a large file behind them would be packed on one thread.
  void StartWork() {
    while (writing_job_ && !*writing_job_->cancelled && WantsPiece(*writing_job_) &&
           (MayStart(NextPieceBytes(*writing_job_)) ||
            writing_job_->pieces.size() <= workers_->threads()))
      StartPiece(*writing_job_);
    for (size_t k = 0;; ++k) {
      if (k == window_.size()) {
        if (planned_ == steps_.size() || window_.size() > 4 * MaxTasks() + 64 ||
            !MayStart(JobBytes(steps_[planned_])))
          return;
        window_.push_back(NewJob(steps_[planned_++]));
        continue;
      }
      Job& job = window_[k];
      while (WantsPiece(job)) {
        if (!MayStart(NextPieceBytes(job))) return;
        StartPiece(job);
      }
    }
  }

  // What a step's first task holds: its file, up to a piece.
  static uint64_t JobBytes(const Step& step) {
    const Source* s = step.source;
    return s && s->status.kind == fs::Kind::kFile ? std::min(kPieceSize, s->status.size) : 0;
  }

  Job NewJob(const Step& step) {
    Job job;
    job.step = step;
    const Source* s = step.source;
    if (!s || s->status.kind != fs::Kind::kFile) return job;
    job.end = std::max<uint64_t>(s->status.size, 1);  // an empty file is one empty piece
    const bool comparable = step.entry && KindMatches(entries_[*step.entry], *s) &&
                            entries_[*step.entry].original_size == s->status.size;
    if (!comparable) {
      job.pieces_wanted = true;
      return job;
    }
    const format::EntryHeader& e = entries_[*step.entry];
    const bool one_piece = s->status.size <= kPieceSize;
    const codec::Method method = MethodFor(*s);
    job.verdict = {workers_->Submit([this, &e, s, one_piece, method] {
                     Verdict v;
                     v.same = SameContent(env_, old_->source(), e, *s, &v.status);
                     if (!v.same && one_piece)
                       v.piece = PackPiece(env_, *s, method, 0, kPieceSize, true);
                     return v;
                   }),
                   JobBytes(step)};
    Started(job.verdict->bytes);
    return job;
  }

  void StartPiece(Job& job) {
    const Source* s = job.step.source;
    const uint64_t offset = job.next_piece;
    // A file of one piece keeps its bytes, to be stored without reading it again should packing
    // not pay; a stored file's pieces are its bytes.
    const codec::Method method = MethodFor(*s);
    const bool raw = s->status.size <= kPieceSize || method == codec::Method::kLh0;
    const auto cancelled = job.cancelled;
    const uint64_t bytes = NextPieceBytes(job);
    job.pieces.push_back({workers_->Submit([this, s, offset, method, raw, cancelled] {
                            if (*cancelled) return Piece{};
                            return PackPiece(env_, *s, method, offset, kPieceSize, raw);
                          }),
                          bytes});
    job.next_piece += kPieceSize;
    Started(bytes);
  }

  void Started(uint64_t bytes) {
    ++in_flight_;
    in_flight_bytes_ += bytes;
  }
  void Taken(uint64_t bytes) {
    --in_flight_;
    in_flight_bytes_ -= bytes;
  }

  codec::Method MethodFor(const Source& s) const {
    if (codec::IsTinyFile(s.status.size)) return codec::Method::kLh0;
    return CodecMethod(cmd_.switches.method);
  }

  template <class T>
  T Take(const InFlight<T>& task) {
    StartWork();  // keep the workers busy while this result is waited for
    T result = task.result.get();
    Taken(task.bytes);
    StartWork();
    return result;
  }

  // --- The writer --------------------------------------------------------------------------------
  //
  // Only the writer tells progress_, as it takes the workers' results in order: the display
  // needs no lock and counts the same bytes whatever the number of threads.

  void WriteSteps() {
    StartWork();
    while (!window_.empty()) {
      Job job = std::move(window_.front());
      window_.pop_front();
      writing_job_ = &job;  // out of the window now, and still the first to feed
      WriteStep(job);
      writing_job_ = nullptr;
      // Work the writer no longer waits for (a file that vanished, packing given up) is not
      // counted in flight once taken: its futures are dropped here.
      for (auto& p : job.pieces)
        if (p.result.valid()) {
          p.result.wait();
          Taken(p.bytes);
        }
      StartWork();
    }
  }

  void WriteStep(Job& job) {
    const Step& step = job.step;
    if (!step.source) return Carry(*step.entry);
    const Source& s = *step.source;
    progress_.Entry(StoredKey(s.stored), DataSize(s));
    if (s.status.kind != fs::Kind::kFile) return WriteWithoutData(step);
    if (job.verdict) {
      Verdict v = Take(*job.verdict);
      if (v.same) {
        progress_.EntryDone(DataSize(s));  // compared to the end
        return Keep(step, v.status);
      }
      job.pieces_wanted = true;
      if (v.piece) {
        job.next_piece = job.end;  // the one piece is there already
        return Build(job, std::move(v.piece));
      }
    }
    Build(job, std::nullopt);
  }

  // Entries are written only from the first one that differs from the old archive: until then,
  // the old archive's own bytes stand for them, copied in one go when the first change comes.
  void StartWriting(const Step& step) {
    if (writing_) return;
    writing_ = true;
    const uint64_t end = step.entry ? entries_[*step.entry].header_offset
                         : entries_.empty()
                             ? 0
                             : entries_.back().data_offset + entries_.back().packed_size;
    CopyOld(0, end);
  }

  void CopyOld(uint64_t from, uint64_t to) {
    const std::span<uint8_t> buf = TransferBuffer();
    for (uint64_t offset = from; offset < to;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), to - offset));
      const size_t got = old_->source().ReadAt(offset, std::span<uint8_t>(buf.data(), want));
      if (got == 0) throw Error(UNLHA_ERROR_ARC_READ, "the archive ends inside an entry");
      writer_->Write(std::span<const uint8_t>(buf.data(), got));
      offset += got;
    }
  }

  void Carry(size_t i) {
    ++unchanged_;
    if (writing_)
      CopyOld(entries_[i].header_offset, entries_[i].data_offset + entries_[i].packed_size);
  }

  // A new entry that says what the old one said byte for byte changes nothing.
  bool SameAsOld(const Step& step, std::span<const uint8_t> header) {
    if (!step.entry) return false;
    const format::EntryHeader& e = entries_[*step.entry];
    if (header.size() != e.data_offset - e.header_offset) return false;
    std::vector<uint8_t> old(header.size());
    if (!old_header_window_) old_header_window_.emplace(old_->source());
    if (old_header_window_->ReadAt(e.header_offset, old) != old.size())
      throw Error(UNLHA_ERROR_ARC_READ, "the archive ends inside a header");
    return std::equal(old.begin(), old.end(), header.begin());
  }

  // A file that still holds what its entry holds keeps the packed data; the header says what
  // a fresh pack would say of it now (time, mode, name).
  void Keep(const Step& step, const platform::FileStatus& now) {
    const format::EntryHeader& e = entries_[*step.entry];
    Source s = *step.source;
    s.status = now;
    std::vector<uint8_t> header;
    if (auto problem = HeaderFor(s, std::string(e.method_id()), code_page_, &header)) {
      Problem(*problem);
      return Carry(*step.entry);
    }
    format::PatchSizesAndCrc(header, e.packed_size, e.original_size, e.data_crc);
    if (SameAsOld(step, header)) return Carry(*step.entry);
    StartWriting(step);
    writer_->Write(header);
    CopyOld(e.data_offset, e.data_offset + e.packed_size);
    Done(step, "replaced", {std::string(e.method_id()), e.original_size, e.packed_size},
         " same content");
  }

  void WriteWithoutData(const Step& step) {
    std::vector<uint8_t> bytes;
    PackedEntry packed;
    if (auto problem = EntryWithoutData(env_, *step.source, code_page_, &bytes, &packed)) {
      Problem(*problem);
      if (step.entry) Carry(*step.entry);
      return;
    }
    if (SameAsOld(step, bytes)) return Carry(*step.entry);
    StartWriting(step);
    writer_->Write(bytes);
    Done(step, step.entry ? "replaced" : "added", packed, "");
  }

  void Build(Job& job, std::optional<Piece> first) {
    const Step& step = job.step;
    // A file that cannot be read changes nothing: the old archive may still stand as it is.
    if (!first && (!job.pieces.empty() || job.next_piece < job.end)) first = NextPiece(job);
    if (first && first->problem) {
      *job.cancelled = true;
      Problem(*first->problem);
      if (step.entry) Carry(*step.entry);
      return;
    }
    StartWriting(step);
    EntryBuilder builder(*step.source, MethodFor(*step.source), code_page_, *writer_, progress_);
    if (!builder.Begin()) return Failed(job, builder);
    bool packing = true;
    if (first) packing = builder.Add(std::move(*first));
    while (packing && builder.problem() == std::nullopt &&
           (!job.pieces.empty() || job.next_piece < job.end)) {
      packing = builder.Add(NextPiece(job));
      if (packing && builder.original() >= kGiveUpAfter) job.hold_at = UINT64_MAX;
    }
    if (builder.problem()) return Failed(job, builder);
    *job.cancelled = true;  // given up or done: pieces still running are not wanted
    if (!packing) {
      builder.StoreFrom(env_, nullptr);
    } else {
      builder.Finish(env_);
    }
    if (builder.problem()) return Failed(job, builder);
    Done(step, step.entry ? "replaced" : "added", builder.result(), "");
  }

  Piece NextPiece(Job& job) {
    if (job.pieces.empty()) StartPiece(job);
    Piece piece = Take(job.pieces.front());
    job.pieces.pop_front();
    return piece;
  }

  void Failed(Job& job, EntryBuilder& builder) {
    *job.cancelled = true;
    builder.Abandon();
    Problem(*builder.problem());
    if (job.step.entry) Carry(*job.step.entry);  // a source that cannot be read keeps its entry
  }

  void Done(const Step& step, const char* what, const PackedEntry& packed, const char* note) {
    log_.Line(std::string("  ") + what + " " + StoredKey(step.source->stored) + " " +
              SizeText(packed.original_size, packed.packed_size, packed.method) + note);
    ++(step.entry ? replaced_ : added_);
  }

  // --- Sources -----------------------------------------------------------------------------------

  bool IsListFile(const platform::FileStatus& st) {
    if (!list_files_) {
      list_files_.emplace();
      for (const auto& name : cmd_.response_files) {
        const fs::Resolution r = resolver_.ResolveExisting(name);
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

  void Problem(const SourceProblem& p) { failures_.Add(p.code, p.message); }

  int32_t Summary() {
    log_.Line(std::to_string(added_) + " added, " + std::to_string(replaced_) + " replaced, " +
              std::to_string(writing_ ? unchanged_ : entries_.size()) + " unchanged, " +
              std::to_string(failures_.count()) + " failed.");
    return failures_.first_code();
  }

  platform::Env& env_;
  fs::Resolver resolver_;  // the names of a command's folders are listed once
  const CommandLine& cmd_;
  const uint32_t code_page_ =
      cmd_.switches.name_code_page.value_or(platform::DefaultArchiveCodePage());
  OutputLog& log_;
  Progress& progress_;
  std::optional<OpenArchive> old_;
  std::optional<format::ReadAheadSource> old_header_window_;  // the writer's reads of old headers
  std::vector<format::EntryHeader> entries_;
  std::optional<std::vector<platform::FileStatus>> list_files_;
  std::vector<Step> steps_;
  size_t planned_ = 0;  // steps given a job so far
  std::deque<Job> window_;
  Job* writing_job_ = nullptr;    // the step being written
  size_t in_flight_ = 0;          // tasks started and not yet taken
  uint64_t in_flight_bytes_ = 0;  // ... and the file bytes they hold
  Workers* workers_ = nullptr;
  ArchiveWriter* writer_ = nullptr;
  bool writing_ = false;  // the first change has come: entries go to the new archive
  Failures failures_{log_};
  size_t added_ = 0, replaced_ = 0, unchanged_ = 0;
};

}  // namespace

int32_t RunUpdate(platform::Env& env, const CommandLine& cmd, OutputLog& log, Progress& progress) {
  return Updater(env, cmd, log, progress).Run();
}

}  // namespace lha::command
