// The fake archiver library: scripted answers, recorded arguments. Built three times: complete,
// with FAKE_UNLHA32_PARTIAL as a library that lacks some entry points, and with
// FAKE_UNLHA32_VERSION as a library that reports that version unless told otherwise.
#include "fake_unlha32.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#ifndef FAKE_UNLHA32_VERSION
#define FAKE_UNLHA32_VERSION 100
#endif

namespace {

// The option buffer's length that callers promise.
constexpr size_t kOptionLength = 257;

struct State {
  FakeUnlhaScript script{};
  FakeUnlhaRecord record{};
  std::vector<const char*> calls;
  std::string command_line, buffer, checked_path, option, opened_path, wildcard;
  UNLHA_BOOL background = 0;
  UNLHA_BOOL cursor = 0;
  UNLHA_HARC open_archive = 0;
  uint32_t next_entry = 0;
};

State& S() {
  static State state;
  return state;
}

void Called(const char* name) {
  S().calls.push_back(name);
}

bool DeliverEntry(UNLHA_HARC harc, INDIVIDUALINFO* info) {
  State& s = S();
  if (harc == 0 || harc != s.open_archive || s.next_entry >= s.script.entry_count) return false;
  *info = s.script.entries[s.next_entry++];
  return true;
}

}  // namespace

extern "C" {

void FakeUnlha_Reset(void) {
  State& s = S();
  s = State{};
  s.script.version = FAKE_UNLHA32_VERSION;
  s.script.end_code = -1;
  s.record.background_set = -1;
  s.record.cursor_set = -1;
}

FakeUnlhaScript* FakeUnlha_Script(void) {
  return &S().script;
}

const FakeUnlhaRecord* FakeUnlha_Record(void) {
  State& s = S();
  FakeUnlhaRecord& r = s.record;
  r.calls = s.calls.data();
  r.call_count = static_cast<uint32_t>(s.calls.size());
  r.command_line = s.command_line.c_str();
  r.buffer = s.buffer.data();
  r.checked_path = s.checked_path.c_str();
  r.option = s.option.c_str();
  r.option_length = static_cast<uint32_t>(s.option.size());
  r.opened_path = s.opened_path.c_str();
  r.wildcard = s.wildcard.c_str();
  return &r;
}

#ifndef FAKE_UNLHA32_PARTIAL
int32_t Unlha(UNLHA_HWND hwnd, const char* szCmdLine, char* szOutput, uint32_t dwSize) {
  State& s = S();
  Called("Unlha");
  s.record.command_hwnd = hwnd;
  s.command_line = szCmdLine ? szCmdLine : "";
  s.buffer.assign(szOutput, dwSize);
  s.record.buffer_size = dwSize;
  if (s.script.output)
    std::memcpy(szOutput, s.script.output, std::min(s.script.output_length, dwSize));
  return s.script.command_result;
}

uint16_t UnlhaGetVersion(void) {
  Called("UnlhaGetVersion");
  return S().script.version;
}
#endif

UNLHA_BOOL UnlhaGetRunning(void) {
  Called("UnlhaGetRunning");
  return S().script.running;
}

UNLHA_BOOL UnlhaGetBackGroundMode(void) {
  Called("UnlhaGetBackGroundMode");
  return S().background;
}

UNLHA_BOOL UnlhaSetBackGroundMode(UNLHA_BOOL bBackGroundMode) {
  Called("UnlhaSetBackGroundMode");
  S().record.background_set = bBackGroundMode;
  return S().background = bBackGroundMode;
}

UNLHA_BOOL UnlhaGetCursorMode(void) {
  Called("UnlhaGetCursorMode");
  return S().cursor;
}

UNLHA_BOOL UnlhaSetCursorMode(UNLHA_BOOL bCursorMode) {
  Called("UnlhaSetCursorMode");
  S().record.cursor_set = bCursorMode;
  return S().cursor = bCursorMode;
}

UNLHA_BOOL UnlhaCheckArchive(const char* szFileName, int32_t iMode) {
  State& s = S();
  Called("UnlhaCheckArchive");
  s.checked_path = szFileName ? szFileName : "";
  s.record.check_mode = iMode;
  return s.script.check_result;
}

#ifndef FAKE_UNLHA32_PARTIAL
int32_t UnlhaConfigDialog(UNLHA_HWND hwnd, char* szOptionBuffer, int32_t iMode) {
  State& s = S();
  Called("UnlhaConfigDialog");
  s.record.config_hwnd = hwnd;
  s.option.assign(szOptionBuffer, kOptionLength);
  s.record.config_mode = iMode;
  if (s.script.config_output)
    std::memcpy(szOptionBuffer, s.script.config_output,
                std::min<size_t>(s.script.config_output_length, kOptionLength));
  return s.script.config_result;
}
#endif

UNLHA_HARC UnlhaOpenArchive(UNLHA_HWND hwnd, const char* szFileName, uint32_t dwMode) {
  State& s = S();
  Called("UnlhaOpenArchive");
  s.record.open_hwnd = hwnd;
  s.opened_path = szFileName ? szFileName : "";
  s.record.open_mode = dwMode;
  s.open_archive = s.script.archive;
  s.next_entry = 0;
  return s.script.archive;
}

int32_t UnlhaCloseArchive(UNLHA_HARC harc) {
  State& s = S();
  Called("UnlhaCloseArchive");
  s.record.closed_handle = harc;
  if (harc != s.open_archive) return -1;
  s.open_archive = 0;
  return 0;
}

int32_t UnlhaFindFirst(UNLHA_HARC harc, const char* szWildName, INDIVIDUALINFO* lpSubInfo) {
  State& s = S();
  Called("UnlhaFindFirst");
  s.wildcard = szWildName ? szWildName : "";
  s.next_entry = 0;
  return DeliverEntry(harc, lpSubInfo) ? 0 : s.script.end_code;
}

#ifndef FAKE_UNLHA32_PARTIAL
int32_t UnlhaFindNext(UNLHA_HARC harc, INDIVIDUALINFO* lpSubInfo) {
  Called("UnlhaFindNext");
  return DeliverEntry(harc, lpSubInfo) ? 0 : S().script.end_code;
}
#endif

}  // extern "C"

namespace {
// A freshly loaded fake starts from the reset state.
[[maybe_unused]] const bool kInitialised = (FakeUnlha_Reset(), true);
}  // namespace
