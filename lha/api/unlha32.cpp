// The C interface of libunlha32.so (UnLHA32.DLL). Every function runs its body inside one guard,
// so no C++ exception ever crosses the interface: lha::Error becomes its result code, running out
// of memory UNLHA_ERROR_NO_MEMORY, and anything else UNLHA_ERROR_INTERNAL (functions that return
// no code report their plain failure value).
//
// Text crosses the interface in the ANSI code page and is UTF-8 inside: the command line, the
// names in response files, archive names and wildcards are converted on the way in; the output
// text and listed names on the way out, cut at whole characters. On POSIX both are UTF-8.
#include "unlha32.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "api/progress_line.h"
#include "api/version.h"
#include "command/archive_file.h"
#include "command/commands.h"
#include "command/local_time.h"
#include "format/archive_reader.h"
#include "format/listing.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/winpath.h"

namespace {

using lha::command::OutputLog;

std::atomic<bool> g_running{false};
std::atomic<bool> g_background_mode{false};
std::atomic<bool> g_cursor_mode{false};

template <class Result, class Body>
Result Guarded(Result on_failure, Body body) {
  try {
    return body();
  } catch (const lha::Error& e) {
    if constexpr (std::is_same_v<Result, int32_t>) return e.code();
    return on_failure;
  } catch (const std::bad_alloc&) {
    if constexpr (std::is_same_v<Result, int32_t>) return UNLHA_ERROR_NO_MEMORY;
    return on_failure;
  } catch (...) {
    if constexpr (std::is_same_v<Result, int32_t>) return UNLHA_ERROR_INTERNAL;
    return on_failure;
  }
}

// Runs a command, on a thread of lowered priority in background mode: the thread takes its
// priority with it when it ends, so the caller's own priority never changes.
int32_t RunCommand(const std::string& command_line, OutputLog& log) {
  lha::command::Progress silent;
  std::optional<lha::api::ProgressLine> line;
  if (g_cursor_mode && platform::process::StandardErrorIsTerminal())
    line.emplace(&platform::process::WriteStandardError,
                 [] { return std::chrono::steady_clock::now(); });
  lha::command::Progress& progress = line ? *line : silent;
  int32_t code = UNLHA_ERROR_INTERNAL;
  const lha::command::ResponseText response_text = [](std::string_view bytes) {
    return platform::AnsiToUtf8(bytes);  // a list file is written in the ANSI code page
  };
  auto run = [&] {
    code =
        lha::command::Execute(platform::Env::Default(), command_line, log, progress, response_text);
  };
  if (!g_background_mode) {
    run();
  } else {
    std::thread worker([&] {
      platform::process::LowerThreadPriority();
      run();
    });
    worker.join();
  }
  return code;
}

// An archive open for listing.
struct ListingSession {
  lha::command::OpenArchive archive;
  std::unique_ptr<lha::format::ArchiveReader> reader;
  std::string wildcard;
};

std::mutex g_sessions_mutex;
std::map<UNLHA_HARC, std::unique_ptr<ListingSession>> g_sessions;
UNLHA_HARC g_next_handle = 1;

ListingSession* FindSession(UNLHA_HARC harc) {
  auto it = g_sessions.find(harc);
  return it == g_sessions.end() ? nullptr : it->second.get();
}

// UTF-8 text into a caller's field of `size` bytes, in the ANSI code page, NUL-terminated.
void CopyText(char* field, size_t size, const std::string& text) {
  const std::string ansi = platform::Utf8ToAnsiWithin(text.substr(0, text.find('\0')), size - 1);
  std::memset(field, 0, size);
  std::memcpy(field, ansi.data(), ansi.size());
}

void FillInfo(const lha::format::EntryHeader& e, INDIVIDUALINFO* info) {
  const auto v =
      lha::format::DeriveListing(e, lha::command::SystemLocalTime(platform::Env::Default()), '\\');
  auto low32 = [](uint64_t size) {
    return size >= (uint64_t{1} << 32) ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
  };
  std::memset(info, 0, sizeof *info);
  info->dwOriginalSize = low32(e.original_size);
  info->dwCompressedSize = low32(e.packed_size);
  info->dwCRC = v.crc;
  info->uOSType = e.os_id;
  info->wRatio = static_cast<uint16_t>(std::min<uint64_t>(v.ratio_per_mille, 0xFFFF));
  info->wDate = v.dos_date;
  info->wTime = v.dos_time;
  CopyText(info->szFileName, sizeof info->szFileName, v.name);
  CopyText(info->szAttribute, sizeof info->szAttribute, v.attribute_text.substr(0, 4));
  CopyText(info->szMode, sizeof info->szMode, v.method.substr(0, 5));
}

bool Matches(const std::string& wildcard, const lha::format::EntryHeader& e) {
  if (wildcard.empty() || wildcard == "*.*" || wildcard == "*") return true;
  std::string pattern = wildcard;
  std::replace(pattern.begin(), pattern.end(), '/', '\\');
  const bool has_folder = pattern.find('\\') != std::string::npos;
  return platform::winpath::MatchWildcard(
      pattern, has_folder ? e.JoinedPath('\\') : (e.path.empty() ? std::string() : e.path.back()));
}

int32_t NextMatch(ListingSession& s, INDIVIDUALINFO* info) {
  while (auto e = s.reader->Next()) {
    if (!Matches(s.wildcard, *e)) continue;
    FillInfo(*e, info);
    return 0;
  }
  return -1;
}

}  // namespace

