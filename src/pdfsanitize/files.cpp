// SPDX-License-Identifier: Apache-2.0
#include "pdfsanitize/files.h"

#if defined(_WIN32)
#include <cerrno>
#include <cstring>
#include <string>

#include <windows.h>
#endif

namespace pdfsanitize {

#if defined(_WIN32)

namespace {

// The UTF-16 form of a UTF-8 text; empty when it is not valid UTF-8.
std::wstring utf8_to_wide(const char *s) {
    const int len = static_cast<int>(std::strlen(s));
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, len, nullptr, 0);
    if (n <= 0) return {};
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s, len, w.data(), n) != n) return {};
    return w;
}

bool plain_ascii(const char *s) {
    for (; *s; ++s)
        if (static_cast<unsigned char>(*s) >= 0x80) return false;
    return true;
}

}  // namespace

std::FILE *open_file(const char *path, const char *mode) {
    if (plain_ascii(path)) return std::fopen(path, mode);
    std::wstring wide;
    try {
        wide = utf8_to_wide(path);
    } catch (...) {  // no memory for the wide form: the ANSI reading still works
        wide.clear();
    }
    if (!wide.empty()) {
        const std::wstring wmode(mode, mode + std::strlen(mode));
        if (std::FILE *f = _wfopen(wide.c_str(), wmode.c_str())) return f;
        if (errno != ENOENT) return nullptr;
        const int wide_errno = errno;
        if (std::FILE *f = std::fopen(path, mode)) return f;
        errno = wide_errno;
        return nullptr;
    }
    return std::fopen(path, mode);
}

#else

std::FILE *open_file(const char *path, const char *mode) { return std::fopen(path, mode); }

#endif

}  // namespace pdfsanitize
