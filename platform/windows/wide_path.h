// The Windows Env's native paths (UTF-8, "/" or "\" between components, as env.h describes them)
// and the wide paths the W functions of Windows take.
//
// Every call goes through the extended-length form ("\\?\C:\...", "\\?\UNC\server\share\..."):
// it reaches paths of any length, and it names exactly what it says, since Windows then neither
// trims trailing dots and blanks nor takes CON or NUL for devices. That is also why "." and ".."
// are resolved here, lexically, as the Win32 path rules resolve them.
#pragma once

#include <string>
#include <string_view>

namespace platform::windows {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The absolute extended-length form of a native path. A relative path counts from the current
// folder; "\" alone, or a path that starts with one, from the root of the current drive; "C:"
// followed by a relative path from that drive's current folder.
std::wstring ExtendedPath(std::string_view native);

// The length of the root of an extended-length path: "\\?\C:\" or "\\?\UNC\server\share\".
size_t RootLength(std::wstring_view extended);

// The folder above an extended-length path; the root's is the root.
std::wstring ParentOf(std::wstring_view extended);

// `name` (one component, "." or "..") inside the folder `extended`.
std::wstring ChildOf(std::wstring_view extended, std::wstring_view name);

// The native form of an extended-length path ("C:/x/y", "//server/share/x").
std::string NativePath(std::wstring_view extended);

// The form without the extended-length prefix, for the few calls that do not take it
// (LoadLibraryW, GetShortPathNameW under older systems).
std::wstring PlainPath(std::wstring_view extended);

}  // namespace platform::windows
