#include <cstdio>
#include <new>

#include "backup/backup_modes.h"
#include "backup/path_functions.h"
#include "main/lha_tool.h"
#include "platform/runtime.h"
#include "platform/text.h"
#include "system/environment.h"
#include "texts.h"
#include "unlha/archiver_library.h"

namespace lhatool {
namespace {

using platform::FindFilter;
using platform::FromAnsi;
using platform::ToAnsi;

// The runtime's conversion of a text to a number: blanks around it are allowed, anything that
// is not a decimal number is a type mismatch.
double ToNumber(const std::wstring& text) {
  const std::string s = ToAnsi(platform::Trim(text));
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9')
    ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
      ++i, ++digits;
  }
  if (digits > 0 && i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    const size_t exponent_start = j;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9')
      ++j;
    if (j > exponent_start) i = j;
  }
  if (digits == 0 || i != s.size()) platform::Raise(platform::ErrorKind::kTypeMismatch);
  return std::strtod(s.c_str(), nullptr);
}

std::wstring DateText(const platform::LocalDate& d) {
  wchar_t buf[16];
  std::swprintf(buf, 16, L"%04d%02d%02d", d.year, d.month, d.day);
  return buf;
}

class JobRun {
 public:
  explicit JobRun(platform::Platform& os) : os_(os), archiver_(os) {}

  int Run() {
    if (!sys::CheckEnvironment(os_, archiver_))
      return Stop(texts::kOperationErrorTitle, texts::kOperationError);

    const std::wstring info_file = FromAnsi(os_.ArgumentText());
    if (info_file.empty()) return Stop(texts::kInfoFileErrorTitle, texts::kNoInfoFile);
    if (!os_.FindFirstFile(ToAnsi(info_file), FindFilter::kPlainFiles)) {
      return Stop(texts::kInfoFileErrorTitle,
                  texts::kInfoFileMissingBefore + info_file + texts::kInfoFileMissingAfter);
    }
    if (!ReadInformationFile(os_, info_file, job_))
      return Stop(texts::kReadErrorTitle, texts::kReadError);

    if (int stop = ValidateSettings(); stop >= 0) return stop;
    PrepareDestination();
    const std::wstring archive_path = job_.Path + job_.FILENAME;
    return FinalReport(RunBackupMode(archive_path));
  }

 private:
  // Checks the settings in their fixed order; the exit status of the first failing check's
  // stop, or -1 when all pass.
  int ValidateSettings() {
    if (!IsZeroOrOne(ToNumber(job_.Type_Ini)))
      return Stop(texts::kOutConfigTitle, texts::kTypeIniError);
    if (!IsZeroOrOne(ToNumber(job_.Lzh_Ini)))
      return Stop(texts::kOutConfigTitle, texts::kLzhIniError);
    if (!IsZeroOrOne(ToNumber(job_.Date_Ini)))
      return Stop(texts::kOutConfigTitle, texts::kDateIniError);

    job_.Path = backup::AddTrailingBackslash(job_.Path);
    if (!os_.FolderExists(ToAnsi(job_.Path)))
      return Stop(texts::kOutInformationTitle, texts::kNoOutputFolder);
    if (ToNumber(job_.Lzh_Ini) == 1 && job_.FILENAME.empty())
      return Stop(texts::kOutInformationTitle, texts::kNoOutputFile);

    const bool files = ToNumber(job_.Type_Ini) == 0;
    const auto& entries = job_.entries;
    if (files) {
      for (int i = entries.LBound(); i <= entries.UBound(); ++i)
        if (backup::GetLastPathPart(entries[i]).empty())
          return Stop(texts::kFileListTitle, texts::kNoFileName);
    }
    if (ToNumber(job_.Type_Ini) == 1) {
      for (int i = entries.LBound(); i <= entries.UBound(); ++i)
        if (!backup::GetLastPathPart(entries[i]).empty())
          return Stop(texts::kFileListTitle, texts::kHasFileName);
    }
    for (int i = entries.LBound(); i <= entries.UBound(); ++i) {
      if (!os_.FindFirstFile(ToAnsi(entries[i]), FindFilter::kFilesAndFolders))
        return Stop(texts::kFileListTitle, files ? texts::kFileMissing : texts::kFolderMissing);
    }
    return -1;
  }

  // With Date_Ini 1 everything goes into a sub-folder named after today's date. Nothing is
  // written to the disk before this point.
  void PrepareDestination() {
    if (platform::Trim(job_.Date_Ini) != L"1") return;
    job_.Path += DateText(os_.Today());
    if (!os_.FindFirstFile(ToAnsi(job_.Path), FindFilter::kFilesAndFolders))
      os_.MkDir(ToAnsi(job_.Path));
    job_.Path = backup::AddTrailingBackslash(job_.Path);
  }

  bool RunBackupMode(const std::wstring& archive_path) {
    const backup::BackupJob job{os_, archiver_, job_.entries, job_.Path};
    const std::wstring type = platform::Trim(job_.Type_Ini);
    const std::wstring lzh = platform::Trim(job_.Lzh_Ini);
    bool result = false;
    if (type == L"0" && lzh == L"0") result = backup::CopyEntries(job, job_.Path);
    if (type == L"1" && lzh == L"0") result = backup::CopyEntries(job, job_.Path);
    if (type == L"0" && lzh == L"1") result = backup::ArchiveFiles(job, archive_path);
    if (type == L"1" && lzh == L"1") result = backup::ArchiveFolders(job, archive_path);
    return result;
  }

  int FinalReport(bool result) {
    if (!result) {
      os_.MessageBox(texts::kFailed, texts::kEndTitle, platform::kMbOk);
      return kExitBackupFailed;
    }
    if (job_.Message == L"0") os_.MessageBox(texts::kFinished, texts::kEndTitle, platform::kMbOk);
    return kExitSucceeded;
  }

  static bool IsZeroOrOne(double v) { return v == 0 || v == 1; }

  int Stop(const std::wstring& title, const std::wstring& prompt) {
    os_.MessageBox(prompt, title, platform::kMbOk);
    return kExitStopped;
  }

  platform::Platform& os_;
  unlha::ArchiverLibrary archiver_;
  JobSettings job_;
};

int GeneralErrorHandler(platform::Platform& os, const std::wstring& description) {
  os.MessageBox(description, std::nullopt, platform::kMbOk);
  return kExitRuntimeError;
}

}  // namespace

int Main(platform::Platform& os) {
  try {
    return JobRun(os).Run();
  } catch (const platform::ProcessEnd& end) {
    return end.status;
  } catch (const platform::RuntimeError& e) {
    return GeneralErrorHandler(os, e.Description());
  } catch (const std::bad_alloc&) {
    return GeneralErrorHandler(
        os, platform::RuntimeError(platform::ErrorKind::kOutOfMemory).Description());
  } catch (const std::exception& e) {
    return GeneralErrorHandler(os, platform::FromUtf8(e.what()));  // what() is UTF-8
  }
}

}  // namespace lhatool
