// SPDX-License-Identifier: Apache-2.0
// The per-thread buffers and set_error; nothing here allocates.
#include "pdfsanitize/errors.h"

#include <cstdarg>
#include <cstdio>

namespace pdfsanitize {

thread_local char g_err[err_size];
thread_local char g_json[json_size];
thread_local int g_sys_errno;

void set_error(const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(g_err, sizeof g_err, fmt, args);
    va_end(args);
    g_sys_errno = 0;
}

}  // namespace pdfsanitize
