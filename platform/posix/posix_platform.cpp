// The POSIX stand-ins for the Windows services of platform.h.
#include <dlfcn.h>
#include <link.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "box_text.h"
#include "claim.h"
#include "copier.h"
#include "platform/env.h"
#include "platform/fs.h"
#include "platform/platform.h"
#include "platform/process.h"
#include "platform/runtime.h"
#include "platform/text.h"
#include "platform/winpath.h"
#include "profile.h"

namespace platform {
namespace {

// dwPlatformId for a POSIX system: none of the Windows values would describe it honestly.
constexpr uint32_t kPosixPlatformId = 0x50534958;  // the letters "PSIX", far from Windows' 0 to 3

void WaitForEnter() {
  char c;
  while (true) {
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') return;
  }
}

uint32_t CopyOut(std::string_view text, char* buffer, uint32_t size) {
  if (!buffer || size == 0) return 0;
  if (text.size() + 1 > size) return static_cast<uint32_t>(text.size() + 1);
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return static_cast<uint32_t>(text.size());
}

// Where the dynamic linker would take `file` from, when it can load it at all.
std::string LinkerSearch(const char* file) {
  void* h = ::dlopen(file, RTLD_LAZY | RTLD_LOCAL);
  if (!h) return {};
  std::string found;
  link_map* map = nullptr;
  if (::dlinfo(h, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) found = map->l_name;
  ::dlclose(h);
  return found;
}

class PosixPlatform final : public Platform {
 public:
  PosixPlatform(Env& env, int argc, char** argv) : env_(env), resolver_(env), profiles_(env) {
    for (int i = 1; i < argc; ++i) {
      if (i > 1) arguments_ += ' ';
      arguments_ += argv[i];
    }
  }

  std::string ArgumentText() override { return arguments_; }

  void MessageBox(const std::wstring& prompt, const std::optional<std::wstring>& title,
                  int style) override {
    process::WriteStandardError(ToAnsi(BoxText(prompt, title, style)));
    if (::isatty(STDIN_FILENO)) WaitForEnter();
  }

  LocalDate Today() override {
    const BrokenDownTime now = env_.ToLocalTime(env_.Now());
    return {now.year, now.month, now.day};
  }

  uint32_t GetPrivateProfileStringA(const char* section, const char* key, const char* def,
                                    char* buffer, uint32_t size, const char* file) override {
    return profiles_.Get(section, key, def, buffer, size, file);
  }

  bool FindFirstFile(const std::string& pattern, FindFilter filter) override {
    const auto pp = winpath::Parse(pattern);
    if (pp.trailing_separator && filter == FindFilter::kFilesAndFolders) {
      // "DATA\" searches inside the folder, which always yields its own "." entry.
      return FolderExists(pattern);
    }
    if (pp.trailing_separator) return false;
    const fs::PatternMatches m = resolver_.MatchPattern(pattern);
    if (m.status != fs::ResolveStatus::kFound) return false;
    for (size_t i = 0; i < m.names.size(); ++i) {
      if (winpath::IsHiddenName(m.names[i])) continue;
      // The listing that found the name mostly tells its kind too; a link is followed.
      const std::optional<fs::Kind> listed = m.kinds[i];
      const fs::Kind k = listed && listed != fs::Kind::kSymlink
                             ? *listed
                             : fs::KindOf(env_, fs::Join(m.dir, m.names[i]));
      if (k == fs::Kind::kFile ||
          (k == fs::Kind::kFolder && filter == FindFilter::kFilesAndFolders))
        return true;
    }
    return false;
  }

  bool FolderExists(const std::string& path) override {
    const fs::Resolution r = resolver_.ResolveExisting(path);
    return r.status == fs::ResolveStatus::kFound && fs::KindOf(env_, r.path) == fs::Kind::kFolder;
  }

  void MkDir(const std::string& path) override {
    const fs::Resolution r = resolver_.ResolveForCreate(path);
    if (r.status != fs::ResolveStatus::kFound || !env_.MakeFolder(r.path, 0777))
      Raise(ErrorKind::kPathFileAccess, FromAnsi(path));
    resolver_.NameChanged(r.path);
  }

  void Kill(const std::string& path) override {
    const fs::Resolution r = resolver_.ResolveExisting(path);
    if (r.status != fs::ResolveStatus::kFound) Raise(ErrorKind::kFileNotFound, FromAnsi(path));
    int error = 0;
    if (fs::KindOf(env_, r.path, false) == fs::Kind::kFolder || !env_.Remove(r.path, &error)) {
      Raise(IsMissingError(error) ? ErrorKind::kFileNotFound : ErrorKind::kPathFileAccess,
            FromAnsi(path));
    }
    resolver_.NameChanged(r.path);
  }

  void WriteFile(const std::string& path, const std::string& bytes) override {
    const fs::Resolution r = resolver_.ResolveForCreate(path);
    File file;
    if (r.status == fs::ResolveStatus::kFound) {
      file = env_.OpenForWriting(r.path, 0666, nullptr);
      resolver_.NameChanged(r.path);
    }
    const bool ok = file.is_open() &&
                    file.WriteAll(std::span<const uint8_t>(
                        reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) &&
                    file.Close();
    if (!ok) Raise(ErrorKind::kPathFileAccess, FromAnsi(path));
  }

  uint32_t GetTempFileNameA(const char* dir, const char* prefix, uint32_t unique,
                            char* buffer) override {
    if (!dir || !buffer) return 0;
    std::string win_dir = dir;
    if (!win_dir.empty() && !winpath::IsSeparator(win_dir.back())) win_dir += '\\';
    const std::string pre = std::string(prefix ? prefix : "").substr(0, 3);
    auto name_for = [&](uint32_t n) {
      char hex[16];
      std::snprintf(hex, sizeof hex, "%X", n & 0xFFFF);
      return pre + hex + ".TMP";
    };
    auto emit = [&](uint32_t n) {
      const std::string full = win_dir + name_for(n);
      if (full.size() >= 260) return 0u;
      std::memcpy(buffer, full.c_str(), full.size() + 1);
      return n;
    };
    if (unique != 0) return emit(unique);  // only forms the name, as on Windows

    const fs::Resolution r = resolver_.ResolveExisting(win_dir);
    if (r.status != fs::ResolveStatus::kFound || fs::KindOf(env_, r.path) != fs::Kind::kFolder)
      return 0;
    std::random_device seed;
    const uint32_t start = (seed() % 0xFFFF) + 1;
    for (uint32_t i = 0; i < 0xFFFF; ++i) {
      const uint32_t n = ((start + i - 1) % 0xFFFF) + 1;
      const std::string path = fs::Join(r.path, name_for(n));
      int error = 0;
      if (env_.CreateFile(path, 0666, &error).is_open()) {
        resolver_.NameChanged(path);
        if (emit(n) == 0) {
          env_.Remove(path);
          return 0;
        }
        return n;
      }
      if (!IsExistsError(error)) return 0;
    }
    return 0;
  }

  uint32_t GetShortPathNameA(const char*, char*, uint32_t) override { return 0; }

  std::string ClaimFile(const std::string& dir, const std::string& name,
                        const std::string& ext) override {
    return ClaimFileOn(resolver_, dir, name, ext, claimed_);
  }

  int32_t SHFileOperationA(SHFILEOPSTRUCTA& op) override { return RunFileOperation(resolver_, op); }

  int32_t GetVersionExA(OsVersionInfo& info) override {
    utsname u{};
    if (::uname(&u) != 0) return 0;
    unsigned major = 0, minor = 0, patch = 0;
    std::sscanf(u.release, "%u.%u.%u", &major, &minor, &patch);
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.dwBuildNumber = patch;
    info.dwPlatformId = kPosixPlatformId;
    std::snprintf(info.szCSDVersion, sizeof info.szCSDVersion, "%s", u.version);
    return 1;
  }

  // The operating system's own files live under /usr on a POSIX system.
  uint32_t GetWindowsDirectoryA(char* buffer, uint32_t size) override {
    return CopyOut("/usr", buffer, size);
  }

  // The folder that holds the system's C library, the nearest thing to system32.
  uint32_t GetSystemDirectoryA(char* buffer, uint32_t size) override {
    Dl_info info{};
    std::string dir = "/usr/lib";
    if (::dladdr(reinterpret_cast<void*>(&::strlen), &info) && info.dli_fname) {
      const std::string lib = info.dli_fname;
      const size_t slash = lib.rfind('/');
      if (slash != std::string::npos && slash > 0) dir = lib.substr(0, slash);
    }
    return CopyOut(dir, buffer, size);
  }

  // The library is looked for beside the executable, then in ../lib beside it, then where the
  // dynamic linker looks; never in the current folder.
  uint32_t SearchPathA(const char* path, const char* file, const char* ext, uint32_t buffer_length,
                       char* buffer, char** file_part) override {
    if (!file) return 0;
    std::string name = file;
    if (ext && name.find('.') == std::string::npos) name += ext;
    std::vector<std::string> folders;
    if (path) {
      folders.emplace_back(path);
    } else {
      const std::string exe = env_.ProgramFolder();
      folders = {exe, exe + "/../lib"};
    }
    std::string found;
    for (const auto& folder : folders) {
      const std::string candidate = fs::Join(folder, name);
      if (fs::KindOf(env_, candidate) == fs::Kind::kFile) {
        found = candidate;
        break;
      }
    }
    if (found.empty() && !path && name.find('/') == std::string::npos)
      found = LinkerSearch(name.c_str());
    if (found.empty()) return 0;
    const uint32_t n = CopyOut(found, buffer, buffer_length);
    if (file_part && buffer && n < buffer_length) *file_part = buffer + found.rfind('/') + 1;
    return n;
  }

  LibraryHandle LoadLibraryA(const std::string& path) override { return env_.LoadLibrary(path); }

  void* GetProcAddress(LibraryHandle library, const char* name) override {
    return env_.FindFunction(library, name);
  }

 private:
  Env& env_;
  fs::Resolver resolver_;  // one for the run: each folder on the job's paths is listed once
  std::string arguments_;
  ProfileReader profiles_;
  std::vector<File> claimed_;
};

}  // namespace

std::unique_ptr<Platform> MakePlatform(Env& env, int argc, char** argv) {
  return std::make_unique<PosixPlatform>(env, argc, argv);
}

}  // namespace platform
