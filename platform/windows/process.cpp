#include "platform/process.h"

#include <windows.h>

#include <algorithm>

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

void LowerThreadPriority() {
  ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace platform::process
