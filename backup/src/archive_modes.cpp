#include "backup/backup_modes.h"

namespace backup {

// Archive jobs join with cUnLHA; until then they back nothing up and say so.
bool ArchiveFiles(const BackupJob&, const std::wstring&) { return false; }
bool ArchiveFolders(const BackupJob&, const std::wstring&) { return false; }

}  // namespace backup
