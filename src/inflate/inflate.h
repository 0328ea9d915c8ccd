// SPDX-License-Identifier: Apache-2.0
// Flate (zlib, RFC 1950, around Deflate, RFC 1951) decompression into a caller's buffer.
// Depends on nothing but the standard library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace flate {

// Decodes the zlib data in src into dst.
// 0: success, or a format error partway through (decoding stops there and keeps what it
//    produced); `produced` holds the bytes written.
// -1: header or limits refused, input cut short, or output capacity too small;
//    `produced` is 0 and dst holds nothing defined.
// The capacity may be at most 2^30 bytes; the Adler-32 trailer is neither required nor
// checked. Thread-safe; never reads or writes outside the two spans.
int inflate_decompress(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                       std::size_t &produced);

// Why a call returned -1: only a full output can turn out otherwise with a larger
// capacity (a shorter input, a refused header or capacity fail the same way again).
enum class failure { none, output_full, input_exhausted, refused };
int inflate_decompress(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                       std::size_t &produced, failure &why);

// The same results, decoding Huffman codes one bit at a time with no lookup tables.
// The reference that the table-driven decoder is tested against.
int inflate_decompress_bitwise(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                               std::size_t &produced);

}  // namespace flate
