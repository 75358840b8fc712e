// The test's side of the fake archiver library: loads the fake by path, the way the code under
// test loads it, so both reach one instance, and resets it.
//
// A test target links quillory_fake_unlha32, which builds both fakes first and defines their
// paths: QUILLORY_FAKE_UNLHA32 (every entry point) and QUILLORY_FAKE_UNLHA32_PARTIAL (lacks
// Unlha, UnlhaGetVersion, UnlhaConfigDialog and UnlhaFindNext). Typical use:
//
//   testing_support::FakePlatform os;
//   os.library_path = QUILLORY_FAKE_UNLHA32;
//   testing_support::FakeUnlha32 fake(QUILLORY_FAKE_UNLHA32);
//   fake.Script().version = 86;
//   unlha::ArchiverLibrary library(os);
//   ... unlha::cUnLHA(library).Version() ...
//   fake.Calls()  // {"UnlhaGetVersion"}
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/fake_unlha32/fake_unlha32.h"

namespace testing_support {

class FakeUnlha32 {
 public:
  // Loads the fake at `path` and resets it.
  explicit FakeUnlha32(const std::string& path)
      : os_(platform::MakePlatform(platform::Env::Default(), 0, nullptr)) {
    platform::LibraryHandle library = os_->LoadLibraryA(path);
    if (!library) throw std::runtime_error("cannot load the fake archiver library " + path);
    reset_ = Find<decltype(&FakeUnlha_Reset)>(library, "FakeUnlha_Reset");
    script_ = Find<decltype(&FakeUnlha_Script)>(library, "FakeUnlha_Script");
    record_ = Find<decltype(&FakeUnlha_Record)>(library, "FakeUnlha_Record");
    Reset();
  }

  void Reset() { reset_(); }
  FakeUnlhaScript& Script() { return *script_(); }
  const FakeUnlhaRecord& Record() { return *record_(); }

  // The names of the library functions called since the reset, in order.
  std::vector<std::string> Calls() {
    const FakeUnlhaRecord& r = Record();
    return {r.calls, r.calls + r.call_count};
  }
  // The output buffer as Unlha was handed it.
  std::string Buffer() {
    const FakeUnlhaRecord& r = Record();
    return {r.buffer, r.buffer_size};
  }
  // The option buffer as UnlhaConfigDialog was handed it.
  std::string Option() {
    const FakeUnlhaRecord& r = Record();
    return {r.option, r.option_length};
  }

 private:
  template <class Fn>
  Fn Find(platform::LibraryHandle library, const char* name) {
    void* entry = os_->GetProcAddress(library, name);
    if (!entry) throw std::runtime_error(std::string("the fake has no ") + name);
    return reinterpret_cast<Fn>(entry);
  }

  std::unique_ptr<platform::Platform> os_;
  decltype(&FakeUnlha_Reset) reset_;
  decltype(&FakeUnlha_Script) script_;
  decltype(&FakeUnlha_Record) record_;
};

}  // namespace testing_support
