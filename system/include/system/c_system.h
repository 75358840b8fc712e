// cSystem: facts about the running operating system, asked afresh on every read.
//
// On POSIX the version is the kernel release (6.1 reads as 601), the Windows folder is /usr (where
// the operating system's own files live), the system folder is the folder of the C library, and
// the platform id is a value no Windows platform uses (see PosixPlatform).
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace sys {

class cSystem {
 public:
  explicit cSystem(platform::Platform& os) : os_(os) {}

  // Major version x 100 + minor version; raises overflow when that leaves a signed 16-bit
  // number.
  int16_t OSVersion() const;
  std::wstring WindowsDirectory() const;
  std::wstring SystemDirectory() const;
  int32_t PlatformId() const;

 private:
  platform::OsVersionInfo VersionInfo() const;

  platform::Platform& os_;
};

}  // namespace sys
