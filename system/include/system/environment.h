// The start-up environment check.
#pragma once

#include "platform/platform.h"
#include "unlha/archiver_library.h"

namespace sys {

// Refuses an operating system older than 4.0 and a missing archiver library (a box, then the end
// of the process: throws platform::ProcessEnd), and warns about a library older than 0.87.
// Returns true on every path that comes back.
bool CheckEnvironment(platform::Platform& os, unlha::ArchiverLibrary& archiver);

}  // namespace sys
