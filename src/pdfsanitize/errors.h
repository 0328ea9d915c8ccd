// SPDX-License-Identifier: Apache-2.0
// The two text buffers (last failure message, last scan report), one pair per thread,
// and set_error, the one routine through which every failure is reported.
#pragma once

#include <cstddef>

namespace pdfsanitize {

constexpr std::size_t err_size = 1024;
constexpr std::size_t json_size = 4096;

// Plain zero-filled arrays, one per thread: no constructor runs when the library is
// loaded or a thread starts, and calls on different threads never share a buffer.
extern thread_local char g_err[err_size];
extern thread_local char g_json[json_size];

// Formats one message into the calling thread's g_err (cut at 1023 bytes, always NUL-terminated).
// Messages carry at most one "%s", the path concerned.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void set_error(const char *fmt, ...);

// The system's reason (an errno value) for the calling thread's last failure to open,
// read or write a file; 0 when the last failure had none. set_error clears it; the
// file routines set it after reporting. The exports never show it; the program adds
// it to its messages.
extern thread_local int g_sys_errno;

}  // namespace pdfsanitize
