// Helpers for the end-to-end tests of libunlha32.so: the library called through its C interface
// (in this process, or in a child running as another user), build/unlha run as a program,
// trees on disk compared, and the independent extractors.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "messages/result_codes.h"
#include "platform/text.h"
#include "support/archive_builder.h"
#include "support/data.h"
#include "support/files.h"
#include "unlha32.h"

namespace lha_library_testing {

namespace fs = std::filesystem;

constexpr uid_t kNobody = 65534;

// --- Files ------------------------------------------------------------------------------------

// Reading and writing whole files, seeded data and crafted archives come from tests/support.
using testing_support::Compressible;
using testing_support::Crc16;
using testing_support::Le;
using testing_support::Level0Entry;
using testing_support::LinkEntry;
using testing_support::Random;
using testing_support::ReadText;
using testing_support::SecondHeaderOffset;
using testing_support::WriteText;

inline void SetMtime(const fs::path& p, int64_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << p;
}

// The files whose names begin with `prefix` in `dir` (temporary files left behind).
inline std::vector<std::string> NamesStartingWith(const fs::path& dir, const std::string& prefix) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(prefix, 0) == 0) out.push_back(name);
  }
  return out;
}

// A path as the backup modes hand it over: Windows separators, upper case (ASCII).
inline std::string Win(const fs::path& p) {
  std::string s = p.string();
  for (char& c : s) {
    if (c == '/') c = '\\';
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return s;
}

// Quoted when it holds a blank or a comma, as the backup modes quote arguments.
inline std::string QuoteArg(const std::string& s) {
  return s.find_first_of(" ,") == std::string::npos ? s : "\"" + s + "\"";
}

// --- The C interface --------------------------------------------------------------------------

struct CallResult {
  int32_t code = -1;
  std::string output;  // up to the first NUL
};

// Calls Unlha with an output buffer of `size` bytes followed by guard bytes, and checks that the
// library wrote a NUL within the size and nothing past it.
inline CallResult Call(const std::string& command_line, uint32_t size = 1 << 16) {
  constexpr size_t kGuard = 64;
  std::vector<char> buf(size + kGuard, '\x5A');
  CallResult r;
  r.code = Unlha(0, command_line.c_str(), buf.data(), size);
  for (size_t i = size; i < buf.size(); ++i) {
    if (buf[i] != '\x5A') {
      ADD_FAILURE() << "Unlha wrote past its buffer of " << size << " bytes: " << command_line;
      break;
    }
  }
  if (size == 0) return r;
  const auto nul = std::find(buf.begin(), buf.begin() + size, '\0');
  if (nul == buf.begin() + size) {
    ADD_FAILURE() << "no NUL within " << size << " bytes: " << command_line;
    return r;
  }
  r.output.assign(buf.begin(), nul);
  return r;
}

// The message build/unlha shows for a result code.
inline std::string MessageFor(int32_t code) {
  return platform::ToAnsi(messages::ResultCodeMessage(code));
}

// --- Child processes --------------------------------------------------------------------------

struct ProcessResult {
  int exit_code = -1;  // -1 when killed by a signal
  int signal = 0;
  std::string out, err;
};

struct ProcessOptions {
  fs::path cwd;
  bool as_nobody = false;
  std::vector<std::string> env;  // extra NAME=VALUE entries
  // Runs in the child just before exec (async-signal-safe calls only).
  std::function<void()> before_exec;
};

inline ProcessOptions InFolder(const fs::path& dir) {
  ProcessOptions o;
  o.cwd = dir;
  return o;
}

inline bool DropToNobody() {
  return ::setgroups(0, nullptr) == 0 && ::setresgid(kNobody, kNobody, kNobody) == 0 &&
         ::setresuid(kNobody, kNobody, kNobody) == 0;
}

inline ProcessResult RunProcess(const std::vector<std::string>& argv,
                                const ProcessOptions& options = {}) {
  ProcessResult r;
  FILE* out = std::tmpfile();
  FILE* err = std::tmpfile();
  std::vector<std::string> env_strings;
  for (char** e = environ; *e; ++e)
    env_strings.push_back(*e);
  for (const auto& e : options.env)
    env_strings.push_back(e);
  std::vector<char*> envp, args;
  for (auto& e : env_strings)
    envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argv_copy = argv;
  for (auto& a : argv_copy)
    args.push_back(a.data());
  args.push_back(nullptr);
  const std::string cwd = options.cwd.string();

  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(::fileno(out), 1);
    ::dup2(::fileno(err), 2);
    const int null_in = ::open("/dev/null", O_RDONLY);
    ::dup2(null_in, 0);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    if (options.before_exec) options.before_exec();
    if (options.as_nobody && !DropToNobody()) ::_exit(125);
    ::execve(args[0], args.data(), envp.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) r.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
  auto slurp = [](FILE* f) {
    std::string s;
    std::rewind(f);
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
      s.append(chunk, n);
    std::fclose(f);
    return s;
  };
  r.out = slurp(out);
  r.err = slurp(err);
  return r;
}

inline ProcessResult RunShell(const std::string& script, const ProcessOptions& options = {}) {
  return RunProcess({"/bin/sh", "-c", script}, options);
}

// build/unlha with the given arguments, each one argument as a shell would pass it.
inline ProcessResult RunUnlha(const std::vector<std::string>& args,
                              const ProcessOptions& options = {}) {
  std::vector<std::string> argv{QUILLORY_UNLHA};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, options);
}

