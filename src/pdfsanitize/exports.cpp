// SPDX-License-Identifier: Apache-2.0
// The eight exported functions. Each wraps its body so that no exception reaches the
// host: memory exhaustion anywhere inside becomes the "out of memory" failure.
#include "pdfsanitize.h"

#include <new>

#include "pdfsanitize/errors.h"
#include "pdfsanitize/sanitize.h"
#include "pdfsanitize/scan.h"

#if defined(_WIN32)
#include <windows.h>
#endif

using namespace pdfsanitize;

namespace {

int run_mode(const char *in, const char *out, std::int32_t mode) {
    try {
        return sanitize_run(in, out, mode);
    } catch (const std::bad_alloc &) {
        set_error("out of memory");
    } catch (...) {
        // Nothing else is thrown inside; should anything be, it must not cross the C
        // boundary, and a failed call is reported with the one message for a run that
        // could not finish.
        set_error("out of memory");
    }
    return 0;
}

}  // namespace

extern "C" {

PDFSANITIZE_API int pdfsanitize_init(void) {
    g_err[0] = '\0';
    g_json[0] = '\0';
    return 1;
}

PDFSANITIZE_API void pdfsanitize_cleanup(void) {
    g_err[0] = '\0';
    g_json[0] = '\0';
}

PDFSANITIZE_API int pdfsanitize_full(const char *input_path, const char *output_path) {
    return run_mode(input_path, output_path, mode_full);
}

PDFSANITIZE_API int pdfsanitize_remove_js(const char *input_path, const char *output_path) {
    return run_mode(input_path, output_path, mode_js);
}

PDFSANITIZE_API int pdfsanitize_remove_attachments(const char *input_path, const char *output_path) {
    return run_mode(input_path, output_path, mode_attachments);
}

PDFSANITIZE_API int pdfsanitize_remove_actions(const char *input_path, const char *output_path) {
    return run_mode(input_path, output_path, mode_actions);
}

PDFSANITIZE_API const char *pdfsanitize_scan(const char *input_path) {
    try {
        return scan_file(input_path, g_json, json_size) ? g_json : nullptr;
    } catch (const std::bad_alloc &) {
        set_error("out of memory");
    } catch (...) {
        // As in run_mode: nothing crosses the C boundary.
        set_error("out of memory");
    }
    return nullptr;
}

PDFSANITIZE_API const char *pdfsanitize_last_error(void) { return g_err; }

#if defined(_WIN32)
// The entry point does nothing but report success.
BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

}  // extern "C"
