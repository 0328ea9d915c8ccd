// SPDX-License-Identifier: Apache-2.0
// Arbitrary bytes and capacity into the decoder: the table-driven decoder must give
// exactly what the bitwise reference gives, and never more than the capacity.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "inflate/inflate.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2) return 0;
    // The first two bytes choose the capacity (up to 64 KiB); the rest is the source.
    const std::size_t cap = (static_cast<std::size_t>(data[0]) << 8 | data[1]);
    const std::span<const std::uint8_t> src(data + 2, size - 2);
    std::vector<std::uint8_t> a(cap + 16, 0xA5), b(cap + 16, 0xA5);
    std::size_t na = 12345, nb = 54321;
    const int ra = flate::inflate_decompress(src, std::span<std::uint8_t>(a.data(), cap), na);
    const int rb = flate::inflate_decompress_bitwise(src, std::span<std::uint8_t>(b.data(), cap), nb);
    if (ra != rb || na != nb) std::abort();
    if (ra != 0 && na != 0) std::abort();
    if (na > cap) std::abort();
    if (ra == 0 && std::memcmp(a.data(), b.data(), na) != 0) std::abort();
    for (std::size_t i = cap; i < cap + 16; ++i)
        if (a[i] != 0xA5 || b[i] != 0xA5) std::abort();
    return 0;
}
