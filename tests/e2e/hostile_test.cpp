// SPDX-License-Identifier: Apache-2.0
// Hostile shapes: each must finish quickly, use memory in proportion to the file (and
// the tables by object number), and give the same results as an ordinary file would.
#if !defined(_WIN32)
#include <fcntl.h>
#include <unistd.h>
#endif

#include <algorithm>

#include "e2e_util.h"
#include "pdfsanitize.h"

using namespace e2e;

namespace {

const std::string clean_json = "{\"javascript\":false,\"embedded_files\":0,\"auto_actions\":0,\"forms\":false}";

struct outcome {
    std::string scan;          // JSON, or "null: message"
    std::vector<int> written;  // result of full, js, attachments, actions
    std::string full;          // the full mode's output
};

outcome run_all(const temp_dir &dir, const std::string &pdf) {
    const std::string in = dir.file("in.pdf");
    write_file(in, pdf);
    outcome o;
    const char *r = pdfsanitize_scan(in.c_str());
    o.scan = r ? r : std::string("null: ") + pdfsanitize_last_error();
    int (*modes[])(const char *, const char *) = {pdfsanitize_full, pdfsanitize_remove_js, pdfsanitize_remove_attachments,
                                                  pdfsanitize_remove_actions};
    for (auto *m : modes) {
        const std::string out = dir.file("out.pdf");
        o.written.push_back(m(in.c_str(), out.c_str()));
        if (m == pdfsanitize_full && o.written.back()) o.full = read_file(out);
    }
    return o;
}

std::string repeat(const std::string &s, int n) {
    std::string r;
    r.reserve(s.size() * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) r += s;
    return r;
}

}  // namespace

TEST(hostile, a_million_nested_dictionary_opens) {
    temp_dir dir;
    const outcome o = run_all(dir, "%PDF-1.4\n1 0 obj\n" + repeat("<<", 1000000) + "\nendobj\n");
    EXPECT_EQ(o.scan, clean_json);
    EXPECT_EQ(o.written, (std::vector<int>{1, 1, 1, 1}));
    // Deeply nested but closed: the open action is cut whole.
    const std::string nested = repeat("<< /A ", 200000) + repeat(">> ", 200000);
    const outcome c = run_all(dir, pdf_builder().obj(1, "<< /Type /Catalog /OpenAction " + nested + ">>").finish(1));
    EXPECT_EQ(c.scan, "{\"javascript\":false,\"embedded_files\":0,\"auto_actions\":1,\"forms\":false}");
    EXPECT_NE(c.full.find("1 0 obj\n<< /Type /Catalog >>"), std::string::npos);
}

TEST(hostile, object_numbers_at_and_above_the_limit) {
    temp_dir dir;
    const std::string pdf = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n8388607 0 obj (top) endobj\n"
                            "8388608 0 obj << /S /JavaScript >> endobj\n4294967297 0 obj (wraps to one) endobj\n";
    const outcome o = run_all(dir, pdf);
    EXPECT_EQ(o.scan, clean_json);  // 8388608 is dropped with its JavaScript
    ASSERT_EQ(o.written, (std::vector<int>{1, 1, 1, 1}));
    EXPECT_NE(o.full.find("\n8388607 0 obj\n(top) \nendobj\n"), std::string::npos);
    EXPECT_NE(o.full.find("trailer\n<< /Size 8388608 /Root 1 0 R >>"), std::string::npos);
    EXPECT_NE(o.full.find("\n1 0 obj\n(wraps to one) \nendobj\n"), std::string::npos);  // the later definition of 1
}

TEST(hostile, object_streams_with_huge_counts) {
    temp_dir dir;
    for (const char *dict : {"/N 2147483647 /First 5", "/N 100000 /First 5", "/N 1 /First 2147483647", "/N 99999 /First 0"}) {
        const std::string pdf = pdf_builder()
                                    .obj(1, "<< /Type /Catalog >>")
                                    .stream(2, std::string("<< /Type /ObjStm ") + dict + " >>", "3 0 << /JS 1 >>")
                                    .finish(1);
        const outcome o = run_all(dir, pdf);
        EXPECT_EQ(o.scan, clean_json) << dict;
        EXPECT_EQ(o.written, (std::vector<int>{1, 1, 1, 1})) << dict;
    }
}

