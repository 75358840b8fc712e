// The commands of the archiver library, and the one entry that parses a command line and runs
// it. Each returns the result code of the command: 0, or the first failure's code.
#pragma once

#include <cstdint>
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

// Parses and runs one command line. Never throws: every failure becomes its result code, with a
// line in the log.
int32_t Execute(platform::Env& env, std::string_view command_line, OutputLog& log,
                Progress& progress);

// Checks an archive: its headers only (decode false), or also every entry's data and CRC.
bool CheckArchive(platform::Env& env, const std::string& winpath, bool decode);

}  // namespace lha::command
