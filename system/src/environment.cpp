#include "system/environment.h"

#include <cstdio>
#include <string>

#include "platform/runtime.h"
#include "system/c_system.h"
#include "unlha/cunlha.h"

namespace sys {
namespace {

constexpr int16_t kLowestOSVersion = 400;
constexpr int32_t kTestedLibraryVersion = 87;  // 0.87, in hundredths
constexpr int kStyleOldSystem = platform::kMbIconCritical | platform::kMbDefaultButton2;  // 272
constexpr int kStyleLibrary = platform::kMbIconCritical;                                  // 16

const std::wstring kTitle = platform::kAppTitle;

// The version in hundredths written as "0.00".
std::wstring VersionText(int32_t hundredths) {
  wchar_t buf[32];
  std::swprintf(buf, 32, L"%.2f", hundredths / 100.0);
  return buf;
}

// SearchPathA with no search path and no extension: where libraries are looked for.
bool FindOnSearchPath(platform::Platform& os, const char* name) {
  char buffer[516] = {};
  char* file_part = nullptr;
  return os.SearchPathA(nullptr, name, nullptr, sizeof buffer, buffer, &file_part) != 0;
}

[[noreturn]] void Refuse(platform::Platform& os, const std::wstring& prompt, int style) {
  os.MessageBox(prompt, kTitle, style);
  throw platform::ProcessEnd{2};
}

}  // namespace

bool CheckEnvironment(platform::Platform& os, unlha::ArchiverLibrary& archiver) {
  if (cSystem(os).OSVersion() < kLowestOSVersion)
    Refuse(os, kTitle + L" は、 'Windows NT 3.51' では動作しません。", kStyleOldSystem);

  if (!FindOnSearchPath(os, unlha::kLibraryFileName)) {
    Refuse(os, kTitle + L" には、 'UnLHA32.DLL' が必要なんですよ。" + L"\r" + L"ヽ( ´ー｀)丿ﾌｯ",
           kStyleLibrary);
  }

  // The library's first call: a library that is found but cannot be loaded raises here, for
  // the job run's general error handler.
  if (unlha::cUnLHA(archiver).Version() < kTestedLibraryVersion) {
    os.MessageBox(L"UnLHA32.DLL は、Version " + VersionText(kTestedLibraryVersion) +
                      L" で動作確認しました。" + L"\r\r" +
                      L"これ未満のﾊﾞｰｼﾞｮﾝでの動作には、支障があるかもしれません。" +
                      L"DLLのﾊﾞｰｼﾞｮﾝについて - " + kTitle,
                  kTitle, kStyleLibrary);
  }
  return true;
}

}  // namespace sys
