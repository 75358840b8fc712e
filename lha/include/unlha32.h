/*
 * unlha32.h - the C interface of libunlha32.so (UnLHA32.DLL on Windows), Quillory's LZH
 * archiver library.
 *
 * This header is the library's whole contract. It holds no C++ and compiles as C99.
 *
 * Callers that load the library at run time declare their function pointers with the same
 * calling convention, e.g. decltype(&Unlha) in C++: on 32-bit Windows a plain cdecl pointer to
 * these functions corrupts the caller's stack.
 *
 * Text: every string crosses this interface as NUL-terminated bytes in the "ANSI code page",
 * which is UTF-8 on POSIX. Buffers are owned by the caller and passed with their size in bytes.
 *
 * Results: the command and listing functions return 0 for success and one of the UNLHA_ERROR_*
 * codes below otherwise. No function ever lets a C++ exception escape.
 */
#ifndef UNLHA32_H
#define UNLHA32_H

#include <stdint.h>

/* UNLHA32_API stands before the return type of each function below. On Windows the functions are
 * __stdcall, as every caller of UnLHA32.DLL declares them; the DLL exports them under their plain
 * names through a module-definition file made from unlha32.exports. Elsewhere they are plain C
 * functions, and only they leave the shared object (default visibility, all else hidden). */
#if defined(_WIN32)
#define UNLHA32_API __stdcall
#elif defined(UNLHA32_BUILDING_LIBRARY)
#define UNLHA32_API __attribute__((visibility("default")))
#else
#define UNLHA32_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* An owner window. POSIX has no windows: the value is accepted and ignored. */
typedef int32_t UNLHA_HWND;
/* An archive opened for listing by UnlhaOpenArchive; 0 is never a valid handle. */
typedef uint32_t UNLHA_HARC;
/* A truth value: 0 is false, anything else true. */
typedef int32_t UNLHA_BOOL;

/* Result codes. The values are fixed; callers map them to messages. */
#define UNLHA_SUCCESS 0
#define UNLHA_ERROR_DISK_SPACE 32773       /* no space left on the device */
#define UNLHA_ERROR_READ_ONLY 32774        /* the file to extract to is read-only */
#define UNLHA_ERROR_USER_SKIP 32775        /* extraction skipped by the user */
#define UNLHA_ERROR_UNKNOWN_TYPE 32776     /* stored file of a type MS-DOS cannot handle */
#define UNLHA_ERROR_METHOD 32777           /* a method this library cannot decode */
#define UNLHA_ERROR_PASSWORD_FILE 32778    /* stored file protected by a password */
#define UNLHA_ERROR_VERSION 32779          /* stored file in an unsupported format version */
#define UNLHA_ERROR_FILE_CRC 32780         /* stored data fails its CRC */
#define UNLHA_ERROR_FILE_OPEN 32781        /* a file cannot be opened */
#define UNLHA_ERROR_MORE_FRESH 32782       /* a newer file exists at the destination */
#define UNLHA_ERROR_NOT_EXIST 32783        /* a source file does not exist */
#define UNLHA_ERROR_ALREADY_EXIST 32784    /* same stored name twice; file may not be replaced */
#define UNLHA_ERROR_TOO_MANY_FILES 32785   /* more entries than can be reported */
#define UNLHA_ERROR_MAKE_DIRECTORY 32786   /* a folder cannot be created on extraction */
#define UNLHA_ERROR_CANNOT_WRITE 32787     /* write error on the archive or an extracted file */
#define UNLHA_ERROR_HUFFMAN_CODE 32788     /* Huffman code broken */
#define UNLHA_ERROR_COMMENT_HEADER 32789   /* comment header broken */
#define UNLHA_ERROR_HEADER_CRC 32790       /* header checksum wrong */
#define UNLHA_ERROR_HEADER_BROKEN 32791    /* header broken */
#define UNLHA_ERROR_ARC_FILE_OPEN 32792    /* archive cannot be opened or created */
#define UNLHA_ERROR_NO_ARC_NAME 32793      /* no archive name given */
#define UNLHA_ERROR_ARC_READ 32794         /* read error on the archive */
#define UNLHA_ERROR_NOT_ARC_FILE 32795     /* the file at the archive path is not an LZH archive */
#define UNLHA_ERROR_COMMAND 32796          /* unknown command, bad switch, malformed command line */
#define UNLHA_ERROR_MORE_HEAP_MEMORY 32797 /* out of working memory */
#define UNLHA_ERROR_NO_MEMORY 32798        /* out of memory */
#define UNLHA_ERROR_ALREADY_RUNNING 32799  /* the archive is in use by another command */
#define UNLHA_ERROR_USER_CANCEL 32800      /* cancelled by the user */
#define UNLHA_ERROR_TEMP_FILE 32805        /* temporary file cannot be created */
/* A failure inside the library that none of the codes above describes: a fault of the library,
   never reported as anything it is not. The message table has no text for it. */