extern "C" {

UNLHA32_API int32_t Unlha(UNLHA_HWND, const char* szCmdLine, char* szOutput, uint32_t dwSize) {
  return Guarded<int32_t>(UNLHA_ERROR_INTERNAL, [&]() -> int32_t {
    if (szOutput && dwSize > 0) szOutput[0] = '\0';
    bool idle = false;
    if (!g_running.compare_exchange_strong(idle, true)) return UNLHA_ERROR_ALREADY_RUNNING;
    struct Done {
      ~Done() { g_running = false; }
    } done;
    if (!szCmdLine) return UNLHA_ERROR_COMMAND;
    // The log is kept in UTF-8, never shorter than its ANSI form: what fits one fits the other.
    OutputLog log(dwSize > 0 ? dwSize - 1 : 0);
    const int32_t code = RunCommand(platform::AnsiToUtf8(szCmdLine), log);
    if (szOutput && dwSize > 0) {
      // Only the text and its NUL: the rest of a large buffer stays untouched.
      const std::string ansi = platform::Utf8ToAnsiWithin(log.text(), dwSize - 1);
      std::memcpy(szOutput, ansi.data(), ansi.size());
      szOutput[ansi.size()] = '\0';
    }
    return code;
  });
}

UNLHA32_API uint16_t UnlhaGetVersion(void) {
  return lha::kLibraryVersion;
}

UNLHA32_API UNLHA_BOOL UnlhaGetRunning(void) {
  return g_running ? 1 : 0;
}

UNLHA32_API UNLHA_BOOL UnlhaGetBackGroundMode(void) {
  return g_background_mode ? 1 : 0;
}

UNLHA32_API UNLHA_BOOL UnlhaSetBackGroundMode(UNLHA_BOOL bBackGroundMode) {
  g_background_mode = bBackGroundMode != 0;
  return g_background_mode ? 1 : 0;
}

UNLHA32_API UNLHA_BOOL UnlhaGetCursorMode(void) {
  return g_cursor_mode ? 1 : 0;
}

UNLHA32_API UNLHA_BOOL UnlhaSetCursorMode(UNLHA_BOOL bCursorMode) {
  g_cursor_mode = bCursorMode != 0;
  return g_cursor_mode ? 1 : 0;
}

UNLHA32_API UNLHA_BOOL UnlhaCheckArchive(const char* szFileName, int32_t iMode) {
  return Guarded<UNLHA_BOOL>(0, [&]() -> UNLHA_BOOL {
    if (!szFileName) return 0;
    return lha::command::CheckArchive(platform::Env::Default(), platform::AnsiToUtf8(szFileName),
                                      iMode != 0)
               ? 1
               : 0;
  });
}

// No dialog exists on POSIX: nothing is shown, the option buffer is left as it is, and the
// result is 0, as for a dialog closed without choosing.
UNLHA32_API int32_t UnlhaConfigDialog(UNLHA_HWND, char*, int32_t) {
  return 0;
}

UNLHA32_API UNLHA_HARC UnlhaOpenArchive(UNLHA_HWND, const char* szFileName, uint32_t) {
  return Guarded<UNLHA_HARC>(0, [&]() -> UNLHA_HARC {
    if (!szFileName) return 0;
    auto archive =
        lha::command::OpenArchive::Open(platform::Env::Default(), platform::AnsiToUtf8(szFileName),
                                        lha::command::LockMode::kShared);
    if (!archive) return 0;
    auto session =
        std::make_unique<ListingSession>(ListingSession{std::move(*archive), nullptr, {}});
    // Only an archive is opened: a file of another kind fails here.
    session->reader = std::make_unique<lha::format::ArchiveReader>(session->archive.Reader());
    std::lock_guard lock(g_sessions_mutex);
    while (g_next_handle == 0 || g_sessions.count(g_next_handle))
      ++g_next_handle;
    const UNLHA_HARC handle = g_next_handle++;
    g_sessions.emplace(handle, std::move(session));
    return handle;
  });
}

UNLHA32_API int32_t UnlhaCloseArchive(UNLHA_HARC harc) {
  return Guarded<int32_t>(UNLHA_ERROR_INTERNAL, [&]() -> int32_t {
    std::lock_guard lock(g_sessions_mutex);
    return g_sessions.erase(harc) ? 0 : UNLHA_ERROR_ARC_FILE_OPEN;
  });
}

UNLHA32_API int32_t UnlhaFindFirst(UNLHA_HARC harc, const char* szWildName,
                                   INDIVIDUALINFO* lpSubInfo) {
  return Guarded<int32_t>(UNLHA_ERROR_INTERNAL, [&]() -> int32_t {
    std::lock_guard lock(g_sessions_mutex);
    ListingSession* s = FindSession(harc);
    if (!s || !lpSubInfo) return UNLHA_ERROR_ARC_FILE_OPEN;
    s->wildcard = szWildName ? platform::AnsiToUtf8(szWildName) : "";
    s->reader = std::make_unique<lha::format::ArchiveReader>(s->archive.Reader());
    return NextMatch(*s, lpSubInfo);
  });
}

UNLHA32_API int32_t UnlhaFindNext(UNLHA_HARC harc, INDIVIDUALINFO* lpSubInfo) {
  return Guarded<int32_t>(UNLHA_ERROR_INTERNAL, [&]() -> int32_t {
    std::lock_guard lock(g_sessions_mutex);
    ListingSession* s = FindSession(harc);
    if (!s || !lpSubInfo) return UNLHA_ERROR_ARC_FILE_OPEN;
    return NextMatch(*s, lpSubInfo);
  });
}

}  // extern "C"
