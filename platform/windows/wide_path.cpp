#include "wide_path.h"

#include <windows.h>

#include <vector>

#include "platform/text.h"

namespace platform::windows {
namespace {

constexpr std::wstring_view kExtended = L"\\\\?\\";
constexpr std::wstring_view kExtendedUnc = L"\\\\?\\UNC\\";

bool IsLetter(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

std::wstring CurrentFolder() {
  std::wstring buf(MAX_PATH, L'\0');
  DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), buf.data());
  if (n >= buf.size()) {
    buf.resize(n);
    n = ::GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), buf.data());
  }
  buf.resize(n < buf.size() ? n : 0);
  return buf;
}

// The current folder of a drive ("C:" names it), as Windows keeps one per drive.
std::wstring CurrentFolderOf(wchar_t drive) {
  const wchar_t drive_only[] = {drive, L':', L'\0'};
  std::wstring buf(MAX_PATH, L'\0');
  wchar_t* file_part = nullptr;
  DWORD n = ::GetFullPathNameW(drive_only, static_cast<DWORD>(buf.size()), buf.data(), &file_part);
  if (n >= buf.size()) {
    buf.resize(n);
    n = ::GetFullPathNameW(drive_only, static_cast<DWORD>(buf.size()), buf.data(), &file_part);
  }
  buf.resize(n < buf.size() ? n : 0);
  if (buf.empty()) buf = std::wstring{drive, L':', L'\\'};
  return buf;
}

// An absolute path ("C:\...", "\\server\share\..." or already extended) split into its root in
// extended form and the rest.
void SplitRoot(std::wstring_view path, std::wstring* root, std::wstring_view* rest) {
  auto take_unc = [&](std::wstring_view after) {  // after = "server\share\rest"
    size_t server_end = after.find(L'\\');
    if (server_end == std::wstring_view::npos) server_end = after.size();
    size_t share_end = after.find(L'\\', std::min(after.size(), server_end + 1));
    if (share_end == std::wstring_view::npos) share_end = after.size();
    *root = std::wstring(kExtendedUnc) + std::wstring(after.substr(0, share_end)) + L'\\';
    *rest = after.substr(std::min(after.size(), share_end + 1));
  };
  if (path.starts_with(kExtendedUnc)) return take_unc(path.substr(kExtendedUnc.size()));
  if (path.starts_with(kExtended) || path.starts_with(L"\\\\.\\")) path.remove_prefix(4);
  if (path.starts_with(L"\\\\")) return take_unc(path.substr(2));
  *root = std::wstring(kExtended) + std::wstring(path.substr(0, 2)) + L'\\';
  *rest = path.substr(std::min<size_t>(path.size(), 3));
}

// "." dropped, ".." taking the component before it away (never the root), separators doubled
// or at the end dropped.
std::wstring Normalised(const std::wstring& root, std::wstring_view rest) {
  std::vector<std::wstring_view> parts;
  size_t i = 0;
  while (i <= rest.size()) {
    size_t j = rest.find(L'\\', i);
    if (j == std::wstring_view::npos) j = rest.size();
    const std::wstring_view part = rest.substr(i, j - i);
    if (part == L"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != L".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::wstring out = root;
  for (size_t k = 0; k < parts.size(); ++k) {
    if (k > 0) out += L'\\';
    out += parts[k];
  }
  return out;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
  return FromUtf8(utf8);
}

std::string Narrow(std::wstring_view wide) {
  return ToUtf8(wide);
}

std::wstring ExtendedPath(std::string_view native) {
  std::wstring w = Widen(native);
  for (auto& c : w)
    if (c == L'/') c = L'\\';
  std::wstring absolute;
  if (w.starts_with(L"\\\\")) {
    absolute = std::move(w);
  } else if (w.size() >= 2 && IsLetter(w[0]) && w[1] == L':') {
    if (w.size() >= 3 && w[2] == L'\\') {
      absolute = std::move(w);
    } else {
      absolute = CurrentFolderOf(w[0]) + L'\\' + w.substr(2);
    }
  } else if (w.starts_with(L'\\')) {
    std::wstring root;
    std::wstring_view rest;
    SplitRoot(CurrentFolder(), &root, &rest);
    return Normalised(root, std::wstring_view(w).substr(1));
  } else {
    absolute = CurrentFolder() + L'\\' + w;
  }
  std::wstring root;
  std::wstring_view rest;
  SplitRoot(absolute, &root, &rest);
  return Normalised(root, rest);
}

size_t RootLength(std::wstring_view extended) {
  std::wstring root;
  std::wstring_view rest;
  SplitRoot(extended, &root, &rest);
  return std::min(root.size(), extended.size());
}

std::wstring ParentOf(std::wstring_view extended) {
  const size_t root = RootLength(extended);
  if (extended.size() <= root) return std::wstring(extended);
  const size_t slash = extended.rfind(L'\\');
  if (slash == std::wstring_view::npos || slash < root)
    return std::wstring(extended.substr(0, root));
  return std::wstring(extended.substr(0, slash));
}

std::wstring ChildOf(std::wstring_view extended, std::wstring_view name) {
  if (name == L".") return std::wstring(extended);
  if (name == L"..") return ParentOf(extended);
  std::wstring out(extended);
  if (!out.ends_with(L'\\')) out += L'\\';
  out += name;
  return out;
}

std::string NativePath(std::wstring_view extended) {
  std::wstring w;
  if (extended.starts_with(kExtendedUnc)) {
    w = L"\\\\" + std::wstring(extended.substr(kExtendedUnc.size()));
  } else if (extended.starts_with(kExtended)) {
    w = std::wstring(extended.substr(kExtended.size()));
  } else {
    w = std::wstring(extended);
  }
  for (auto& c : w)
    if (c == L'\\') c = L'/';
  return Narrow(w);
}

std::wstring PlainPath(std::wstring_view extended) {
  if (extended.starts_with(kExtendedUnc))
    return L"\\\\" + std::wstring(extended.substr(kExtendedUnc.size()));
  if (extended.starts_with(kExtended)) return std::wstring(extended.substr(kExtended.size()));
  return std::wstring(extended);
}

}  // namespace platform::windows
