// The archiving modes: the list of what to pack goes into a list file, one command line naming
// the archive and that list file goes to the archiver library through a fresh cUnLHA, and the
// library's verdict decides the result.
#include "backup/backup_modes.h"
#include "backup/path_functions.h"
#include "platform/runtime.h"
#include "platform/text.h"
#include "unlha/cunlha.h"

namespace backup {
namespace {

constexpr wchar_t kLineEnd[] = L"\r\n";

// Runs the archiver on the list text; `command` builds the command line from the list file's
// name. Every error is trapped: the result is then false, no box is shown, and a list file
// already made stays behind.
template <class CommandBuilder>
bool RunArchiver(const BackupJob& job, const std::wstring& list_text, CommandBuilder command) {
  try {
    const std::wstring list_file = MakeListFileName(job.os, job.path);
    job.os.WriteFile(platform::ToAnsi(list_file), platform::ToAnsi(list_text + kLineEnd));

    unlha::cUnLHA archiver(job.archiver);
    archiver.BackGroundMode(false);
    archiver.CursorMode(false);
    std::wstring command_line = command(list_file);
    archiver.CommandLine(command_line);

    bool result = true;
    if (archiver.ReturnCode() != 0) {
      job.os.MessageBox(archiver.ErrString(), platform::kAppTitle, platform::kMbIconExclamation);
      result = false;
    }
    if (FileExists(job.os, list_file)) job.os.Kill(platform::ToAnsi(list_file));
    return result;
  } catch (...) {
    return false;
  }
}

// The switch set of folder archiving, with its " -x0" made " -x1".
std::wstring FolderSwitches() {
  std::wstring switches = L"-a1 -x0 -c1 -f0 -jm2 -jp1";
  const size_t at = switches.find(L" -x0");
  if (at != std::wstring::npos) switches.replace(at, 4, L" -x1");
  return switches;
}

}  // namespace

bool ArchiveFolders(const BackupJob& job, const std::wstring& archive_path) {
  std::wstring list_text;
  try {
    // Each folder as a base folder (its parent, written as the folder and "..\") and its own
    // name with every name below it.
    for (int i = job.entries.LBound(); i <= job.entries.UBound(); ++i) {
      const std::wstring& entry = job.entries[i];
      const std::wstring without_last = entry.substr(0, entry.empty() ? 0 : entry.size() - 1);
      list_text += kLineEnd;
      list_text += QuoteArg(AddTrailingBackslash(entry) + L"..\\") + L" " +
                   QuoteArg(GetLastPathPart(without_last)) + L"\\*.*";
    }
  } catch (...) {
    return false;
  }
  return RunArchiver(job, list_text, [&](const std::wstring& list_file) {
    return L"u -+ " + FolderSwitches() + L" -x1 -r2 -a1 " + GetShortPathArg(job.os, archive_path) +
           L" " + L"@" + QuoteArg(list_file);
  });
}

bool ArchiveFiles(const BackupJob& job, const std::wstring& archive_path) {
  std::wstring list_text;
  try {
    for (int i = job.entries.LBound(); i <= job.entries.UBound(); ++i)
      list_text += kLineEnd + job.entries[i];  // as stored: never quoted
  } catch (...) {
    return false;
  }
  return RunArchiver(job, list_text, [&](const std::wstring& list_file) {
    return std::wstring(L"u -+ ") + L" -d0 -x0 " + GetShortPathArg(job.os, archive_path) + L" " +
           L"@" + QuoteArg(list_file);
  });
}

}  // namespace backup
