// SPDX-License-Identifier: Apache-2.0
// The Flate decoder: the byte examples; for each way a stream can be malformed (cut
// short, bad header, bad block type, bad code lengths, distance too far back, output
// full) a hand-built stream and the failure it gives; the table-driven decoder against
// the bitwise reference, and both against zlib.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "inflate/inflate.h"
#if PDFSANITIZE_TEST_ZLIB
#include <zlib.h>
#endif

namespace {

using bytes = std::vector<std::uint8_t>;

struct result {
    int rc;
    std::string out;
};

// Runs both decoders and checks that they agree on everything.
result decode(const bytes &src, std::size_t cap) {
    std::vector<std::uint8_t> a(cap + 1, 0xEE), b(cap + 1, 0xEE);
    std::size_t na = 99, nb = 99;
    const int ra = flate::inflate_decompress(src, std::span<std::uint8_t>(a.data(), cap), na);
    const int rb = flate::inflate_decompress_bitwise(src, std::span<std::uint8_t>(b.data(), cap), nb);
    EXPECT_EQ(ra, rb);
    EXPECT_EQ(na, nb);
    EXPECT_EQ(a[cap], 0xEE);  // never past the capacity
    if (ra != 0) {
        EXPECT_EQ(na, 0u);
    }
    const std::string out(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(na));
    if (ra == 0) {
        EXPECT_EQ(out, std::string(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(nb)));
    }
    return {ra, out};
}

// Deflate bits, least significant first; Huffman codes go most significant bit first.
class bit_writer {
public:
    void put(unsigned value, int n) {
        for (int i = 0; i < n; ++i) bit((value >> i) & 1);
    }
    void code(unsigned code, int len) {
        for (int i = len - 1; i >= 0; --i) bit((code >> i) & 1);
    }
    void fixed_literal(unsigned sym) {
        if (sym < 144)
            code(0x30 + sym, 8);
        else if (sym < 256)
            code(0x190 + sym - 144, 9);
        else if (sym < 280)
            code(sym - 256, 7);
        else
            code(0xC0 + sym - 280, 8);
    }
    void align() {
        while (nbits_ % 8) bit(0);
    }
    void byte(std::uint8_t b) {
        align();
        put(b, 8);
    }
    bytes zlib() const {
        bytes b{0x78, 0x9C};
        b.insert(b.end(), out_.begin(), out_.end());
        return b;
    }

private:
    void bit(unsigned v) {
        if (nbits_ % 8 == 0) out_.push_back(0);
        out_.back() |= static_cast<std::uint8_t>(v << (nbits_ % 8));
        ++nbits_;
    }
    bytes out_;
    int nbits_ = 0;
};

void stored(bit_writer &w, bool final, const std::string &data, bool bad_nlen = false) {
    w.put(final, 1);
    w.put(0, 2);
    w.align();
    const unsigned len = static_cast<unsigned>(data.size());
    w.byte(len & 0xff);
    w.byte(len >> 8);
    w.byte(static_cast<std::uint8_t>(~len & 0xff) ^ (bad_nlen ? 1 : 0));
    w.byte(static_cast<std::uint8_t>(~len >> 8));
    for (char c : data) w.byte(static_cast<std::uint8_t>(c));
}

}  // namespace

TEST(inflate, byte_examples) {
    const bytes abc{0x78, 0x9C, 0x4B, 0x4C, 0x4A, 0x06, 0x00, 0x02, 0x4D, 0x01, 0x27};
    EXPECT_EQ(decode(abc, 3).rc, 0);
    EXPECT_EQ(decode(abc, 3).out, "abc");
    EXPECT_EQ(decode(abc, 2).rc, -1);
    EXPECT_EQ(decode(bytes(abc.begin(), abc.end() - 4), 3).out, "abc");
    EXPECT_EQ(decode(bytes(abc.begin(), abc.begin() + 5), 3).rc, -1);
    bytes fcheck = abc;
    fcheck[1] = 0x9D;
    EXPECT_EQ(decode(fcheck, 3).out, "abc");
    bytes fdict = abc;
    fdict[1] = 0xBC;
    EXPECT_EQ(decode(fdict, 3).rc, -1);
    bytes cm = abc;
    cm[0] = 0x79;
    EXPECT_EQ(decode(cm, 3).rc, -1);
    const result empty = decode({0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}, 0);
    EXPECT_EQ(empty.rc, 0);
    EXPECT_EQ(empty.out, "");
    EXPECT_EQ(decode({0x78, 0x9C}, 10).rc, -1);
    EXPECT_EQ(decode({0x78}, 10).rc, -1);
}

