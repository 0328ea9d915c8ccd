/* SPDX-License-Identifier: Apache-2.0 */
/*
 * kestrune-pdfsanitize: scan a PDF file for active content, or write a sanitised copy.
 *
 * Plain C interface: eight functions, narrow NUL-terminated paths, int results.
 * Every call runs to completion on the caller's thread. Between calls the library keeps
 * two text buffers per thread: the last failure message and the last scan report. Each
 * thread sees only its own calls' texts, so calls on different files may run on
 * several threads at once. A pointer to a buffer stays valid until the same thread's
 * next call that writes it, or until that thread exits.
 */
#ifndef PDFSANITIZE_H
#define PDFSANITIZE_H

#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(PDFSANITIZE_BUILDING)
#    define PDFSANITIZE_API __declspec(dllexport)
#  elif defined(PDFSANITIZE_STATIC)
#    define PDFSANITIZE_API
#  else
#    define PDFSANITIZE_API __declspec(dllimport)
#  endif
#else
#  define PDFSANITIZE_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Clears the calling thread's failure message and scan report. Optional: no other
 * call needs it. Result: always 1.
 */
PDFSANITIZE_API int pdfsanitize_init(void);

/*
 * Clears the calling thread's failure message and scan report. Releases nothing: no
 * call leaves memory behind it.
 */
PDFSANITIZE_API void pdfsanitize_cleanup(void);

/*
 * Writes to output_path a sanitised copy of input_path with JavaScript, attachments,
 * automatic actions and the interactive form (with its widgets) removed. Keys are
 * read as a PDF reader reads them (top-level keys only, #xx escapes decoded, every
 * copy of a key written twice).
 * Result: 1 when the whole output file was written, 0 on failure; the reason is then
 * in pdfsanitize_last_error(). The output path is opened only once the whole new file
 * has been built in memory; a failure before that leaves it untouched.
 */
PDFSANITIZE_API int pdfsanitize_full(const char *input_path, const char *output_path);

/*
 * As pdfsanitize_full, removing JavaScript only: objects that name JavaScript, the
 * document's JavaScript name tree, open and additional actions that lead to
 * JavaScript, and the actions of every annotation listed on the pages.
 */
PDFSANITIZE_API int pdfsanitize_remove_js(const char *input_path, const char *output_path);

/*
 * As pdfsanitize_full, removing embedded files, file specifications, file-attachment
 * annotations and the catalog entries that lead to attachments.
 */
PDFSANITIZE_API int pdfsanitize_remove_attachments(const char *input_path,
                                                   const char *output_path);

/*
 * As pdfsanitize_full, removing the catalog's open action and the additional-actions
 * entries of the catalog and of the pages, whatever they do.
 */
PDFSANITIZE_API int pdfsanitize_remove_actions(const char *input_path,
                                               const char *output_path);

/*
 * Scans input_path and answers with one line of JSON, for example
 *   {"javascript":false,"embedded_files":0,"auto_actions":1,"forms":true}
 * Result: a pointer to the calling thread's report buffer holding that line; valid
 * until this thread's next scan or its exit; do not free. Null on failure; the reason
 * is then in pdfsanitize_last_error().
 */
PDFSANITIZE_API const char *pdfsanitize_scan(const char *input_path);

/*
 * The message of the most recent failed call made by the calling thread, or "" if
 * there was none since the thread started or since its pdfsanitize_init or
 * pdfsanitize_cleanup. Successful calls do not clear it. Result: never null; the
 * thread's own buffer, valid until its next failing call or its exit; do not free.
 */
PDFSANITIZE_API const char *pdfsanitize_last_error(void);

#ifdef __cplusplus
}
#endif

#endif /* PDFSANITIZE_H */
