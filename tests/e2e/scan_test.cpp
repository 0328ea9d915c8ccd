// SPDX-License-Identifier: Apache-2.0
// The scan export on files built here: the JSON line for each kind of finding, the
// ways the same thing can be counted twice or once, and the failures.
#include <functional>
#include <vector>

#include "e2e_util.h"
#include "pdfsanitize.h"

using namespace e2e;

namespace {

std::string json(bool js, int files, int actions, bool forms) {
    return std::string("{\"javascript\":") + (js ? "true" : "false") + ",\"embedded_files\":" + std::to_string(files) +
           ",\"auto_actions\":" + std::to_string(actions) + ",\"forms\":" + (forms ? "true" : "false") + "}";
}

std::string scan_bytes(const temp_dir &dir, const std::string &pdf) {
    const std::string path = dir.file("in.pdf");
    write_file(path, pdf);
    const char *r = pdfsanitize_scan(path.c_str());
    return r ? r : std::string("null: ") + pdfsanitize_last_error();
}

// A catalog (1) with a page tree (2) of the given pages; extra goes into the catalog.
pdf_builder with_pages(const std::vector<int> &pages, const std::string &catalog_extra = "") {
    pdf_builder b;
    std::string kids;
    for (int p : pages) kids += std::to_string(p) + " 0 R ";
    b.obj(1, "<< /Type /Catalog /Pages 2 0 R " + catalog_extra + " >>");
    b.obj(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>");
    return b;
}

// The name-tree document: /Names 10, /EmbeddedFiles 11, kids 12 and 13, values 20-22.
pdf_builder name_tree_doc(const std::string &catalog_extra, const std::string &kids12 = "") {
    pdf_builder b = with_pages({3}, "/Names 10 0 R " + catalog_extra);
    b.obj(10, "<< /EmbeddedFiles 11 0 R >>");
    b.obj(11, "<< /Kids [12 0 R 13 0 R] >>");
    b.obj(12, "<< /Names [(a) 20 0 R (b) 21 0 R] /Limits [(a) (b)] " + kids12 + ">>");
    b.obj(13, "<< /Names [(c) 22 0 R] >>");
    for (int n = 20; n <= 24; ++n) b.obj(n, "<< /Type /Filespec /F (f" + std::to_string(n) + ") >>");
    return b;
}

}  // namespace

TEST(scan, reports_each_finding) {
    struct cse {
        const char *what;
        std::function<std::string()> pdf;
        std::string expected;
    };
    const cse cases[] = {
        {"nothing", [] { return with_pages({3}).obj(3, "<< /Type /Page /Parent 2 0 R >>").finish(1); },
         json(false, 0, 0, false)},
        {"open action to a GoTo",
         [] {
             return with_pages({3}, "/OpenAction 5 0 R").obj(3, "<< /Type /Page >>").obj(5, "<< /S /GoTo /D [3 0 R /Fit] >>").finish(1);
         },
         json(false, 0, 1, false)},
        {"open action to JavaScript",
         [] {
             return with_pages({3}, "/OpenAction 5 0 R").obj(3, "<< /Type /Page >>").obj(5, "<< /S /JavaScript /JS (x) >>").finish(1);
         },
         json(true, 0, 1, false)},
        {"open action array", [] { return with_pages({3}, "/OpenAction [3 0 R /Fit]").obj(3, "<< /Type /Page >>").finish(1); },
         json(false, 0, 1, false)},
        {"inline open action tested to the end of the catalog",
         [] {
             return with_pages({3}, "/OpenAction << /S /GoTo /D [3 0 R /Fit] >> /Lang (JS)").obj(3, "<< /Type /Page >>").finish(1);
         },
         json(true, 0, 1, false)},
        {"catalog /AA",
         [] {
             return with_pages({3}, "/AA << /WC << /S /JavaScript /JS (x) >> /WS 9 0 R >>")
                 .obj(3, "<< /Type /Page >>")
                 .obj(9, "<< /S /GoTo /D [3 0 R /Fit] >>")
                 .finish(1);
         },
         json(true, 0, 2, false)},
        {"two pages sharing one /AA object",
         [] {
             return with_pages({3, 4})
                 .obj(3, "<< /Type /Page /AA 9 0 R >>")
                 .obj(4, "<< /Type /Page /AA 9 0 R >>")
                 .obj(7, "<< /S /GoTo /D [3 0 R /Fit] >>")
                 .obj(8, "<< /S /GoTo /D [3 0 R /Fit] >>")
                 .obj(9, "<< /O 7 0 R /C 8 0 R >>")
                 .finish(1);
         },
         json(false, 0, 4, false)},
        {"the same page listed twice counts its /AA twice",
         [] { return with_pages({3, 3}).obj(3, "<< /Type /Page /AA << /O 7 0 R >> >>").finish(1); },
         json(false, 0, 2, false)},
        {"form without fields", [] { return with_pages({3}, "/AcroForm << /Fields [] >>").obj(3, "<< /Type /Page >>").finish(1); },
         json(false, 0, 0, true)},
        {"name tree with kids", [] { return name_tree_doc("").obj(3, "<< /Type /Page >>").finish(1); },
         json(false, 3, 0, false)},
        {"name tree and /AF", [] { return name_tree_doc("/AF [20 0 R 23 0 R]").obj(3, "<< /Type /Page >>").finish(1); },
         json(false, 4, 0, false)},
        {"name tree cycle", [] { return name_tree_doc("", "/Kids [11 0 R] ").obj(3, "<< /Type /Page >>").finish(1); },
         json(false, 3, 0, false)},
        {"attachment annotations by /FS",
         [] {
             return name_tree_doc("")
                 .obj(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>")
                 .obj(3, "<< /Type /Page /Annots [30 0 R 31 0 R] >>")
                 .obj(4, "<< /Type /Page /Annots [31 0 R] >>")
                 .obj(30, "<< /Type /Annot /Subtype /FileAttachment /FS 20 0 R >>")
                 .obj(31, "<< /Type /Annot /Subtype /FileAttachment /FS 24 0 R >>")
                 .finish(1);
         },
         json(false, 4, 0, false)},
        {"attachment annotation with an inline file specification, listed twice",
         [] {
             return with_pages({3, 4})
                 .obj(3, "<< /Type /Page /Annots [30 0 R] >>")
                 .obj(4, "<< /Type /Page /Annots [30 0 R] >>")
                 .obj(30, "<< /Type /Annot /Subtype /FileAttachment /FS << /Type /Filespec /F (a.txt) >> >>")
                 .finish(1);
         },
         json(false, 2, 0, false)},
        {"inline embedded-files tree",
         [] {
             return with_pages({3}, "/Names << /EmbeddedFiles << /Names [(a) 5 0 R (b) 6 0 R] >> >>").obj(3, "<< /Type /Page >>").finish(1);
         },
         json(false, 2, 0, false)},
        {"a key without a value is not a pair",
         [] {
             return with_pages({3}, "/Names << /EmbeddedFiles << /Names [(a) 5 0 R (b)] >> >>").obj(3, "<< /Type /Page >>").finish(1);
         },
         json(false, 1, 0, false)},
        {"file specifications alone count one",
         [] {
             return with_pages({3})
                 .obj(3, "<< /Type /Page >>")
                 .obj(4, "<< /Type /Filespec /F (a.txt) >>")
                 .obj(5, "<< /Type /Filespec /F (b.txt) >>")
                 .finish(1);
         },
         json(false, 1, 0, false)},
        {"an /EmbeddedFiles key alone is not a file",
         [] { return with_pages({3}, "/Names << /EmbeddedFiles 99 0 R >>").obj(3, "<< /Type /Page >>").finish(1); },
         json(false, 0, 0, false)},
        {"JS in a listed annotation's contents",
         [] {
             return with_pages({3})
                 .obj(3, "<< /Type /Page /Annots [4 0 R] >>")
                 .obj(4, "<< /Type /Annot /Subtype /Text /Contents (uses JS) >>")
                 .finish(1);
         },
         json(true, 0, 0, false)},
        {"JS in an unlisted annotation's contents",
         [] {
             return with_pages({3}).obj(3, "<< /Type /Page >>").obj(4, "<< /Type /Annot /Subtype /Text /Contents (uses JS) >>").finish(1);
         },
         json(false, 0, 0, false)},
        {"missing catalog, a widget elsewhere",
         [] { return pdf_builder().obj(2, "<< /Type /Annot /Subtype /Widget >>").finish(7); },
         json(false, 0, 0, true)},
        {"names dictionary holding JavaScript",
         [] {
             return with_pages({3}, "/Names 10 0 R").obj(3, "<< /Type /Page >>").obj(10, "<< /JavaScript 11 0 R >>").obj(11, "<< /Names [] >>").finish(1);
         },
         json(true, 0, 0, false)},
    };
    temp_dir dir;
    for (const auto &c : cases) EXPECT_EQ(scan_bytes(dir, c.pdf()), c.expected) << c.what;
}

TEST(scan, a_name_tree_100000_levels_deep_is_counted) {
    pdf_builder b = with_pages({3}, "/Names << /EmbeddedFiles 10 0 R >>");
    b.obj(3, "<< /Type /Page >>");
    const int depth = 100000;
    for (int i = 0; i < depth; ++i) b.obj(10 + i, "<< /Kids [" + std::to_string(11 + i) + " 0 R] >>");
    b.obj(10 + depth, "<< /Names [(a) 1 0 R (b) 2 0 R] >>");
    temp_dir dir;
    EXPECT_EQ(scan_bytes(dir, b.finish(1)), json(false, 2, 0, false));
}

TEST(scan, failures_return_null_and_keep_the_last_report) {
    temp_dir dir;
    const std::string good = dir.file("good.pdf");
    write_file(good, with_pages({3}, "/OpenAction [3 0 R /Fit]").obj(3, "<< /Type /Page >>").finish(1));
    const char *r = pdfsanitize_scan(good.c_str());
    ASSERT_NE(r, nullptr);
    const std::string report = r;
    EXPECT_EQ(pdfsanitize_scan(nullptr), nullptr);
    EXPECT_STREQ(pdfsanitize_last_error(), "NULL path argument");
    const std::string missing = dir.file("none.pdf");
    EXPECT_EQ(pdfsanitize_scan(missing.c_str()), nullptr);
    EXPECT_EQ(std::string(pdfsanitize_last_error()), "cannot open " + missing);
    EXPECT_EQ(std::string(r), report);  // the report buffer still holds the last success
    EXPECT_EQ(report.find('\n'), std::string::npos);
    EXPECT_EQ(report.find(' '), std::string::npos);
}

// Object streams as another tool writes them: qpdf packs every non-stream object into
// Flate object streams with a cross-reference stream; the findings must not change.
TEST(scan, files_with_object_streams_written_by_qpdf) {
    if (!have_qpdf()) GTEST_SKIP() << "qpdf is not installed";
    temp_dir dir;
    const std::string plain = dir.file("plain.pdf"), packed = dir.file("packed.pdf");
    write_file(plain, name_tree_doc("/OpenAction 40 0 R /AcroForm << /Fields [41 0 R] >>")
                          .obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 9 9] /Annots [41 0 R] /AA << /O 40 0 R >> >>")
                          .obj(40, "<< /S /JavaScript /JS (app.alert(1)) >>")
                          .obj(41, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (f) /Rect [0 0 1 1] /P 3 0 R >>")
                          .finish(1));
    const auto [rc, msg] = shell("qpdf --object-streams=generate --compress-streams=y '" + plain + "' '" + packed + "'");
    ASSERT_TRUE(rc == 0 || rc == 3) << msg;
    ASSERT_NE(read_file(packed).find("/ObjStm"), std::string::npos);
    const std::string expected = json(true, 3, 2, true);
    EXPECT_EQ(scan_bytes(dir, read_file(plain)), expected);
    EXPECT_EQ(scan_bytes(dir, read_file(packed)), expected);
    const std::string out = dir.file("out.pdf");
    ASSERT_EQ(pdfsanitize_full(packed.c_str(), out.c_str()), 1) << pdfsanitize_last_error();
    check_with_readers(out, 1);
    EXPECT_EQ(std::string(pdfsanitize_scan(out.c_str())), json(false, 0, 0, false));
}
