/* UnLHA32.DLL as a 32-bit Windows program uses it: loaded by LoadLibrary, every function found
 * by its plain name with GetProcAddress and called through a __stdcall pointer. A pointer of the
 * wrong convention would leave the stack off by the arguments' size on every call; thousands of
 * calls make that crash or show. Exits non-zero on the first failure. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "unlha32.h"

static int failures = 0;

#define CHECK(cond)                                                      \
  do {                                                                   \
    if (!(cond)) {                                                       \
      fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                        \
    }                                                                    \
  } while (0)

typedef int32_t(WINAPI* UnlhaFn)(UNLHA_HWND, const char*, char*, uint32_t);
typedef uint16_t(WINAPI* GetVersionFn)(void);
typedef UNLHA_BOOL(WINAPI* GetBoolFn)(void);
typedef UNLHA_BOOL(WINAPI* SetBoolFn)(UNLHA_BOOL);
typedef UNLHA_BOOL(WINAPI* CheckArchiveFn)(const char*, int32_t);
typedef int32_t(WINAPI* ConfigDialogFn)(UNLHA_HWND, char*, int32_t);
typedef UNLHA_HARC(WINAPI* OpenArchiveFn)(UNLHA_HWND, const char*, uint32_t);
typedef int32_t(WINAPI* CloseArchiveFn)(UNLHA_HARC);
typedef int32_t(WINAPI* FindFirstFn)(UNLHA_HARC, const char*, INDIVIDUALINFO*);
typedef int32_t(WINAPI* FindNextFn)(UNLHA_HARC, INDIVIDUALINFO*);

static FARPROC Find(HMODULE dll, const char* name) {
  FARPROC f = GetProcAddress(dll, name);
  if (!f) {
    fprintf(stderr, "no export named %s\n", name);
    ++failures;
  }
  return f;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: dll_caller_test UnLHA32.DLL WORK-FOLDER\n");
    return 2;
  }
  HMODULE dll = LoadLibraryA(argv[1]);
  if (!dll) {
    fprintf(stderr, "cannot load %s: error %lu\n", argv[1], GetLastError());
    return 1;
  }
  UnlhaFn unlha = (UnlhaFn)Find(dll, "Unlha");
  GetVersionFn get_version = (GetVersionFn)Find(dll, "UnlhaGetVersion");
  GetBoolFn get_running = (GetBoolFn)Find(dll, "UnlhaGetRunning");
  GetBoolFn get_background = (GetBoolFn)Find(dll, "UnlhaGetBackGroundMode");
  SetBoolFn set_background = (SetBoolFn)Find(dll, "UnlhaSetBackGroundMode");
  GetBoolFn get_cursor = (GetBoolFn)Find(dll, "UnlhaGetCursorMode");
  SetBoolFn set_cursor = (SetBoolFn)Find(dll, "UnlhaSetCursorMode");
  CheckArchiveFn check_archive = (CheckArchiveFn)Find(dll, "UnlhaCheckArchive");
  ConfigDialogFn config_dialog = (ConfigDialogFn)Find(dll, "UnlhaConfigDialog");
  OpenArchiveFn open_archive = (OpenArchiveFn)Find(dll, "UnlhaOpenArchive");
  CloseArchiveFn close_archive = (CloseArchiveFn)Find(dll, "UnlhaCloseArchive");
  FindFirstFn find_first = (FindFirstFn)Find(dll, "UnlhaFindFirst");
  FindNextFn find_next = (FindNextFn)Find(dll, "UnlhaFindNext");
  if (failures) return 1;
  /* Only the plain names: a caller never asks for the decorated ones. */
  CHECK(GetProcAddress(dll, "Unlha@16") == NULL);
  CHECK(GetProcAddress(dll, "_Unlha@16") == NULL);

  char folder[MAX_PATH], source[MAX_PATH], archive[MAX_PATH], command[3 * MAX_PATH];
  snprintf(folder, sizeof folder, "%s", argv[2]);
  snprintf(source, sizeof source, "%s\\a.txt", folder);
  snprintf(archive, sizeof archive, "%s\\a.lzh", folder);
  FILE* f = fopen(source, "wb");
  CHECK(f != NULL);
  if (f) {
    fputs("data for the archive\n", f);
    fclose(f);
  }

  for (int round = 0; round < 2000; ++round) {
    CHECK(get_version() >= 100);
    CHECK(get_running() == 0);
    CHECK(set_background(round & 1) == (round & 1));
    CHECK(get_background() == (round & 1));
    CHECK(set_cursor(0) == 0);
    CHECK(get_cursor() == 0);
    if (failures) break;
  }
  set_background(0);

  char output[4096];
  snprintf(command, sizeof command, "a \"%s\" \"%s\"", archive, source);
  CHECK(unlha(0, command, output, sizeof output) == 0);
  CHECK(memchr(output, '\0', sizeof output) != NULL);
  CHECK(unlha(0, "q nothing.lzh", output, sizeof output) == UNLHA_ERROR_COMMAND);
  CHECK(check_archive(archive, 0) != 0);
  CHECK(check_archive(archive, 1) != 0);
  CHECK(check_archive(source, 0) == 0);
  {
    char option[257] = "-a1";
    CHECK(config_dialog(0, option, 0) == 0);
  }
  for (int round = 0; round < 200; ++round) {
    INDIVIDUALINFO info;
    const UNLHA_HARC harc = open_archive(0, archive, 0);
    CHECK(harc != 0);
    CHECK(find_first(harc, "*.*", &info) == 0);
    CHECK(strcmp(info.szFileName, "a.txt") == 0);
    CHECK(info.dwOriginalSize == 21);
    CHECK(find_next(harc, &info) == -1);
    CHECK(close_archive(harc) == 0);
    if (failures) break;
  }
  FreeLibrary(dll);
  if (failures == 0) printf("dll_caller_test: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
