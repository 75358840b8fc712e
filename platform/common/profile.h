// The INI reader that stands in for GetPrivateProfileStringA, with its Windows rules: section
// and key names match case-insensitively; blanks around names and values are dropped; a value in
// a matching pair of " or ' loses them; the first matching section and the first matching key
// win; lines that are neither [section] nor key=value are ignored; a UTF-8 byte-order mark is
// skipped; CR LF, LF and CR all end a line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/fs.h"

namespace platform {

// The parsed contents of one profile file.
class Profile {
 public:
  static Profile Parse(std::string_view text);
  // The value of `key` in `section`, if the file has it.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

 private:
  using Keys = std::unordered_map<std::string, std::string>;
  std::unordered_map<std::string, Keys> sections_;
};

// Reads profile files, parsing each file once for as long as it stays unchanged on disk; a job
// file is asked for one key at a time, up to 32,767 entries.
class ProfileReader {
 public:
  explicit ProfileReader(Env& env) : env_(env), resolver_(env) {}
  // GetPrivateProfileStringA: see platform.h.
  uint32_t Get(const char* section, const char* key, const char* def, char* buffer, uint32_t size,
               const char* file);

 private:
  struct Cached {
    std::string path;
    FileStatus status;  // unchanged identity, size and time: the parse still holds
    Profile profile;
  };
  const Profile* Load(const std::string& winpath);
  // Keyed by the Windows path as the caller spells it, so that asking for one key after another
  // costs neither a path resolution nor a parse while the file stays the same.
  Env& env_;
  fs::Resolver resolver_;
  std::unordered_map<std::string, Cached> cache_;
};

}  // namespace platform
