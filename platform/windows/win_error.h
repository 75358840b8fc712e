// Windows error codes as the errno values every Env reports (env.h).
#pragma once

#include <cstdint>

namespace platform::windows {

// The errno value for a Windows error code (GetLastError, or a converted NTSTATUS).
int ErrnoFromWin32(uint32_t code);

// ErrnoFromWin32(GetLastError()).
int LastErrno();

}  // namespace platform::windows
