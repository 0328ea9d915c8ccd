// SPDX-License-Identifier: Apache-2.0
// Containers of the document model, the load/free contract, and the inspection of one
// object: its dictionary text, its kind, JavaScript, and reference lists.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <new>

#include "pdfsanitize/alloc.h"
#include "pdfsanitize/errors.h"
#include "test_util.h"

using namespace pdfsanitize;
using test_util::load_text;
using test_util::simple_pdf;

// A container that cannot grow throws and keeps what it held; nothing leaks.
TEST(document, containers_that_cannot_grow_throw_and_keep_their_elements) {
#if defined(PDFSANITIZE_ALLOC_FAILURES)
    const auto failing_next = [](auto &&fn) {
        g_allocations_left = 0;
        bool threw = false;
        try {
            fn();
        } catch (const std::bad_alloc &) {
            threw = true;
        }
        g_allocations_left = -1;
        return threw;
    };
    objvec v;
    pdf_obj o;
    o.num = 7;
    for (int i = 0; i < 128; ++i) objvec_push(v, o);  // full: the next push must grow
    EXPECT_TRUE(failing_next([&] { objvec_push(v, o); }));
    EXPECT_EQ(v.count, 128);
    EXPECT_EQ(v.items[127].num, 7);
    objvec_push(v, o);  // memory back: the push succeeds
    EXPECT_EQ(v.count, 129);

    pagevec p;
    EXPECT_TRUE(failing_next([&] { pagevec_push(p, 1); }));
    EXPECT_EQ(p.count, 0);

    arena a;
    ASSERT_NE(arena_alloc(a, 16), nullptr);
    EXPECT_TRUE(failing_next([&] { arena_alloc(a, 16); }));  // the block itself fails
    EXPECT_EQ(a.count, 1);
    // A block that cannot shrink keeps its size and its bytes.
    char *big = arena_alloc(a, 64);
    std::memcpy(big, "kept", 5);
    g_allocations_left = 0;
    char *same = arena_shrink_last(a, 8);
    g_allocations_left = -1;
    EXPECT_STREQ(same, "kept");
#else
    GTEST_SKIP() << "needs a build with PDFSANITIZE_ALLOC_FAILURES";
#endif
}

TEST(document, doc_free_twice_is_harmless_and_a_failed_load_holds_nothing) {
    pdf_doc doc;
    ASSERT_EQ(load_text(simple_pdf({"<< /Type /Catalog >>"}), doc), 0);
    EXPECT_NE(doc.data, nullptr);
    doc_free(doc);
    EXPECT_EQ(doc.data, nullptr);
    EXPECT_EQ(doc.objs.count, 0);
    doc_free(doc);
    EXPECT_EQ(doc.len, 0);

    EXPECT_EQ(load_text("garbage only", doc), -1);
    EXPECT_EQ(doc.data, nullptr);
    EXPECT_EQ(doc.objs.items, nullptr);
    EXPECT_STREQ(g_err, "no PDF objects found \xE2\x80\x94 not a PDF: mem.pdf");
}

TEST(document, set_error_cuts_long_messages_at_1023_bytes) {
    const std::string path(1100, 'p');
    set_error("cannot open %s", path.c_str());
    EXPECT_EQ(std::strlen(g_err), 1023u);
    EXPECT_EQ(std::string(g_err).substr(0, 12), "cannot open ");
}

TEST(document, obj_type_reads_the_top_level_type_as_a_reader_does) {
    const struct {
        const char *body;
        int kind;
    } cases[] = {
        {"<< /Type /Page >>", 1}, {"<< /Type/Pages >>", 2}, {"<< /Type /Page", 1}, {"<< /Type /Pages", 2},
        {"<< /Type /Catalog /Type /Page >>", 1}, {"<< /Type (x) /Type /Pages >>", 2},
        {"<< /Type /Pagesx >>", 0}, {"<< /Type /Page_x >>", 1}, {"<< /Kids [] >>", 0}, {"<< /Type /Pag", 0},
        // The last top-level /Type decides; nothing nested or inside a string counts.
        {"<< /Type /Page /Type /PageLabel >>", 0}, {"<< /Lang (/Type /Page) /Type /Font >>", 0},
        {"<< /Res << /Type /Page >> >>", 0}, {"<< /S /Type /X /Page >>", 0},
        // Escapes are decoded, in the key and in the value.
        {"<< /Type /Page#73 >>", 2}, {"<< /Typ#65 /Page >>", 1}, {"<< /Type /P#61ge >>", 1},
        {"<< /Type % a comment\n /Page >>", 1}, {"[ /Type /Page ]", 0},
    };
    std::vector<std::string> bodies;
    for (const auto &c : cases) bodies.push_back(c.body);
    pdf_doc doc;
    ASSERT_EQ(load_text(simple_pdf(bodies), doc), 0);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        const pdf_obj *o = doc_find(doc, static_cast<std::int32_t>(i) + 1);
        ASSERT_NE(o, nullptr) << bodies[i];
        EXPECT_EQ(obj_type(doc, *o), cases[i].kind) << bodies[i];
    }
    pdf_obj member;
    member.in_objstm = 1;
    member.text = "<</Type/Pages>>";
    member.text_len = 15;
    EXPECT_EQ(obj_type(doc, member), 2);
    pdf_obj commented;
    commented.in_objstm = 1;
    commented.text = " %QDF\n<</Type/Page>>";  // a member may begin with a comment line
    commented.text_len = 20;
    EXPECT_EQ(obj_type(doc, commented), 1);
    EXPECT_EQ(get_obj_dict_text(doc, &commented), "<</Type/Page>>");
}

