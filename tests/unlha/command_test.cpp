// cUnLHA's command half: running a command line, switches, queries, CheckArchive, ConfigDialog,
// and binding the library by name.
#include "fixture.h"
#include "platform/text.h"

namespace unlha_test {
namespace {

using platform::ErrorKind;
using ::testing::ElementsAre;

TEST_F(UnlhaTest, NewObjectHasDefaultsAndLeavesTheLibraryUnloaded) {
  EXPECT_EQ(arc.ReturnCode(), 0);
  EXPECT_EQ(arc.ErrString(), L"");
  EXPECT_EQ(arc.CommandLine(), L"");
  EXPECT_EQ(arc.OutPut(), L"\n");
  EXPECT_EQ(arc.MaxFileCount(), 256);
  EXPECT_EQ(arc.CheckMode(), 4);
  EXPECT_EQ(arc.hwnd(), 0);
  EXPECT_TRUE(os.loaded_libraries.empty());
}

TEST_F(UnlhaTest, OutputBufferIsZeroedAndSizedByMaxFileCount) {
  const struct {
    int16_t max_file_count;
    uint32_t size;
  } cases[] = {{256, 20800}, {405, 32720}, {-3, 80}, {0, 320}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.max_file_count);
    unlha::cUnLHA object(library);
    object.MaxFileCount(c.max_file_count);
    object.hwnd(-7);
    std::wstring command = L"u -+ \"/tmp/A B.LZH\" @/L.TMP";
    object.CommandLine(command);
    EXPECT_EQ(fake.Record().buffer_size, c.size);
    EXPECT_EQ(fake.Buffer(), std::string(c.size, '\0'));
    EXPECT_STREQ(fake.Record().command_line, "u -+ \"/tmp/A B.LZH\" @/L.TMP");
    EXPECT_EQ(fake.Record().command_hwnd, -7);
    EXPECT_EQ(object.OutPut(), L"u -+ \"/tmp/A B.LZH\" @/L.TMP\n");
  }
}

TEST_F(UnlhaTest, MaxFileCountOutsideTheBufferRangeFailsBeforeTheLibraryAndKeepsResults) {
  fake.Script().command_result = UNLHA_ERROR_COMMAND;
  fake.Script().output = "old output";
  fake.Script().output_length = 11;
  std::wstring first = L"old";
  arc.CommandLine(first);

  const struct {
    int16_t max_file_count;
    ErrorKind kind;
  } cases[] = {
      {406, ErrorKind::kOverflow},       {32764, ErrorKind::kOverflow},
      {32767, ErrorKind::kOverflow},     {-414, ErrorKind::kOverflow},
      {-32768, ErrorKind::kOverflow},    {-413, ErrorKind::kInvalidArgument},
      {-5, ErrorKind::kInvalidArgument},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.max_file_count);
    arc.MaxFileCount(c.max_file_count);
    std::wstring command = L"new";
    EXPECT_EQ(ErrorOf([&] { arc.CommandLine(command); }), c.kind);
    EXPECT_EQ(command, L"new");
    EXPECT_EQ(arc.CommandLine(), L"old");
    EXPECT_EQ(arc.OutPut(), L"old\nold output");
    EXPECT_EQ(arc.ReturnCode(), UNLHA_ERROR_COMMAND);
  }
  EXPECT_THAT(fake.Calls(), ElementsAre("Unlha"));
}

TEST_F(UnlhaTest, EmptyBufferReachesTheLibraryThenFailsWithNothingStored) {
  arc.MaxFileCount(-4);
  fake.Script().command_result = 0;
  std::wstring command = L"l X.LZH";
  EXPECT_EQ(ErrorOf([&] { arc.CommandLine(command); }), ErrorKind::kInvalidArgument);
  EXPECT_THAT(fake.Calls(), ElementsAre("Unlha"));
  EXPECT_EQ(fake.Record().buffer_size, 0u);
  EXPECT_EQ(arc.CommandLine(), L"");
  EXPECT_EQ(arc.OutPut(), L"\n");
}

