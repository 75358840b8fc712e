// A cUnLHA bound to the fake archiver library through the test platform.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/runtime.h"
#include "support/fake_platform.h"
#include "support/fake_unlha32/fake_unlha32_control.h"
#include "unlha/cunlha.h"

namespace unlha_test {

class UnlhaTest : public ::testing::Test {
 protected:
  UnlhaTest() { os.library_path = QUILLORY_FAKE_UNLHA32; }

  testing_support::FakePlatform os;
  testing_support::FakeUnlha32 fake{QUILLORY_FAKE_UNLHA32};
  unlha::ArchiverLibrary library{os};
  unlha::cUnLHA arc{library};
};

// Runs `call` and returns the kind of the run-time error it raised; fails the test if none.
template <class Call>
platform::ErrorKind ErrorOf(Call call) {
  try {
    call();
  } catch (const platform::RuntimeError& e) {
    return e.Kind();
  }
  ADD_FAILURE() << "no run-time error was raised";
  return static_cast<platform::ErrorKind>(-1);
}

}  // namespace unlha_test
