#include <new>

#include "command/commands.h"
#include "common/error.h"
#include "platform/fs.h"

namespace lha::command {
namespace {

// A list file names at most 32,767 entries of a few hundred bytes; anything far larger is not
// one.
constexpr uint64_t kMaxResponseFile = 64 << 20;

std::optional<std::string> ReadResponseFile(platform::Env& env, const std::string& winpath) {
  const platform::fs::Resolution r = platform::fs::ResolveExisting(env, winpath);
  if (r.status != platform::fs::ResolveStatus::kFound) return std::nullopt;
  platform::File file = env.OpenFile(r.path, nullptr);
  platform::FileStatus st;
  if (!file.is_open() || !file.Status(&st) || st.size > kMaxResponseFile) return std::nullopt;
  std::string text(static_cast<size_t>(st.size), '\0');
  const int64_t n =
      file.ReadAt(0, std::span<uint8_t>(reinterpret_cast<uint8_t*>(text.data()), text.size()));
  if (n < 0) return std::nullopt;
  text.resize(static_cast<size_t>(n));
  return text;
}

int32_t Dispatch(platform::Env& env, const CommandLine& cmd, OutputLog& log, Progress& progress) {
  switch (cmd.command) {
    case Command::kAdd:
    case Command::kUpdate:
      return RunUpdate(env, cmd, log, progress);
    case Command::kExtract:
    case Command::kExtractFlat:
      return RunExtract(env, cmd, log, progress);
    case Command::kList:
    case Command::kListVerbose:
      return RunList(env, cmd, log);
    case Command::kTest:
      return RunTest(env, cmd, log, progress);
  }
  return UNLHA_ERROR_COMMAND;
}

}  // namespace

int32_t Execute(platform::Env& env, std::string_view command_line, OutputLog& log,
                Progress& progress, const ResponseText& response_text) {
  try {
    const auto read = [&](const std::string& name) -> std::optional<std::string> {
      auto bytes = ReadResponseFile(env, name);
      if (bytes && response_text) return response_text(*bytes);
      return bytes;
    };
    return Dispatch(env, Parse(command_line, read), log, progress);
  } catch (const Error& e) {
    log.Line(std::string("error: ") + e.what());
    return e.code();
  } catch (const std::bad_alloc&) {
    log.Line("error: out of memory");
    return UNLHA_ERROR_NO_MEMORY;
  } catch (const std::exception& e) {
    log.Line(std::string("error: internal failure: ") + e.what());
    return UNLHA_ERROR_INTERNAL;
  } catch (...) {
    log.Line("error: internal failure");
    return UNLHA_ERROR_INTERNAL;
  }
}

}  // namespace lha::command