TEST_F(UnlhaTest, OutputFillingTheBufferUpToItsLastByteButOneIsKeptWhole) {
  const std::string text(20799, 'x');
  fake.Script().output = text.data();
  fake.Script().output_length = static_cast<uint32_t>(text.size());
  std::wstring command = L"l X.LZH";
  arc.CommandLine(command);
  EXPECT_EQ(arc.OutPut(), L"l X.LZH\n" + std::wstring(20799, L'x'));
}

TEST_F(UnlhaTest, OutputWithoutNulFailsAndKeepsThePreviousResults) {
  std::wstring first = L"first";
  arc.CommandLine(first);

  arc.MaxFileCount(-3);
  const std::string text(80, 'x');
  fake.Script().output = text.data();
  fake.Script().output_length = 80;
  fake.Script().command_result = UNLHA_ERROR_ARC_READ;
  std::wstring command = L"second";
  EXPECT_EQ(ErrorOf([&] { arc.CommandLine(command); }), ErrorKind::kInvalidArgument);
  EXPECT_EQ(arc.OutPut(), L"first\n");
  EXPECT_EQ(arc.ReturnCode(), 0);
}

TEST_F(UnlhaTest, MultiByteOutputComesBackAsWideText) {
  const std::string text = platform::ToAnsi(L"格納 ﾌｧｲﾙ DOC\\A.TXT\n");
  fake.Script().output = text.data();
  fake.Script().output_length = static_cast<uint32_t>(text.size());
  std::wstring command = L"a 書類.LZH";
  arc.CommandLine(command);
  EXPECT_EQ(fake.Record().command_line, platform::ToAnsi(L"a 書類.LZH"));
  EXPECT_EQ(fake.Record().buffer_size, 20800u);
  EXPECT_EQ(arc.OutPut(), L"a 書類.LZH\n格納 ﾌｧｲﾙ DOC\\A.TXT\n");
}

TEST_F(UnlhaTest, ResultAndOutputAreStoredWhateverTheCode) {
  fake.Script().command_result = UNLHA_ERROR_NOT_EXIST;
  fake.Script().output = "missing: A.TXT";
  fake.Script().output_length = 14;
  std::wstring command = L"a X.LZH A.TXT";
  arc.CommandLine(command);
  EXPECT_EQ(arc.ReturnCode(), 32783);
  EXPECT_EQ(arc.ErrString(), L"ﾌｧｲﾙは解凍先に存在していません。");
  EXPECT_EQ(arc.OutPut(), L"a X.LZH A.TXT\nmissing: A.TXT");
}

TEST_F(UnlhaTest, CommandLineArgumentIsReplacedByItsAnsiRoundTrip) {
  // A value the ANSI code page cannot hold (beyond Unicode where wchar_t has 32 bits, which
  // becomes U+FFFD; a lone surrogate for a Windows code page, which becomes its default
  // character) comes back changed, in the argument and the property.
  const std::wstring odd(1, sizeof(wchar_t) == 4 ? static_cast<wchar_t>(0x110000) : L'\xD800');
  const std::string sent = platform::ToAnsi(L"a X.LZH " + odd);
  const std::wstring back = platform::FromAnsi(sent);
  ASSERT_NE(back, L"a X.LZH " + odd);
  std::wstring command = L"a X.LZH " + odd;
  arc.CommandLine(command);
  EXPECT_EQ(fake.Record().command_line, sent);
  EXPECT_EQ(command, back);
  EXPECT_EQ(arc.CommandLine(), back);
}

