#include "profile.h"

#include <cstring>
#include <unordered_set>

#include "platform/fs.h"
#include "platform/text.h"

namespace platform {
namespace {

std::string_view TrimBlanks(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

std::string FoldName(std::string_view name) {
  return FoldedName(TrimBlanks(name));
}

std::string_view Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// The file's bytes and its status, when it is a regular file that can be read.
std::optional<std::string> ReadWholeFile(Env& env, const std::string& path, FileStatus* st) {
  File file = env.OpenFile(path, nullptr);
  if (!file.is_open() || !file.Status(st)) return std::nullopt;
  std::string data(static_cast<size_t>(st->size), '\0');
  const int64_t n =
      file.ReadAt(0, std::span<uint8_t>(reinterpret_cast<uint8_t*>(data.data()), data.size()));
  if (n < 0) return std::nullopt;
  data.resize(static_cast<size_t>(n));
  return data;
}

}  // namespace

Profile Profile::Parse(std::string_view text) {
  Profile p;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::unordered_set<std::string> seen_sections;
  Keys* current = nullptr;  // null: outside any section, or in a repeated one
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimBlanks(text.substr(pos, end - pos));
    pos = end + ((end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ? 2 : 1);

    if (line.starts_with('[')) {
      const size_t close = line.find(']');
      std::string name =
          FoldName(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
      current = seen_sections.insert(name).second ? &p.sections_[name] : nullptr;
      continue;
    }
    const size_t eq = line.find('=');
    if (!current || eq == std::string_view::npos) continue;
    std::string key = FoldName(line.substr(0, eq));
    if (key.empty()) continue;
    current->try_emplace(std::move(key), Unquote(TrimBlanks(line.substr(eq + 1))));
  }
  return p;
}

std::optional<std::string_view> Profile::Find(std::string_view section,
                                              std::string_view key) const {
  const auto s = sections_.find(FoldName(section));
  if (s == sections_.end()) return std::nullopt;
  const auto k = s->second.find(FoldName(key));
  if (k == s->second.end()) return std::nullopt;
  return k->second;
}

const Profile* ProfileReader::Load(const std::string& winpath) {
  auto same = [&](const Cached& c) {
    const auto st = env_.Status(c.path, File::Links::kFollowed);
    return st && st->SameFileAs(c.status) && st->size == c.status.size &&
           st->mtime == c.status.mtime && st->mtime_nsec == c.status.mtime_nsec;
  };
  if (auto it = cache_.find(winpath); it != cache_.end() && same(it->second))
    return &it->second.profile;
  const fs::Resolution r = resolver_.ResolveExisting(winpath);
  if (r.status != fs::ResolveStatus::kFound) return nullptr;
  FileStatus st;
  auto data = ReadWholeFile(env_, r.path, &st);
  if (!data) return nullptr;
  Cached c{r.path, st, Profile::Parse(*data)};
  return &(cache_[winpath] = std::move(c)).profile;
}

uint32_t ProfileReader::Get(const char* section, const char* key, const char* def, char* buffer,
                            uint32_t size, const char* file) {
  if (!buffer || size == 0) return 0;
  std::string_view value = def ? def : "";
  if (section && key && file) {
    if (const Profile* p = Load(file)) {
      if (auto v = p->Find(section, key)) value = *v;
    }
  }
  const size_t n = Utf8PrefixLength(value, size - 1);
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
  return static_cast<uint32_t>(n);
}

}  // namespace platform
