// The commands of the archiver library, and the one entry that parses a command line and runs
// it. Each returns the result code of the command: 0, or the first failure's code.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "command/command_line.h"
#include "command/output_log.h"
#include "command/progress.h"
#include "platform/env.h"

namespace lha::command {

// Every command works on the files, clock and time zone of `env`.
int32_t RunUpdate(platform::Env& env, const CommandLine& cmd, OutputLog& log,
                  Progress& progress);  // a, u
int32_t RunExtract(platform::Env& env, const CommandLine& cmd, OutputLog& log,
                   Progress& progress);                                       // x, e
int32_t RunList(platform::Env& env, const CommandLine& cmd, OutputLog& log);  // l, v
int32_t RunTest(platform::Env& env, const CommandLine& cmd, OutputLog& log,
                Progress& progress);  // t

// The text of a response file as the command language reads it (UTF-8), from its bytes.
using ResponseText = std::function<std::string(std::string_view bytes)>;

// Parses and runs one command line (UTF-8). Never throws: every failure becomes its result code,
// with a line in the log. Response files are read through `response_text`; without it, their
// bytes are taken as UTF-8.
int32_t Execute(platform::Env& env, std::string_view command_line, OutputLog& log,
                Progress& progress, const ResponseText& response_text = {});

// Checks an archive: its headers only (decode false), or also every entry's data and CRC.
bool CheckArchive(platform::Env& env, const std::string& winpath, bool decode);

}  // namespace lha::command
