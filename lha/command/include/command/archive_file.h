// An existing archive opened by a command, locked against other commands for as long as the
// command runs: exclusively by the commands that change it, shared by those that only read.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "command/archive_io.h"
#include "format/archive_reader.h"
#include "platform/env.h"

namespace lha::command {

enum class LockMode { kShared, kExclusive };

// Names as this system reads them, for every walk over an archive.
const NameDecoder& SystemNames();

class OpenArchive {
 public:
  // Opens the archive the Windows path names; nullopt when no file is there. Throws
  // lha::Error: UNLHA_ERROR_ARC_FILE_OPEN when it cannot be opened (or is a folder, or its
  // folder is missing), UNLHA_ERROR_ALREADY_RUNNING when another command holds it.
  static std::optional<OpenArchive> Open(platform::Env& env, const std::string& winpath,
                                         LockMode mode);

  // Walks every header (throws what the walker throws: 32795 for a file that is no archive,
  // 32791/32790/32794 for damage). `prefix_size`, when given, receives the length of foreign
  // bytes before the first header (a self-extractor stub, or a file the archive sits inside).
  std::vector<format::EntryHeader> ReadHeaders(uint64_t* prefix_size = nullptr);

  // A walker over the archive whose names come out as the library's text (UTF-8), decoded as
  // this system reads names (platform::DecodeArchiveName).
  format::ArchiveReader Reader() { return format::ArchiveReader(*source_, &SystemNames()); }

  const std::string& posix_path() const { return posix_path_; }
  const platform::FileStatus& status() const { return status_; }
  ArchiveSource& source() { return *source_; }

 private:
  std::string posix_path_;
  std::unique_ptr<platform::File> file_;  // stays where it is when the archive object moves
  platform::FileStatus status_;
  std::unique_ptr<ArchiveSource> source_;
};

// Where the archive the Windows path names lives, or would be created (throws
// UNLHA_ERROR_ARC_FILE_OPEN when its folder does not exist).
std::string ArchivePosixPath(platform::Env& env, const std::string& winpath);

}  // namespace lha::command
