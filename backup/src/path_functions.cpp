#include "backup/path_functions.h"

#include <cstring>
#include <vector>

#include "platform/runtime.h"
#include "platform/text.h"

namespace backup {
namespace {

// The buffer's text before its first NUL.
std::wstring BufferText(const std::vector<char>& buffer) {
  return platform::FromAnsi(std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size())));
}

}  // namespace

std::wstring AddTrailingBackslash(std::wstring_view path) {
  std::wstring out = platform::RTrim(path);
  if (out.empty() || out.back() != L'\\') out += L'\\';
  return out;
}

std::wstring GetLastPathPart(std::wstring path) {
  const int16_t length = platform::ToInt16(static_cast<int64_t>(path.size()));
  for (int16_t i = 0; i < length; ++i)
    if (path[static_cast<size_t>(i)] == L'/') path[static_cast<size_t>(i)] = L'\\';
  // Dropping up to each first "\" in turn, then up to each first ":", leaves what follows the
  // last "\" and then the last ":" of that.
  if (size_t last = path.rfind(L'\\'); last != std::wstring::npos) path.erase(0, last + 1);
  if (size_t last = path.rfind(L':'); last != std::wstring::npos) path.erase(0, last + 1);
  return path;
}

std::wstring QuoteArg(std::wstring_view value) {
  if (value.find_first_of(L" ,") == std::wstring_view::npos) return std::wstring(value);
  return L"\"" + std::wstring(value) + L"\"";
}

std::wstring GetShortPathArg(platform::Platform& os, std::wstring path) {
  constexpr uint32_t kBufferLength = 300;
  std::vector<char> buffer(kBufferLength, '\0');
  const uint32_t n =
      os.GetShortPathNameA(platform::ToAnsi(path).c_str(), buffer.data(), kBufferLength);
  // A short form too long for the buffer is not written into it: the long form is the only one.
  if (n == 0 || n >= kBufferLength) return QuoteArg(path);
  return BufferText(buffer);
}

bool FileExists(platform::Platform& os, std::wstring path) {
  try {
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return os.FindFirstFile(platform::ToAnsi(path), platform::FindFilter::kPlainFiles);
  } catch (...) {
    return false;
  }
}

std::wstring MakeListFileName(platform::Platform& os, const std::wstring& job_path) {
  constexpr uint32_t kBufferLength = 261;
  std::vector<char> buffer(kBufferLength, '\0');
  if (os.GetTempFileNameA("\\", "~VB", 0, buffer.data()) != 0) return BufferText(buffer);
  // The output folder is shared by every run of the same job: the fallback file must be this
  // run's alone, or two runs at once would pack each other's lists.
  return platform::FromAnsi(os.ClaimFile(platform::ToAnsi(job_path), "Dummy", ".tmp"));
}

}  // namespace backup
