// The one error type inside the archiver library: a result code of unlha32.h plus a detail text
// for the output log. Thrown inside the library only; the C interface turns it into its code.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "unlha32.h"

namespace lha {

class Error : public std::runtime_error {
 public:
  Error(int32_t code, const std::string& detail) : std::runtime_error(detail), code_(code) {}
  int32_t code() const { return code_; }

 private:
  int32_t code_;
};

}  // namespace lha
