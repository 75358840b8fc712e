#include "unlha/cunlha.h"

#include "platform/runtime.h"
#include "platform/text.h"
#include "unlha/messages.h"

namespace unlha {
namespace {

using platform::ErrorKind;

// The option buffer of UnlhaConfigDialog, in characters before conversion.
constexpr size_t kOptionBufferLength = 257;

// Output is written into the whole buffer, so all of it is converted before looking for its end.
std::wstring TextBeforeNul(const std::wstring& buffer) {
  const size_t nul = buffer.find(L'\0');
  if (nul == std::wstring::npos) platform::Raise(ErrorKind::kInvalidArgument);
  return buffer.substr(0, nul);
}

}  // namespace

cUnLHA::cUnLHA(ArchiverLibrary& library) : m_Library(library) {}

int32_t cUnLHA::Version() const {
  const uint16_t version = UNLHA_ENTRY(m_Library, UnlhaGetVersion)();
  return static_cast<int16_t>(version);
}

bool cUnLHA::Running() const {
  return UNLHA_ENTRY(m_Library, UnlhaGetRunning)() != 0;
}

bool cUnLHA::BackGroundMode() const {
  return UNLHA_ENTRY(m_Library, UnlhaGetBackGroundMode)() != 0;
}

void cUnLHA::BackGroundMode(bool bNewValue) {
  UNLHA_ENTRY(m_Library, UnlhaSetBackGroundMode)(bNewValue ? 1 : 0);
}

void cUnLHA::CommandLine(std::wstring& strCommandLine) {
  const int16_t size = platform::ToInt16(platform::ToInt16(m_intMaxFileCount + 4) * 80);
  if (size < 0) platform::Raise(ErrorKind::kInvalidArgument);

  const std::string command = platform::ToAnsi(strCommandLine);
  std::string output(static_cast<size_t>(size), '\0');
  const int32_t result = UNLHA_ENTRY(m_Library, Unlha)(m_lnghWnd, command.c_str(), output.data(),
                                                       static_cast<uint32_t>(size));

  strCommandLine = platform::FromAnsi(command);
  // A library that leaves no NUL in the buffer (and every buffer of 0 bytes) fails here, before
  // anything is stored.
  std::wstring text = TextBeforeNul(platform::FromAnsi(output));

  m_strOutPut = std::move(text);
  m_strCommandLine = strCommandLine;
  m_lngReturnCode = result;
}

std::wstring cUnLHA::OutPut() const {
  return m_strCommandLine + L'\n' + m_strOutPut;
}

bool cUnLHA::CursorMode() const {
  return UNLHA_ENTRY(m_Library, UnlhaGetCursorMode)() != 0;
}

void cUnLHA::CursorMode(bool blnNewValue) {
  UNLHA_ENTRY(m_Library, UnlhaSetCursorMode)(blnNewValue ? 1 : 0);
}

bool cUnLHA::CheckArchive(std::wstring& strFileName) {
  const std::string path = platform::ToAnsi(strFileName);
  const UNLHA_BOOL result = UNLHA_ENTRY(m_Library, UnlhaCheckArchive)(path.c_str(), m_intCheckMode);
  strFileName = platform::FromAnsi(path);
  return result != 0;
}

std::wstring cUnLHA::ErrString() const {
  return ResultCodeMessage(m_lngReturnCode);
}

std::wstring cUnLHA::ConfigDialog(std::wstring& strOption, int32_t lngMode) {
  // Bound before the option text is touched, so a missing entry point leaves it as it was.
  const auto config_dialog = UNLHA_ENTRY(m_Library, UnlhaConfigDialog);

  strOption.resize(kOptionBufferLength, L'\0');
  // Never shorter than 257 bytes: each character takes at least one.
  std::string buffer = platform::ToAnsi(strOption);
  const int32_t result = config_dialog(m_lnghWnd, buffer.data(), lngMode);
  strOption = platform::FromAnsi(buffer);

  std::wstring option;
  if (result != 0) option = TextBeforeNul(strOption);
  m_lngReturnCode = result;
  return option;
}

}  // namespace unlha
