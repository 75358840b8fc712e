// ClaimFile (platform.h) on an Env, for every platform.
#pragma once

#include <string>
#include <vector>

#include "platform/fs.h"

namespace platform {

// Takes `<dir><name><ext>`, or the first free variant `<dir><name>-<n><ext>`, for this process
// alone: the file is created when missing, opened when not, and locked; the open file joins
// `held`, which keeps it until the process ends. The texts are UTF-8 pieces of a Windows path.
// Returns the path taken; raises kPathFileAccess when none can be.
std::string ClaimFileOn(fs::Resolver& resolver, const std::string& dir, const std::string& name,
                        const std::string& ext, std::vector<File>& held);

}  // namespace platform
