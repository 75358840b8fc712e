#include "command/command_line.h"

#include "common/error.h"

namespace lha::command {
namespace {

// Only the blank: the callers quote names that hold blanks and pass tabs as they are.
bool IsBlank(char c) {
  return c == ' ';
}

[[noreturn]] void BadCommand(const std::string& detail) {
  throw Error(UNLHA_ERROR_COMMAND, detail);
}

std::optional<Command> CommandFromToken(std::string_view token) {
  if (token.size() != 1) return std::nullopt;
  switch (token[0] | 0x20) {
    case 'a':
      return Command::kAdd;
    case 'u':
      return Command::kUpdate;
    case 'x':
      return Command::kExtract;
    case 'e':
      return Command::kExtractFlat;
    case 'l':
      return Command::kList;
    case 'v':
      return Command::kListVerbose;
    case 't':
      return Command::kTest;
    default:
      return std::nullopt;
  }
}

// Applies one switch token ("-a1", "-x", ...); false when it is not a known switch.
bool ApplySwitch(std::string_view token, Switches& s) {
  std::string sw(token.substr(1));
  for (auto& c : sw)
    c = static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c);
  // Accepted because the backup modes pass them; they change nothing here.
  if (sw == "+" || sw == "f0" || sw == "jm2" || sw == "jp1" || sw == "d0" || sw == "h2")
    return true;
  if (sw == "a" || sw == "a1") return s.include_hidden = true, true;
  if (sw == "a0") return s.include_hidden = false, true;
  if (sw == "x" || sw == "x1") return s.keep_paths = true, true;
  if (sw == "x0") return s.keep_paths = false, true;
  if (sw == "r" || sw == "r1") return s.recursion = Recursion::kFiles, true;
  if (sw == "r2") return s.recursion = Recursion::kWithFolders, true;
  if (sw == "r0") return s.recursion = Recursion::kNone, true;
  if (sw == "c" || sw == "c1") return s.replace_all = true, true;
  if (sw == "c0") return s.replace_all = false, true;
  if (sw == "w" || sw == "w1") return s.overwrite = true, true;
  if (sw == "w0") return s.overwrite = false, true;
  if (sw.size() >= 2 && sw.size() <= 4 && sw[0] == 't' &&
      sw.find_first_not_of("0123456789", 1) == std::string::npos) {
    s.threads = static_cast<unsigned>(std::stoul(sw.substr(1)));
    return s.threads >= 1;
  }
  if (sw == "cp932") return s.name_code_page = 932, true;
  if (sw == "cp65001") return s.name_code_page = 65001, true;
  if (sw == "o0") return s.method = PackMethod::kStore, true;
  if (sw == "o5") return s.method = PackMethod::kLh5, true;
  if (sw == "o6") return s.method = PackMethod::kLh6, true;
  if (sw == "o7") return s.method = PackMethod::kLh7, true;
  return false;
}

// The first blank-separated token of a line, quotes not considered.
std::string_view FirstWord(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && IsBlank(line[i]))
    ++i;
  size_t j = i;
  while (j < line.size() && !IsBlank(line[j]))
    ++j;
  return line.substr(i, j - i);
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<std::vector<std::string>> Tokenize(std::string_view line) {
  std::vector<std::string> tokens;
  std::string current;
  bool in_token = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      in_token = true;
    } else if (!quoted && IsBlank(c)) {
      if (in_token) tokens.push_back(std::move(current));
      current.clear();
      in_token = false;
    } else {
      current += c;
      in_token = true;
    }
  }
  if (quoted) return std::nullopt;
  if (in_token) tokens.push_back(std::move(current));
  return tokens;
}

std::vector<NameSpec> ParseResponseFile(std::string_view text, const std::string& base) {
  std::vector<NameSpec> names;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = TrimBlanks(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty()) continue;
    if (line.find('"') == std::string_view::npos && !EndsInSeparator(FirstWord(line))) {
      names.push_back({base, std::string(line)});
      continue;
    }
    auto tokens = Tokenize(line);
    if (!tokens) BadCommand("unterminated quote in a response file: " + std::string(line));
    std::string line_base = base;
    for (auto& t : *tokens) {
      if (EndsInSeparator(t)) {
        line_base = std::move(t);
      } else if (!t.empty()) {
        names.push_back({line_base, std::move(t)});
      }
    }
  }
  return names;
}

CommandLine Parse(std::string_view text, const ResponseFileReader& read_response_file) {
  auto tokens = Tokenize(text);
  if (!tokens) BadCommand("unterminated quote");
  if (tokens->empty()) BadCommand("no command");
  CommandLine out;
  const auto command = CommandFromToken((*tokens)[0]);
  if (!command) BadCommand("unknown command: " + (*tokens)[0]);
  out.command = *command;

  bool have_archive = false;
  std::string base;
  for (size_t i = 1; i < tokens->size(); ++i) {
    std::string& t = (*tokens)[i];
    if (t.size() > 1 && t[0] == '-') {
      if (!ApplySwitch(t, out.switches)) BadCommand("unknown switch: " + t);
    } else if (t.empty()) {
      continue;  // "" names nothing
    } else if (!have_archive) {
      out.archive = std::move(t);
      have_archive = true;
    } else if (t[0] == '@' && t.size() > 1) {
      const std::string name = t.substr(1);
      const auto content = read_response_file(name);
      if (!content) throw Error(UNLHA_ERROR_NOT_EXIST, "cannot read the response file " + name);
      out.response_files.push_back(name);
      for (auto& n : ParseResponseFile(*content, base))
        out.names.push_back(std::move(n));
    } else if (EndsInSeparator(t)) {
      if (out.base.empty()) out.base = t;
      base = std::move(t);
    } else {
      out.names.push_back({base, std::move(t)});
    }
  }
  if (!have_archive) throw Error(UNLHA_ERROR_NO_ARC_NAME, "no archive name given");
  return out;
}

}  // namespace lha::command
