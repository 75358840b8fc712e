// cUnLHA: the program's only gateway to the archiver library. It runs one archiver command line
// and keeps its result code and output text, passes the library's process-wide switches
// through, checks archives, opens the library's settings, and lists an archive's contents.
//
// Text is wide inside; every library call gets it converted to the ANSI code page and converts
// what comes back. The library is reached through the ArchiverLibrary given at construction,
// which must outlive the object; entry points are bound by name when first used.
//
// Errors: a library result code is a value (ReturnCode, ErrString), never an error. Run-time
// errors (platform::RuntimeError) are raised to the caller and nothing here catches them:
// a missing library or entry point, kOverflow and kInvalidArgument from CommandLine,
// kInvalidArgument from ConfigDialog, kOverflow from SetArcFile past 32,767 entries and
// kSubscriptOutOfRange from the listing properties.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "unlha/archiver_library.h"

namespace unlha {

// One listed archive entry, as display texts formatted once by SetArcFile.
struct ArcEntry {
  std::wstring FileName;
  std::wstring FilePath;
  std::wstring FileOriginal;
  std::wstring FilePacked;
  std::wstring FileRatio;
  std::wstring FileDate;
  std::wstring FileTime;
  std::wstring FileAttr;
  std::wstring FileType;
  std::wstring FileCRC;
};

class cUnLHA {
 public:
  // Owner window handed to the library; 0 on a new object.
  int32_t hwnd() const { return m_lnghWnd; }
  void hwnd(int32_t lngNewhWnd) { m_lnghWnd = lngNewhWnd; }

  // The command line of the last completed CommandLine set, as it came back from the ANSI
  // conversion. Does not call the library.
  std::wstring CommandLine() const { return m_strCommandLine; }

  // The library's version in hundredths (87 is 0.87), its 16 bits taken as signed.
  int32_t Version() const;
  // Whether the library reports a command running.
  bool Running() const;

  // Background mode: process-wide state of the library, shared by every cUnLHA object.
  bool BackGroundMode() const;
  void BackGroundMode(bool bNewValue);

  // Class_Initialize: MaxFileCount 256, CheckMode 4, everything else empty or 0.
  explicit cUnLHA(ArchiverLibrary& library);

  // Runs one archiver command. The output buffer holds (MaxFileCount + 4) x 80 bytes, counted
  // in signed 16 bits: kOverflow when that leaves the range, kInvalidArgument when it is
  // negative, both before the library is called. kInvalidArgument too when the buffer comes
  // back without a NUL (always so for a buffer of 0 bytes). `strCommandLine` is replaced by its
  // ANSI round trip once the library has returned. CommandLine, OutPut and ReturnCode change
  // together, and only when the whole operation completes.
  void CommandLine(std::wstring& strCommandLine);
  // The last command line, one line feed (no carriage return) and the library's output text.
  std::wstring OutPut() const;

  // Cursor mode: process-wide state of the library, like BackGroundMode.
  bool CursorMode() const;
  void CursorMode(bool blnNewValue);

  // Sizes the output buffer of CommandLine; any value is accepted here.
  int16_t MaxFileCount() const { return m_intMaxFileCount; }
  void MaxFileCount(int16_t intNewMaxFileCount) { m_intMaxFileCount = intNewMaxFileCount; }

  // The result of the last completed Unlha or UnlhaConfigDialog call; 0 is success.
  int32_t ReturnCode() const { return m_lngReturnCode; }

  // Whether the library finds `strFileName` a sound archive, checked in CheckMode.
  // `strFileName` is replaced by its ANSI round trip. ReturnCode is left alone.
  bool CheckArchive(std::wstring& strFileName);

  // The user's message for ReturnCode: empty for 0. Does not call the library.
  std::wstring ErrString() const;

  // The mode handed to UnlhaCheckArchive; any value is accepted here.
  int16_t CheckMode() const { return m_intCheckMode; }
  void CheckMode(int16_t intNewCheckMode) { m_intCheckMode = intNewCheckMode; }

  // Lists the archive `strArcFile`, replacing any earlier listing, and returns the number of
  // entries. When the archive cannot be opened a warning box names it, and 0 is returned; 0 too
  // for an archive without entries. After a result of 0 the listing is one entry of empty texts.
  // More than 32,767 entries raise kOverflow.
  int16_t SetArcFile(const std::wstring& strArcFile);

  // The texts of listed entry `intIndex` (zero-based). An index outside the listing, or any
  // index before the first SetArcFile, raises kSubscriptOutOfRange.
  std::wstring FileName(int16_t intIndex) const;      // name without folder
  std::wstring FilePath(int16_t intIndex) const;      // folder with "\" separators, ending in "\"
  std::wstring FileOriginal(int16_t intIndex) const;  // size, grouped "1,234"; empty for 0
  std::wstring FilePacked(int16_t intIndex) const;    // compressed size, as FileOriginal
  std::wstring FileRatio(int16_t intIndex) const;     // per mille as percent: "52.3%"
  std::wstring FileDate(int16_t intIndex) const;      // years since 1900 "/MM/DD": "103/02/01"
  std::wstring FileTime(int16_t intIndex) const;      // "HH:MM:SS", seconds always even
  std::wstring FileAttr(int16_t intIndex) const;      // four characters, lower case
  std::wstring FileType(int16_t intIndex) const;      // method, five characters: "-lh5-"
  std::wstring FileCRC(int16_t intIndex) const;       // four upper-case hexadecimal digits

  // Opens the library's settings with the option text `strOption`, which is first padded with
  // NULs or cut to exactly 257 characters and afterwards holds the whole buffer as the library
  // left it. Returns the option text before the first NUL when the library's result is not 0,
  // else an empty text; the result goes to ReturnCode. kInvalidArgument when the result is not 0
  // and the buffer holds no NUL; ReturnCode then keeps its value.
  std::wstring ConfigDialog(std::wstring& strOption, int32_t lngMode);

 private:
  // The name part of an entry name: the text after its last "\", "/" or ":".
  static std::wstring GetFileNamePart(std::wstring strName);
  // The folder part of an entry name: the text before its last "\" or "/", with "\" between
  // its parts.
  static std::wstring GetFolderPart(std::wstring strName);

  ArchiverLibrary& m_Library;

  std::wstring m_strCommandLine;
  std::wstring m_strOutPut;
  int32_t m_lngReturnCode = 0;
  int16_t m_intMaxFileCount = 256;
  int16_t m_intCheckMode = 4;
  int32_t m_lnghWnd = 0;

  // Empty until the first SetArcFile; at least one entry afterwards.
  std::vector<ArcEntry> m_ArcEntries;
};

}  // namespace unlha
