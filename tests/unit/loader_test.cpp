// SPDX-License-Identifier: Apache-2.0
// Loading: the header note, the object scan, stream bounds, removal of false objects,
// one definition per number, the cross-reference chain and trailers, refusals, the
// catalog and the page tree.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include <string>

#include "pdfsanitize/errors.h"
#include "pdfsanitize/load_stages.h"
#include "test_util.h"

using namespace pdfsanitize;
using test_util::load_text;
using test_util::simple_pdf;

namespace {

std::vector<int> numbers(const pdf_doc &doc) {
    std::vector<int> v;
    for (const pdf_obj &o : doc.objs.view()) v.push_back(o.num);
    return v;
}

std::vector<int> pages(const pdf_doc &doc) { return {doc.pages.view().begin(), doc.pages.view().end()}; }

std::string stream_data(const pdf_doc &doc, int num) {
    const pdf_obj *o = doc_find(doc, num);
    if (!o || !o->has_stream) return "<none>";
    return std::string(doc.data + o->stream_start, static_cast<std::size_t>(o->stream_end - o->stream_start));
}

std::string body(const pdf_doc &doc, int num) {
    const pdf_obj *o = doc_find(doc, num);
    if (!o || o->endobj < 0) return "<none>";
    const std::int32_t s = o->dict_start >= 0 ? o->dict_start : o->start;
    return std::string(doc.data + s, static_cast<std::size_t>(o->endobj - s));
}

}  // namespace

TEST(loader, object_headers_need_digits_blanks_and_no_letter_before) {
    const struct {
        std::string text;
        std::vector<int> nums;
    } cases[] = {
        {"1 0 obj 5 endobj", {1}},
        {"1 0obj 5 endobj 2 0 obj 6 endobj", {2}},
        {"x1 0 obj 5 endobj 2 0 obj 6 endobj", {2}},
        {"0 0 obj 5 endobj 2 0 obj 6 endobj", {2}},
        {"1 0 obj 5 endobj43 0 obj 6 endobj", {1, 43}},       // glued to the previous keyword
        {"1 0 obj <<>>stream\nx\nendstream\nendobj7 0 obj 6 endobj", {1, 7}},
        {"1 0 obj 5 endobjx3 0 obj 6 endobj", {1}},
        {"1\v0\fobj 5 endobj", {1}},
        {"1 0 obj 5", {}},
    };
    for (const auto &c : cases) {
        pdf_doc doc;
        const int rc = load_text(c.text, doc);
        if (c.nums.empty()) {
            EXPECT_EQ(rc, -1) << c.text;
            continue;
        }
        ASSERT_EQ(rc, 0) << c.text;
        EXPECT_EQ(numbers(doc), c.nums) << c.text;
    }
}

TEST(loader, an_object_without_endobj_ends_after_its_dictionary_or_at_the_next_endobj) {
    pdf_doc doc;
    ASSERT_EQ(load_text("1 0 obj << /A 1 >>\n2 0 obj << /B 2 >> endobj\n3 0 obj 42\n4 0 obj 7 endobj\n", doc), 0);
    EXPECT_EQ(body(doc, 1), "<< /A 1 >>");
    EXPECT_EQ(doc_find(doc, 1)->obj_end, doc_find(doc, 1)->endobj + 6);
    EXPECT_EQ(body(doc, 2), "<< /B 2 >> ");
    EXPECT_EQ(body(doc, 3), "3 0 obj 42\n4 0 obj 7 ");
}

TEST(loader, comments_before_the_body_and_endobj_inside_strings) {
    pdf_doc doc;
    ASSERT_EQ(load_text("1 0 obj % note\n%% more\n<< /A 1 >>\nendobj\n"
                        "2 0 obj << /T (a endobj b) /B 2 >>\nendobj\n"
                        "3 0 obj << /T (endobj) /C 3 >>\n"
                        "4 0 obj << /D (>>) endobj\n",
                        doc),
              0);
    EXPECT_EQ(body(doc, 1), "<< /A 1 >>\n");
    EXPECT_EQ(get_obj_dict_text(doc, doc_find(doc, 1)), "<< /A 1 >>");
    EXPECT_EQ(body(doc, 2), "<< /T (a endobj b) /B 2 >>\n");  // the endobj after the close
    EXPECT_EQ(body(doc, 3), "<< /T (endobj) /C 3 >>");        // none after it: just past ">>"
    EXPECT_EQ(get_obj_dict_text(doc, doc_find(doc, 3)), "<< /T (endobj) /C 3 >>");
    EXPECT_EQ(body(doc, 4), "<< /D (>>) ");                   // never closes: its own endobj
}

