// SPDX-License-Identifier: Apache-2.0
#include "pdfsanitize/alloc.h"

namespace pdfsanitize {

#if defined(PDFSANITIZE_ALLOC_FAILURES)

thread_local std::int64_t g_allocations_left = -1;
thread_local std::int64_t g_allocations_seen = 0;

bool allocation_allowed() {
    ++g_allocations_seen;
    if (g_allocations_left < 0) return true;
    return g_allocations_left-- != 0;
}

#endif

}  // namespace pdfsanitize
