#include "platform/process.h"

#include <windows.h>

#include <algorithm>

#include "platform/text.h"

namespace platform::process {

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void WriteStandardError(std::string_view text) {
  const HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
  while (!text.empty()) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(text.size(), 1 << 20));
    if (!::WriteFile(err, text.data(), want, &put, nullptr) || put == 0) return;
    text.remove_prefix(put);
  }
}

// UTF-8, whatever the ANSI code page.
std::string EnvironmentValue(const char* name) {
  const std::wstring wide_name = FromUtf8(name);
  const DWORD n = ::GetEnvironmentVariableW(wide_name.c_str(), nullptr, 0);
  if (n == 0) return {};
  std::wstring value(n, L'\0');
  value.resize(::GetEnvironmentVariableW(wide_name.c_str(), value.data(), n));
  return ToUtf8(value);
}

void LowerThreadPriority() {
  ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace platform::process