TEST(loader, a_folder_cannot_be_opened) {
    const std::string folder = std::filesystem::temp_directory_path().string();
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    pdf_doc doc;
    EXPECT_EQ(doc_load(folder.c_str(), doc), -1);
    EXPECT_EQ(std::string(g_err), "cannot open " + folder);
#if defined(_WIN32)
    EXPECT_NE(g_sys_errno, 0);  // the C runtime refuses to open a folder (EACCES)
#else
    EXPECT_EQ(g_sys_errno, EISDIR);
#endif
}

TEST(loader, stream_bounds) {
    const struct {
        std::string text;
        std::string data;  // "<none>" when the record is gone
        int unterminated;
    } cases[] = {
        {"1 0 obj << /Length 5 >>\nstream\nabcde\n  \r\nendstream\nendobj", "abcde", 0},
        {"1 0 obj << /Length 3 >>\nstream\nabcde\r\nendstream\nendobj", "abcde", 0},
        {"1 0 obj << /Length 9 >>\nstream\nabcde\nendstream\nendobj", "abcde", 0},
        {"1 0 obj << /Length 99 >>\nstream\nabcde\rendstream\nendobj", "abcde", 0},
        {"1 0 obj << /Length 5 >>\r\nstream\r\nabcde\nendstream endobj", "abcde", 0},
        {"1 0 obj << /Length 5 >>\nstream  \nabcde\nendstream endobj", "abcde", 0},
        {"1 0 obj << /Length 5 >>\nstream#bcde\nendstream endobj", "#bcde", 0},
        {"1 0 obj << /Length 5 >>\nstream\nabcde\nendobj", "abcde", 0},             // "endobj" accepts the end
        {"1 0 obj << /Length [1 7 5] >>\nstream\nabcde endstream endobj", "abcde", 0},
        {"1 0 obj << >>\nstream\nabcde\nendstream\nendobj", "abcde", 0},              // no /Length: to endstream
        {"1 0 obj << /Length /X >>\nstream\nabc\nendstream\nendobj", "abc", 0},
        {"1 0 obj << /Length 9 0 R >>\nstream\nabc\nendstream\nendobj", "abc", 0},   // missing length object
        {"1 0 obj << /Length 2 >>\nstream\nabcdef", "<none>", 1},                   // runs to the end, no endobj
        {"1 0 obj << /Length1 3 /Length 4 >>\nstream\nabcd\nendstream\nendobj", "abcd", 0},
        {"1 0 obj << /Length 0 >>\nstream\n\nendstream\nendobj", "", 0},
        {"1 0 obj << /Length 2147483647 >>\nstream\nab\nendstream\nendobj", "ab", 0},
    };
    for (const auto &c : cases) {
        pdf_doc doc;
        const int rc = load_text(c.text, doc);
        if (c.data == "<none>") {
            EXPECT_EQ(rc, -1) << c.text;
            continue;
        }
        ASSERT_EQ(rc, 0) << c.text;
        EXPECT_EQ(stream_data(doc, 1), c.data) << c.text;
        EXPECT_EQ(doc_find(doc, 1)->stream_unterminated, c.unterminated) << c.text;
    }
}

TEST(loader, indirect_length_is_read_from_the_referenced_object) {
    pdf_doc doc;
    const std::string data(120, 'x');
    ASSERT_EQ(load_text("1 0 obj << /Length 2 0 R >>\nstream\n" + data + "endstream endobj\n2 0 obj 120 endobj\n"
                        "3 0 obj << /Length 4 0 R >>\nstream\nabc\nendstream endobj\n4 0 obj << >> stream\nx\nendstream endobj\n",
                        doc),
              0);
    EXPECT_EQ(stream_data(doc, 1), data);
    EXPECT_EQ(stream_data(doc, 3), "abc");  // the length names a stream: bounded by endstream
}