TEST(inflate, failures_say_whether_a_larger_capacity_could_help) {
    const bytes abc{0x78, 0x9C, 0x4B, 0x4C, 0x4A, 0x06, 0x00, 0x02, 0x4D, 0x01, 0x27};
    std::vector<std::uint8_t> out(8);
    std::size_t n = 0;
    flate::failure why = flate::failure::none;
    EXPECT_EQ(flate::inflate_decompress(abc, std::span<std::uint8_t>(out.data(), 2), n, why), -1);
    EXPECT_EQ(why, flate::failure::output_full);
    EXPECT_EQ(flate::inflate_decompress(bytes(abc.begin(), abc.begin() + 5), out, n, why), -1);
    EXPECT_EQ(why, flate::failure::input_exhausted);
    EXPECT_EQ(flate::inflate_decompress(bytes{0x79, 0x9C, 0x4B}, out, n, why), -1);
    EXPECT_EQ(why, flate::failure::refused);
    EXPECT_EQ(flate::inflate_decompress(abc, out, n, why), 0);
    EXPECT_EQ(why, flate::failure::none);
}

TEST(inflate, capacity_above_one_gib_is_refused) {
    const bytes abc{0x78, 0x9C, 0x4B, 0x4C, 0x4A, 0x06, 0x00, 0x02, 0x4D, 0x01, 0x27};
    const std::size_t big = (std::size_t{1} << 30) + 1;
    std::unique_ptr<std::uint8_t, decltype(&std::free)> p(static_cast<std::uint8_t *>(std::malloc(big)), &std::free);
    ASSERT_TRUE(p);
    std::size_t n = 7;
    EXPECT_EQ(flate::inflate_decompress(abc, std::span<std::uint8_t>(p.get(), big), n), -1);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(flate::inflate_decompress(abc, std::span<std::uint8_t>(p.get(), big - 1), n), 0);
    EXPECT_EQ(n, 3u);
}

TEST(inflate, malformed_blocks_keep_what_came_before) {
    {
        bit_writer w;  // stored "abc", then a stored block whose NLEN is wrong
        stored(w, false, "abc");
        stored(w, true, "def", true);
        const result r = decode(w.zlib(), 10);
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.out, "abc");
    }
    {
        bit_writer w;  // block type 3
        w.put(1, 1);
        w.put(3, 2);
        w.put(0, 16);
        const result r = decode(w.zlib(), 10);
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.out, "");
    }
    {
        bit_writer w;  // 'a', then length 3 at distance 2: too far back
        w.put(1, 1);
        w.put(1, 2);
        w.fixed_literal('a');
        w.fixed_literal(257);
        w.code(1, 5);
        w.fixed_literal(256);
        w.put(0, 16);
        const result r = decode(w.zlib(), 10);
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.out, "a");
    }
    for (const std::size_t cap : {259u, 258u}) {
        bit_writer w;  // 'a', then length 258 at distance 1: 259 bytes of 'a'
        w.put(1, 1);
        w.put(1, 2);
        w.fixed_literal('a');
        w.fixed_literal(285);
        w.code(0, 5);
        w.fixed_literal(256);
        w.put(0, 16);
        const result r = decode(w.zlib(), cap);
        EXPECT_EQ(r.rc, cap == 259 ? 0 : -1);
        EXPECT_EQ(r.out, cap == 259 ? std::string(259, 'a') : "");
    }
    {
        bit_writer w;  // 'x', then length symbol 286
        w.put(1, 1);
        w.put(1, 2);
        w.fixed_literal('x');
        w.fixed_literal(286);
        w.put(0, 24);
        const result r = decode(w.zlib(), 10);
        EXPECT_EQ(r.rc, 0);
        EXPECT_EQ(r.out, "x");
    }
    {
        bit_writer w;  // a stored block cut short
        stored(w, true, "abcdef");
        bytes z = w.zlib();
        z.resize(z.size() - 2);
        EXPECT_EQ(decode(z, 10).rc, -1);
    }
}

namespace {

// A dynamic block header with the given code-length code lengths (in `order` order).
void dynamic_header(bit_writer &w, bool final, int hlit, int hdist, const std::vector<int> &clens) {
    w.put(final, 1);
    w.put(2, 2);
    w.put(static_cast<unsigned>(hlit), 5);
    w.put(static_cast<unsigned>(hdist), 5);
    w.put(static_cast<unsigned>(clens.size() - 4), 4);
    for (int l : clens) w.put(static_cast<unsigned>(l), 3);
}

}  // namespace