TEST(hostile, lengths_and_subsections_beyond_the_file) {
    temp_dir dir;
    const std::string pdf = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n"
                            "2 0 obj << /Length 2147483646 >>\nstream\nabc\nendstream\nendobj\n"
                            "3 0 obj << /Length 2147483647 >>\nstream\nabc\nendstream\nendobj\n"
                            "xref\n0 10000000\n0000000000 65535 f \ntrailer << /Root 1 0 R >>\nstartxref\n";
    const std::size_t at = pdf.find("xref\n0 1");
    const outcome o = run_all(dir, pdf + std::to_string(at) + "\n%%EOF\n");
    EXPECT_EQ(o.scan, clean_json);
    EXPECT_EQ(o.written, (std::vector<int>{1, 1, 1, 1}));
    EXPECT_NE(o.full.find("<<  /Length 3>>\nstream\nabc\nendstream"), std::string::npos);
}

#if !defined(_WIN32)
TEST(hostile, a_sparse_file_of_two_gib_is_refused_unread) {
    temp_dir dir;
    const std::string path = dir.file("sparse.pdf");
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const bool sized = ::ftruncate(fd, off_t{1} << 31) == 0;
    ::close(fd);
    if (!sized) GTEST_SKIP() << "the file system refuses a 2 GiB sparse file";
    EXPECT_EQ(pdfsanitize_scan(path.c_str()), nullptr);
    EXPECT_EQ(std::string(pdfsanitize_last_error()), "input file too large: " + path);
    EXPECT_EQ(pdfsanitize_full(path.c_str(), dir.file("out.pdf").c_str()), 0);
    EXPECT_EQ(std::string(pdfsanitize_last_error()), "input file too large: " + path);
}
#endif

TEST(hostile, many_unclosed_dictionaries) {
    temp_dir dir;
    std::string pdf = "%PDF-1.4\n";
    for (int i = 1; i <= 100000; ++i) pdf += std::to_string(i) + " 0 obj << /Type /Annot /Subtype /Widget\nendobj\n";
    const outcome o = run_all(dir, pdf);
    EXPECT_EQ(o.scan, clean_json);  // no dictionary closes, so no text is looked at
    EXPECT_EQ(o.written, (std::vector<int>{1, 1, 1, 1}));
    // With one "endobj" at the end, every object spans the rest of the file, and each is
    // written whole: the output would pass 1 GiB, so no mode may write it.
    std::string spans = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n";
    for (int i = 2; i <= 100000; ++i) spans += std::to_string(i) + " 0 obj << /X " + std::to_string(i) + "\n";
    spans += "endobj\n";
    const outcome s = run_all(dir, spans);
    EXPECT_EQ(s.scan, clean_json);
    EXPECT_EQ(s.written, (std::vector<int>{0, 0, 0, 0}));
    EXPECT_STREQ(pdfsanitize_last_error(), "out of memory");
}

TEST(hostile, many_streams_with_wrong_lengths_and_no_endstream) {
    temp_dir dir;
    std::string pdf = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n";
    for (int i = 2; i <= 100001; ++i) pdf += std::to_string(i) + " 0 obj << /Length 1 >>\nstream\nabcdef\n";
    const outcome o = run_all(dir, pdf);
    EXPECT_EQ(o.scan, clean_json);
    ASSERT_EQ(o.written, (std::vector<int>{1, 1, 1, 1}));
    EXPECT_NE(o.full.find("trailer\n<< /Size 2 /Root 1 0 R >>"), std::string::npos);  // the streams are dropped
}

TEST(hostile, ten_thousand_trailers_before_one_startxref) {
    temp_dir dir;
    std::string pdf = "%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n7 0 obj << /Type /Catalog /OpenAction [1 0 R] >> endobj\n";
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 1\n0000000000 65535 f \n";
    for (int i = 0; i < 9999; ++i) pdf += "trailer\n<< /Size 8 /Root 1 0 R /Info -1 /Info 2 0 R >>\n";
    pdf += "trailer\n<< /Size 8 /Root 7 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    const outcome o = run_all(dir, pdf);
    EXPECT_EQ(o.scan, "{\"javascript\":false,\"embedded_files\":0,\"auto_actions\":1,\"forms\":false}");  // /Root 7 wins
    EXPECT_EQ(o.written, (std::vector<int>{1, 1, 1, 1}));
}

