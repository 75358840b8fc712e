#include "system/c_system.h"

#include <cstring>
#include <limits>
#include <vector>

#include "platform/runtime.h"
#include "platform/text.h"

namespace sys {
namespace {

constexpr uint32_t kVersionInfoSize = 148;  // the ANSI OSVERSIONINFO
constexpr uint32_t kFolderBufferLength = 512;

std::wstring BufferText(const std::vector<char>& buffer) {
  return platform::FromAnsi(std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size())));
}

}  // namespace

platform::OsVersionInfo cSystem::VersionInfo() const {
  platform::OsVersionInfo info{};
  info.dwOSVersionInfoSize = kVersionInfoSize;
  os_.GetVersionExA(info);
  return info;
}

int16_t cSystem::OSVersion() const {
  const platform::OsVersionInfo info = VersionInfo();
  // The fields are read as the runtime's signed 32-bit numbers, and so is the sum.
  const int64_t major = static_cast<int32_t>(info.dwMajorVersion);
  const int64_t minor = static_cast<int32_t>(info.dwMinorVersion);
  auto int32 = [](int64_t v) {
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
      platform::Raise(platform::ErrorKind::kOverflow);
    return v;
  };
  return platform::ToInt16(int32(int32(major * 100) + minor));
}

std::wstring cSystem::WindowsDirectory() const {
  std::vector<char> buffer(kFolderBufferLength, '\0');
  os_.GetWindowsDirectoryA(buffer.data(), kFolderBufferLength);
  return BufferText(buffer);
}

std::wstring cSystem::SystemDirectory() const {
  std::vector<char> buffer(kFolderBufferLength, '\0');
  os_.GetSystemDirectoryA(buffer.data(), kFolderBufferLength);
  return BufferText(buffer);
}

int32_t cSystem::PlatformId() const {
  return static_cast<int32_t>(VersionInfo().dwPlatformId);
}

}  // namespace sys