#define UNLHA_ERROR_INTERNAL 32801

/* One entry of an archive as UnlhaFindFirst / UnlhaFindNext report it: 558 bytes, byte-packed,
 * little-endian. Sizes are the low 32 bits, or 0xFFFFFFFF for 4 GiB and more. wRatio is
 * compressed x 1000 / original (0 for an empty file); wDate / wTime the modification time in
 * local time, MS-DOS encoded; szFileName the stored path with "\" between its parts;
 * szAttribute four characters and a NUL; szMode the method, e.g. "-lh5-". */
#pragma pack(push, 1)
typedef struct {
  uint32_t dwOriginalSize;
  uint32_t dwCompressedSize;
  uint32_t dwCRC;
  uint32_t uFlag;
  uint32_t uOSType;
  uint16_t wRatio;
  uint16_t wDate;
  uint16_t wTime;
  char szFileName[513];
  char dummy1[3];
  char szAttribute[8];
  char szMode[8];
} INDIVIDUALINFO;
#pragma pack(pop)

/* Runs one command line (see docs/unlha.md). The output text is written into szOutput, always
 * NUL-terminated within dwSize bytes (cut when longer); dwSize 0 writes nothing. */
UNLHA32_API int32_t Unlha(UNLHA_HWND hwnd, const char* szCmdLine, char* szOutput, uint32_t dwSize);

/* The library's version in hundredths: 100 stands for 1.00. */
UNLHA32_API uint16_t UnlhaGetVersion(void);

/* True while a command of this process is running. */
UNLHA32_API UNLHA_BOOL UnlhaGetRunning(void);

/* Process-wide switches. Background mode runs commands at reduced scheduling priority; cursor
 * mode draws progress on standard error when it is a terminal. Setters return the new state. */
UNLHA32_API UNLHA_BOOL UnlhaGetBackGroundMode(void);
UNLHA32_API UNLHA_BOOL UnlhaSetBackGroundMode(UNLHA_BOOL bBackGroundMode);
UNLHA32_API UNLHA_BOOL UnlhaGetCursorMode(void);
UNLHA32_API UNLHA_BOOL UnlhaSetCursorMode(UNLHA_BOOL bCursorMode);

/* True when szFileName is a valid archive. Mode 0 walks the headers only; any other mode also
 * decodes every entry and checks its CRC. */
UNLHA32_API UNLHA_BOOL UnlhaCheckArchive(const char* szFileName, int32_t iMode);

/* There is no settings dialog on POSIX; see docs/unlha.md for what it reports. szOptionBuffer
 * holds at least 257 bytes. */
UNLHA32_API int32_t UnlhaConfigDialog(UNLHA_HWND hwnd, char* szOptionBuffer, int32_t iMode);

/* Listing. UnlhaOpenArchive returns 0 when the archive cannot be opened. UnlhaFindFirst and
 * UnlhaFindNext return 0 when *lpSubInfo now describes an entry matching szWildName, -1 when
 * there is none left, and an error code when the archive cannot be read further. */
UNLHA32_API UNLHA_HARC UnlhaOpenArchive(UNLHA_HWND hwnd, const char* szFileName, uint32_t dwMode);
UNLHA32_API int32_t UnlhaCloseArchive(UNLHA_HARC harc);
UNLHA32_API int32_t UnlhaFindFirst(UNLHA_HARC harc, const char* szWildName,
                                   INDIVIDUALINFO* lpSubInfo);
UNLHA32_API int32_t UnlhaFindNext(UNLHA_HARC harc, INDIVIDUALINFO* lpSubInfo);

#ifdef __cplusplus
}
#endif

#endif /* UNLHA32_H */
