// SPDX-License-Identifier: Apache-2.0
// Dictionary editing, and the output text's growth: a first block of 1 MiB doubling up
// to the output limit, the same for text and pieces.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "pdfsanitize/alloc.h"
#include "pdfsanitize/sanitize.h"
#include "pdfsanitize/writer.h"
#include "test_util.h"

using namespace pdfsanitize;

TEST(edit, strip_dict_entry_table) {
    const struct {
        std::string text, key, after;
        int result;
    } cases[] = {
        {"<< /A 1 /AA 2 >>", "A", "<< /AA 2 >>", 1},
        {"<< /AA 1 /A 2 >>", "A", "<< /AA 1 >>", 1},
        {"<< /A 1 /A 2 >>", "A", "<< >>", 1},  // every top-level copy goes
        {"<</A 1>>", "A", "<<>>", 1},
        {"<<\n/A 1>>", "A", "<<\n>>", 1},
        {"<< /Length 12 0 R /Filter /FlateDecode >>", "Length", "<< /Filter /FlateDecode >>", 1},
        {"<< /Length1 5 /Length 9 >>", "Length", "<< /Length1 5 >>", 1},
        {"<< /AA << /O 5 0 R >> /Type /Page >>", "AA", "<< /Type /Page >>", 1},
        {"<< /AAPL 1 >>", "AA", "<< /AAPL 1 >>", 0},
        {"<< /A", "A", "<< /A", 0},
        {"<< /A   ", "A", "<< /A   ", 0},
        {"/A", "A", "/A", 0},
        {"A", "AA", "A", 0},
        {"<< /A\t(x) /B 1 >>", "A", "<< /B 1 >>", 1},
        {"<<\t/A (x) >>", "A", "<< >>", 1},            // one HT before the key goes with it
        {"<<  /A (x) >>", "A", "<<  >>", 1},           // only one blank before the key
        {"<< /OpenAction\f<< /S /JavaScript >> >>", "OpenAction", "<< >>", 1},  // a form feed before the value
        {"<< /A .5 /A 1 >>", "A", "<< >>", 1},
        // Only keys at the top level count: not inside strings or nested values.
        {"<< /X (/A 1) >>", "A", "<< /X (/A 1) >>", 0},
        {"<< /B << /A 1 >> /A 2 >>", "A", "<< /B << /A 1 >> >>", 1},
        {"<< /Lang (/OpenAction 0) /OpenAction 5 0 R >>", "OpenAction", "<< /Lang (/OpenAction 0) >>", 1},
        {"<< /S /AA /AA 3 0 R >>", "AA", "<< /S /AA >>", 1},  // a name in value position is no key
        {"<< /Open#41ction 5 0 R >>", "OpenAction", "<< >>", 1},  // escapes decoded
        {"<< /A#00 1 >>", "A", "<< /A#00 1 >>", 0},               // a decoded NUL ends nothing
        {"<< /A % c\n 1 >>", "A", "<< >>", 1},                    // a comment before the value
        {"<< [ /A 1 >>", "A", "<< [ >>", 1},  // a stray '[' in key position is one token

    };
    for (const auto &c : cases) {
        dict_text t = c.text;
        EXPECT_EQ(strip_dict_entry(t, c.key), c.result) << c.text;
        EXPECT_EQ(t, c.after) << c.text;
    }
}

TEST(edit, strip_dict_entry_survives_many_unclosed_values) {
    std::string t = "<< ";
    for (int i = 0; i < 100000; ++i) t += "/A [";
    t += " >>";
    dict_text d = t;
    EXPECT_EQ(strip_dict_entry(d, "A"), 1);  // the one top-level /A holds all the rest
    EXPECT_EQ(d, "<<>>");
}

TEST(edit, strip_inline_dict_entry_edits_inline_values_of_a_top_level_key) {
    dict_text t = "<< /Names << /EmbeddedFiles 4 0 R /Dests 5 0 R >> /X << /EmbeddedFiles 6 0 R >> >>";
    EXPECT_EQ(strip_inline_dict_entry(t, "Names", "EmbeddedFiles"), 1);
    EXPECT_EQ(t, "<< /Names << /Dests 5 0 R >> /X << /EmbeddedFiles 6 0 R >> >>");
    EXPECT_EQ(strip_inline_dict_entry(t, "Names", "EmbeddedFiles"), 0);
}

TEST(edit, dict_append_before_close) {
    dict_text t = "<< /Filter /FlateDecode >>";
    EXPECT_TRUE(dict_append_before_close(t, " /Length 5"));
    EXPECT_EQ(t, "<< /Filter /FlateDecode  /Length 5>>");
    t = "<< /A 1 >>";
    dict_append_before_close(t, " /B 2");
    EXPECT_EQ(t, "<< /A 1  /B 2>>");
    for (const char *unchanged : {">> ", ">", "", "<< /A 1 > "}) {
        dict_text u = unchanged;
        EXPECT_FALSE(dict_append_before_close(u, " /B 2")) << unchanged;
        EXPECT_EQ(u, unchanged);
    }
}

// An output whose text cannot grow fails whole: its text is released, later appends
// add nothing, and the assembly reports "out of memory".
TEST(edit, an_output_that_cannot_grow_fails_whole) {
#if defined(PDFSANITIZE_ALLOC_FAILURES)
    outbuf b;
    const std::vector<char> big(outbuf_first_cap, 'x');
    buf_bytes(b, big.data(), big.size() - 1);  // fills the first block
    EXPECT_FALSE(b.failed);
    g_allocations_left = 0;
    buf_bytes(b, "yz", 2);  // the block must double: that fails
    g_allocations_left = -1;
    EXPECT_TRUE(b.failed);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.size(), 0u);
    buf_piece(b, big.data(), 10);
    EXPECT_EQ(b.size(), 0u);

    pdf_doc doc;
    ASSERT_EQ(test_util::load_text("%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n", doc), 0);
    outbuf out;
    const std::vector<unsigned char> blank(2, 0);
    g_allocations_left = 0;  // the first block of the output
    bool threw = false;
    int rc = 0;
    try {
        rc = assemble_document(doc, {}, blank, out);
    } catch (const std::bad_alloc &) {
        threw = true;
    }
    g_allocations_left = -1;
    // The first block is tried again on the next append: the output is whole.
    EXPECT_FALSE(threw);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(outbuf_joined(out).rfind("%PDF-1.4", 0), 0u);
#else
    GTEST_SKIP() << "needs a build with PDFSANITIZE_ALLOC_FAILURES";
#endif
}

TEST(edit, outbuf_refuses_appends_it_may_not_grow_for) {
    outbuf b;
    buf_bytes(b, "abc", 3);
    // More than 256 MiB at once, and more than fits: refused before reading a byte.
    static const char small[1] = {0};
    buf_bytes(b, small, (std::uint64_t{1} << 28) + 1);
    EXPECT_TRUE(b.failed);
    EXPECT_EQ(b.len, 3u);
    outbuf c;
    buf_bytes(c, "abc", 3);
    c.len = (std::uint64_t{1} << 30) - 10;  // pretend the text is nearly 1 GiB long
    const std::uint64_t cap = c.cap;
    buf_bytes(c, small, 20);
    EXPECT_TRUE(c.failed);
    EXPECT_EQ(c.cap, cap);
    c.len = 3;
}
