// A new file written beside its final name under a temporary one, and put in place only once it
// is complete: a failure or a kill at any moment leaves neither a torn file under the final name
// nor the old file destroyed. Every command that writes files (the archive update, extraction,
// the copier) goes through this, so temporary files are named, locked and cleaned up one way.
//
// A temporary name is "." + stem + "." + tag + "-" + 8 characters of [0-9a-z], beside the final
// name. The stem is the final name itself, or, when that would take the temporary name past the
// file system's 255-byte limit, its beginning (whole UTF-8 characters) and "~" and a hash of the
// whole name. The tag tells whose file it is ("unlha", "quillory"): a sweep removes only its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace platform {

// The temporary name for `final_name` with the given random part (8 characters of [0-9a-z]), or
// with a fresh one.
std::string StagedName(std::string_view final_name, std::string_view tag, std::string_view random);
std::string StagedName(std::string_view final_name, std::string_view tag);
// Whether `name` is a temporary name of `tag`; when `final_name` is given, one for that name.
bool IsStagedName(std::string_view name, std::string_view tag,
                  std::optional<std::string_view> final_name = std::nullopt);

class StagedFile {
 public:
  enum class Placement {
    kNew,      // the final name must still be free: fails with EEXIST if a file appeared there
    kReplace,  // replaces what is there; the new file is flushed to the disk first, so that a
               // power cut cannot leave neither the old file nor the new one
    kReplaceSynced,  // the same, where the caller has already put the new file on the disk
                     // (one sync of the file system for many replacements)
  };

  StagedFile() = default;
  StagedFile(StagedFile&& other) noexcept;
  StagedFile& operator=(StagedFile&&) = delete;
  // Removes the temporary file unless it was put in place.
  ~StagedFile();

  // Creates the temporary file for `final_name` in `folder`, which must outlive this object.
  // The file has `mode` from its first byte (no one else can read data while it is written)
  // and stays locked while it is open, so that a sweep of another process passes it over.
  // False, with the error, when none can be made.
  bool Create(const File& folder, const std::string& final_name, std::string_view tag,
              uint32_t mode, int* error);

  File& file() { return file_; }
  const std::string& temporary_name() const { return temp_; }

  // Closes the file and puts it in place under its final name. False, with the error, when it
  // cannot; the temporary file is then removed.
  bool Commit(Placement placement, int* error);

 private:
  const File* folder_ = nullptr;
  std::string final_, temp_;
  File file_;
  bool placed_ = false;
};

// Removes from `folder` the temporary files of `tag` (for `final_name` only, when given) that
// killed runs left behind: those that no running process holds, and links made under a
// temporary name (a running command holds one only for the moment before it renames it). Returns
// the status of each one that stays, because a running process holds it or this user cannot remove
// it: such files are still somebody's and must never be read as data.
std::vector<FileStatus> SweepStagedFiles(const File& folder, std::string_view tag,
                                         std::optional<std::string_view> final_name = std::nullopt);

}  // namespace platform