TEST(loader, headers_inside_stream_data_are_dropped_and_order_is_kept) {
    pdf_doc doc;
    // A stream whose data holds a header, then two definitions of object 5.
    const std::string text =
        "1 0 obj << /Length 30 >>\nstream\n9 0 obj << /Fake true >> endobj\nendstream\nendobj\n"
        "2 0 obj << >>\nstream\nno endobj follows this one\nendstream\n"
        "5 0 obj (old) endobj\n6 0 obj 1 endobj\n5 0 obj (new) endobj\n";
    ASSERT_EQ(load_text(text, doc), 0);
    EXPECT_EQ(doc_find(doc, 9), nullptr);
    EXPECT_EQ(body(doc, 5), "5 0 obj (new) ");
    EXPECT_EQ(doc.max_num, 6);
}

TEST(loader, a_stream_without_endobj_does_not_hide_the_headers_after_it) {
    pdf_doc doc;
    ASSERT_EQ(load_text("1 0 obj << /Length 1000 >>\nstream\nabc\n2 0 obj 7 endobj\n", doc), 0);
    EXPECT_EQ(numbers(doc), std::vector<int>{2});
}

namespace {

std::string xref_file(const std::string &objects, const std::string &tail) { return "%PDF-1.4\n" + objects + tail; }

}  // namespace

TEST(loader, trailers_give_root_and_info_and_the_last_trailer_wins) {
    {
        pdf_doc doc;
        const std::string objs = "1 0 obj << /Type /Catalog >> endobj\n2 0 obj << /Title (t) >> endobj\n";
        const std::string tail = "xref\n0 3\n0000000000 65535 f \n0000000009 00000 n \n0000000045 00000 n \n"
                                 "trailer\n<< /Size 3 /Root 1 0 R /Info 2 0 R >>\nstartxref\n" +
                                 std::to_string(objs.size() + 9) + "\n%%EOF\n";
        ASSERT_EQ(load_text(xref_file(objs, tail), doc), 0);
        EXPECT_EQ(doc.trailer_root, 1);
        EXPECT_EQ(doc.trailer_info, 2);
        EXPECT_EQ(doc.info, 2);
    }
    {
        pdf_doc doc;
        const std::string objs = "1 0 obj << >> endobj\n7 0 obj << /Type /Catalog >> endobj\n";
        const std::string tail = "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Root 1 0 R /Info 9 0 R >>\n"
                                 "trailer\n<< /Root -3 /Root 7 0 R >>\nstartxref\n" +
                                 std::to_string(objs.size() + 9) + "\n%%EOF\n";
        ASSERT_EQ(load_text(xref_file(objs, tail), doc), 0);
        EXPECT_EQ(doc.trailer_root, 7);
        EXPECT_EQ(doc.catalog, 7);
        EXPECT_EQ(doc.trailer_info, 9);
        EXPECT_EQ(doc.info, -1);  // no object 9
    }
}

TEST(loader, only_the_last_startxref_is_followed) {
    pdf_doc doc;
    const std::string objs = "1 0 obj << >> endobj\n2 0 obj << /Type /Catalog >> endobj\n";
    const std::string first = "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Root 1 0 R >>\nstartxref\n9\n%%EOF\n";
    const std::size_t second_at = 9 + objs.size() + first.size();
    const std::string second = "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Root 2 0 R >>\nstartxref\n" +
                               std::to_string(second_at) + "\n%%EOF\n";
    ASSERT_EQ(load_text(xref_file(objs, first + second), doc), 0);
    EXPECT_EQ(doc.trailer_root, 2);
}

TEST(loader, bad_startxref_and_bad_subsections_are_passed_over) {
    {
        pdf_doc doc;
        ASSERT_EQ(load_text("1 0 obj << /Type /Catalog >> endobj\ntrailer << /Root 5 0 R >>\nstartxref\n99999\n%%EOF", doc), 0);
        EXPECT_EQ(doc.trailer_root, -1);
        EXPECT_EQ(doc.catalog, 1);
    }
    for (const char *sub : {"0 0\n", "9000000 1\n", "0 10000000\n"}) {
        pdf_doc doc;
        const std::string objs = "1 0 obj << >> endobj\n";
        const std::string tail = std::string("xref\n") + sub + "trailer\n<< /Root 1 0 R >>\nstartxref\n" +
                                 std::to_string(9 + objs.size()) + "\n%%EOF";
        ASSERT_EQ(load_text(xref_file(objs, tail), doc), 0) << sub;
        EXPECT_EQ(doc.trailer_root, 1) << sub;
    }
}

