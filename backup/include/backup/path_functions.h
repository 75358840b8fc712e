// Path and command-line functions shared by the job run and the archiving modes.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace backup {

// The path without its trailing spaces, ending in "\"; only spaces give "\".
std::wstring AddTrailingBackslash(std::wstring_view path);

// The text after the last "\", "/" or ":" of the path; the whole path when it has none; empty
// when it ends in one. Raises overflow for a path longer than 32,767 characters.
std::wstring GetLastPathPart(std::wstring path);

// The text in double quotes when it holds a blank or a comma; otherwise unchanged.
std::wstring QuoteArg(std::wstring_view value);

// The short form of an existing path, or the path itself through QuoteArg when it has none.
std::wstring GetShortPathArg(platform::Platform& os, std::wstring path);

// Whether a plain file (neither a folder nor hidden nor system) matches the path, wildcards
// allowed; a closing "\" is ignored. Never fails: any error gives false.
bool FileExists(platform::Platform& os, std::wstring path);

// Names, and in the usual case creates, the list file handed to the archiver: a new unique file
// in the root folder, or else a file in the output folder `job_path` held by this run alone.
std::wstring MakeListFileName(platform::Platform& os, const std::wstring& job_path);

}  // namespace backup
