#include "system/environment.h"

namespace sys {

// The checks join with cSystem and cUnLHA.
bool CheckEnvironment(platform::Platform&, unlha::ArchiverLibrary&) { return true; }

}  // namespace sys