TEST(loader, xref_streams_chain_to_classic_tables_and_loops_stop) {
    {
        pdf_doc doc;
        const std::string objs = "1 0 obj << /Type /Catalog >> endobj\n2 0 obj << /Type /Catalog >> endobj\n";
        const std::size_t classic = 9 + objs.size();
        const std::string table = "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Root 2 0 R >>\n";
        const std::size_t stream_at = classic + table.size();
        const std::string xs = "9 0 obj << /Type /XRef /Root 1 0 R /Prev " + std::to_string(classic) +
                               " /Length 0 >>\nstream\n\nendstream\nendobj\nstartxref\n" + std::to_string(stream_at) + "\n%%EOF";
        ASSERT_EQ(load_text(xref_file(objs, table + xs), doc), 0);
        EXPECT_EQ(doc.trailer_root, 2);  // the classic trailer replaces the stream's /Root
        EXPECT_NE(doc_find(doc, 9), nullptr);  // the xref stream stays an ordinary object
    }
    {
        pdf_doc doc;
        const std::string objs = "1 0 obj << /Type /Catalog >> endobj\n";
        const std::size_t at = 9 + objs.size();
        const std::string xs = "9 0 obj << /Type /XRef /Prev " + std::to_string(at) + " /Root 1 0 R >>\nstream\n\nendstream\nendobj\n"
                               "startxref\n" + std::to_string(at) + "\n%%EOF";
        ASSERT_EQ(load_text(xref_file(objs, xs), doc), 0);
        EXPECT_EQ(doc.trailer_root, 1);
    }
}

TEST(loader, encrypted_files_are_refused_in_every_form) {
    const std::string objs = "1 0 obj << /Type /Catalog >> endobj\n";
    const struct {
        std::string text;
        int rc;
    } cases[] = {
        {xref_file(objs, "xref\n0 1\n0000000000 65535 f \ntrailer\n<< /Root 1 0 R /Encrypt /X >>\nstartxref\n" +
                             std::to_string(9 + objs.size()) + "\n%%EOF"), -1},
        {xref_file(objs, "2 0 obj << /Type /XRef /Encrypt 5 0 R >>\nstream\n\nendstream\nendobj\nstartxref\n" +
                             std::to_string(9 + objs.size()) + "\n%%EOF"), -1},
        {objs + "2 0 obj << /Encrypt 3 0 R >> endobj", -1},
        {objs + "2 0 obj << /Encrypt <</Filter /Standard>> >> endobj", -1},
        {objs + "2 0 obj << /Encrypt /None >> endobj", 0},
        {"trailer << /Encrypt 3 0 R >>", -1},
    };
    for (const auto &c : cases) {
        pdf_doc doc;
        EXPECT_EQ(load_text(c.text, doc), c.rc) << c.text;
        if (c.rc < 0 && c.text[0] != 't') {
            EXPECT_STREQ(g_err, "encrypted PDFs are not supported: mem.pdf") << c.text;
        }
    }
    pdf_doc doc;
    EXPECT_EQ(load_text("trailer << /Encrypt 3 0 R >>", doc), -1);
    EXPECT_STREQ(g_err, "no PDF objects found \xE2\x80\x94 not a PDF: mem.pdf");
}

TEST(loader, catalog_falls_back_to_its_type_then_to_one) {
    {
        pdf_doc doc;
        ASSERT_EQ(load_text(simple_pdf({"<< /Type /Foo >>", "<< /Type /Catalog >>"}), doc), 0);
        EXPECT_EQ(doc.catalog, 2);
    }
    {
        pdf_doc doc;
        ASSERT_EQ(load_text("3 0 obj << >> endobj", doc), 0);
        EXPECT_EQ(doc.catalog, 1);
        EXPECT_TRUE(pages(doc).empty());
    }
}

