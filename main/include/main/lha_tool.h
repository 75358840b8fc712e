// The module LhaTool1: the job run from start to end, the job settings and the information file.
#pragma once

#include <string>
#include <string_view>

#include "backup/entry_list.h"
#include "platform/platform.h"

namespace lhatool {

// Exit statuses of the process.
inline constexpr int kExitSucceeded = 0;
inline constexpr int kExitBackupFailed = 1;  // the backup mode ran and failed
inline constexpr int kExitStopped = 2;       // stopped before any backup ran
inline constexpr int kExitRuntimeError = 3;  // the general error handler

// The job settings: the values of the information file, named after their keys. Path values are
// upper case; Type_Ini, Lzh_Ini, Date_Ini and Message hold at most one character.
struct JobSettings {
  std::wstring Path;
  std::wstring FILENAME;
  backup::EntryList entries;  // FILE1, FILE2, ... at index 0, 1, ...
  std::wstring Type_Ini;
  std::wstring Lzh_Ini;
  std::wstring Date_Ini;
  std::wstring Message;
};

// The text before the last NUL of `text`, or the whole text when it has none.
std::wstring CutAtNul(std::wstring_view text);

// Reads the information file at `path` into `settings`; returns true. Missing keys, sections or
// files read as empty values; raises overflow when FILE1 to FILE32767 are all present.
bool ReadInformationFile(platform::Platform& os, const std::wstring& path, JobSettings& settings);

// Runs one job as the process's whole life and returns the exit status.
int Main(platform::Platform& os);

}  // namespace lhatool
