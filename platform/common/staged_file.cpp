#include "platform/staged_file.h"

#include <random>
#include <utility>

#include "platform/fs.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr size_t kNameLimit = 255;  // bytes of one name, on every file system we write to
constexpr size_t kRandomLength = 8;
constexpr std::string_view kDigits = "0123456789abcdefghijklmnopqrstuvwxyz";

std::string HashText(std::string_view bytes) {
  uint32_t h = 2166136261u;  // FNV-1a: stable across runs and builds, which a sweep relies on
  for (unsigned char c : bytes)
    h = (h ^ c) * 16777619u;
  std::string out(8, '0');
  for (size_t i = 0; i < out.size(); ++i)
    out[out.size() - 1 - i] = kDigits[(h >> (4 * i)) & 15];
  return out;
}

size_t Overhead(std::string_view tag) {
  return 1 + 1 + tag.size() + 1 + kRandomLength;  // "." stem "." tag "-" random
}

std::string StemFor(std::string_view final_name, std::string_view tag) {
  if (final_name.size() + Overhead(tag) <= kNameLimit) return std::string(final_name);
  const size_t room = kNameLimit - Overhead(tag) - 1 - 8;
  return std::string(final_name.substr(0, Utf8PrefixLength(final_name, room))) + "~" +
         HashText(final_name);
}

std::string RandomPart() {
  thread_local std::minstd_rand rng{std::random_device{}()};
  std::string out(kRandomLength, '0');
  for (char& c : out)
    c = kDigits[rng() % kDigits.size()];
  return out;
}

}  // namespace

std::string StagedName(std::string_view final_name, std::string_view tag, std::string_view random) {
  return "." + StemFor(final_name, tag) + "." + std::string(tag) + "-" + std::string(random);
}

std::string StagedName(std::string_view final_name, std::string_view tag) {
  return StagedName(final_name, tag, RandomPart());
}

bool IsStagedName(std::string_view name, std::string_view tag,
                  std::optional<std::string_view> final_name) {
  const std::string tail = "." + std::string(tag) + "-";
  if (name.size() < 1 + tail.size() + kRandomLength + 1 || name[0] != '.') return false;
  const std::string_view random = name.substr(name.size() - kRandomLength);
  const std::string_view before = name.substr(0, name.size() - kRandomLength);
  if (random.find_first_not_of(kDigits) != std::string_view::npos ||
      before.substr(before.size() - tail.size()) != tail)
    return false;
  if (!final_name) return true;
  return before.substr(1, before.size() - 1 - tail.size()) == StemFor(*final_name, tag);
}

StagedFile::StagedFile(StagedFile&& other) noexcept
    : folder_(std::exchange(other.folder_, nullptr)),
      final_(std::move(other.final_)),
      temp_(std::move(other.temp_)),
      file_(std::move(other.file_)),
      placed_(other.placed_) {}

StagedFile::~StagedFile() {
  if (placed_ || !folder_) return;
  file_.Close();
  folder_->RemoveIn(temp_);
}

bool StagedFile::Create(const File& folder, const std::string& final_name, std::string_view tag,
                        uint32_t mode, int* error) {
  folder_ = &folder;
  final_ = final_name;
  int e = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = StagedName(final_name, tag, RandomPart());
    file_ = folder.CreateFileIn(temp_, mode, &e);
    if (!file_.is_open()) {
      if (IsExistsError(e)) continue;
      if (error) *error = e;
      temp_.clear();
      return false;
    }
    // Between creating the file and locking it, another process's sweep may have taken it for a
    // leftover and removed it: then the name no longer leads to this file, and we start again.
    FileStatus mine, there;
    if (file_.TryLock() && file_.Status(&mine) && folder.StatusIn(temp_, &there) &&
        mine.SameFileAs(there))
      return true;
    file_.Close();
  }
  if (error) *error = e;  // every name taken, or every file swept away: give up
  temp_.clear();
  return false;
}

bool StagedFile::Commit(Placement placement, int* error) {
  const bool replace = placement != Placement::kNew;
  // Renamed while still open: closing first would drop the lock, and another process's sweep
  // could take the file for a leftover in that moment.
  const bool placed = (placement != Placement::kReplace || file_.Sync(error)) &&
                      folder_->RenameIn(temp_, final_, replace, error);
  const bool closed = file_.Close(error);  // a write only now found failed (NFS)
  if (placed && !closed && !replace) folder_->RemoveIn(final_);  // ours alone, and torn
  if (!placed) folder_->RemoveIn(temp_);
  placed_ = true;  // in place, or removed above
  return placed && closed;
}

std::vector<FileStatus> SweepStagedFiles(const File& folder, std::string_view tag,
                                         std::optional<std::string_view> final_name) {
  std::vector<FileStatus> kept;
  const auto names = folder.Names();
  if (!names) return kept;
  for (const std::string& name : *names) {
    if (!IsStagedName(name, tag, final_name)) continue;
    FileStatus st;
    if (!folder.StatusIn(name, &st)) continue;
    if (st.kind == fs::Kind::kSymlink) {
      folder.RemoveIn(name);
      continue;
    }
    if (st.kind != fs::Kind::kFile) continue;
    File leftover = folder.OpenFileIn(name, nullptr);
    if (!leftover.is_open() || !leftover.TryLock() || !folder.RemoveIn(name)) kept.push_back(st);
  }
  return kept;
}

}  // namespace platform