TEST(hostile, one_page_listed_a_million_times_with_a_large_annotation_array) {
    temp_dir dir;
    pdf_builder b;
    b.obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.obj(2, "<< /Type /Pages /Count 1000000 /Kids [" + repeat("3 0 R ", 1000000) + "] >>");
    b.obj(3, "<< /Type /Page /MediaBox [0 0 9 9] /AA << /O 6 0 R >> /Annots 4 0 R >>");
    std::string refs;
    for (int i = 0; i < 2048; ++i) refs += std::to_string(10 + i) + " 0 R ";
    b.obj(4, "[" + refs + "]");
    b.obj(5, "<< /Type /Filespec /F (a) >>");
    b.obj(6, "<< /S /GoTo /D [3 0 R /Fit] >>");
    for (int i = 0; i < 2048; ++i)
        b.obj(10 + i, i == 0 ? "<< /Type /Annot /Subtype /FileAttachment /FS (inline) >>"
                             : "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] /A << /S /URI /URI (u) >> >>");
    const outcome o = run_all(dir, b.finish(1));
    // Every listing counts the page's /AA entry and the attachment without a valid /FS.
    EXPECT_EQ(o.scan, "{\"javascript\":false,\"embedded_files\":1000000,\"auto_actions\":1000000,\"forms\":false}");
    EXPECT_EQ(o.written, (std::vector<int>{1, 1, 1, 1}));
    // The attachment comes off the page; each of the 2,047 links stays listed, in order.
    const std::size_t at = o.full.find("3 0 obj\n<< /Type /Page");
    ASSERT_NE(at, std::string::npos);
    const std::size_t open = o.full.find("/Annots [", at), close = o.full.find(']', open);
    ASSERT_NE(open, std::string::npos);
    std::string expected;
    for (int i = 1; i < 2048; ++i) expected += " " + std::to_string(10 + i) + " 0 R";
    const std::string listed = o.full.substr(open + 9, close - open - 9);
    EXPECT_TRUE(listed == expected + " ") << "the page lists " << std::count(listed.begin(), listed.end(), 'R')
                                          << " references";
}

TEST(hostile, a_dictionary_holding_many_unclosed_arrays) {
    temp_dir dir;
    const std::string arrays = repeat("/A [", 100000);
    const std::string pdf = pdf_builder()
                                .obj(1, "<< /Type /Catalog /Pages 2 0 R /OpenAction << /S /JavaScript /JS (x) >> >>")
                                .obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
                                .obj(3, "<< /Type /Page /MediaBox [0 0 9 9] /Annots [4 0 R] >>")
                                .obj(4, "<< /Type /Annot /Subtype /Link " + arrays + " >>")
                                .finish(1);
    const outcome o = run_all(dir, pdf);
    EXPECT_EQ(o.scan, "{\"javascript\":true,\"embedded_files\":0,\"auto_actions\":1,\"forms\":false}");
    EXPECT_EQ(o.written, (std::vector<int>{1, 1, 1, 1}));
}

// Shapes that make each of many objects reach a large shared part: pages sharing one
// annotation array, open dictionaries glued before one "endobj", many /EF naming one
// large dictionary. Each must cost about one pass over what it shares.
TEST(hostile, many_objects_sharing_one_large_part) {
    temp_dir dir;
    const int n = 20000;
    {
        pdf_builder b;
        std::string kids, refs;
        for (int i = 0; i < n; ++i) kids += std::to_string(100 + i) + " 0 R ";
        for (int i = 0; i < n; ++i) refs += std::to_string(100 + n + i) + " 0 R ";
        b.obj(1, "<< /Type /Catalog /Pages 2 0 R >>").obj(2, "<< /Type /Pages /Kids [" + kids + "] >>").obj(3, "[" + refs + "]");
        for (int i = 0; i < n; ++i) b.obj(100 + i, "<< /Type /Page /MediaBox [0 0 9 9] /Annots 3 0 R >>");
        for (int i = 0; i < n; ++i) b.obj(100 + n + i, "<< /Type /Annot /Subtype /Link /Rect [0 0 1 1] /A << /S /URI /URI (u) >> >>");
        const outcome o = run_all(dir, b.finish(1));
        EXPECT_EQ(o.scan, clean_json);
        EXPECT_EQ(o.written, (std::vector<int>{1, 1, 1, 1}));
    }
    {
        std::string pdf = "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n2 0 obj << /Type /Pages /Kids [";
        for (int i = 0; i < n; ++i) pdf += std::to_string(10 + i) + " 0 R ";
        pdf += "] >> endobj\n";
        for (int i = 0; i < n; ++i) pdf += std::to_string(10 + i) + " 0 obj << /Type /Page /Kids [\n";
        pdf += "endobj\n";
        const std::string in = dir.file("glued.pdf");
        write_file(in, pdf);
        const char *json = pdfsanitize_scan(in.c_str());  // (every mode writes each body to the end: past 1 GiB)
        EXPECT_EQ(std::string(json ? json : pdfsanitize_last_error()), clean_json);
    }
    {
        pdf_builder b;
        b.obj(1, "<< /Type /Catalog >>").obj(2, "<< /F 3 0 R " + repeat("/X 4 0 R ", n) + ">>");
        for (int i = 0; i < n; ++i) b.obj(10 + i, "<< /EF 2 0 R >>");
        const outcome o = run_all(dir, b.finish(1));
        EXPECT_EQ(o.written, (std::vector<int>{1, 1, 1, 1}));
    }
}
