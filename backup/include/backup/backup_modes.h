// The four backup modes: copying files or folders into the output folder, and packing files or
// folders into one LZH archive. Each returns true when everything was backed up, reports its own
// failures, and traps every error, so none reaches the job run's general error handler.
#pragma once

#include <string>

#include "backup/entry_list.h"
#include "platform/platform.h"
#include "unlha/archiver_library.h"

namespace backup {

// What the modes work with besides their destination.
struct BackupJob {
  platform::Platform& os;
  unlha::ArchiverLibrary& archiver;
  const EntryList& entries;  // at least one entry, upper case
  const std::wstring& path;  // the job setting Path, ending in "\"
};

// Copies every entry into the folder `destination`.
bool CopyEntries(const BackupJob& job, std::wstring destination);

// Packs the listed files into the archive at `archive_path`.
bool ArchiveFiles(const BackupJob& job, const std::wstring& archive_path);

// Packs the listed folders, with everything below them, into the archive at `archive_path`.
bool ArchiveFolders(const BackupJob& job, const std::wstring& archive_path);

}  // namespace backup