TEST(inflate, malformed_dynamic_headers_are_format_errors) {
    // Code-length code over {16, 18} (one bit each): 16 -> 0, 18 -> 1.
    const std::vector<int> c16_18{1, 0, 1, 0};
    struct cse {
        const char *what;
        std::function<void(bit_writer &)> body;
    };
    const cse cases[] = {
        {"too many literal/length codes", [](bit_writer &w) { dynamic_header(w, true, 30, 0, {1, 0, 1, 0}); }},
        {"incomplete code-length code", [](bit_writer &w) { dynamic_header(w, true, 0, 0, {1, 0, 0, 0}); }},
        {"over-subscribed code-length code", [](bit_writer &w) { dynamic_header(w, true, 0, 0, {1, 1, 1, 0}); }},
        {"repeat with no previous length",
         [&](bit_writer &w) {
             dynamic_header(w, true, 0, 0, c16_18);
             w.code(0, 1);
             w.put(0, 2);
         }},
        {"repeat past the total",
         [&](bit_writer &w) {
             dynamic_header(w, true, 0, 0, c16_18);
             w.code(1, 1);
             w.put(127, 7);
             w.code(1, 1);
             w.put(127, 7);
         }},
        {"no code for end of block",
         [&](bit_writer &w) {
             dynamic_header(w, true, 0, 0, c16_18);
             w.code(1, 1);
             w.put(127, 7);
             w.code(1, 1);
             w.put(109, 7);
         }},
        {"incomplete literal code with a two-bit length",
         [](bit_writer &w) {
             // Code-length code: 18 -> 1 bit (code 0), 0 -> 2 bits (10), 2 -> 2 bits (11).
             dynamic_header(w, true, 0, 0, {0, 0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2});
             w.code(3, 2);  // literal 0: length 2
             w.code(0, 1);
             w.put(127, 7);  // 138 zeros
             w.code(0, 1);
             w.put(106, 7);  // 117 zeros
             w.code(3, 2);   // 256: length 2
             w.code(2, 2);   // distance 0: length 0
         }},
    };
    for (const auto &c : cases) {
        bit_writer w;
        stored(w, false, "ok");
        c.body(w);
        w.put(0, 32);
        const result r = decode(w.zlib(), 100);
        EXPECT_EQ(r.rc, 0) << c.what;
        EXPECT_EQ(r.out, "ok") << c.what;
    }
}

TEST(inflate, a_one_symbol_code_is_accepted_only_with_a_one_bit_length) {
    // A non-final dynamic block whose literal/length code holds only 256 (one bit) and
    // whose distance code holds one symbol (one bit), between two stored blocks.
    bit_writer w;
    stored(w, false, "abc");
    // Code-length code: symbols 1 and 18, one bit each (1 -> 0, 18 -> 1).
    dynamic_header(w, false, 0, 0, {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1});
    w.code(1, 1);
    w.put(127, 7);  // 138 zeros
    w.code(1, 1);
    w.put(107, 7);  // 118 zeros: literals 0..255
    w.code(0, 1);   // 256: length 1
    w.code(0, 1);   // distance 0: length 1
    w.code(0, 1);   // the block's data: end of block
    stored(w, true, "d");
    const result r = decode(w.zlib(), 10);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, "abcd");
}

// Random bytes, decoded by both decoders: same result, same bytes, never out of bounds.
TEST(inflate, table_driven_decoder_matches_the_bitwise_reference_on_garbage) {
    std::mt19937 rng(99);
    for (int round = 0; round < 3000; ++round) {
        bytes src(2 + rng() % 200);
        for (auto &b : src) b = static_cast<std::uint8_t>(rng());
        src[0] = 0x78;
        src[1] = 0x9C;
        if (round % 3 == 0 && src.size() > 2) src[2] = static_cast<std::uint8_t>((src[2] & ~6) | 4);  // a dynamic block
        decode(src, rng() % 600);
    }
}

#if PDFSANITIZE_TEST_ZLIB
namespace {

bytes zlib_compress(const std::string &data, int level, int strategy) {
    z_stream z{};
    EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy), Z_OK);
    bytes out(deflateBound(&z, static_cast<uLong>(data.size())) + 16);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

std::vector<std::string> samples() {
    std::mt19937 rng(5);
    std::vector<std::string> v{"", "a", std::string(100000, 'z')};
    std::string random(70000, ' ');
    for (char &c : random) c = static_cast<char>(rng());
    v.push_back(random);
    std::string text;
    while (text.size() < 200000) text += std::to_string(rng() % 1000) + " 0 obj << /Type /Annot /Rect [1 2 3 4] >> endobj\n";
    v.push_back(text);
    std::string few;
    for (int i = 0; i < 50000; ++i) few += "ab"[rng() % 2];
    v.push_back(few);
    return v;
}

}  // namespace

TEST(inflate, decodes_what_zlib_writes_at_every_level_and_strategy) {
    const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
    for (const std::string &data : samples()) {
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : strategies) {
                const bytes z = zlib_compress(data, level, strategy);
                const result r = decode(z, data.size());
                ASSERT_EQ(r.rc, 0) << "level " << level << " strategy " << strategy << " size " << data.size();
                ASSERT_EQ(r.out, data);
                if (!data.empty()) {
                    EXPECT_EQ(decode(z, data.size() - 1).rc, -1);
                }
                EXPECT_EQ(decode(bytes(z.begin(), z.end() - 5), data.size()).rc, -1);
            }
        }
    }
}
#endif
