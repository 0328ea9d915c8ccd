// The per-thread buffers and set_error; nothing here allocates.
#include "errors.h"

#include <cstdarg>
#include <cstdio>

namespace pdfsanitize {

thread_local char g_err[err_size];
thread_local char g_json[json_size];

void set_error(const char *fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(g_err, sizeof g_err, fmt, args);
    va_end(args);
}

}  // namespace pdfsanitize
