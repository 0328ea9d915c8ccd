// The two process-wide text buffers (last failure message, last scan report) and
// set_error, the one routine through which every failure is reported.
#pragma once

#include <cstddef>

namespace pdfsanitize {

constexpr std::size_t err_size = 1024;
constexpr std::size_t json_size = 4096;

// Plain zero-filled arrays: no constructor runs when the library is loaded.
extern char g_err[err_size];
extern char g_json[json_size];

// Formats one message into g_err (cut at 1023 bytes, always NUL-terminated).
// Messages carry at most one "%s", the path concerned.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void set_error(const char *fmt, ...);

}  // namespace pdfsanitize
