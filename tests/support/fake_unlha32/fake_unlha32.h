/*
 * fake_unlha32.h - the test-only control interface of the fake archiver library.
 *
 * The fake is a shared object with the C interface of unlha32.h that does no archiving: each
 * function returns what the test scripted and records what it was handed. A test loads the same
 * file that the code under test loads (so both see one instance) and looks these three functions
 * up by name. State lives for the process; FakeUnlha_Reset starts it afresh.
 */
#ifndef FAKE_UNLHA32_H
#define FAKE_UNLHA32_H

#include "unlha32.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What the fake answers. Pointers refer to the test's memory, which must outlive the calls. */
typedef struct {
  uint16_t version;       /* UnlhaGetVersion; 100 after a reset */
  UNLHA_BOOL running;     /* UnlhaGetRunning */
  int32_t command_result; /* Unlha */
  /* Bytes Unlha writes at the start of the output buffer, cut at its size. The buffer's other
   * bytes stay as handed, so a test that wants no NUL fills the whole size. */
  const char* output;
  uint32_t output_length;
  UNLHA_BOOL check_result; /* UnlhaCheckArchive */
  int32_t config_result;   /* UnlhaConfigDialog */
  /* Bytes UnlhaConfigDialog writes at the start of the option buffer (at most 257); NULL leaves
   * the buffer as handed. */
  const char* config_output;
  uint32_t config_output_length;
  UNLHA_HARC archive;            /* UnlhaOpenArchive's handle; 0: the archive cannot be opened */
  const INDIVIDUALINFO* entries; /* delivered in order by UnlhaFindFirst / UnlhaFindNext */
  uint32_t entry_count;
  int32_t end_code; /* what they return once no entry is left; -1 after a reset */
} FakeUnlhaScript;

/* What the fake was handed, by the last call of each function. Texts are NUL-terminated copies;
 * they stay valid until the next call of the same function or a reset. */
typedef struct {
  const char* const* calls; /* names of the functions called since the reset, in order */
  uint32_t call_count;
  UNLHA_HWND command_hwnd; /* Unlha */
  const char* command_line;
  const char* buffer; /* the output buffer's bytes as handed, before the fake wrote into it */
  uint32_t buffer_size;
  const char* checked_path; /* UnlhaCheckArchive */
  int32_t check_mode;
  UNLHA_HWND config_hwnd; /* UnlhaConfigDialog */
  const char* option;     /* the first 257 bytes of the option buffer as handed, */
  uint32_t option_length; /* so 257, or 0 before the first call */
  int32_t config_mode;
  int32_t background_set; /* value passed to UnlhaSetBackGroundMode; -1: none since the reset */
  int32_t cursor_set;     /* value passed to UnlhaSetCursorMode; -1: none since the reset */
  UNLHA_HWND open_hwnd;   /* UnlhaOpenArchive */
  const char* opened_path;
  uint32_t open_mode;
  const char* wildcard;     /* UnlhaFindFirst */
  UNLHA_HARC closed_handle; /* UnlhaCloseArchive */
} FakeUnlhaRecord;

#if defined(FAKE_UNLHA32_BUILDING)
#define FAKE_UNLHA32_API __attribute__((visibility("default")))
#else
#define FAKE_UNLHA32_API
#endif

/* Forgets every script and record, and switches background and cursor mode off. */
FAKE_UNLHA32_API void FakeUnlha_Reset(void);
/* The script, for the test to fill in. */
FAKE_UNLHA32_API FakeUnlhaScript* FakeUnlha_Script(void);
FAKE_UNLHA32_API const FakeUnlhaRecord* FakeUnlha_Record(void);

#ifdef __cplusplus
}
#endif

#endif /* FAKE_UNLHA32_H */
