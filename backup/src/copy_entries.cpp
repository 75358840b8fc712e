#include "backup/backup_modes.h"
#include "platform/text.h"

namespace backup {
namespace {

// Removes the closing "\" (and any blanks after it) and keeps the rest as it is: leading blanks
// belong to the path.
std::wstring CutClosingBackslash(const std::wstring& text) {
  std::wstring out = platform::RTrim(text);
  if (!out.empty() && out.back() == L'\\') {
    out.pop_back();
    return out;
  }
  return text;
}

// A list of one path, ended by its own NUL and one more.
std::string PathList(const std::wstring& path) {
  std::string list = platform::ToAnsi(path);
  list.push_back('\0');
  list.push_back('\0');
  return list;
}

}  // namespace

bool CopyEntries(const BackupJob& job, std::wstring destination) {
  constexpr uint16_t kFlags = platform::FOF_SILENT | platform::FOF_NOCONFIRMATION;  // 20
  bool result = true;
  try {
    destination = CutClosingBackslash(destination);
    for (int i = job.entries.LBound(); i <= job.entries.UBound(); ++i) {
      try {
        platform::SHFILEOPSTRUCTA op;
        op.hwnd = 0;
        op.wFunc = platform::FO_COPY;
        op.pFrom = PathList(CutClosingBackslash(job.entries[i]));
        op.pTo = PathList(destination);
        op.fFlags = kFlags;
        if (job.os.SHFileOperationA(op) != 0) result = false;
      } catch (...) {
        result = false;  // a copy that could not even be attempted did not succeed
      }
    }
  } catch (...) {
    result = false;
  }
  return result;
}

}  // namespace backup