TEST_F(UnlhaTest, CheckArchivePassesPathAndSignedModeAndLeavesReturnCode) {
  fake.Script().command_result = UNLHA_ERROR_ARC_FILE_OPEN;
  std::wstring command = L"t X.LZH";
  arc.CommandLine(command);

  arc.CheckMode(-2);
  std::wstring path = L"/tmp/ﾃｽﾄ.LZH";
  fake.Script().check_result = 5;
  EXPECT_TRUE(arc.CheckArchive(path));
  EXPECT_EQ(fake.Record().checked_path, platform::ToAnsi(L"/tmp/ﾃｽﾄ.LZH"));
  EXPECT_EQ(fake.Record().check_mode, -2);
  EXPECT_EQ(path, L"/tmp/ﾃｽﾄ.LZH");

  fake.Script().check_result = 0;
  EXPECT_FALSE(arc.CheckArchive(path));
  EXPECT_EQ(arc.ReturnCode(), UNLHA_ERROR_ARC_FILE_OPEN);
}

TEST_F(UnlhaTest, ConfigDialogHandsOverOnlyThe257CharacterBuffer) {
  fake.Script().command_result = UNLHA_ERROR_COMMAND;
  std::wstring command = L"?";
  arc.CommandLine(command);

  // The library leaves the full buffer as it was: no NUL to end the option text.
  std::wstring option(300, L'o');
  fake.Script().config_result = 1;
  EXPECT_EQ(ErrorOf([&] { arc.ConfigDialog(option, 2); }), ErrorKind::kInvalidArgument);
  EXPECT_EQ(fake.Option(), std::string(257, 'o'));
  EXPECT_EQ(option, std::wstring(257, L'o'));
  EXPECT_EQ(arc.ReturnCode(), UNLHA_ERROR_COMMAND);
}

TEST_F(UnlhaTest, ConfigDialogReturnsTheOptionTextOnlyForANonZeroResult) {
  arc.hwnd(99);
  std::wstring option = L"-a1 -x1";
  fake.Script().config_result = 1;
  fake.Script().config_output = "-jm2";
  fake.Script().config_output_length = 5;  // with its NUL
  EXPECT_EQ(arc.ConfigDialog(option, 3), L"-jm2");
  EXPECT_EQ(fake.Record().config_hwnd, 99);
  EXPECT_EQ(fake.Record().config_mode, 3);
  EXPECT_EQ(fake.Option(), std::string("-a1 -x1") + std::string(250, '\0'));
  // The argument keeps the whole buffer, what the library did not overwrite included.
  EXPECT_EQ(option, std::wstring(L"-jm2\0x1", 7) + std::wstring(250, L'\0'));
  EXPECT_EQ(arc.ReturnCode(), 1);

  fake.Script().config_result = 0;
  std::wstring other = L"-c1";
  EXPECT_EQ(arc.ConfigDialog(other, 0), L"");
  EXPECT_EQ(arc.ReturnCode(), 0);
}

TEST_F(UnlhaTest, SwitchesAreSharedByAllObjects) {
  unlha::cUnLHA other(library);
  arc.BackGroundMode(true);
  EXPECT_EQ(fake.Record().background_set, 1);
  EXPECT_TRUE(other.BackGroundMode());
  other.BackGroundMode(false);
  EXPECT_EQ(fake.Record().background_set, 0);
  EXPECT_FALSE(arc.BackGroundMode());

  arc.CursorMode(true);
  EXPECT_EQ(fake.Record().cursor_set, 1);
  EXPECT_TRUE(other.CursorMode());
  other.CursorMode(false);
  EXPECT_EQ(fake.Record().cursor_set, 0);
  EXPECT_FALSE(arc.CursorMode());
}

TEST_F(UnlhaTest, VersionIsTakenAsSigned16BitsAndRunningAsNonZero) {
  const struct {
    uint16_t reported;
    int32_t version;
  } cases[] = {{86, 86}, {100, 100}, {0x7FFF, 32767}, {0x8000, -32768}, {0xFFFF, -1}};
  for (const auto& c : cases) {
    fake.Script().version = c.reported;
    EXPECT_EQ(arc.Version(), c.version) << c.reported;
  }
  fake.Script().running = -5;
  EXPECT_TRUE(arc.Running());
  fake.Script().running = 0;
  EXPECT_FALSE(arc.Running());
}