// The line build/unlha writes to standard error for a failure.
inline std::string UnlhaErrorLine(int32_t code) {
  return "unlha: " + std::to_string(code) + ": " + MessageFor(code) + "\n";
}

// Calls Unlha as Call does, in a child process that first runs `prepare` (drop to user nobody,
// lower a limit) inside `cwd`; the parent gets the result and reports a misused buffer.
inline CallResult CallInChild(const std::string& command_line, uint32_t size, const fs::path& cwd,
                              const std::function<bool()>& prepare) {
  int fds[2];
  if (::pipe(fds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    constexpr size_t kGuard = 64;
    std::vector<char> buf(size + kGuard, '\x5A');
    int32_t code = -2;
    char state = 'p';  // 'p' prepare failed, 'g' guard overwritten, 'n' no NUL, 'k' fine
    if ((cwd.empty() || ::chdir(cwd.c_str()) == 0) && (!prepare || prepare())) {
      code = Unlha(0, command_line.c_str(), buf.data(), size);
      state = 'k';
      for (size_t i = size; i < buf.size(); ++i)
        if (buf[i] != '\x5A') state = 'g';
      if (state == 'k' && size > 0 && std::memchr(buf.data(), '\0', size) == nullptr) state = 'n';
    }
    const size_t n = state == 'k' && size > 0 ? std::strlen(buf.data()) : 0;
    if (::write(fds[1], &code, sizeof code) != sizeof code) ::_exit(1);
    if (::write(fds[1], &state, 1) != 1) ::_exit(1);
    if (::write(fds[1], buf.data(), n) < 0) ::_exit(1);
    ::_exit(0);
  }
  ::close(fds[1]);
  CallResult r;
  std::string bytes;
  char chunk[4096];
  ssize_t n;
  while ((n = ::read(fds[0], chunk, sizeof chunk)) > 0)
    bytes.append(chunk, static_cast<size_t>(n));
  ::close(fds[0]);
  ::waitpid(pid, nullptr, 0);
  if (bytes.size() < sizeof r.code + 1) {
    ADD_FAILURE() << "the child calling Unlha died: " << command_line;
    return r;
  }
  std::memcpy(&r.code, bytes.data(), sizeof r.code);
  const char state = bytes[sizeof r.code];
  if (state == 'p') ADD_FAILURE() << "could not prepare the child for: " << command_line;
  if (state == 'g') ADD_FAILURE() << "Unlha wrote past its buffer of " << size << " bytes";
  if (state == 'n') ADD_FAILURE() << "no NUL within " << size << " bytes: " << command_line;
  r.output = bytes.substr(sizeof r.code + 1);
  return r;
}

// Whether user nobody can reach and run build/unlha (a checkout below a private folder cannot).
inline bool NobodyCanRunUnlha() {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(DropToNobody() && ::access(QUILLORY_UNLHA, X_OK) == 0 ? 0 : 1);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Another process that holds an exclusive advisory lock on a file until destroyed, as a second
// command working on the same archive does.
class LockHolder {
 public:
  explicit LockHolder(const fs::path& file) {
    int ready[2], release[2];
    if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(release[1]);
      const int fd = ::open(file.c_str(), O_RDONLY);
      const char ok = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? '1' : '0';
      if (::write(ready[1], &ok, 1) != 1) ::_exit(1);
      char c;
      while (::read(release[0], &c, 1) > 0) {
      }
      ::_exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    release_ = release[1];
    char ok = '0';
    locked_ = ::read(ready[0], &ok, 1) == 1 && ok == '1';
    ::close(ready[0]);
  }
  ~LockHolder() {
    if (release_ >= 0) ::close(release_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  bool locked() const { return locked_; }

 private:
  pid_t pid_ = -1;
  int release_ = -1;
  bool locked_ = false;
};

// --- Trees ------------------------------------------------------------------------------------

struct Node {
  char kind = '?';   // 'f' file, 'd' folder, 'l' link
  std::string data;  // a file's bytes, a link's target
  int64_t mtime = 0;
  uint32_t perms = 0;
};
using Tree = std::map<std::string, Node>;  // relative path with '/' -> node

inline Tree Snapshot(const fs::path& root) {
  Tree t;
  if (!fs::exists(root)) return t;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::path& p = it->path();
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0) continue;
    Node n;
    n.mtime = st.st_mtim.tv_sec;
    n.perms = st.st_mode & 07777;
    if (S_ISLNK(st.st_mode)) {
      n.kind = 'l';
      n.data = fs::read_symlink(p).string();
    } else if (S_ISDIR(st.st_mode)) {
      n.kind = 'd';
    } else {
      n.kind = 'f';
      n.data = ReadText(p);
    }
    t[p.lexically_relative(root).generic_string()] = n;
  }
  return t;
}

struct CompareOptions {
  bool file_times = true;
  bool folder_times = true;
  bool link_times = true;
  bool perms = false;
  bool links_as_folders = false;  // 7zz makes a folder "name|target" for a link
};

// Every difference between two trees, one per line; empty when they match.
inline std::string Differences(const Tree& expected, const Tree& actual,
                               const CompareOptions& o = {}) {
  std::ostringstream d;
  for (const auto& [path, want] : expected) {
    std::string key = path;
    if (want.kind == 'l' && o.links_as_folders) key = path + "|" + want.data;
    const auto it = actual.find(key);
    if (it == actual.end()) {
      d << "missing: " << key << "\n";
      continue;
    }
    const Node& got = it->second;
    if (want.kind == 'l' && o.links_as_folders) {
      if (got.kind != 'd') d << "not a folder: " << key << "\n";
      continue;
    }
    if (got.kind != want.kind) {
      d << "kind " << got.kind << " instead of " << want.kind << ": " << path << "\n";
      continue;
    }
    if (got.data != want.data) d << "content differs: " << path << "\n";
    const bool check_time = (want.kind == 'f' && o.file_times) ||
                            (want.kind == 'd' && o.folder_times) ||
                            (want.kind == 'l' && o.link_times);
    if (check_time && got.mtime != want.mtime)
      d << "time " << got.mtime << " instead of " << want.mtime << ": " << path << "\n";
    if (o.perms && want.kind != 'l' && got.perms != want.perms)
      d << "mode " << std::oct << got.perms << " instead of " << want.perms << std::dec << ": "
        << path << "\n";
  }
  for (const auto& [path, got] : actual) {
    bool known = expected.count(path) > 0;
    if (!known && o.links_as_folders) {
      for (const auto& [p, n] : expected) {
        if (n.kind != 'l') continue;
        const std::string folder = p + "|" + n.data;
        if (path == folder || path.rfind(folder + "/", 0) == 0) known = true;
      }
    }
    if (!known) d << "unexpected: " << path << "\n";
  }
  return d.str();
}

// --- Independent extractors -------------------------------------------------------------------

inline bool Installed(const std::string& tool) {
  return RunShell("command -v " + tool + " >/dev/null 2>&1").exit_code == 0;
}

inline CompareOptions Comparing(bool folder_times, bool link_times, bool links_as_folders) {
  CompareOptions o;
  o.folder_times = folder_times;
  o.link_times = link_times;
  o.links_as_folders = links_as_folders;
  return o;
}

struct ExternalTool {
  std::string name;
  CompareOptions compare;
  // Names as the tool's listing shows them (lhasa prints '?' for every byte beyond ASCII).
  std::function<std::string(const std::string&)> shown;
  // Extracts `archive` into the existing folder `dest`; true on exit status 0.
  std::function<bool(const fs::path& archive, const fs::path& dest)> extract;
  // The entry names the tool lists, folders without a trailing '/', links without targets.
  std::function<std::set<std::string>(const fs::path& archive)> list;
};

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    lines.push_back(line);
  return lines;
}

inline std::string WithoutTrailingSlash(std::string s) {
  if (!s.empty() && s.back() == '/') s.pop_back();
  return s;
}

inline std::vector<ExternalTool> ExternalTools() {
  std::vector<ExternalTool> tools;
  // lhasa leaves the times of the links it makes as they are.
  tools.push_back(
      {"lhasa", Comparing(true, false, false),
       [](std::string name) {
         for (char& c : name)
           if (static_cast<unsigned char>(c) >= 0x80) c = '?';
         return name;
       },
       [](const fs::path& a, const fs::path& d) {
         return RunProcess({"/usr/bin/env", "lhasa", "xq", a.string()}, InFolder(d)).exit_code == 0;
       },
       [](const fs::path& a) {
         // Names start in the column after the time stamp; links show " -> target".
         std::set<std::string> names;
         const auto lines = Lines(RunProcess({"/usr/bin/env", "lhasa", "l", a.string()}).out);
         bool inside = false;
         for (const auto& l : lines) {
           if (l.rfind("----------", 0) == 0) {
             inside = !inside;
             continue;
           }
           if (!inside || l.size() <= 51) continue;
           std::string name = l.substr(51);
           if (l[0] == 'l') name = name.substr(0, name.rfind(" -> "));
           names.insert(WithoutTrailingSlash(name));
         }
         return names;
       }});
  tools.push_back(
      {"bsdtar", Comparing(true, true, false), [](const std::string& name) { return name; },
       [](const fs::path& a, const fs::path& d) {
         return RunProcess({"/usr/bin/env", "bsdtar", "-xf", a.string(), "-C", d.string()})
                    .exit_code == 0;
       },
       [](const fs::path& a) {
         std::set<std::string> names;
         for (const auto& l : Lines(RunProcess({"/usr/bin/env", "bsdtar", "-tf", a.string()}).out))
           names.insert(WithoutTrailingSlash(l));
         return names;
       }});
  // 7-Zip restores file times only, and takes a link entry "name|target" for a folder.
  tools.push_back(
      {"7zz", Comparing(false, false, true), [](const std::string& name) { return name; },
       [](const fs::path& a, const fs::path& d) {
         return RunProcess({"/usr/bin/env", "7zz", "x", "-y", "-bd", "-o" + d.string(), a.string()})
                    .exit_code == 0;
       },
       [](const fs::path& a) {
         std::set<std::string> names;
         for (const auto& l :
              Lines(RunProcess({"/usr/bin/env", "7zz", "l", "-slt", "-ba", a.string()}).out)) {
           if (l.rfind("Path = ", 0) != 0) continue;
           std::string name = l.substr(7);
           names.insert(name.substr(0, name.find('|')));
         }
         return names;
       }});
  return tools;
}

// The names of every entry of an archive through the listing interface, '\' turned into '/',
// folders without their trailing separator and links without their targets.
inline std::set<std::string> ListedNames(const fs::path& archive) {
  std::set<std::string> names;
  const UNLHA_HARC h = UnlhaOpenArchive(0, archive.c_str(), 0);
  if (h == 0) return names;
  INDIVIDUALINFO info;
  for (int32_t r = UnlhaFindFirst(h, "*.*", &info); r == 0; r = UnlhaFindNext(h, &info)) {
    std::string name = info.szFileName;
    name = name.substr(0, name.find('|'));
    std::replace(name.begin(), name.end(), '\\', '/');
    names.insert(WithoutTrailingSlash(name));
  }
  UnlhaCloseArchive(h);
  return names;
}

inline std::set<std::string> TreeNames(const Tree& t) {
  std::set<std::string> names;
  for (const auto& [p, n] : t)
    names.insert(p);
  return names;
}

}  // namespace lha_library_testing
