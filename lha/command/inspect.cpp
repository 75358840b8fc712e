// The commands that only read an archive: l and v (listing), t (test), and the archive check.
#include <cinttypes>
#include <cstdio>

#include "command/archive_file.h"
#include "command/commands.h"
#include "command/entry_data.h"
#include "command/local_time.h"
#include "format/archive_reader.h"
#include "format/listing.h"
#include "platform/winpath.h"

namespace lha::command {
namespace {

OpenArchive MustOpen(platform::Env& env, const std::string& winpath) {
  auto a = OpenArchive::Open(env, winpath, LockMode::kShared);
  if (!a) throw Error(UNLHA_ERROR_ARC_FILE_OPEN, winpath + ": no such archive");
  return std::move(*a);
}

std::string ListingLine(const format::EntryHeader& e, const format::ListingValues& v,
                        bool verbose) {
  const int year = 1980 + (v.dos_date >> 9);
  char stamp[32];
  if (v.dos_date == 0) {
    std::snprintf(stamp, sizeof stamp, "%19s", "");
  } else {
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d", year,
                  (v.dos_date >> 5) & 15, v.dos_date & 31, v.dos_time >> 11, (v.dos_time >> 5) & 63,
                  (v.dos_time & 31) * 2);
  }
  char line[160];
  if (verbose) {
    std::snprintf(line, sizeof line, "%12" PRIu64 " %12" PRIu64 " %5.1f%% %s %04X %s %s L%d ",
                  e.original_size, e.packed_size, v.ratio_per_mille / 10.0, v.method.c_str(), v.crc,
                  v.attribute_text.c_str(), stamp, e.level);
  } else {
    std::snprintf(line, sizeof line, "%12" PRIu64 " %12" PRIu64 " %5.1f%% %s %s  ", e.original_size,
                  e.packed_size, v.ratio_per_mille / 10.0, v.method.c_str(), stamp);
  }
  return line + v.name + (v.link_target.empty() ? "" : " -> " + v.link_target);
}

}  // namespace

int32_t RunList(platform::Env& env, const CommandLine& cmd, OutputLog& log) {
  OpenArchive archive = MustOpen(env, cmd.archive);
  const bool verbose = cmd.command == Command::kListVerbose;
  log.Line(verbose
               ? "    original       packed ratio method  crc attr stamp               level name"
               : "    original       packed ratio method stamp                name");
  const auto local = SystemLocalTime(env);
  format::ArchiveReader reader = archive.Reader();
  uint64_t count = 0, original = 0, packed = 0;
  while (auto e = reader.Next()) {
    if (!EntrySelected(cmd, *e)) continue;
    log.Line(ListingLine(*e, format::DeriveListing(*e, local, '/'), verbose));
    ++count;
    original += e->original_size;
    packed += e->packed_size;
  }
  log.Line(std::to_string(count) + " entries, " + std::to_string(original) + " bytes, " +
           std::to_string(packed) + " packed.");
  return 0;
}

int32_t RunTest(platform::Env& env, const CommandLine& cmd, OutputLog& log, Progress& progress) {
  OpenArchive archive = MustOpen(env, cmd.archive);
  format::ArchiveReader reader = archive.Reader();
  TellTotal(archive.source(), cmd, progress);
  Failures failures(log);
  size_t good = 0;
  while (true) {
    std::optional<format::EntryHeader> e;
    try {
      e = reader.Next();
    } catch (const Error& ex) {
      if (reader.failed()) throw;
      failures.Add(ex.code(), std::string("entry: ") + ex.what());  // refused alone: go on
      continue;
    }
    if (!e) break;
    if (!EntrySelected(cmd, *e)) continue;
    const std::string name = e->JoinedPath('/');
    progress.Entry(name, DataSize(*e));
    try {
      uint64_t done = 0;
      UnpackEntry(archive.source(), *e,
                  [&](std::span<const uint8_t> data) { progress.EntryDone(done += data.size()); });
      ++good;
    } catch (const Error& ex) {
      if (ex.code() == UNLHA_ERROR_ARC_READ) throw;
      failures.Add(ex.code(), name + ": " + ex.what());
    }
  }
  log.Line(std::to_string(good) + " entries tested good, " + std::to_string(failures.count()) +
           " failed.");
  return failures.first_code();
}

bool CheckArchive(platform::Env& env, const std::string& winpath, bool decode) {
  try {
    auto archive = OpenArchive::Open(env, winpath, LockMode::kShared);
    if (!archive) return false;
    format::ArchiveReader reader = archive->Reader();
    while (auto e = reader.Next()) {
      if (decode) UnpackEntry(archive->source(), *e, [](std::span<const uint8_t>) {});
    }
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace lha::command