TEST_F(UnlhaTest, LibraryIsSearchedAndLoadedOnceForAllObjects) {
  unlha::cUnLHA other(library);
  arc.Version();
  other.BackGroundMode(true);
  std::wstring command = L"l X.LZH";
  other.CommandLine(command);
  arc.Running();
  EXPECT_THAT(os.searched_libraries, ElementsAre(unlha::kLibraryFileName));
  EXPECT_THAT(os.loaded_libraries, ElementsAre(QUILLORY_FAKE_UNLHA32));
}

TEST_F(UnlhaTest, MissingLibraryFailsEveryCallAndStoresNothing) {
  os.library_path.clear();
  std::wstring command = L"l X.LZH";
  std::wstring option = L"-a1";
  EXPECT_EQ(ErrorOf([&] { arc.Version(); }), ErrorKind::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { arc.CommandLine(command); }), ErrorKind::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { arc.ConfigDialog(option, 0); }), ErrorKind::kFileNotFound);
  EXPECT_EQ(ErrorOf([&] { arc.SetArcFile(L"X.LZH"); }), ErrorKind::kFileNotFound);
  EXPECT_EQ(command, L"l X.LZH");
  EXPECT_EQ(option, L"-a1");
  EXPECT_EQ(arc.OutPut(), L"\n");
  EXPECT_EQ(ErrorOf([&] { arc.FileName(0); }), ErrorKind::kSubscriptOutOfRange);
  EXPECT_TRUE(os.loaded_libraries.empty());
  EXPECT_TRUE(fake.Calls().empty());

  // Found later, it is used then.
  os.library_path = QUILLORY_FAKE_UNLHA32;
  fake.Script().version = 87;
  EXPECT_EQ(arc.Version(), 87);
}

TEST_F(UnlhaTest, FileThatIsNoLibraryFailsToLoad) {
  os.library_path = QUILLORY_SOURCE_DIR "/CMakeLists.txt";
  EXPECT_EQ(ErrorOf([&] { arc.Version(); }), ErrorKind::kLibraryNotFound);
}

TEST_F(UnlhaTest, MissingEntryPointFailsThatCallOnlyAndStoresNothing) {
  os.library_path = QUILLORY_FAKE_UNLHA32_PARTIAL;
  testing_support::FakeUnlha32 partial(QUILLORY_FAKE_UNLHA32_PARTIAL);

  std::wstring command = L"l X.LZH";
  std::wstring option = L"-a1";
  for (int attempt = 0; attempt < 2; ++attempt) {  // a failed look-up is not remembered
    EXPECT_EQ(ErrorOf([&] { arc.CommandLine(command); }), ErrorKind::kEntryPointNotFound);
  }
  EXPECT_EQ(ErrorOf([&] { arc.Version(); }), ErrorKind::kEntryPointNotFound);
  EXPECT_EQ(ErrorOf([&] { arc.ConfigDialog(option, 0); }), ErrorKind::kEntryPointNotFound);
  EXPECT_EQ(ErrorOf([&] { arc.SetArcFile(L"X.LZH"); }), ErrorKind::kEntryPointNotFound);
  EXPECT_EQ(command, L"l X.LZH");
  EXPECT_EQ(option, L"-a1");
  EXPECT_EQ(arc.OutPut(), L"\n");
  EXPECT_EQ(ErrorOf([&] { arc.FileName(0); }), ErrorKind::kSubscriptOutOfRange);

  // The entry points the library has still work, and no archive was opened on the way.
  arc.BackGroundMode(true);
  EXPECT_TRUE(arc.BackGroundMode());
  EXPECT_THAT(partial.Calls(), ElementsAre("UnlhaSetBackGroundMode", "UnlhaGetBackGroundMode"));
  EXPECT_EQ(os.loaded_libraries.size(), 1u);
}

}  // namespace
}  // namespace unlha_test