TEST(document, dictionary_text_and_javascript_of_objects) {
    pdf_doc doc;
    const std::string pdf = simple_pdf({
        "<< /Type /Catalog >>",
        "<< /S /JavaScript /JS (app.alert(1)) >>",
        "<< /Length 14 >>\nstream\n/JS (alert(1))\nendstream",
        "[1 0 R]",
        "<< /S /JScript /JSON 1 >>",
        "<< /A (unclosed",
    });
    ASSERT_EQ(load_text(pdf, doc), 0);
    EXPECT_EQ(get_obj_dict_text(doc, doc_find(doc, 1)), "<< /Type /Catalog >>");
    EXPECT_EQ(obj_has_js(doc, doc_find(doc, 2)), 1);
    EXPECT_EQ(obj_has_js(doc, doc_find(doc, 3)), 0);  // only the stream data names it
    EXPECT_EQ(get_obj_dict_text(doc, doc_find(doc, 3)), "<< /Length 14 >>");
    EXPECT_EQ(get_obj_dict_text(doc, doc_find(doc, 4)), "");
    EXPECT_EQ(obj_has_js(doc, doc_find(doc, 4)), 0);
    EXPECT_EQ(obj_has_js(doc, doc_find(doc, 5)), 0);
    EXPECT_EQ(get_obj_dict_text(doc, doc_find(doc, 6)), "");  // no close before its endobj
    EXPECT_EQ(obj_has_js(doc, nullptr), 0);

    pdf_obj tiny;
    tiny.in_objstm = 1;
    tiny.text = "<";
    tiny.text_len = 1;
    EXPECT_EQ(get_obj_dict_text(doc, &tiny), "");
    tiny.text = "[<</JS 1>>]";
    tiny.text_len = 11;
    EXPECT_EQ(obj_has_js(doc, &tiny), 0);
}

TEST(document, collect_ref_list_reads_inline_and_indirect_arrays) {
    pdf_doc doc;
    std::vector<std::string> bodies{"<< /Type /Catalog >>"};
    while (bodies.size() < 39) bodies.push_back("<< >>");
    bodies.push_back("[12 0 R]");    // 40
    bodies.push_back("<< /X 1 >>");  // 41
    const std::string pdf = simple_pdf(bodies);
    ASSERT_EQ(load_text(pdf, doc), 0);
    std::vector<std::int32_t> out;
    const struct {
        const char *text;
        const char *key;
        int count;
        std::vector<std::int32_t> nums;
    } cases[] = {
        {"<< /Annots [12 0 R 13 0 R] >>", "Annots", 2, {12, 13}},
        {"<< /Annots[12 0 R 13 0 R] >>", "Annots", 2, {12, 13}},
        {"<< /Kids [12 1 R 13 5 R] >>", "Kids", 2, {12, 13}},
        {"<< /Annots [] >>", "Annots", 0, {}},
        {"<< /Annots [ ] >>", "Annots", 0, {}},
        {"<< /Annots [", "Annots", 0, {}},
        {"<< /Annots 40 0 R >>", "Annots", 1, {12}},
        {"<< /Annots 99 0 R >>", "Annots", -1, {}},
        {"<< /Annots 41 0 R >>", "Annots", -1, {}},  // no '[' in object 41
        {"<< /Annots [0 0 R 7 0 R] >>", "Annots", 1, {7}},
        {"<< /Annots [7 0 R 7 0 R] >>", "Annots", 2, {7, 7}},
        {"<< /AF /Foo /AF [5 0 R] >>", "AF", 1, {5}},
        {"<< /X 1 /Annots", "Annots", -1, {}},
        {"<< /Annots [5 0 R [6 0 R] 7 0 R] >>", "Annots", 2, {5, 6}},
        {"<< /Annots [5 0 R 6 0 R", "Annots", 2, {5, 6}},
        // Strings, hex strings and comments are passed over whole; only top-level keys count.
        {"<< /Annots [(1 0 R] 2 0 R) 3 0 R] >>", "Annots", 1, {3}},
        {"<< /Annots [%] 1 0 R\n 3 0 R] >>", "Annots", 1, {3}},
        {"<< /Annots [<5D> 4 0 R] >>", "Annots", 1, {4}},
        {"<< /X (/Annots [9 0 R]) /Annots [4 0 R] >>", "Annots", 1, {4}},
        {"<< /PieceInfo << /Annots [] >> /Annots [4 0 R] >>", "Annots", 1, {4}},
        {"<< /Annot#73 [4 0 R] >>", "Annots", 1, {4}},
        {"<< /Annots [4 0 R] /Annots [5 0 R] >>", "Annots", 1, {5}},
    };
    for (const auto &c : cases) {
        const std::string_view t = c.text;
        const int n = collect_ref_list(doc, t, c.key, out, is_dict_text(t));
        EXPECT_EQ(n, c.count) << c.text;
        for (int i = 0; i < n && i < static_cast<int>(c.nums.size()); ++i) EXPECT_EQ(out[static_cast<std::size_t>(i)], c.nums[static_cast<std::size_t>(i)]) << c.text;
    }
}

TEST(document, collect_ref_list_reads_every_reference) {
    pdf_doc doc;
    ASSERT_EQ(load_text(simple_pdf({"<< >>"}), doc), 0);
    std::string t = "<< /Kids [";
    for (int i = 1; i <= 5000; ++i) t += std::to_string(i) + " 0 R ";
    t += "] >>";
    std::vector<std::int32_t> out;
    EXPECT_EQ(collect_ref_list(doc, t, "Kids", out), 5000);
    EXPECT_EQ(out[4999], 5000);
}
