/* The C contract of libunlha32.so as a C99 caller sees it: the record layout callers rely on,
 * and every exported function linked and called once. Exits non-zero on the first failure. */
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "unlha32.h"

static int failures = 0;

#define CHECK(cond)                                                      \
  do {                                                                   \
    if (!(cond)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                        \
    }                                                                    \
  } while (0)

/* Compile-time checks too: a layout change breaks the build of this file, not only its run. */
typedef char size_is_558[sizeof(INDIVIDUALINFO) == 558 ? 1 : -1];
typedef char name_at_26[offsetof(INDIVIDUALINFO, szFileName) == 26 ? 1 : -1];

int main(void) {
  CHECK(sizeof(INDIVIDUALINFO) == 558);
  CHECK(offsetof(INDIVIDUALINFO, dwOriginalSize) == 0);
  CHECK(offsetof(INDIVIDUALINFO, dwCompressedSize) == 4);
  CHECK(offsetof(INDIVIDUALINFO, dwCRC) == 8);
  CHECK(offsetof(INDIVIDUALINFO, uFlag) == 12);
  CHECK(offsetof(INDIVIDUALINFO, uOSType) == 16);
  CHECK(offsetof(INDIVIDUALINFO, wRatio) == 20);
  CHECK(offsetof(INDIVIDUALINFO, wDate) == 22);
  CHECK(offsetof(INDIVIDUALINFO, wTime) == 24);
  CHECK(offsetof(INDIVIDUALINFO, szFileName) == 26);
  CHECK(offsetof(INDIVIDUALINFO, dummy1) == 539);
  CHECK(offsetof(INDIVIDUALINFO, szAttribute) == 542);
  CHECK(offsetof(INDIVIDUALINFO, szMode) == 550);
  CHECK(sizeof(UNLHA_HWND) == 4 && sizeof(UNLHA_HARC) == 4 && sizeof(UNLHA_BOOL) == 4);

  {
    char output[256];
    memset(output, 'x', sizeof output);
    /* An unknown command: a result code and a NUL-terminated text, in a C caller too. */
    CHECK(Unlha(0, "q nothing.lzh", output, sizeof output) == UNLHA_ERROR_COMMAND);
    CHECK(memchr(output, '\0', sizeof output) != NULL);
  }
  CHECK(UnlhaGetVersion() >= 100);
  CHECK(UnlhaGetRunning() == 0);

  CHECK(UnlhaSetBackGroundMode(1) != 0);
  CHECK(UnlhaGetBackGroundMode() != 0);
  CHECK(UnlhaSetBackGroundMode(0) == 0);
  CHECK(UnlhaGetBackGroundMode() == 0);
  CHECK(UnlhaSetCursorMode(1) != 0);
  CHECK(UnlhaGetCursorMode() != 0);
  CHECK(UnlhaSetCursorMode(0) == 0);
  CHECK(UnlhaGetCursorMode() == 0);

  CHECK(UnlhaCheckArchive("/nonexistent/folder/none.lzh", 0) == 0);
  {
    char option[257];
    memset(option, 0, sizeof option);
    strcpy(option, "-a1");
    /* No dialog on POSIX: 0, and the buffer is left as it was. */
    CHECK(UnlhaConfigDialog(0, option, 0) == 0);
    CHECK(strcmp(option, "-a1") == 0);
  }
  {
    INDIVIDUALINFO info;
    const UNLHA_HARC none = UnlhaOpenArchive(0, "/nonexistent/folder/none.lzh", 0);
    CHECK(none == 0);
    /* Calls on a handle that was never opened fail without touching anything. */
    CHECK(UnlhaFindFirst(none, "*.*", &info) != 0);
    CHECK(UnlhaFindNext(none, &info) != 0);
    CHECK(UnlhaCloseArchive(none) != 0);
  }
  if (failures == 0) printf("c_header_test: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
