// The resolver's memory of folder listings: thousands of names of one folder cost one listing,
// and what the memory cannot know is looked for again.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/fs.h"
#include "support/temp_dir.h"

namespace platform::fs {
namespace {

// The system's Env, counting the listings asked of it.
class CountingEnv final : public Env {
 public:
  int listings = 0;

  File OpenFolder(const std::string& p, int* e, File::Links l) override {
    return real_.OpenFolder(p, e, l);
  }
  File OpenFile(const std::string& p, int* e, File::Links l) override {
    return real_.OpenFile(p, e, l);
  }
  File CreateFile(const std::string& p, uint32_t m, int* e) override {
    return real_.CreateFile(p, m, e);
  }
  File OpenForWriting(const std::string& p, uint32_t m, int* e) override {
    return real_.OpenForWriting(p, m, e);
  }
  std::optional<FileStatus> Status(const std::string& p, File::Links l, int* e) override {
    return real_.Status(p, l, e);
  }
  std::optional<std::string> ReadLink(const std::string& p, int* e) override {
    return real_.ReadLink(p, e);
  }
  std::optional<std::vector<std::string>> ListFolder(const std::string& p, int* e) override {
    ++listings;
    return real_.ListFolder(p, e);
  }
  bool MakeFolder(const std::string& p, uint32_t m, int* e) override {
    return real_.MakeFolder(p, m, e);
  }
  bool Remove(const std::string& p, int* e) override { return real_.Remove(p, e); }
  std::optional<std::string> RealPath(const std::string& p) override { return real_.RealPath(p); }
  std::string ProgramFolder() override { return real_.ProgramFolder(); }
  uint32_t NewFileMode() override { return real_.NewFileMode(); }
  int64_t Now() override { return real_.Now(); }
  BrokenDownTime ToLocalTime(int64_t t) override { return real_.ToLocalTime(t); }
  int64_t FromLocalTime(const BrokenDownTime& b) override { return real_.FromLocalTime(b); }
  LibraryHandle LoadLibrary(const std::string& p) override { return real_.LoadLibrary(p); }
  void* FindFunction(LibraryHandle l, const char* n) override { return real_.FindFunction(l, n); }

 private:
  Env& real_ = Env::Default();
};

TEST(Resolver, ListsAFolderOnceForAllItsNamesAndAgainForWhatItCannotKnow) {
  testing_support::TempDir dir;
  for (int i = 0; i < 300; ++i)
    dir.Write("many/file" + std::to_string(i) + ".txt", "x");
  dir.Write("Docs/a", "1");
  dir.Write("DOCS/a", "2");
  CountingEnv env;
  Resolver resolver(env);
  const std::string base = dir.str() + "\\MANY\\";
  for (int i = 0; i < 300; ++i) {
    const Resolution r = resolver.ResolveExisting(base + "FILE" + std::to_string(i) + ".TXT");
    ASSERT_EQ(r.status, ResolveStatus::kFound) << i;
  }
  const int after_names = env.listings;
  EXPECT_LE(after_names, 1 + 4 + 2) << "the folder and the folders on its way, once each";
  // A name that came after the listing is found: the folder changed since.
  dir.Write("many/Late.txt", "x");
  EXPECT_EQ(resolver.ResolveExisting(base + "LATE.TXT").status, ResolveStatus::kFound);
  EXPECT_EQ(resolver.ResolveExisting(base + "NONE.TXT").status, ResolveStatus::kMissing);
  // Names differing only in case are still refused, remembered or not.
  EXPECT_EQ(resolver.ResolveExisting(dir.str() + "\\docs\\a").status, ResolveStatus::kAmbiguous);
  EXPECT_EQ(resolver.ResolveExisting(dir.str() + "\\Docs\\a").status, ResolveStatus::kAmbiguous);
}

}  // namespace
}  // namespace platform::fs
