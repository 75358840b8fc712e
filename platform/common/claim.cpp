#include "claim.h"

#include "platform/fs.h"
#include "platform/runtime.h"
#include "platform/text.h"

namespace platform {
namespace {

bool TryClaim(fs::Resolver& resolver, const std::string& winpath, std::vector<File>& held) {
  Env& env = resolver.env();
  for (int attempt = 0; attempt < 8; ++attempt) {
    const fs::Resolution r = resolver.ResolveForCreate(winpath);
    if (r.status != fs::ResolveStatus::kFound) return false;
    int error = 0;
    File file = env.CreateFile(r.path, 0666, &error);
    resolver.NameChanged(r.path);
    if (!file.is_open() && IsExistsError(error))
      file = env.OpenFile(r.path, &error, File::Links::kNotFollowed);
    if (!file.is_open()) {
      if (IsMissingError(error)) continue;  // removed by its holder between the two opens
      return false;
    }
    FileStatus mine;
    if (!file.TryLock() || !file.Status(&mine)) return false;
    // The holder before us may have deleted the file between our open and our lock.
    const auto now = env.Status(r.path, File::Links::kNotFollowed);
    if (now && now->SameFileAs(mine)) {
      held.push_back(std::move(file));
      return true;
    }
  }
  return false;
}

}  // namespace

std::string ClaimFileOn(fs::Resolver& resolver, const std::string& dir, const std::string& name,
                        const std::string& ext, std::vector<File>& held) {
  for (int variant = 0; variant < 1000; ++variant) {
    const std::string candidate =
        dir + name + (variant ? "-" + std::to_string(variant) : std::string()) + ext;
    if (TryClaim(resolver, candidate, held)) return candidate;
  }
  Raise(ErrorKind::kPathFileAccess, FromUtf8(dir + name + ext));
}

}  // namespace platform
