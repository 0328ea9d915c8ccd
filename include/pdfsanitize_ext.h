/* SPDX-License-Identifier: Apache-2.0 */
/*
 * kestrune-pdfsanitize-ext: the scan, the four sanitising modes, the audit and the
 * output verifier on PDF files held in memory.
 *
 * Conventions (as in zlib and libarchive):
 *  - Every function that can fail returns a status: PDFSANITIZE_EXT_OK (0) or one of
 *    the negative codes below; pdfsanitize_ext_strerror() names a code.
 *  - The optional last argument `err` (may be NULL) receives the status and the
 *    library's message for this call ("" on success). Nothing is kept between calls:
 *    no global state, any number of calls may run on any threads at once.
 *  - The input is read, never written or kept: the caller may free it on return.
 *  - Outputs are allocated by the library and belong to the caller, who releases each
 *    with pdfsanitize_ext_free(). On failure every output pointer is set to NULL (and
 *    sizes to 0): there is nothing to free.
 *  - JSON outputs are NUL-terminated UTF-8 text, one line without a line end.
 */
#ifndef PDFSANITIZE_EXT_H
#define PDFSANITIZE_EXT_H

#include <stddef.h>

#include "pdfsanitize_version.h"

#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(PDFSANITIZE_EXT_BUILDING)
#    define PDFSANITIZE_EXT_API __declspec(dllexport)
#  elif defined(PDFSANITIZE_STATIC)
#    define PDFSANITIZE_EXT_API
#  else
#    define PDFSANITIZE_EXT_API __declspec(dllimport)
#  endif
#else
#  define PDFSANITIZE_EXT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results. */
typedef enum pdfsanitize_ext_status {
    PDFSANITIZE_EXT_OK = 0,
    PDFSANITIZE_EXT_INVALID_ARGUMENT = -1, /* a required pointer is NULL, or an unknown mode or flag */
    PDFSANITIZE_EXT_NO_MEMORY = -2,        /* an allocation failed; nothing was returned */
    PDFSANITIZE_EXT_EMPTY_INPUT = -3,      /* the input has no bytes */
    PDFSANITIZE_EXT_INPUT_TOO_LARGE = -4,  /* the input is 2 GiB or more */
    PDFSANITIZE_EXT_NOT_PDF = -5,          /* no PDF objects were found */
    PDFSANITIZE_EXT_ENCRYPTED = -6,        /* encrypted files are not supported */
    PDFSANITIZE_EXT_REFUSED = -7,          /* PDFSANITIZE_EXT_STRICT: the output would keep
                                              content the mode promises to remove */
    PDFSANITIZE_EXT_INTERNAL = -8          /* an unexpected failure inside the library */
} pdfsanitize_ext_status;

/* The sanitising modes. */
typedef enum pdfsanitize_ext_mode {
    PDFSANITIZE_EXT_FULL = 1,               /* JavaScript, attachments, automatic actions, forms */
    PDFSANITIZE_EXT_REMOVE_JS = 2,          /* JavaScript only */
    PDFSANITIZE_EXT_REMOVE_ATTACHMENTS = 3, /* embedded files and file specifications */
    PDFSANITIZE_EXT_REMOVE_ACTIONS = 4      /* the open action and additional actions */
} pdfsanitize_ext_mode;

/* Flags of pdfsanitize_ext_sanitize. */
#define PDFSANITIZE_EXT_STRICT 1u /* verify the output; refuse it when it breaks the mode's promise */

/* The status and message of one call; the caller owns it (on the stack is fine). */
typedef struct pdfsanitize_ext_error {
    int status;          /* a pdfsanitize_ext_status */
    char message[1024];  /* NUL-terminated; "" on success */
} pdfsanitize_ext_error;

/* The library's version, "MAJOR.MINOR.PATCH" (compare with PDFSANITIZE_VERSION_STRING
 * to detect a header/library mismatch). Never NULL; static storage. */
PDFSANITIZE_EXT_API const char *pdfsanitize_ext_version(void);

/* A short English description of a status code; never NULL; static storage. Unknown
 * codes give "unknown status". */
PDFSANITIZE_EXT_API const char *pdfsanitize_ext_strerror(int status);

/* Releases an output of this library (NULL is allowed). Use it rather than free(): the
 * library and the host may use different C runtimes (Windows). */
PDFSANITIZE_EXT_API void pdfsanitize_ext_free(void *p);

/*
 * Scans the size bytes at pdf. On success *json receives one line of JSON, for example
 *   {"javascript":false,"embedded_files":0,"auto_actions":1,"forms":true}
 * the same report as pdfsanitize_scan() gives for the same bytes in a file.
 */
PDFSANITIZE_EXT_API int pdfsanitize_ext_scan(const void *pdf, size_t size, char **json,
                                             pdfsanitize_ext_error *err);

/*
 * Writes a sanitised copy of the size bytes at pdf in the given mode (a
 * pdfsanitize_ext_mode). On success *out and *out_size receive the new file: the same
 * bytes that pdfsanitize_full() and the other path functions write for that input.
 * flags: 0, or PDFSANITIZE_EXT_STRICT to verify the output first and return
 * PDFSANITIZE_EXT_REFUSED (and no output) when a reader could still reach content the
 * mode promises to remove; the message then names what remains.
 * report (may be NULL): on success and on a strict refusal, receives one line of
 * JSON: what was removed (entries by object and key, placeholders by object and
 * reason) and what the verifier found left in the output (blind spots and residue);
 * NULL otherwise. Asking for a report runs the verifier as strict does.
 */
PDFSANITIZE_EXT_API int pdfsanitize_ext_sanitize(const void *pdf, size_t size, int mode, unsigned flags,
                                                 void **out, size_t *out_size, char **report,
                                                 pdfsanitize_ext_error *err);

/*
 * Audits the size bytes at pdf: each mode runs in memory and its output is verified.
 * On success *json receives one line of JSON: per mode the blind spots (reachable
 * content the mode promises to remove) and the residue (active content it keeps by
 * rule), then findings about the input. The status is PDFSANITIZE_EXT_OK even when a
 * mode has blind spots; a mode that fails carries its message in the JSON.
 */
PDFSANITIZE_EXT_API int pdfsanitize_ext_audit(const void *pdf, size_t size, char **json,
                                              pdfsanitize_ext_error *err);

/*
 * Verifies a file this library wrote in the given mode (the size bytes at pdf): walks
 * what a reader can reach from its trailer and sorts what it finds by the mode's
 * promise. On success *json receives
 *   {"mode":"full","kept_promise":true,"blind_spots":[...],"blind_spots_count":0,
 *    "residue":[...],"residue_count":0}
 * Files from other writers are read as far as the walk can follow them; what it cannot
 * follow is reported as "unverifiable".
 */
PDFSANITIZE_EXT_API int pdfsanitize_ext_verify(const void *pdf, size_t size, int mode, char **json,
                                               pdfsanitize_ext_error *err);

#ifdef __cplusplus
}
#endif

#endif /* PDFSANITIZE_EXT_H */
