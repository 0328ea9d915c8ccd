// SPDX-License-Identifier: Apache-2.0
// The heap blocks the library takes for itself (file buffers, output text, arena
// blocks, record arrays) come from here, so that a test build can make any one of
// them fail; std containers allocate through operator new, which such a build's test
// program replaces with the same gate.
//
// Running out of memory: an allocation failure ends the call with "out of memory"
// and nothing written. Containers and helpers throw std::bad_alloc; the exports (and
// the program's per-file loops) catch it. Only caches whose answers are the same
// without their memory may carry on without it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace pdfsanitize {

#if defined(PDFSANITIZE_ALLOC_FAILURES)

// Allocations the calling thread may still make before the next one fails (that one
// only); negative: none fails. Allocations made so far are counted in g_allocations_seen.
extern thread_local std::int64_t g_allocations_left;
extern thread_local std::int64_t g_allocations_seen;

// Counts an allocation; false when the gate makes this one fail.
bool allocation_allowed();

#else

constexpr bool allocation_allowed() { return true; }

#endif

inline void *lib_malloc(std::size_t n) { return allocation_allowed() ? std::malloc(n) : nullptr; }
inline void *lib_realloc(void *p, std::size_t n) { return allocation_allowed() ? std::realloc(p, n) : nullptr; }
#if defined(__linux__)
inline void *lib_aligned_alloc(std::size_t align, std::size_t n) {
    return allocation_allowed() ? std::aligned_alloc(align, n) : nullptr;
}
#endif

}  // namespace pdfsanitize
