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
  const std::wstring p = UCase(FromUtf8(pattern));
  const std::wstring s = UCase(FromUtf8(name));
  if (GlobMatch(p, s)) return true;
  if (p.size() >= 2 && p.ends_with(L".*") && s.find(L'.') == std::wstring::npos)
    return GlobMatch(p.substr(0, p.size() - 2), s);
  return false;
}

std::string WhyWindowsMisreads(std::string_view name) {
  for (const char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (c == ':') return "Windows would take the \":\" for a stream or a drive";
    if (b < 0x20 || std::string_view("<>\"|?*\\/").find(c) != std::string_view::npos)
      return "Windows allows no control characters and none of <>\"|?*\\/ in a name";
  }
  if (!name.empty() && (name.back() == '.' || name.back() == ' '))
    return "Windows would drop the name's trailing dots and blanks";
  // A device name stays one with any extension, and with blanks before it.
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ')
    stem.remove_suffix(1);
  std::string upper;
  for (const char c : stem)
    upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 0x20 : c);
  const bool numbered = upper.size() == 4 && upper[3] >= '1' && upper[3] <= '9' &&
                        (upper.starts_with("COM") || upper.starts_with("LPT"));
  if (numbered || upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL")
    return "Windows reserves the name " + std::string(stem) + " for a device";
  return {};
}

}  // namespace platform::winpath
