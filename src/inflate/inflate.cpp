// SPDX-License-Identifier: Apache-2.0
// Flate decoder. The block structure follows RFC 1951 section 3.2; the zlib wrapper
// (RFC 1950) is reduced to its CM and FDICT checks. Two decoders share everything but
// the way a Huffman symbol is read: the bitwise one walks the canonical code one bit at
// a time; the table-driven one looks up 10 bits at once while at least 8 input bytes
// remain (enough for any symbol with its extra bits and distance), and falls back to
// the bitwise walk near the end of the input, so both give identical results, input
// exhaustion included.
#include "inflate/inflate.h"

#include <array>
#include <cstring>

namespace flate {

namespace {

constexpr int max_bits = 15;
constexpr int max_lcodes = 286;
constexpr int max_dcodes = 30;
constexpr int fix_lcodes = 288;
constexpr std::uint64_t max_capacity = std::uint64_t{1} << 30;
constexpr int root_bits = 10;

// Thrown where the input runs out; caught only by the entry points, so it never leaves
// this file and skips no destructor that matters (nothing here owns memory).
struct input_exhausted {};

// Results of block decoding other than success (0).
constexpr int err_output_full = 1;
constexpr int err_format = -2;
constexpr int err_bad_symbol = -10;
constexpr int err_too_far = -11;

struct huff_code {
    std::int16_t counts[max_bits + 1];
    std::int16_t symbols[fix_lcodes];
    // Root table for the table-driven decoder, indexed by the next `bits` input bits:
    // symbol << 4 | length, or 0 when the code is longer than that (or absent).
    int bits;
    std::uint16_t root[1u << root_bits];
};

struct ctx {
    std::uint8_t *out;
    std::uint32_t out_cap;
    std::uint32_t out_count;
    const std::uint8_t *in;
    std::uint32_t in_len;
    std::uint32_t in_count;
    std::uint64_t bit_buf;
    int bit_count;
};

// RFC 1951 section 3.2.5: base lengths and distances with their extra bits.
constexpr std::int16_t lens[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::int16_t lext[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::int16_t dists[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                    33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::int16_t dext[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                   6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// RFC 1951 section 3.2.7: order of the code-length code lengths.
constexpr std::int16_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

// Next n bits (n <= 16), first bit lowest; throws when the input runs out.
int bits(ctx &s, int n) {
    while (s.bit_count < n) {
        if (s.in_count == s.in_len) throw input_exhausted{};
        s.bit_buf |= static_cast<std::uint64_t>(s.in[s.in_count++]) << s.bit_count;
        s.bit_count += 8;
    }
    const int v = static_cast<int>(s.bit_buf & ((std::uint64_t{1} << n) - 1));
    s.bit_buf >>= n;
    s.bit_count -= n;
    return v;
}

// Canonical decode, one bit at a time (section 3.2.2's codes read most significant bit first).
int decode_bitwise(ctx &s, const huff_code &h) {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= max_bits; ++len) {
        code |= bits(s, 1);
        const int count = h.counts[len];
        if (code - count < first) return h.symbols[index + (code - first)];
        index += count;
        first += count;
        first <<= 1;
        code <<= 1;
    }
    return err_bad_symbol;
}

// Tops the bit buffer up to 56 or more bits with one 8-byte load; the caller has
// checked that 8 input bytes remain. Bits above bit_count may hold the next input
// bits already: later loads OR the same values onto them.
void refill(ctx &s) {
    std::uint64_t w = 0;
    for (int i = 0; i < 8; ++i) w |= static_cast<std::uint64_t>(s.in[s.in_count + static_cast<std::uint32_t>(i)]) << (8 * i);
    s.bit_buf |= w << s.bit_count;
    s.in_count += static_cast<std::uint32_t>((63 - s.bit_count) >> 3);
    s.bit_count |= 56;
}

int decode_table(ctx &s, const huff_code &h) {
    const std::uint16_t e = h.root[s.bit_buf & ((1u << h.bits) - 1)];
    if (e != 0) {
        const int len = e & 15;
        s.bit_buf >>= len;
        s.bit_count -= len;
        return e >> 4;
    }
    return decode_bitwise(s, h);  // long or absent code: the bits are already buffered
}

// Builds the canonical code for n lengths, with a root table of table_bits. 0: complete
// (or all lengths 0); > 0: codes left over (incomplete); < 0: over-subscribed.
int construct(huff_code &h, const std::int16_t *length, int n, int table_bits = root_bits) {
    for (int len = 0; len <= max_bits; ++len) h.counts[len] = 0;
    for (int sym = 0; sym < n; ++sym) h.counts[length[sym]]++;
    h.bits = table_bits;
    std::memset(h.root, 0, sizeof(std::uint16_t) << table_bits);
    if (h.counts[0] == n) return 0;
    int left = 1;
    for (int len = 1; len <= max_bits; ++len) {
        left <<= 1;
        left -= h.counts[len];
        if (left < 0) return left;
    }
    std::int16_t offs[max_bits + 1];
    offs[1] = 0;
    for (int len = 1; len < max_bits; ++len) offs[len + 1] = static_cast<std::int16_t>(offs[len] + h.counts[len]);
    for (int sym = 0; sym < n; ++sym)
        if (length[sym] != 0) h.symbols[offs[length[sym]]++] = static_cast<std::int16_t>(sym);

    // Root table: the code of each symbol of length <= root_bits, bit-reversed because
    // the stream delivers a code's most significant bit first.
    int code = 0, index = 0;
    for (int len = 1; len <= max_bits; ++len) {
        for (int k = 0; k < h.counts[len]; ++k, ++code, ++index) {
            if (len > table_bits) continue;
            int rev = 0;
            for (int b = 0; b < len; ++b) rev |= ((code >> b) & 1) << (len - 1 - b);
            const std::uint16_t entry = static_cast<std::uint16_t>((h.symbols[index] << 4) | len);
            for (int fill = rev; fill < (1 << table_bits); fill += 1 << len) h.root[fill] = entry;
        }
        code <<= 1;
    }
    return left;
}

template <bool Fast>
int decode_symbol(ctx &s, const huff_code &h) {
    if constexpr (Fast) {
        if (s.in_len - s.in_count >= 8) {
            refill(s);
            return decode_table(s, h);
        }
    }
    return decode_bitwise(s, h);
}

template <bool Fast>
int codes(ctx &s, const huff_code &lencode, const huff_code &distcode) {
    for (;;) {
        // With 8 input bytes left, one refill holds a whole length/distance pair with
        // its extra bits (at most 48 bits): nothing below can run out of input.
        const bool fast = Fast && s.in_len - s.in_count >= 8;
        if (fast) refill(s);
        int symbol = fast ? decode_table(s, lencode) : decode_bitwise(s, lencode);
        if (symbol < 0) return symbol;
        if (symbol < 256) {
            if (s.out_count == s.out_cap) return err_output_full;
            s.out[s.out_count++] = static_cast<std::uint8_t>(symbol);
            continue;
        }
        if (symbol == 256) return 0;
        symbol -= 257;
        if (symbol >= 29) return err_bad_symbol;
        const std::uint32_t len = static_cast<std::uint32_t>(lens[symbol] + bits(s, lext[symbol]));
        const int dsym = fast ? decode_table(s, distcode) : decode_bitwise(s, distcode);
        if (dsym < 0) return dsym;
        if (dsym >= max_dcodes) return err_bad_symbol;
        const std::uint32_t dist = static_cast<std::uint32_t>(dists[dsym] + bits(s, dext[dsym]));
        if (dist > s.out_count) return err_too_far;
        if (len > s.out_cap - s.out_count) return err_output_full;
        std::uint8_t *to = s.out + s.out_count;
        const std::uint8_t *from = to - dist;
        if (dist >= len) {
            std::memcpy(to, from, len);
        } else {
            for (std::uint32_t i = 0; i < len; ++i) to[i] = from[i];  // overlap repeats what was just written
        }
        s.out_count += len;
    }
}

int stored(ctx &s) {
    // Whole bytes already buffered go back to the input; the partial byte is dropped.
    s.in_count -= static_cast<std::uint32_t>(s.bit_count / 8);
    s.bit_buf = 0;
    s.bit_count = 0;
    if (s.in_len - s.in_count < 4) throw input_exhausted{};
    const std::uint8_t *p = s.in + s.in_count;
    const std::uint32_t len = p[0] | (static_cast<std::uint32_t>(p[1]) << 8);
    if (p[2] != (~p[0] & 0xff) || p[3] != (~p[1] & 0xff)) return err_format;
    s.in_count += 4;
    if (s.in_len - s.in_count < len) throw input_exhausted{};
    if (len > s.out_cap - s.out_count) return err_output_full;
    std::memcpy(s.out + s.out_count, s.in + s.in_count, len);
    s.out_count += len;
    s.in_count += len;
    return 0;
}

struct fixed_codes {
    huff_code lencode;
    huff_code distcode;
};

// Built once, on the first fixed-code block of any call; the initialisation of a
// function-local static is thread-safe.
const fixed_codes &fixed() {
    static const fixed_codes tables = [] {
        fixed_codes f{};
        std::int16_t lengths[fix_lcodes];
        int sym = 0;
        for (; sym < 144; ++sym) lengths[sym] = 8;
        for (; sym < 256; ++sym) lengths[sym] = 9;
        for (; sym < 280; ++sym) lengths[sym] = 7;
        for (; sym < fix_lcodes; ++sym) lengths[sym] = 8;
        construct(f.lencode, lengths, fix_lcodes);
        for (sym = 0; sym < max_dcodes; ++sym) lengths[sym] = 5;
        construct(f.distcode, lengths, max_dcodes, 8);
        return f;
    }();
    return tables;
}

bool single_bit_code(const std::int16_t *length, int n) {
    for (int i = 0; i < n; ++i)
        if (length[i] > 1) return false;
    return true;
}

template <bool Fast>
int dynamic(ctx &s) {
    std::int16_t lengths[max_lcodes + max_dcodes];
    huff_code lencode, distcode;
    const int nlen = bits(s, 5) + 257;
    const int ndist = bits(s, 5) + 1;
    const int ncode = bits(s, 4) + 4;
    if (nlen > max_lcodes || ndist > max_dcodes) return err_format;

    int index = 0;
    for (; index < ncode; ++index) lengths[order[index]] = static_cast<std::int16_t>(bits(s, 3));
    for (; index < 19; ++index) lengths[order[index]] = 0;
    // The code-length code is built in the literal/length code's arrays (its codes
    // have at most 7 bits).
    if (construct(lencode, lengths, 19, 7) != 0) return err_format;

    index = 0;
    while (index < nlen + ndist) {
        int symbol = decode_symbol<Fast>(s, lencode);
        if (symbol < 0) return err_format;
        if (symbol < 16) {
            lengths[index++] = static_cast<std::int16_t>(symbol);
            continue;
        }
        std::int16_t len = 0;
        if (symbol == 16) {
            if (index == 0) return err_format;
            len = lengths[index - 1];
            symbol = 3 + bits(s, 2);
        } else if (symbol == 17) {
            symbol = 3 + bits(s, 3);
        } else {
            symbol = 11 + bits(s, 7);
        }
        if (index + symbol > nlen + ndist) return err_format;
        while (symbol--) lengths[index++] = len;
    }
    if (lengths[256] == 0) return err_format;

    int err = construct(lencode, lengths, nlen);
    if (err < 0 || (err > 0 && !single_bit_code(lengths, nlen))) return err_format;
    err = construct(distcode, lengths + nlen, ndist, 8);
    if (err < 0 || (err > 0 && !single_bit_code(lengths + nlen, ndist))) return err_format;
    return codes<Fast>(s, lencode, distcode);
}

template <bool Fast>
int run(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst, std::size_t &produced, failure &why) {
    produced = 0;
    why = failure::refused;
    if (src.size() <= 1 || src.size() >= (std::uint64_t{1} << 32)) return -1;
    if (dst.size() > max_capacity) return -1;
    if ((src[0] & 0x0f) != 8) return -1;
    if (src[1] & 0x20) return -1;

    ctx s{};
    s.out = dst.data();
    s.out_cap = static_cast<std::uint32_t>(dst.size());
    s.in = src.data() + 2;
    s.in_len = static_cast<std::uint32_t>(src.size() - 2);
    int err = 0;
    try {
        int last;
        do {
            last = bits(s, 1);
            const int type = bits(s, 2);
            if (type == 0)
                err = stored(s);
            else if (type == 1)
                err = codes<Fast>(s, fixed().lencode, fixed().distcode);
            else if (type == 2)
                err = dynamic<Fast>(s);
            else
                err = err_format;
        } while (err == 0 && !last);
    } catch (const input_exhausted &) {
        why = failure::input_exhausted;
        return -1;
    }
    if (err == err_output_full) {
        why = failure::output_full;
        return -1;
    }
    // A format error ends the data where it stands: what was produced is the result.
    why = failure::none;
    produced = s.out_count;
    return 0;
}

}  // namespace

int inflate_decompress(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst, std::size_t &produced) {
    failure why;
    return run<true>(src, dst, produced, why);
}

int inflate_decompress(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst, std::size_t &produced,
                       failure &why) {
    return run<true>(src, dst, produced, why);
}

int inflate_decompress_bitwise(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst,
                               std::size_t &produced) {
    failure why;
    return run<false>(src, dst, produced, why);
}

}  // namespace flate
