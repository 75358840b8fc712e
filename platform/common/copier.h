// The copier that stands in for SHFileOperation with FO_COPY, FOF_SILENT and
// FOF_NOCONFIRMATION.
//
// Each source (a file, a wildcard pattern, or a folder with everything below it) is copied into
// the destination folder, which is created when missing; folders merge into what is there.
// Existing files are replaced without a question and atomically (written beside the old copy,
// then renamed over it). Modification times and permission bits are kept, symbolic links are
// copied as links and never followed, FIFOs, devices and sockets are never opened, and a folder
// is never copied into itself. Every failure is reported on standard error, one line naming the
// file and the reason, and the rest is still copied.
#pragma once

#include <cstdint>

#include "platform/fs.h"
#include "platform/platform.h"

namespace platform {

// 0 when everything was copied; otherwise the number of failures (at least 1).
// Paths resolve through `resolver`, which the caller keeps for the whole job.
int32_t RunFileOperation(fs::Resolver& resolver, SHFILEOPSTRUCTA& op);

}  // namespace platform
