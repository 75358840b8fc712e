#include "platform/winpath.h"

#include "platform/text.h"

namespace platform::winpath {
namespace {

bool GlobMatch(std::wstring_view p, std::wstring_view s) {
  size_t pi = 0, si = 0;
  size_t star = std::wstring_view::npos, resume = 0;
  while (si < s.size()) {
    if (pi < p.size() && (p[pi] == L'?' || p[pi] == s[si])) {
      ++pi, ++si;
    } else if (pi < p.size() && p[pi] == L'*') {
      star = pi++;
      resume = si;
    } else if (star != std::wstring_view::npos) {
      pi = star + 1;
      si = ++resume;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == L'*')
    ++pi;
  return pi == p.size();
}

}  // namespace

ParsedPath Parse(std::string_view path) {
  ParsedPath out;
  out.parts.reserve(8);
  out.rooted = !path.empty() && IsSeparator(path.front());
  out.trailing_separator = !path.empty() && IsSeparator(path.back());
  size_t i = 0;
  while (i < path.size()) {
    size_t j = i;
    while (j < path.size() && !IsSeparator(path[j]))
      ++j;
    std::string_view part = path.substr(i, j - i);
    if (part.empty() || part == ".") {
      // nothing
    } else if (part == "..") {
      if (!out.parts.empty() && out.parts.back() != "..") {
        out.parts.pop_back();
      } else if (!out.rooted) {
        out.parts.emplace_back(part);
      }
    } else {
      out.parts.emplace_back(part);
    }
    i = j + 1;
  }
  return out;
}

bool HasWildcards(std::string_view name) {
  return name.find_first_of("*?") != std::string_view::npos;
}

bool MatchWildcard(std::string_view pattern, std::string_view name) {
  const std::wstring p = UCase(FromAnsi(pattern));
  const std::wstring s = UCase(FromAnsi(name));
  if (GlobMatch(p, s)) return true;
  if (p.size() >= 2 && p.ends_with(L".*") && s.find(L'.') == std::wstring::npos)
    return GlobMatch(p.substr(0, p.size() - 2), s);
  return false;
}

}  // namespace platform::winpath