TEST(loader, page_tree_order_cycles_and_missing_kids) {
    const struct {
        std::vector<std::string> bodies;
        std::vector<int> pages;
    } cases[] = {
        {{"<< /Type /Catalog /Pages 3 0 R >>", "<< >>", "<< /Type /Pages /Kids [4 0 R 5 0 R] >>", "<< /Type /Page >>",
          "<< /Type /Page >>"},
         {4, 5}},
        {{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] >>",
          "<< /Type /Pages /Kids [5 0 R 6 0 R] >>", "<< /Type /Pages /Kids [7 0 R] >>", "<< /Type /Page >>",
          "<< /Type /Page >>", "<< /Type /Page >>"},
         {5, 6, 7}},
        // A node met again and a missing kid are passed over; the walk goes on.
        {{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [4 0 R 3 0 R 5 0 R] >>",
          "<< /Type /Pages /Kids [2 0 R] >>", "<< /Type /Page >>", "<< /Type /Page >>"},
         {4, 5}},
        {{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 9 0 R 3 0 R] >>", "<< /Type /Page >>"},
         {3, 3}},
        // Untyped: a node when it has /Kids, else a page; a kid without dictionary is nothing.
        {{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Kids [3 0 R] >>", "<< /Type /Page >>"}, {3}},
        {{"<< /Type /Pages /Kids [2 0 R 2 0 R] >>", "<< /Type /Page >>"}, {2, 2}},
        {{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] >>", "<< /Type /Foo >>",
          "<< /Type /Page >>", "(no dictionary)"},
         {3, 4}},
        // /Kids through an array object; a reference to anything else gives no kids.
        {{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids 3 0 R >>", "[4 0 R 4 0 R]", "<< /Type /Page >>"},
         {4, 4}},
        {{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids 3 0 R >>", "<< /MediaBox [0 0 4 4] >>"}, {}},
        // Keys read as a reader reads them: the catalog's last top-level /Pages.
        {{"<< /Type /Catalog /ViewerPreferences << /Pages 3 0 R >> /Pages 2 0 R >>", "<< /Type /Page >>",
          "<< /Type /Page >>"},
         {2}},
        {{"<< /Type /Catalog /Pages 3 0 R /Pages 2 0 R >>", "<< /Type /Page >>", "<< /Type /Page >>"}, {2}},
    };
    for (const auto &c : cases) {
        pdf_doc doc;
        ASSERT_EQ(load_text(simple_pdf(c.bodies), doc), 0);
        EXPECT_EQ(pages(doc), c.pages) << c.bodies[1];
    }
}

TEST(loader, resolve_pages_results) {
    pdf_doc doc;
    ASSERT_EQ(load_text(simple_pdf({"<< /Type /Catalog >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] >>", "<< /Type /Page >>",
                                    "<< /Type /Page >>", "<< /Type /Pages >>", "<< /Type /Pages /Kids [9 0 R] >>"}),
                        doc),
              0);
    const struct {
        int node, result;
        std::vector<int> pages;
    } cases[] = {{2, 2, {3, 4}}, {3, 1, {3}}, {5, 1, {5}}, {6, 0, {}}, {1, 1, {1}}, {42, -1, {}}};
    for (const auto &c : cases) {
        pagevec pv;
        std::vector<unsigned char> visited(static_cast<std::size_t>(doc.max_num) + 1);
        EXPECT_EQ(resolve_pages(doc, c.node, pv, visited), c.result) << c.node;
        EXPECT_EQ(std::vector<int>(pv.view().begin(), pv.view().end()), c.pages) << c.node;
    }
}

TEST(loader, a_page_tree_100000_levels_deep_loads_with_its_page) {
    std::vector<std::string> bodies{"<< /Type /Catalog /Pages 2 0 R >>"};
    const int depth = 100000;
    for (int i = 2; i < depth + 2; ++i)
        bodies.push_back("<< /Type /Pages /Kids [" + std::to_string(i + 1) + " 0 R] >>");
    bodies.push_back("<< /Type /Page >>");
    pdf_doc doc;
    ASSERT_EQ(load_text(simple_pdf(bodies), doc), 0);
    EXPECT_EQ(pages(doc), std::vector<int>{depth + 2});
}

TEST(loader, numbers_above_the_limit_are_dropped_in_rising_files_too) {
    pdf_doc doc;
    ASSERT_EQ(load_text("1 0 obj (a) endobj 2 0 obj (b) endobj 8388608 0 obj (c) endobj", doc), 0);
    EXPECT_EQ(numbers(doc), (std::vector<int>{1, 2}));
    EXPECT_EQ(doc.max_num, 2);
    pdf_doc dup;
    ASSERT_EQ(load_text("1 0 obj (a) endobj 2 0 obj (b) endobj 2 0 obj (c) endobj", dup), 0);
    EXPECT_EQ(numbers(dup), (std::vector<int>{1, 2}));
    EXPECT_EQ(body(dup, 2), "2 0 obj (c) ");
}
