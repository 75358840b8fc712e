// The listing half of cUnLHA: SetArcFile walks an archive once and formats every entry's texts,
// so the properties only hand out copies.
#include <cstdio>
#include <iterator>
#include <limits>
#include <string_view>

#include "platform/platform.h"
#include "platform/runtime.h"
#include "platform/text.h"
#include "unlha/cunlha.h"
#include "unlha/messages.h"

namespace unlha {
namespace {

using platform::ErrorKind;

// "#,###": digits grouped by three with a comma whatever the locale, and nothing at all for 0.
std::wstring GroupedNumber(uint32_t value) {
  if (value == 0) return {};
  const std::wstring digits = std::to_wstring(value);
  std::wstring out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += L',';
    out += digits[i];
  }
  return out;
}

// "0.0" of a per-mille value, then "%". The division by 10 is exact, so no rounding arises.
std::wstring Percent(int16_t per_mille) {
  const int32_t value = per_mille;
  const int32_t magnitude = value < 0 ? -value : value;
  return (value < 0 ? L"-" : L"") + std::to_wstring(magnitude / 10) + L'.' +
         std::to_wstring(magnitude % 10) + L'%';
}

// "00": at least two digits.
std::wstring TwoDigits(unsigned value) {
  return (value < 10 ? L"0" : L"") + std::to_wstring(value);
}

// The year is written as years since 1900 (2000 is 100), as the runtime's Year - 1900 gives it.
std::wstring DosDate(uint16_t date) {
  return std::to_wstring((date >> 9) + 80u) + L'/' + TwoDigits((date >> 5) & 0x0Fu) + L'/' +
         TwoDigits(date & 0x1Fu);
}

std::wstring DosTime(uint16_t time) {
  return TwoDigits(time >> 11) + L':' + TwoDigits((time >> 5) & 0x3Fu) + L':' +
         TwoDigits((time & 0x1Fu) * 2);
}

std::wstring Crc16Text(uint32_t crc) {
  wchar_t digits[5];
  std::swprintf(digits, std::size(digits), L"%04X", static_cast<unsigned>(crc & 0xFFFFu));
  return digits;
}

// A fixed text field of the record, converted over its full declared length: separators are
// looked for in the converted text, never in the bytes.
template <size_t N>
std::wstring FieldText(const char (&field)[N]) {
  return platform::FromAnsi(std::string_view(field, N));
}

const ArcEntry& At(const std::vector<ArcEntry>& entries, int16_t intIndex) {
  if (intIndex < 0 || static_cast<size_t>(intIndex) >= entries.size())
    platform::Raise(ErrorKind::kSubscriptOutOfRange);
  return entries[static_cast<size_t>(intIndex)];
}

}  // namespace

int16_t cUnLHA::SetArcFile(const std::wstring& strArcFile) {
  // All four entry points are bound before the archive is opened: a library missing one of them
  // then fails with the earlier listing intact and no archive left open.
  const auto open_archive = UNLHA_ENTRY(m_Library, UnlhaOpenArchive);
  const auto find_first = UNLHA_ENTRY(m_Library, UnlhaFindFirst);
  const auto find_next = UNLHA_ENTRY(m_Library, UnlhaFindNext);
  const auto close_archive = UNLHA_ENTRY(m_Library, UnlhaCloseArchive);

  const std::string path = platform::ToAnsi(strArcFile);
  const UNLHA_HARC harc = open_archive(m_lnghWnd, path.c_str(), 0);

  m_ArcEntries.assign(1, ArcEntry{});
  if (harc == 0) {
    m_Library.os().MessageBox(OpenFailurePrompt(strArcFile), std::wstring(platform::kAppTitle),
                              platform::kMbIconExclamation);
    return 0;
  }

  // The archive is closed on every way out, the overflow of the 32,768th entry included.
  struct Closer {
    decltype(close_archive) close;
    UNLHA_HARC harc;
    ~Closer() { close(harc); }
  } closer{close_archive, harc};

  int16_t intCount = 0;
  INDIVIDUALINFO info{};
  if (find_first(harc, "*.*", &info) != 0) return intCount;
  do {
    m_ArcEntries.resize(static_cast<size_t>(intCount) + 1);
    ArcEntry& entry = m_ArcEntries.back();

    const std::wstring file_name = FieldText(info.szFileName);
    const std::wstring name = file_name.substr(0, file_name.find(L'\0'));
    if (name.find_first_of(L"/\\") != std::wstring::npos) {
      entry.FilePath = GetFolderPart(name) + L'\\';
      entry.FileName = GetFileNamePart(name);
    } else {
      entry.FilePath = L"\\";
      entry.FileName = name;
    }
    entry.FileOriginal = GroupedNumber(info.dwOriginalSize);
    entry.FilePacked = GroupedNumber(info.dwCompressedSize);
    entry.FileRatio = Percent(static_cast<int16_t>(info.wRatio));
    entry.FileDate = DosDate(info.wDate);
    entry.FileTime = DosTime(info.wTime);
    // Not cut at the field's NUL: a short attribute text keeps NUL characters.
    entry.FileAttr = platform::LCase(FieldText(info.szAttribute).substr(0, 4));
    entry.FileType = FieldText(info.szMode).substr(0, 5);
    entry.FileCRC = Crc16Text(info.dwCRC);

    intCount = platform::ToInt16(intCount + 1);
  } while (find_next(harc, &info) == 0);
  return intCount;
}

std::wstring cUnLHA::FileName(int16_t intIndex) const {
  return At(m_ArcEntries, intIndex).FileName;
}
std::wstring cUnLHA::FilePath(int16_t intIndex) const {
  return At(m_ArcEntries, intIndex).FilePath;
}
std::wstring cUnLHA::FileOriginal(int16_t intIndex) const {
  return At(m_ArcEntries, intIndex).FileOriginal;
}
std::wstring cUnLHA::FilePacked(int16_t intIndex) const {
  return At(m_ArcEntries, intIndex).FilePacked;
}
std::wstring cUnLHA::FileRatio(int16_t intIndex) const {
  return At(m_ArcEntries, intIndex).FileRatio;
}
std::wstring cUnLHA::FileDate(int16_t intIndex) const {
  return At(m_ArcEntries, intIndex).FileDate;
}
std::wstring cUnLHA::FileTime(int16_t intIndex) const {
  return At(m_ArcEntries, intIndex).FileTime;
}
std::wstring cUnLHA::FileAttr(int16_t intIndex) const {
  return At(m_ArcEntries, intIndex).FileAttr;
}
std::wstring cUnLHA::FileType(int16_t intIndex) const {
  return At(m_ArcEntries, intIndex).FileType;
}
std::wstring cUnLHA::FileCRC(int16_t intIndex) const {
  return At(m_ArcEntries, intIndex).FileCRC;
}

std::wstring cUnLHA::GetFileNamePart(std::wstring strName) {
  for (auto& c : strName) {
    if (c == L'/') c = L'\\';
  }
  // A ":" ends a prefix too ("A:B" names B), once no backslash is left.
  for (const wchar_t separator : {L'\\', L':'}) {
    const size_t last = strName.rfind(separator);
    if (last != std::wstring::npos) strName.erase(0, last + 1);
  }
  return strName;
}

std::wstring cUnLHA::GetFolderPart(std::wstring strName) {
  for (auto& c : strName) {
    if (c == L'/') c = L'\\';
  }
  const size_t last = strName.rfind(L'\\');
  return last == std::wstring::npos ? std::wstring() : strName.substr(0, last);
}

}  // namespace unlha
