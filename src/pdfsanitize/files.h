// SPDX-License-Identifier: Apache-2.0
// Opening files by the paths hosts pass.
#pragma once

#include <cstdio>

namespace pdfsanitize {

// std::fopen, except on Windows: a path that is valid UTF-8 and not plain ASCII is
// opened as UTF-16 through the wide API first; when no file (for writing: no folder)
// exists under that reading, or the path is not valid UTF-8, it is opened as bytes in
// the ANSI code page. errno holds the reason of a failure.
std::FILE *open_file(const char *path, const char *mode);

}  // namespace pdfsanitize
